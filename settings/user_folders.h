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

} // namespace tremlo
