#pragma once

// The settings file on disk: the program's section, "[TREMLO 1.10]", of
// `key=value` lines, and sections of their own for settings that came later
// (the melody shelf's "[Shelf]"), so the program's section keeps its keys.
//
// Reading opens the file afresh each time, so a value another instance has
// just saved is seen at once; a missing file, section or key reads as empty,
// and reading never creates anything. Keys and the section name compare
// without regard to ASCII case, and blanks around a key and its value are
// dropped. The first matching section and, in it, the first matching key
// count. Values are read whole, however long.
//
// Writing replaces or appends only the keys it is given: lines and keys the
// program does not know, other sections and the file's own line ending (CRLF
// or LF; LF for a new file) stay as they were. Every write takes an advisory
// lock on a lock file beside the settings file ("<name>.lock"), reads the
// file as it is now, and replaces it through a temporary file that is
// flushed to disk and renamed over it. So a crash never leaves a truncated
// file, two instances never mix their writes, and for each key the last
// write wins. The lock file stays in place: removing it would let a waiting
// instance lock a file the next one no longer sees.
//
// A settings file that is a symbolic link is written through to its target,
// which is replaced the same way; the link stays. A read-only file (no write
// permission for us, or for anyone) is never replaced: the write fails.
//
// The file is written in UTF-8. A file that is not valid UTF-8 is taken to be
// Shift-JIS (CP932), as written by Japanese Windows, and is UTF-8 once it has
// been rewritten.
//
// Nothing here throws; a write that fails returns false and leaves the file
// as it was. Thread: any, one object per thread.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace tremlo {

// Writes `bytes` to a temporary file beside `path` (its name plus ".tmp"),
// flushes it to the disk and renames it over `path`, so a reader sees the old
// file or the new one, never half of one. The temporary name is fixed: a
// caller that can race another writer of the same file must hold a lock, and
// one left by a crash is simply replaced. False leaves `path` as it was.
bool replaceFile(const std::string& path, std::string_view bytes,
                 std::optional<mode_t> mode = std::nullopt);

// The file a write to `path` lands in: a symbolic link is followed to its
// target, so the link stays a link. A loop or a chain too long ends at the
// last name.
std::string followLinks(std::string path);

enum class FileRewrite { Written, Missing, ReadOnly, Declined, Failed };

// Changes a file the way the settings file is written, for any file the
// program and the user both keep: `path` is followed to its target; the lock
// file `lockPath` is held from the read to the rename, so two programs
// changing it at once both get their change in; `change` gets the bytes as
// they are under that lock (nullopt when there is no file) and returns the
// new ones, or nullopt to leave the file alone (Declined, or Missing when
// there was none); the new file keeps the old one's permission bits. A
// read-only file is not offered to `change` (ReadOnly), and one that cannot
// be read is never replaced (Failed). Missing also when the lock file's
// folder is gone.
FileRewrite rewriteFile(
    const std::string& path, const std::string& lockPath,
    const std::function<std::optional<std::string>(const std::optional<std::string>&)>& change);

class IniProfile {
public:
    using Entry = std::pair<std::string, std::string>; // key, value

    static constexpr std::string_view kSection = "TREMLO 1.10";

    explicit IniProfile(std::string path);

    const std::string& path() const { return m_path; }
    std::string lockPath() const { return m_path + ".lock"; }

    // The key's value, or empty when the file, the section or the key is
    // missing or the file cannot be read.
    std::string readValue(std::string_view key, std::string_view section = kSection) const;

    bool writeValue(const std::string& key, const std::string& value);

    // All entries in one replacement of the file, in the given order for
    // keys that are new to it. A key or value the file could not hold (a
    // line break, an "=" in a key, a value that is not UTF-8) is left out,
    // so the file keeps what it had for that key, and the others are still
    // written. True only when every entry was written.
    // A section the file lacks is added at its end.
    bool writeValues(const std::vector<Entry>& entries, std::string_view section = kSection);

private:
    std::string m_path;
};

} // namespace tremlo
