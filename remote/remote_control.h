#pragma once

// The remote controls together: the desktop's media controls, always on when
// there is a session bus, and OSC and the phone page as [Remote] says, all
// under one AccessPolicy so that wrong tokens count across them. A change of
// the settings closes every connection the old ones let in.
//
// Thread: the user-interface thread.

#include "mpris.h"
#include "osc_server.h"
#include "remote_settings.h"
#include "remote_switch.h"
#include "web_server.h"

#include <QString>
#include <optional>
#include <string>
#include <vector>

namespace tremlo::remote {

// Shorter tokens are not taken: they would be guessed.
inline constexpr std::size_t kMinTokenLength = 22;

// 128 bits from the system's random source, as 22 URL-safe characters.
std::string newToken();
// The settings with a new token when LAN access is on and the token is
// missing or too short; the settings as they are otherwise.
RemoteSettings withUsableToken(RemoteSettings settings);
// The phone page's address as another device reaches it: this computer's
// first LAN address with LAN access, else the loopback one, and the token.
QString pageAddress(const RemoteSettings& settings);

class RemoteControl {
public:
    RemoteControl(RemoteSwitch& remoteSwitch, MprisWindowActions windowActions,
                  const Clock& clock = steadyClock());
    ~RemoteControl();
    RemoteControl(const RemoteControl&) = delete;
    RemoteControl& operator=(const RemoteControl&) = delete;

    // Listens, or stops listening, as `settings` say; a line for each remote
    // that could not start. Settings the same as the last ones that started
    // change nothing.
    std::vector<std::string> apply(const RemoteSettings& settings);
    // LAN access takes peers on any address, not only the local network's.
    void setPeersAnywhere(bool anywhere) { m_policy.setPeersAnywhere(anywhere); }
    // The media controls: false when there is no session bus.
    bool publishMediaControls() { return m_mpris.publish(); }

    const OscServer& osc() const { return m_osc; }
    const WebServer& web() const { return m_web; }

private:
    RemoteSwitch& m_switch;
    AccessPolicy m_policy;
    OscServer m_osc;
    WebServer m_web;
    Mpris m_mpris;
    std::optional<RemoteSettings> m_applied;
    std::vector<std::string> m_problems;
};

} // namespace tremlo::remote
