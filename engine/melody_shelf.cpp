#include "melody_shelf.h"

#include "ascii_text.h"
#include "bounded_file.h"
#include "catalogues.h"
#include "shelf_settings.h"
#include "sound_loading.h"
#include "text_encoding.h"
#include "user_folders.h"
#include "user_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// What Windows Notepad saves as "Unicode" (little-endian) or "Unicode big
// endian", the byte-order mark already taken off. A lone surrogate becomes
// U+FFFD; a last odd byte, from a list cut short, is dropped.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    const auto unit = [&](std::size_t i) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char32_t>(bigEndian ? first << 8 | second : second << 8 | first);
    };
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    return out;
}

// Playlists from Windows are written in the system's code page: Shift-JIS for
// the Japanese users who keep melodies. A desktop whose locale is another
// legacy set gets its own first.
std::string decodePlaylist(std::string_view bytes, bool utf8) {
    if (bytes.starts_with("\xFF\xFE"))
        return utf16ToUtf8(bytes.substr(2), false);
    if (bytes.starts_with("\xFE\xFF"))
        return utf16ToUtf8(bytes.substr(2), true);
    if (bytes.starts_with(kUtf8Bom))
        bytes.remove_prefix(kUtf8Bom.size());
    if (utf8 || isValidUtf8(bytes))
        return std::string(bytes);
    if (auto text = localeToUtf8(bytes))
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

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// "C:\…", "C:/…" or "\\server\share\…": a path of the Windows machine
// the playlist was written on, which names nothing here.
bool isWindowsRooted(std::string_view path) {
    return (path.size() >= 2 && isAsciiLetter(path[0]) && path[1] == ':') ||
           path.starts_with("\\\\");
}

// The folders and file name of a Windows path, its drive or server and share
// left out.
std::vector<std::string> windowsPathParts(std::string_view path) {
    const bool server = path.starts_with("\\\\");
    path.remove_prefix(2);
    std::vector<std::string> parts;
    std::string part;
    for (const char c : path) {
        if (c != '\\' && c != '/') {
            part += c;
            continue;
        }
        if (!part.empty() && part != ".")
            parts.push_back(std::move(part));
        part.clear();
    }
    if (!part.empty() && part != ".")
        parts.push_back(std::move(part));
    if (server) // the server's and the share's names
        parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(
                                                       std::min<std::size_t>(2, parts.size())));
    return parts;
}

bool isThere(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// A Windows path is tried in the playlist's folder with as much of its tail
// as is there ("Melody\発車.wav" before "発車.wav"): a folder of melodies
// copied over with its playlist keeps its shape below the drive. When none is
// there, the file name in the playlist's folder is what the user is told of.
std::string placeOfWindowsPath(std::string_view path, const fs::path& folder) {
    const std::vector<std::string> parts = windowsPathParts(path);
    if (parts.empty())
        return folder.string();
    for (std::size_t first = 0; first < parts.size(); ++first) {
        fs::path candidate = folder;
        for (std::size_t k = first; k < parts.size(); ++k)
            candidate /= parts[k];
        candidate = candidate.lexically_normal();
        if (isThere(candidate) || first + 1 == parts.size())
            return candidate.string();
    }
    return folder.string();
}

// A line of the playlist as a path: file URLs are unwrapped, other URLs
// give nothing, and a Windows line ("Melody\発車.wav") gets its slashes.
std::optional<std::string> pathOfLine(std::string_view line, const fs::path& folder) {
    std::string path;
    if (line.starts_with("file://")) {
        line.remove_prefix(7);
        const auto slash = line.find('/');
        if (slash == std::string_view::npos)
            return std::nullopt;
        path = percentDecoded(line.substr(slash));
        // file:///C:/… from Windows
        if (path.size() >= 3 && isAsciiLetter(path[1]) && path[2] == ':')
            path.erase(0, 1);
    } else if (line.find("://") != std::string_view::npos) {
        return std::nullopt;
    } else {
        path = std::string(line);
    }
    if (isWindowsRooted(path))
        return placeOfWindowsPath(path, folder);
    if (!path.starts_with('/'))
        for (char& c : path)
            if (c == '\\')
                c = '/';
    const fs::path entry(path);
    return (entry.is_absolute() ? entry : folder / entry).lexically_normal().string();
}

// At most kMaxPlaylistBytes of a regular file, and whether there was more;
// nullopt when it is no regular file or cannot be read.
std::optional<std::string> readPlaylistFile(const std::string& path, bool& cut) {
    std::optional<std::string> bytes = readRegularFileUpTo(path, kMaxPlaylistBytes);
    cut = bytes && bytes->size() > kMaxPlaylistBytes;
    if (cut)
        bytes->resize(kMaxPlaylistBytes);
    return bytes;
}

std::string quoted(const std::string& path) {
    return "'" + readableText(path) + "'";
}

// Names the first few of `missing`, and how many more there are.
std::string missingFilesText(const std::vector<std::string>& missing) {
    constexpr std::size_t kNamed = 5;
    std::string text = userText("Engine", "次のファイルが見つかりませんでした。") + "\r\n";
    for (std::size_t k = 0; k < missing.size() && k < kNamed; ++k)
        text += "\r\n" + readableText(missing[k]);
    if (missing.size() > kNamed)
        text += "\r\n" +
                fillIn(userText("Engine", "ほか %1 件"), {std::to_string(missing.size() - kNamed)});
    return text;
}

// Whether the loader can be given `path`: a file that is there, with a
// melody's ending.
bool isPlayable(const std::string& path) {
    return isMelodyPath(path) && isThere(path);
}

// The entry `record` names on `entries`: the one at its position when that
// is its file (a playlist may name a file twice), else the first with its
// file, else the one at its position.
std::optional<std::size_t> restoredIndex(const ShelfSettings& record,
                                         const std::vector<ShelfEntry>& entries) {
    std::optional<std::size_t> atPosition;
    if (record.Position >= 1 && static_cast<std::size_t>(record.Position) <= entries.size())
        atPosition = static_cast<std::size_t>(record.Position - 1);
    if (record.File.empty() || (atPosition && entries[*atPosition].path == record.File))
        return atPosition;
    for (std::size_t k = 0; k < entries.size(); ++k)
        if (entries[k].path == record.File)
            return k;
    return atPosition;
}

} // namespace

