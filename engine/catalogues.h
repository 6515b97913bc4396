#pragma once

// The door and environment sound catalogues: the WAVE files of the "Door" and
// "Envir" folders beside the program, offered as menu entries after the
// standard sound, entry 0 "(標準)".
//
// Built once at start-up. The saved choice (DoorWAV, EnvirWAV) is the bare
// file name of the chosen entry; when it names a file of the folder, that
// file replaces the fixed sound. The menus show the entries and the one
// checked entry of each catalogue.
//
// Thread: the user-interface thread.

#include "playback_state.h"
#include "settings.h"
#include "sound_loading.h"
#include "user_text.h"

#include <string>
#include <vector>

namespace tremlo {

struct Catalogue {
    std::vector<std::string> entries{userText("Engine", "(標準)")};
    std::size_t checked = 0;
};

// The names of the files in `folder` that `wanted` takes, sorted by
// SortNames. Hidden files are no sounds of the user's: "._name.wav" beside
// every file copied from a Mac, say, which would otherwise fill a menu with
// duds. A folder that cannot be read lists nothing.
std::vector<std::string> listSoundFolder(const std::string& folder,
                                         bool (*wanted)(const std::string& name));

// Sorts ascending by 16-bit character codes (upper case before lower case), a
// Shell sort with Knuth's gaps.
void SortNames(std::vector<std::string>& names);

// The entry of `folder` called `name`, or, when there is none by that exact
// name, the one whose name differs only in letter case; `folder/name` when
// neither exists.
std::string resolveInFolder(const std::string& folder, const std::string& name);

class CatalogueBuilder {
public:
    CatalogueBuilder(const std::string& programFolder, Settings& settings, PlaybackState& state,
                     sound::SoundLibrary& library, SoundLoader& loader);

    void BuildDoorCatalogue(Catalogue& catalogue);
    void BuildEnvirCatalogue(Catalogue& catalogue);

    // The folders the entries are listed from and loaded from.
    std::string doorFolder() const;
    std::string envirFolder() const;

private:
    void build(Catalogue& catalogue, const std::string& folder, const std::string& savedChoice,
               SoundHandle& sound);

    std::string m_programFolder;
    Settings& m_settings;
    PlaybackState& m_state;
    sound::SoundLibrary& m_library;
    SoundLoader& m_loader;
};

} // namespace tremlo
