#pragma once

// The program's folders in the user's home, as the XDG base directories
// name them: each variable counts only when it holds an absolute path, else
// the usual folder under the home ($HOME, or the password database's entry
// when that is unset or empty).

#include <string>

namespace tremlo {

// $XDG_CONFIG_HOME/tremolo, or ~/.config/tremolo.
std::string userConfigFolder();
// $XDG_DATA_HOME/tremolo, or ~/.local/share/tremolo.
std::string userDataFolder();
// $XDG_CACHE_HOME/tremolo, or ~/.cache/tremolo.
std::string userCacheFolder();

// The user's music folder as user-dirs.dirs ($XDG_CONFIG_HOME, or
// ~/.config) names it in XDG_MUSIC_DIR ("$HOME/Music" or an absolute path);
// ~/Music when the file or the line is missing or names no absolute path.
std::string userMusicFolder();
// The same from the text of a user-dirs.dirs and the home folder.
std::string musicFolderOf(const std::string& userDirs, const std::string& home);

} // namespace tremlo