bool isPlaylistPath(const std::string& path) {
    const std::string lower = asciiLower(path);
    return lower.ends_with(".m3u") || lower.ends_with(".m3u8") || isStationSetPath(path);
}

std::vector<ShelfEntry> parsePlaylist(std::string_view bytes, const std::string& playlistPath) {
    const std::string text = decodePlaylist(bytes, asciiLower(playlistPath).ends_with(".m3u8"));
    const fs::path folder = fs::path(playlistPath).parent_path();
    std::vector<ShelfEntry> entries;
    std::string title;
    // Read in place: the text may be a megabyte.
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = trimmed(std::string_view(text).substr(start, end - start));
        start = end + 1;
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
        if (entries.size() > kMaxShelfEntries)
            break;
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
    return userDataFolder() + "/Melody";
}

MelodyShelf::MelodyShelf(IniProfile& file, std::vector<std::string> folders)
    : m_file(file), m_folders(std::move(folders)) {}

void MelodyShelf::setEntries(std::vector<ShelfEntry> entries, std::string playlist,
                             std::optional<StationSet> set) {
    m_entries = std::move(entries);
    m_playlist = std::move(playlist);
    m_set = std::move(set);
    m_places = m_set ? m_set->places() : std::vector<PlatformPlace>{};
    m_chosen = 0;
    ++m_revision;
}

void MelodyShelf::BuildMelodyShelf() {
    std::vector<ShelfEntry> entries;
    for (const auto& folder : m_folders)
        for (auto& entry : listMelodyFolder(folder))
            entries.push_back(std::move(entry));
    setEntries(std::move(entries), {});
}

PlaylistOutcome MelodyShelf::openPlaylist(const std::string& path) {
    std::error_code error;
    const std::string absolute = fs::absolute(path, error).lexically_normal().string();
    if (isStationSetPath(path))
        return openStationSet(path, absolute);
    bool cut = false;
    const std::optional<std::string> bytes = error ? std::nullopt : readPlaylistFile(absolute, cut);
    if (!bytes)
        return {false, fillIn(userText("Engine", "プレイリスト %1 を読み込めませんでした。"),
                              {quoted(path)})};
    std::vector<ShelfEntry> entries = parsePlaylist(*bytes, absolute);
    if (cut && !entries.empty())
        entries.pop_back(); // its line may have been cut in two
    if (entries.size() > kMaxShelfEntries) {
        entries.resize(kMaxShelfEntries);
        cut = true;
    }
    std::vector<std::string> missing;
    for (const ShelfEntry& entry : entries)
        if (!isPlayable(entry.path))
            missing.push_back(entry.path);
    // A list of nothing the loader can take would leave the user a shelf of
    // failures: the shelf and the loaded melody stay as they are.
    if (missing.size() == entries.size()) {
        std::string message =
            fillIn(userText("Engine", "プレイリスト %1 には読み込めるメロディがありません。"),
                   {quoted(path)});
        if (!missing.empty())
            message += "\r\n\r\n" + missingFilesText(missing);
        return {false, message};
    }
    std::string message;
    if (cut)
        message =
            fillIn(userText("Engine",
                            "プレイリスト %1 が長すぎるため、最初の %2 曲だけを読み込みました。"),
                   {quoted(path), std::to_string(entries.size())});
    if (!missing.empty())
        message += (message.empty() ? "" : "\r\n\r\n") + missingFilesText(missing);
    setEntries(std::move(entries), absolute);
    return {true, message};
}

