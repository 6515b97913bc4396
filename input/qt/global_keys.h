#pragma once

// System-wide keys for the ON and OFF buttons: keys that work the switch
// while another program's window has the keyboard. On X11 the X server hands
// them to us through passive grabs on the root window (through XWayland they
// fire only while one of XWayland's windows has the focus). Natively on
// Wayland the desktop portal binds them (PortalShortcuts), where the desktop
// offers its GlobalShortcuts interface; elsewhere setting them does nothing,
// and note() says so.
//
// The keys are Qt's portable key-sequence text ("Ctrl+Shift+F9", "Shift+A"),
// as [Input] keeps them; only the first key of a sequence counts.
//
// The grabs live on a connection to the X server of their own, with the
// keyboard's detectable auto-repeat turned on for it alone: a held key then
// repeats its press without a release before each, so the switch sees one
// press held down. On Qt's connection that setting would take away the
// releases by which Qt tells a repeat from a new press, and every window
// would take a held key for a key tapped fast.
//
// Thread: the user-interface thread.

#include "input_control.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QSocketNotifier;
struct _XDisplay; // NOLINT(bugprone-reserved-identifier): Xlib's own name for Display
struct xcb_connection_t;

namespace tremlo {

class PortalShortcuts;

// A key as the X server grabs it: the symbol it makes and the modifiers
// (X's mask bits: Shift, Control, Mod1 for Alt, Mod4 for Meta) held with it.
struct X11Key {
    std::uint32_t keysym = 0;
    std::uint16_t modifiers = 0;

    bool operator==(const X11Key&) const = default;
};

// nullopt for empty text, text Qt cannot read, a bare modifier, or a key
// that has no X symbol here.
std::optional<X11Key> x11KeyOf(const std::string& portableText);

class GlobalKeys {
public:
    explicit GlobalKeys(std::function<void(input::SwitchButton, bool pressed)> onKey);
    ~GlobalKeys();
    GlobalKeys(const GlobalKeys&) = delete;
    GlobalKeys& operator=(const GlobalKeys&) = delete;

    // Gives up the keys held so far and takes these (empty: none). Returns
    // one message for each key that could not be taken; a key held down at
    // the time is released first.
    std::vector<std::string> setKeys(const std::string& onKey, const std::string& offKey);

    // How the keys are bound here, and what the desktop granted, for the
    // dialog where they are set.
    QString note() const;
    // Where no way to bind them exists while keys are set: what to tell the
    // user once at start-up; empty otherwise, and while the portal has not
    // answered.
    std::string missingRoute() const;
    // Called when the portal answers, so the dialog and start-up hear of it.
    void onChanged(std::function<void()> changed);

private:
    struct Grab {
        input::SwitchButton button;
        std::uint8_t keycode;
        std::uint16_t modifiers;
    };

    std::optional<std::string> grab(input::SwitchButton button, const std::string& text);
    void ungrabAll();
    void releaseHeld();
    void readEvents();
    void keyEvent(bool pressed, std::uint8_t keycode, unsigned state);

    std::function<void(input::SwitchButton, bool)> m_onKey;
    std::unique_ptr<PortalShortcuts> m_portal; // natively on Wayland only
    bool m_xwayland = false;
    bool m_keysSet = false;
    xcb_connection_t* m_keymap = nullptr; // Qt's, for reading the keyboard map; null off X11
    _XDisplay* m_display = nullptr;       // our own, for the grabs and their keys
    std::unique_ptr<QSocketNotifier> m_readable;
    unsigned long m_root = 0;
    std::vector<Grab> m_grabs;
    // The key code each button's key went down with, 0 while up: its
    // release may come after its modifiers have been let go.
    std::uint8_t m_held[2] = {0, 0};
};

} // namespace tremlo
