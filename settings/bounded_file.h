#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace tremlo {

// At most `limit` + 1 bytes of a regular file, so that the caller sees a file
// that goes on past its limit; none when it cannot be opened or read, or is
// not a regular file. Opened without blocking, so a FIFO named here cannot
// hold the program before it is seen for what it is.
std::optional<std::string> readRegularFileUpTo(const std::string& path, std::size_t limit);

} // namespace tremlo
