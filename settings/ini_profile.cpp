#include "ini_profile.h"

#include "ascii_text.h"
#include "text_encoding.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tremlo {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The file as text in UTF-8, split into lines without their endings.
struct IniText {
    std::vector<std::string> lines;
    std::string eol = "\n";
    bool bom = false;
};

IniText parseText(std::string_view bytes) {
    IniText ini;
    std::string decoded;
    if (!isValidUtf8(bytes)) {
        decoded = cp932ToUtf8(bytes);
        bytes = decoded;
    }
    if (bytes.starts_with(kUtf8Bom)) {
        ini.bom = true;
        bytes.remove_prefix(kUtf8Bom.size());
    }
    const auto firstNewline = bytes.find('\n');
    if (firstNewline != std::string_view::npos && firstNewline > 0 &&
        bytes[firstNewline - 1] == '\r')
        ini.eol = "\r\n";
    while (!bytes.empty()) {
        const auto newline = bytes.find('\n');
        std::string_view line = bytes.substr(0, newline);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        ini.lines.emplace_back(line);
        if (newline == std::string_view::npos)
            break;
        bytes.remove_prefix(newline + 1);
    }
    return ini;
}

std::optional<std::string_view> sectionName(std::string_view line) {
    line = trim(line);
    if (!line.starts_with('['))
        return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return trim(line.substr(1, close - 1));
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyLine> keyLine(std::string_view line) {
    const auto equals = line.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    return KeyLine{trim(line.substr(0, equals)), trim(line.substr(equals + 1))};
}

// The lines [begin, end) of the first section called `name`, header
// excluded; nullopt when the file has no such section.
struct Section {
    std::size_t header;
    std::size_t end;
};

std::optional<Section> findSection(const std::vector<std::string>& lines, std::string_view name) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto found = sectionName(lines[i]);
        if (!found || !equalsIgnoringAsciiCase(*found, name))
            continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !sectionName(lines[end]))
            ++end;
        return Section{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> findKey(const std::vector<std::string>& lines, Section section,
                                   std::string_view key) {
    for (std::size_t i = section.header + 1; i < section.end; ++i) {
        const auto entry = keyLine(lines[i]);
        if (entry && equalsIgnoringAsciiCase(entry->key, key))
            return i;
    }
    return std::nullopt;
}

void setValue(IniText& ini, std::string_view sectionTitle, const std::string& key,
              const std::string& value) {
    std::string line = key + "=" + value;
    auto section = findSection(ini.lines, sectionTitle);
    if (!section) {
        if (!ini.lines.empty() && !trim(ini.lines.back()).empty())
            ini.lines.emplace_back();
        ini.lines.push_back("[" + std::string(sectionTitle) + "]");
        ini.lines.push_back(std::move(line));
        return;
    }
    if (const auto at = findKey(ini.lines, *section, key)) {
        ini.lines[*at] = std::move(line);
        return;
    }
    // New keys go after the section's last line that is not blank, so the
    // blank line that separates it from the next section stays below.
    std::size_t insertAt = section->end;
    while (insertAt > section->header + 1 && trim(ini.lines[insertAt - 1]).empty())
        --insertAt;
    ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(line));
}

bool isStorable(const IniProfile::Entry& entry) {
    const std::string_view key = trim(entry.first);
    const auto breaksLine = [](std::string_view s) {
        return s.find_first_of("\r\n") != std::string_view::npos;
    };
    return !key.empty() && key == entry.first && key.find('=') == std::string_view::npos &&
           !key.starts_with('[') && !breaksLine(key) && !breaksLine(entry.second) &&
           isValidUtf8(key) && isValidUtf8(entry.second);
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closing reports the last write-back error, so a writer must look at it.
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

enum class ReadOutcome { Read, Missing, Failed };

ReadOutcome readWholeFile(const std::string& path, std::string& bytes, mode_t* mode) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::Failed;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return ReadOutcome::Failed;
    if (mode)
        *mode = st.st_mode & 07777;
    bytes.clear();
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return ReadOutcome::Failed;
        if (n == 0)
            return ReadOutcome::Read;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool lockExclusive(int fd) {
    while (::flock(fd, LOCK_EX) != 0)
        if (errno != EINTR)
            return false;
    return true;
}

} // namespace

namespace {

// A file that holds a key another computer could press the switch with is
// for its owner's eyes only; other accounts on this computer must not read
// it. Judged on the text itself, whichever writer it comes from.
bool holdsSecret(std::string_view bytes) {
    const IniText ini = parseText(bytes);
    const auto section = findSection(ini.lines, "Remote");
    const auto at = section ? findKey(ini.lines, *section, "Token") : std::nullopt;
    return at && !keyLine(ini.lines[*at])->value.empty();
}

} // namespace

