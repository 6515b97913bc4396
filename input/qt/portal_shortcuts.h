#pragma once

// System-wide keys through the desktop portal's GlobalShortcuts interface:
// the way a Wayland program asks the desktop for keys that work while
// another window has the keyboard (KDE Plasma 5.27+, GNOME 48+).
//
// The conversation, all of it asynchronous so that a slow or absent portal
// never holds up the windows: CreateSession, then BindShortcuts with the keys
// as preferred triggers; each is answered by the Response signal of a
// Request object whose path is known before the call, so it is listened to
// first. The desktop may grant other keys than those asked for, or none: what
// it granted (its trigger_description) is kept for the dialog. Activated and
// Deactivated are the key's press and release, so a held ON holds as on X11.
//
// Thread: the user-interface thread.

#include "input_control.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <optional>
#include <string>

class QDBusMessage;

namespace tremlo {

// A key text as the portal's preferred_trigger takes it ("CTRL+SHIFT+F9",
// "LOGO+a"): the modifiers in its names, then the key's XKB name. nullopt for
// what x11KeyOf cannot read.
std::optional<std::string> portalTriggerOf(const std::string& portableText);

class PortalShortcuts : public QObject {
    Q_OBJECT
public:
    enum class State {
        Asking,     // the portal has not answered yet
        Bound,      // the desktop answered; granted() says with which keys
        Refused,    // the user or the desktop said no
        Unavailable // no portal, or one without GlobalShortcuts
    };

    PortalShortcuts(QDBusConnection bus, std::function<void(input::SwitchButton, bool)> onKey);
    ~PortalShortcuts() override;

    // Closes the session held so far and, unless both are empty, asks for
    // these keys in a new one.
    void setKeys(const std::string& onKey, const std::string& offKey);

    State state() const { return m_state; }
    // What the desktop granted for a button, in its own words; empty while
    // not bound or when it granted none.
    QString granted(input::SwitchButton button) const;
    // Called whenever the state or the granted keys change.
    void onChanged(std::function<void()> changed) { m_changed = std::move(changed); }

private slots:
    void response(uint code, const QVariantMap& results, const QDBusMessage& message);
    // The desktop's Activated and Deactivated: (session, id, timestamp,
    // options).
    void activated(const QDBusMessage& message);
    void deactivated(const QDBusMessage& message);

private:
    void listenForRequest(const QString& token);
    void createSession();
    void bindShortcuts();
    void closeSession();
    void releaseHeld();
    void setState(State state);
    void press(const QDBusMessage& message, bool pressed);

    QDBusConnection m_bus;
    std::function<void(input::SwitchButton, bool)> m_onKey;
    std::function<void()> m_changed;
    std::string m_wanted[2];
    State m_state = State::Unavailable;
    QString m_session;
    QString m_pendingRequest;
    QString m_granted[2];
    bool m_held[2] = {false, false};
    unsigned m_serial = 0;
};

} // namespace tremlo
