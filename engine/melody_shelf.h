#pragma once

// The melody shelf: the melodies the user moves along with 次のメロディ and
// 前のメロディ and picks from the メロディ submenu. It is either the "Melody"
// folders (beside the program, and the user's own under
// ~/.local/share/tremolo), sorted as the door and ambience catalogues are, or
// a playlist the user opened, in the playlist's own order.
//
// The shelf holds paths, not sounds: an entry is loaded when it is chosen.
// Which entry is the loaded one is not kept here but read from the melody
// the state says is loaded, so a file opened from elsewhere leaves no entry
// checked. The playlist and the position last chosen live in the settings
// file's "[Shelf]" section, apart from the program's own keys, and are
// written at each step so a restart returns to them.
//
// Thread: the user-interface thread.

#include "ini_profile.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tremlo {

struct ShelfEntry {
    std::string path;  // absolute, or as the playlist gave it when that failed
    std::string title; // what the menu shows: the #EXTINF title or the file name
};

// ".m3u" or ".m3u8" in any letter case.
bool isPlaylistPath(const std::string& path);

// The entries of an M3U playlist, in its order. `bytes` is the file;
// `playlistPath` decides the encoding (".m3u8" is UTF-8; ".m3u" is UTF-8 when
// it reads as such and Shift-JIS otherwise) and the folder relative entries
// are resolved against. Comment lines other than #EXTINF are skipped, and so
// are URLs: only local files can be loaded.
std::vector<ShelfEntry> parsePlaylist(std::string_view bytes, const std::string& playlistPath);

// The melodies of `folder` (any ending the loader takes), sorted with
// SortNames; hidden files are left out.
std::vector<ShelfEntry> listMelodyFolder(const std::string& folder);

// $XDG_DATA_HOME/tremolo/Melody, or ~/.local/share/tremolo/Melody.
std::string userMelodyFolder();

class MelodyShelf {
public:
    static constexpr std::string_view kSection = "Shelf";

    // `folders` are listed in their order when the shelf is the folder shelf.
    MelodyShelf(IniProfile& file, std::vector<std::string> folders);

    // Lists the Melody folders; the shelf becomes the folder shelf.
    void BuildMelodyShelf();
    // Reads a playlist and makes it the shelf. False, leaving the shelf as
    // it was, when the file cannot be read or names no file.
    bool openPlaylist(const std::string& path);

    const std::vector<ShelfEntry>& entries() const { return m_entries; }
    // Empty for the folder shelf.
    const std::string& playlist() const { return m_playlist; }

    // The entry whose file is loaded: the one last chosen when it is that
    // file (a playlist may name a file twice), else the first with its path.
    std::optional<std::size_t> loadedEntry(const std::string& loadedPath) const;
    // "3/12" for the loaded entry; empty when none is loaded.
    std::string positionText(const std::string& loadedPath) const;

    // Each makes `index` (or the entry after or before the loaded one, round
    // the ends) the chosen one, saves the position and returns the file to
    // load; nullopt on an empty shelf or an index outside it. With nothing of
    // the shelf loaded, the next is the first and the previous the last.
    std::optional<std::string> choose(std::size_t index);
    std::optional<std::string> step(int direction, const std::string& loadedPath);

    // The shelf of the last run: its playlist (or the folder shelf when that
    // is gone) and the file of the entry chosen last, nullopt when the file
    // has no "[Shelf]" section or its entry is gone.
    std::optional<std::string> restore();

private:
    void save();

    IniProfile& m_file;
    std::vector<std::string> m_folders;
    std::vector<ShelfEntry> m_entries;
    std::string m_playlist;
    std::size_t m_chosen = 0;
};

} // namespace tremlo
