#include "bounded_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tremlo {

std::optional<std::string> readRegularFileUpTo(const std::string& path, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat status {};
    std::optional<std::string> bytes;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        std::string read(limit + 1, '\0');
        std::size_t got = 0;
        bool failed = false;
        while (got < read.size()) {
            const ssize_t n = ::read(fd, read.data() + got, read.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            failed = n < 0;
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        if (!failed) {
            read.resize(got);
            bytes = std::move(read);
        }
    }
    ::close(fd);
    return bytes;
}

} // namespace tremlo
