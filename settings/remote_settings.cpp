#include "remote_settings.h"

#include "settings_keys.h"

namespace tremlo {

RemoteSettings readRemoteSettings(const IniProfile& ini) {
    RemoteSettings remote;
    readSection(ini, kRemoteKeys, remote);
    return remote;
}

RemotePeerSettings readRemotePeerSettings(const IniProfile& ini) {
    RemotePeerSettings peers;
    readSection(ini, kRemotePeerKeys, peers);
    return peers;
}

bool writeRemoteSettings(IniProfile& ini, const RemoteSettings& remote) {
    return writeSection(ini, kRemoteKeys, remote);
}

} // namespace tremlo
