#include "x11_keymap.h"

#include <QGuiApplication>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace tremlo {
namespace {

// A connection of our own: Qt's is xcb, and its keymap is not public. It is
// opened at the first key and kept until the process ends.
Display* display() {
    static Display* const connection = [] {
        return QGuiApplication::platformName() == QLatin1String("xcb") ? XOpenDisplay(nullptr)
                                                                       : nullptr;
    }();
    return connection;
}

} // namespace

KeySymbols x11KeySymbols(std::uint32_t xKeyCode) {
    Display* connection = display();
    if (!connection || xKeyCode < 8 || xKeyCode > 255)
        return {};
    XkbStateRec state{};
    if (XkbGetState(connection, XkbUseCoreKbd, &state) != Success)
        return {};
    XkbDescPtr keyboard = XkbGetMap(connection, XkbKeySymsMask | XkbKeyTypesMask, XkbUseCoreKbd);
    if (!keyboard)
        return {};
    const auto code = static_cast<KeyCode>(xKeyCode);
    KeySymbols symbols;
    if (code >= keyboard->min_key_code && code <= keyboard->max_key_code) {
        const int groups = XkbKeyNumGroups(keyboard, code);
        if (groups > 0) {
            // A group beyond the key's own wraps round, as the server does.
            const int group = state.group % groups;
            const int levels = XkbKeyGroupWidth(keyboard, code, group);
            if (levels > 0)
                symbols.plain =
                    static_cast<std::uint32_t>(XkbKeySymEntry(keyboard, code, 0, group));
            if (levels > 1)
                symbols.shifted =
                    static_cast<std::uint32_t>(XkbKeySymEntry(keyboard, code, 1, group));
        }
    }
    XkbFreeKeyboard(keyboard, 0, True);
    return symbols;
}

} // namespace tremlo
