#pragma once

// The remote controls, kept in a section of their own, "[Remote]", so the
// program's section keeps its 25 keys and a file without the section
// behaves as before: every remote off but the desktop's media controls.
//
//   Osc=No          OSC over UDP on OscPort
//   OscPort=9000
//   Web=No          the phone page and its WebSocket on WebPort
//   WebPort=8470
//   Lan=No          listen on every address instead of loopback only; peers
//                   on the local network only
//   Token=          the key another computer must give; made when LAN
//                   access is first turned on
//
// Who LAN access lets in is widened only by hand, in a section of its own,
// "[Remote Peers]", so that [Remote] keeps its keys:
//
//   Anywhere=No     Yes: peers on any address, not only the local network's
//                   (private IPv4, unique-local and link-local IPv6)
//
// Thread: the user-interface thread.

#include "ini_profile.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tremlo {

inline constexpr std::string_view kRemoteSection = "Remote";

struct RemoteSettings {
    bool Osc = false;
    std::int32_t OscPort = 9000;
    bool Web = false;
    std::int32_t WebPort = 8470;
    bool Lan = false;
    std::string Token;

    bool operator==(const RemoteSettings&) const = default;
};

inline constexpr std::string_view kRemotePeersSection = "Remote Peers";

struct RemotePeerSettings {
    bool Anywhere = false;

    bool operator==(const RemotePeerSettings&) const = default;
};

RemoteSettings readRemoteSettings(const IniProfile& ini);
RemotePeerSettings readRemotePeerSettings(const IniProfile& ini);

// Every key in one replacement of the file; false when any could not be
// written (the file keeps its old value for that key).
bool writeRemoteSettings(IniProfile& ini, const RemoteSettings& remote);

} // namespace tremlo
