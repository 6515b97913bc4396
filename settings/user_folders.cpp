#include "user_folders.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <string_view>
#include <unistd.h>

namespace tremlo {
namespace {

std::string homeFolder() {
    if (const char* env = std::getenv("HOME"); env && env[0] != '\0')
        return env;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return {};
}

std::string joined(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

std::string programFolderIn(const char* variable, const char* underHome) {
    const char* xdg = std::getenv(variable);
    const std::string base =
        xdg && xdg[0] == '/' ? std::string(xdg) : joined(homeFolder(), underHome);
    return joined(base, "tremolo");
}

} // namespace

std::string userConfigFolder() {
    return programFolderIn("XDG_CONFIG_HOME", ".config");
}

std::string userDataFolder() {
    return programFolderIn("XDG_DATA_HOME", ".local/share");
}

std::string userCacheFolder() {
    return programFolderIn("XDG_CACHE_HOME", ".cache");
}

// Lines of the form XDG_MUSIC_DIR="$HOME/Music", as xdg-user-dirs writes
// them; the last one counts, as it does for the shell that reads the file.
std::string musicFolderOf(const std::string& userDirs, const std::string& home) {
    std::string folder;
    std::istringstream lines(userDirs);
    for (std::string line; std::getline(lines, line);) {
        constexpr std::string_view kKey = "XDG_MUSIC_DIR=\"";
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, kKey.size(), kKey) != 0)
            continue;
        const auto valueStart = start + kKey.size();
        const auto end = line.find('"', valueStart);
        if (end == std::string::npos)
            continue;
        std::string value = line.substr(valueStart, end - valueStart);
        if (value.starts_with("$HOME"))
            value.replace(0, 5, home);
        folder = value;
    }
    while (folder.size() > 1 && folder.ends_with('/'))
        folder.pop_back();
    // Set to the home folder itself, the music folder is switched off.
    return folder.starts_with('/') && folder != home ? folder : joined(home, "Music");
}

std::string userMusicFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string config =
        xdg && xdg[0] == '/' ? std::string(xdg) : joined(homeFolder(), ".config");
    std::ifstream file(joined(config, "user-dirs.dirs"));
    std::ostringstream text;
    text << file.rdbuf();
    return musicFolderOf(text.str(), homeFolder());
}

} // namespace tremlo
