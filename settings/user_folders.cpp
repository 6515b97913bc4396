#include "user_folders.h"

#include <cstdlib>
#include <pwd.h>
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

} // namespace tremlo
