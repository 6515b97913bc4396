#include "remote_settings.h"

#include "settings_keys.h"

namespace tremlo {

RemoteSettings readRemoteSettings(const IniProfile& ini) {
    RemoteSettings remote;
    readSection(ini, kRemoteKeys, remote);
    return remote;
}

bool writeRemoteSettings(IniProfile& ini, const RemoteSettings& remote) {
    return writeSection(ini, kRemoteKeys, remote);
}

} // namespace tremlo