bool replaceFile(const std::string& path, std::string_view bytes, std::optional<mode_t> mode) {
    // A stricter mode the user chose stays.
    if (holdsSecret(bytes))
        mode = mode.value_or(0600) & ~mode_t{077};
    const std::string temporary = path + ".tmp";
    const auto create = [&] {
        return ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                      0666);
    };
    int raw = create();
    if (raw < 0 && errno == EEXIST && ::unlink(temporary.c_str()) == 0)
        raw = create();
    FileDescriptor fd(raw);
    if (!fd.valid())
        return false;
    const bool written = (!mode || ::fchmod(fd.get(), *mode) == 0) && writeAll(fd.get(), bytes) &&
                         ::fsync(fd.get()) == 0 && fd.close() &&
                         ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!written) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk only with its folder; without this
    // a power cut could bring back the old file, though never a broken one.
    const auto folder = std::filesystem::path(path).parent_path();
    FileDescriptor dir(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid())
        ::fsync(dir.get());
    return true;
}

namespace {

// A read-only file stays as it is: the rename would otherwise put a new
// file in its place where writing into it is refused. A file that grants no
// write permission to anyone counts as read-only even to root.
bool isWritable(const std::string& path, mode_t mode) {
    return (mode & 0222) != 0 && ::access(path.c_str(), W_OK) == 0;
}

} // namespace

std::string followLinks(std::string path) {
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, error)))
            return path;
        const auto target = std::filesystem::read_symlink(path, error);
        if (error)
            return path;
        path = target.is_absolute() ? target.string()
                                    : (std::filesystem::path(path).parent_path() / target).string();
    }
    return path;
}

FileRewrite rewriteFile(
    const std::string& path, const std::string& lockPath,
    const std::function<std::optional<std::string>(const std::optional<std::string>&)>& change) {
    const std::string target = followLinks(path);
    FileDescriptor lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (!lock.valid())
        return errno == ENOENT ? FileRewrite::Missing : FileRewrite::Failed;
    if (!lockExclusive(lock.get()))
        return FileRewrite::Failed;

    std::string bytes;
    mode_t mode = 0;
    const ReadOutcome outcome = readWholeFile(target, bytes, &mode);
    // Replacing a file we could not read would throw away what it holds.
    if (outcome == ReadOutcome::Failed)
        return FileRewrite::Failed;
    if (outcome == ReadOutcome::Read && !isWritable(target, mode))
        return FileRewrite::ReadOnly;
    const std::optional<std::string> out =
        change(outcome == ReadOutcome::Read ? std::optional(std::move(bytes)) : std::nullopt);
    if (!out)
        return outcome == ReadOutcome::Read ? FileRewrite::Declined : FileRewrite::Missing;
    // The lock is let go only after the rename, so the next writer reads
    // the new file.
    return replaceFile(target, *out,
                       outcome == ReadOutcome::Read ? std::optional(mode) : std::nullopt)
               ? FileRewrite::Written
               : FileRewrite::Failed;
}

namespace {

bool writeEntries(const std::string& path, const std::string& lockPath, std::string_view section,
                  const std::vector<IniProfile::Entry>& entries) {
    // Each key stands alone: one the file cannot hold keeps the value it has
    // and does not stop the others.
    std::vector<const IniProfile::Entry*> storable;
    for (const auto& entry : entries)
        if (isStorable(entry))
            storable.push_back(&entry);
    if (storable.empty())
        return false;

    // The fallback settings folder under ~/.config may not exist yet.
    const auto folder = std::filesystem::path(followLinks(path)).parent_path();
    if (!folder.empty()) {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
    }

    const auto change = [&](const std::optional<std::string>& bytes) -> std::optional<std::string> {
        IniText ini = parseText(bytes.value_or(std::string()));
        for (const auto* entry : storable)
            setValue(ini, section, entry->first, entry->second);
        std::string out;
        if (ini.bom)
            out += kUtf8Bom;
        for (const auto& line : ini.lines) {
            out += line;
            out += ini.eol;
        }
        return out;
    };
    return rewriteFile(path, lockPath, change) == FileRewrite::Written &&
           storable.size() == entries.size();
}

} // namespace

IniProfile::IniProfile(std::string path) : m_path(std::move(path)) {}

std::string IniProfile::readValue(std::string_view key, std::string_view sectionTitle) const {
    try {
        std::string bytes;
        if (readWholeFile(m_path, bytes, nullptr) != ReadOutcome::Read)
            return {};
        const IniText ini = parseText(bytes);
        const auto section = findSection(ini.lines, sectionTitle);
        if (!section)
            return {};
        const auto at = findKey(ini.lines, *section, key);
        return at ? std::string(keyLine(ini.lines[*at])->value) : std::string();
    } catch (...) {
        return {};
    }
}

bool IniProfile::writeValue(const std::string& key, const std::string& value) {
    return writeValues({{key, value}});
}

bool IniProfile::writeValues(const std::vector<Entry>& entries, std::string_view section) {
    try {
        return writeEntries(m_path, lockPath(), section, entries);
    } catch (...) {
        return false;
    }
}

} // namespace tremlo
