#pragma once

// The options dialog's リモート操作 tab: OSC and the phone page with their
// ports, LAN access, and the token with a QR code of the page's address,
// which a phone's camera opens. Its values reach [Remote] and the listening
// sockets only when the dialog's OK is pressed, as the other tabs' do.
//
// Thread: the user-interface thread.

#include "remote_settings.h"

#include <QString>
#include <functional>
#include <string>
#include <vector>

class QDialog;
class QImage;
class QTabWidget;

namespace tremlo::ui {

struct RemotePageParts {
    std::function<RemoteSettings()> load;
    // Saves and applies; a line for each part that could not.
    std::function<std::vector<std::string>(const RemoteSettings&)> apply;
    std::function<std::string()> newToken;
    std::function<QString(const RemoteSettings&)> address;
};

// Adds the tab to `tabs` and applies it when `dialog` is accepted.
void addRemotePanel(QTabWidget& tabs, QDialog& dialog, const RemotePageParts& parts);

// `text` as a QR code, `scale` pixels a module with the quiet zone around it;
// a null image when it does not fit in one.
QImage qrImage(const QString& text, int scale);

} // namespace tremlo::ui
