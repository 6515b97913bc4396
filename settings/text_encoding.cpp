#include "text_encoding.h"

#include "ascii_text.h"

#include <cerrno>
#include <iconv.h>
#include <langinfo.h>

namespace tremlo {

// A Shift-JIS file almost never passes, because its lead bytes 0x81-0x9F
// are continuation bytes in UTF-8.
bool isValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        int extra = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c < 0x80) {
            ++p;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0)
                lo = 0xA0;
            if (c == 0xED)
                hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0)
                lo = 0x90;
            if (c == 0xF4)
                hi = 0x8F;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        if (p[1] < lo || p[1] > hi)
            return false;
        for (int i = 2; i <= extra; ++i)
            if (p[i] < 0x80 || p[i] > 0xBF)
                return false;
        p += extra + 1;
    }
    return true;
}

std::optional<std::string> toUtf8(std::string_view bytes, const char* codeset, BadBytes bad) {
    iconv_t cd = iconv_open("UTF-8", codeset);
    // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv's own failure value
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out;
    out.reserve(bytes.size() * 3 / 2 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            if (bad == BadBytes::Fail) {
                iconv_close(cd);
                return std::nullopt;
            }
            out += "\xEF\xBF\xBD";
            ++in;
            --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}

std::optional<std::string> localeToUtf8(std::string_view bytes) {
    const char* codeset = nl_langinfo(CODESET);
    if (!codeset || equalsIgnoringAsciiCase(codeset, "UTF-8") ||
        equalsIgnoringAsciiCase(codeset, "ANSI_X3.4-1968"))
        return std::nullopt;
    return toUtf8(bytes, codeset, BadBytes::Fail);
}

// A byte that is not Shift-JIS becomes U+FFFD rather than failing the whole
// text: a settings file's other keys are still worth reading.
std::string cp932ToUtf8(std::string_view bytes) {
    auto text = toUtf8(bytes, "CP932", BadBytes::Replace);
    return text ? std::move(*text) : std::string(bytes);
}

std::string readableText(std::string_view bytes) {
    return isValidUtf8(bytes) ? std::string(bytes) : cp932ToUtf8(bytes);
}

} // namespace tremlo
