#pragma once

// The melody shelf: the melodies the user moves along with 次のメロディ and
// 前のメロディ and picks from the メロディ submenu. It is either the "Melody"
// folders (beside the program, and the user's own under
// ~/.local/share/tremolo), sorted as the door and ambience catalogues are, or
// a playlist the user opened, in the playlist's own order, or a station set,
// one entry per platform in the file's order (the platform gives the entry
// its melody; the commands apply the rest of it).
//
// The shelf holds paths, not sounds: an entry is loaded when it is chosen.
// Which entry is the loaded one is not kept here but read from the melody
// the state says is loaded, so a file opened from elsewhere leaves no entry
// checked. The playlist and the entry last chosen (its file and its
// position) live in the settings file's "[Shelf]" section, apart from the
// program's own keys, and are written at each step so a restart returns to
// them.
//
// Thread: the user-interface thread.

#include "ini_profile.h"
#include "shelf_settings.h"
#include "station_set.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tremlo {

struct ShelfEntry {
    std::string path;  // absolute, or as the playlist gave it when that failed
    std::string title; // what the menu shows: the #EXTINF title or the file name
};

// A playlist is a list of names, not a library: anything longer is cut, with
// a word to the user, so a wrong file (a log, a device) cannot hold start-up
// or fill the menu.
inline constexpr std::size_t kMaxPlaylistBytes = std::size_t{1} << 20;
inline constexpr std::size_t kMaxShelfEntries = 2000;

// What the shelf can open: ".m3u", ".m3u8" or ".stations.json", in any
// letter case.
bool isPlaylistPath(const std::string& path);

// The entries of an M3U playlist, in its order, at most kMaxShelfEntries + 1
// (one more than the shelf takes, so a cut list shows). `bytes` is the file;
// `playlistPath` decides the encoding (UTF-16 by its byte-order mark; ".m3u8"
// is UTF-8; ".m3u" is UTF-8 when it reads as such and Shift-JIS otherwise)
// and the folder relative entries are resolved against. Comment lines other
// than #EXTINF are skipped, and so are URLs: only local files can be loaded.
// A Windows path ("C:\Melody\発車.wav") is looked for in the playlist's
// folder, by its trailing folders and at last by its file name alone.
std::vector<ShelfEntry> parsePlaylist(std::string_view bytes, const std::string& playlistPath);

// The melodies of `folder` (any ending the loader takes), sorted with
// SortNames; hidden files are left out.
std::vector<ShelfEntry> listMelodyFolder(const std::string& folder);

// $XDG_DATA_HOME/tremolo/Melody, or ~/.local/share/tremolo/Melody.
std::string userMelodyFolder();

// What opening a playlist came to. `message` is for the user: why it was
// refused, or what of it was left out or not found; empty when all is well.
struct PlaylistOutcome {
    bool opened = false;
    std::string message;
};

class MelodyShelf {
public:
    static constexpr std::string_view kSection = kShelfSection;

    // `folders` are listed in their order when the shelf is the folder shelf.
    MelodyShelf(IniProfile& file, std::vector<std::string> folders);

    // Lists the Melody folders; the shelf becomes the folder shelf.
    void BuildMelodyShelf();
    // Reads a playlist (a regular file only) and makes it the shelf. Refused,
    // leaving the shelf as it was, when the file cannot be read or none of
    // its entries is a file that is there. A station set is refused whole
    // for any fault, a file it names that is not there included, and when
    // none of its melodies is a file the loader takes.
    PlaylistOutcome openPlaylist(const std::string& path);

    // The station set the shelf is; null for a playlist or the folders.
    const StationSet* stationSet() const { return m_set ? &*m_set : nullptr; }
    // The platform of entry `index` when the shelf is a station set.
    const Platform* platform(std::size_t index) const;
    // Which file of entry `index`'s platform is not there, as a message
    // naming the platform and key; nullopt when all are, or for no platform.
    std::optional<std::string> missingFileOf(std::size_t index) const;
    // The submenus entry `index` sits in: its line and station on a station
    // set of more than one line or station, else none.
    std::vector<std::string> menuFolders(std::size_t index) const;
    // The entry last chosen (or restored).
    std::size_t chosen() const { return m_chosen; }

    const std::vector<ShelfEntry>& entries() const { return m_entries; }
    // Empty for the folder shelf.
    const std::string& playlist() const { return m_playlist; }
    // Changes whenever the entries do, so a menu can tell it is out of date
    // without comparing them.
    std::size_t revision() const { return m_revision; }

    // The entry whose file is loaded: the one last chosen when it is that
    // file (a playlist may name a file twice), else the first with its path.
    std::optional<std::size_t> loadedEntry(const std::string& loadedPath) const;
    // "3/12" for the loaded entry, after the station and platform ("品川
    // 1番線  3/12") on a station set; empty when none is loaded.
    std::string positionText(const std::string& loadedPath) const;

    // Makes entry `index` the chosen one, saves the position and returns the
    // file to load; nullopt, changing nothing, for an index outside the shelf
    // or an entry whose file is not there (on a station set, any file of its
    // platform).
    std::optional<std::string> choose(std::size_t index);
    // The entry after or before the loaded one, round the ends, passing over
    // entries whose file is not there; with nothing of the shelf loaded, the
    // next is the first and the previous the last. Chosen as by choose();
    // nullopt when no entry's file is there.
    std::optional<std::string> step(int direction, const std::string& loadedPath);

    // The shelf of the last run: its playlist (or the folder shelf when that
    // is gone) and the file of the entry chosen last, found by its path and
    // by its position when the path is not on the shelf (or was not kept).
    // Nullopt when the file has no "[Shelf]" section or the file is not there.
    std::optional<std::string> restore();

    // While held, choices are not saved one by one; letting go saves the
    // last, so a run of steps from afar writes the file once it settles.
    void holdSaves(bool held);

private:
    void save();
    bool isThereWhole(std::size_t index) const;
    void setEntries(std::vector<ShelfEntry> entries, std::string playlist,
                    std::optional<StationSet> set = std::nullopt);
    PlaylistOutcome openStationSet(const std::string& path, const std::string& absolute);
    std::string platformKey(std::size_t index) const;

    IniProfile& m_file;
    bool m_savesHeld = false;
    bool m_saveOwed = false;
    std::vector<std::string> m_folders;
    std::vector<ShelfEntry> m_entries;
    std::string m_playlist;
    std::optional<StationSet> m_set;
    std::vector<PlatformPlace> m_places; // of m_set, entry by entry
    std::size_t m_chosen = 0;
    std::size_t m_revision = 0;
};

} // namespace tremlo