// All or nothing: a set with a fault anywhere leaves the shelf as it was.
PlaylistOutcome MelodyShelf::openStationSet(const std::string& path, const std::string& absolute) {
    StationSetOutcome outcome = loadStationSet(absolute);
    if (!outcome.set)
        return {false,
                fillIn(userText("Engine", "駅セット %1 を開けませんでした。"), {quoted(path)}) +
                    "\r\n\r\n" + readableText(outcome.message)};
    std::vector<ShelfEntry> entries;
    for (const PlatformPlace& place : outcome.set->places())
        entries.push_back({outcome.set->at(place).melody, outcome.set->title(place)});
    // As for a playlist: a shelf none of whose entries loads is refused.
    if (std::none_of(entries.begin(), entries.end(),
                     [](const ShelfEntry& entry) { return isPlayable(entry.path); }))
        return {false,
                fillIn(userText("Engine", "駅セット %1 には読み込めるメロディがありません。"),
                       {quoted(path)})};
    setEntries(std::move(entries), absolute, std::move(outcome.set));
    return {true, {}};
}

const Platform* MelodyShelf::platform(std::size_t index) const {
    return m_set && index < m_places.size() ? &m_set->at(m_places[index]) : nullptr;
}

std::optional<std::string> MelodyShelf::missingFileOf(std::size_t index) const {
    if (!m_set || index >= m_places.size())
        return std::nullopt;
    return findMissingFile(*m_set, m_places[index]);
}

std::vector<std::string> MelodyShelf::menuFolders(std::size_t index) const {
    if (!m_set || index >= m_places.size() ||
        (m_set->lines.size() == 1 && m_set->lines[0].stations.size() == 1))
        return {};
    const PlatformPlace& place = m_places[index];
    const Line& line = m_set->lines[place.line];
    return {line.name, line.stations[place.station].name};
}

// "山手線 ▸ 品川 ▸ 1番線": what finds the platform again in a set edited since.
std::string MelodyShelf::platformKey(std::size_t index) const {
    if (!m_set || index >= m_places.size())
        return {};
    const PlatformPlace& place = m_places[index];
    const Line& line = m_set->lines[place.line];
    const Station& station = line.stations[place.station];
    return line.name + " ▸ " + station.name + " ▸ " + station.platforms[place.platform].name;
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
    if (!loaded)
        return {};
    const std::string place = std::to_string(*loaded + 1) + "/" + std::to_string(m_entries.size());
    return m_set ? m_entries[*loaded].title + "  " + place : place;
}

// A platform is chosen whole or not at all: one with its door or ambience
// gone would be stepped onto and saved as the position, where every later
// step and start-up stops.
bool MelodyShelf::isThereWhole(std::size_t index) const {
    return index < m_entries.size() && isPlayable(m_entries[index].path) && !missingFileOf(index);
}

std::optional<std::string> MelodyShelf::choose(std::size_t index) {
    if (!isThereWhole(index))
        return std::nullopt;
    m_chosen = index;
    save();
    return m_entries[index].path;
}

std::optional<std::string> MelodyShelf::step(int direction, const std::string& loadedPath) {
    const std::size_t count = m_entries.size();
    const auto loaded = loadedEntry(loadedPath);
    // Nothing of the shelf loaded: as if just past the end the step enters by.
    std::size_t index = loaded ? *loaded : direction > 0 ? count - 1 : 0;
    for (std::size_t tried = 0; tried < count; ++tried) {
        index = direction > 0 ? (index + 1) % count : (index + count - 1) % count;
        if (auto path = choose(index))
            return path;
    }
    return std::nullopt;
}

std::optional<std::string> MelodyShelf::restore() {
    const ShelfSettings record = readShelfSettings(m_file);
    if (record.Position == 0 && record.File.empty())
        return std::nullopt;
    if (!record.Playlist.empty() && !openPlaylist(record.Playlist).opened)
        return std::nullopt;
    std::optional<std::size_t> index;
    for (std::size_t k = 0; m_set && !record.Platform.empty() && k < m_entries.size(); ++k)
        if (platformKey(k) == record.Platform) {
            index = k;
            break;
        }
    if (!index)
        index = restoredIndex(record, m_entries);
    // A platform whose door or ambience went since the last run is still
    // restored, so that applying it tells the user which file is gone.
    if (!index || !isPlayable(m_entries[*index].path))
        return std::nullopt;
    m_chosen = *index;
    return m_entries[m_chosen].path;
}

void MelodyShelf::holdSaves(bool held) {
    m_savesHeld = held;
    if (!held && std::exchange(m_saveOwed, false))
        save();
}

// A failed write is not reported, as for the program's own keys: the next
// step writes again.
void MelodyShelf::save() {
    if (m_savesHeld || m_chosen >= m_entries.size()) {
        m_saveOwed = m_savesHeld;
        return;
    }
    writeShelfSettings(m_file, {m_playlist, static_cast<std::int32_t>(m_chosen + 1),
                                m_entries[m_chosen].path, platformKey(m_chosen)});
}

} // namespace tremlo
