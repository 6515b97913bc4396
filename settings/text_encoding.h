#pragma once

// Text that may come from Japanese Windows: a settings file saved there, or
// a file name unpacked from one of its archives, is in Shift-JIS (CP932)
// rather than UTF-8; one from an older Linux desktop may be in the
// locale's own character set. Every conversion goes through toUtf8().

#include <optional>
#include <string>
#include <string_view>

namespace tremlo {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text);

enum class BadBytes { Fail, Replace };

// `bytes` in `codeset` (an iconv name) to UTF-8. A byte that is not of the
// set fails the whole text, or becomes U+FFFD with BadBytes::Replace;
// nullopt also when iconv does not know the set.
std::optional<std::string> toUtf8(std::string_view bytes, const char* codeset, BadBytes bad);

// From the locale's character set; nullopt when the locale is UTF-8 or ASCII
// (there is nothing to convert from) or a byte is not of its set.
std::optional<std::string> localeToUtf8(std::string_view bytes);

// CP932 to UTF-8; a byte that is not CP932 becomes U+FFFD.
std::string cp932ToUtf8(std::string_view bytes);

// UTF-8 fit to show: valid UTF-8 as it is, anything else read as CP932.
std::string readableText(std::string_view bytes);

} // namespace tremlo
