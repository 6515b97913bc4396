#include "melody_shelf.h"

#include "ascii_text.h"
#include "catalogues.h"
#include "sound_loading.h"
#include "text_encoding.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iconv.h>
#include <langinfo.h>
#include <sstream>

namespace tremlo {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kExtInf = "#EXTINF:";

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// Through iconv from the locale's character set; nullopt when the locale is
// UTF-8 already (the text was not) or the bytes are not of its set.
std::optional<std::string> fromLocale(std::string_view bytes) {
    const char* codeset = nl_langinfo(CODESET);
    if (!codeset || equalsIgnoringAsciiCase(codeset, "UTF-8") ||
        equalsIgnoringAsciiCase(codeset, "ANSI_X3.4-1968"))
        return std::nullopt;
    iconv_t convert = iconv_open("UTF-8", codeset);
    // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv's own failure value
    if (convert == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string in(bytes);
    std::string out(in.size() * 4 + 4, '\0');
    char* inPointer = in.data();
    char* outPointer = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    const bool whole =
        iconv(convert, &inPointer, &inLeft, &outPointer, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(convert);
    if (!whole)
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

// Playlists from Windows are written in the system's code page: Shift-JIS for
// the Japanese users who keep melodies. A desktop whose locale is another
// legacy set gets its own first.
std::string decodePlaylist(std::string_view bytes, bool utf8) {
    if (bytes.starts_with(kUtf8Bom))
        bytes.remove_prefix(kUtf8Bom.size());
    if (utf8 || isValidUtf8(bytes))
        return std::string(bytes);
    if (auto text = fromLocale(bytes))
        return *text;
    return cp932ToUtf8(bytes);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A line of the playlist as a path: file URLs are unwrapped, other URLs
// give nothing, and a Windows line ("Melody\\発車.wav") gets its slashes.
std::optional<std::string> pathOfLine(std::string_view line, const fs::path& folder) {
    std::string path;
    if (line.starts_with("file://")) {
        line.remove_prefix(7);
        const auto slash = line.find('/');
        if (slash == std::string_view::npos)
            return std::nullopt;
        path = percentDecoded(line.substr(slash));
    } else if (line.find("://") != std::string_view::npos) {
        return std::nullopt;
    } else {
        path = std::string(line);
        if (path.find('/') == std::string::npos)
            for (char& c : path)
                if (c == '\\')
                    c = '/';
    }
    const fs::path entry(path);
    return (entry.is_absolute() ? entry : folder / entry).lexically_normal().string();
}

std::string readFile(const std::string& path, bool& read) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    read = in.good() || in.eof();
    return bytes.str();
}

} // namespace

bool isPlaylistPath(const std::string& path) {
    const std::string lower = asciiLower(path);
    return lower.ends_with(".m3u") || lower.ends_with(".m3u8");
}

std::vector<ShelfEntry> parsePlaylist(std::string_view bytes, const std::string& playlistPath) {
    const std::string text = decodePlaylist(bytes, asciiLower(playlistPath).ends_with(".m3u8"));
    const fs::path folder = fs::path(playlistPath).parent_path();
    std::vector<ShelfEntry> entries;
    std::string title;
    std::istringstream lines(text);
    for (std::string raw; std::getline(lines, raw);) {
        const std::string_view line = trimmed(raw);
        if (line.starts_with(kExtInf)) {
            // "#EXTINF:duration attributes,title": the title follows the first
            // comma and names the next entry only.
            const auto comma = line.find(',');
            title =
                comma == std::string_view::npos ? "" : std::string(trimmed(line.substr(comma + 1)));
            continue;
        }
        if (line.empty() || line.starts_with('#'))
            continue;
        if (auto path = pathOfLine(line, folder))
            entries.push_back({*path, title.empty() ? fileNameOf(*path) : title});
        title.clear();
    }
    return entries;
}

std::vector<ShelfEntry> listMelodyFolder(const std::string& folder) {
    const std::vector<std::string> names = listSoundFolder(folder, isMelodyPath);
    std::vector<ShelfEntry> entries;
    entries.reserve(names.size());
    for (const auto& name : names) {
        std::string path = folder;
        path.append("/").append(name);
        entries.push_back({std::move(path), name});
    }
    return entries;
}

std::string userMelodyFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/')
        return std::string(data) + "/tremolo/Melody";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.local/share/tremolo/Melody";
}

MelodyShelf::MelodyShelf(IniProfile& file, std::vector<std::string> folders)
    : m_file(file), m_folders(std::move(folders)) {}

void MelodyShelf::BuildMelodyShelf() {
    m_entries.clear();
    m_playlist.clear();
    m_chosen = 0;
    for (const auto& folder : m_folders)
        for (auto& entry : listMelodyFolder(folder))
            m_entries.push_back(std::move(entry));
}

bool MelodyShelf::openPlaylist(const std::string& path) {
    bool read = false;
    const std::string bytes = readFile(path, read);
    if (!read)
        return false;
    std::vector<ShelfEntry> entries = parsePlaylist(bytes, fs::absolute(path).string());
    if (entries.empty())
        return false;
    m_entries = std::move(entries);
    m_playlist = fs::absolute(path).lexically_normal().string();
    m_chosen = 0;
    return true;
}

std::optional<std::size_t> MelodyShelf::loadedEntry(const std::string& loadedPath) const {
    if (loadedPath.empty())
        return std::nullopt;
    if (m_chosen < m_entries.size() && m_entries[m_chosen].path == loadedPath)
        return m_chosen;
    for (std::size_t k = 0; k < m_entries.size(); ++k)
        if (m_entries[k].path == loadedPath)
            return k;
    return std::nullopt;
}

std::string MelodyShelf::positionText(const std::string& loadedPath) const {
    const auto loaded = loadedEntry(loadedPath);
    return loaded ? std::to_string(*loaded + 1) + "/" + std::to_string(m_entries.size()) : "";
}

std::optional<std::string> MelodyShelf::choose(std::size_t index) {
    if (index >= m_entries.size())
        return std::nullopt;
    m_chosen = index;
    save();
    return m_entries[index].path;
}

std::optional<std::string> MelodyShelf::step(int direction, const std::string& loadedPath) {
    const std::size_t count = m_entries.size();
    if (count == 0)
        return std::nullopt;
    const auto loaded = loadedEntry(loadedPath);
    if (!loaded)
        return choose(direction > 0 ? 0 : count - 1);
    return choose(direction > 0 ? (*loaded + 1) % count : (*loaded + count - 1) % count);
}

std::optional<std::string> MelodyShelf::restore() {
    const std::string position = m_file.readValue("Position", kSection);
    if (position.empty())
        return std::nullopt;
    const std::string playlist = m_file.readValue("Playlist", kSection);
    if (!playlist.empty() && !openPlaylist(playlist))
        return std::nullopt;
    char* end = nullptr;
    const long number = std::strtol(position.c_str(), &end, 10);
    if (number < 1 || static_cast<std::size_t>(number) > m_entries.size())
        return std::nullopt;
    m_chosen = static_cast<std::size_t>(number - 1);
    return m_entries[m_chosen].path;
}

// A failed write is not reported, as for the program's own keys: the next
// step writes again.
void MelodyShelf::save() {
    m_file.writeValues({{"Playlist", m_playlist}, {"Position", std::to_string(m_chosen + 1)}},
                       kSection);
}

} // namespace tremlo
