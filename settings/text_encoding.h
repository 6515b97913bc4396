#pragma once

// Text that may come from Japanese Windows: a settings file saved there, or
// a file name unpacked from one of its archives, is in Shift-JIS (CP932)
// rather than UTF-8.

#include <string>
#include <string_view>

namespace tremlo {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text);

// CP932 to UTF-8; a byte that is not CP932 becomes U+FFFD.
std::string cp932ToUtf8(std::string_view bytes);

// UTF-8 fit to show: valid UTF-8 as it is, anything else read as CP932.
std::string readableText(std::string_view bytes);

} // namespace tremlo
