#include "portal_shortcuts.h"

#include "global_keys.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <xcb/xproto.h>
// Last: Xlib's macros would clash with the headers above.
#include <X11/Xlib.h>

namespace tremlo {
namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kIds[2] = {QStringLiteral("on"), QStringLiteral("off")};

// One entry of the portal's a(sa{sv}): a shortcut's id and its properties.
struct Shortcut {
    QString id;
    QVariantMap properties;
};

} // namespace
} // namespace tremlo

Q_DECLARE_METATYPE(tremlo::Shortcut)

namespace tremlo {
namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

void registerTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<Shortcut>();
        qDBusRegisterMetaType<QList<Shortcut>>();
        return true;
    }();
    (void)registered;
}

// The session handle comes as a string by the interface's word, as an
// object path from some desktops.
QString pathText(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

std::optional<int> buttonIndexOf(const QString& id) {
    for (int i = 0; i < 2; ++i)
        if (id == kIds[i])
            return i;
    return std::nullopt;
}

} // namespace

std::optional<std::string> portalTriggerOf(const std::string& portableText) {
    const std::optional<X11Key> key = x11KeyOf(portableText);
    if (!key)
        return std::nullopt;
    const char* name = XKeysymToString(key->keysym);
    if (!name)
        return std::nullopt;
    std::string trigger;
    for (const auto& [mask, word] :
         {std::pair{XCB_MOD_MASK_CONTROL, "CTRL+"}, std::pair{XCB_MOD_MASK_1, "ALT+"},
          std::pair{XCB_MOD_MASK_SHIFT, "SHIFT+"}, std::pair{XCB_MOD_MASK_4, "LOGO+"}})
        if (key->modifiers & mask)
            trigger += word;
    return trigger + name;
}

PortalShortcuts::PortalShortcuts(QDBusConnection bus,
                                 std::function<void(input::SwitchButton, bool)> onKey)
    : m_bus(std::move(bus)), m_onKey(std::move(onKey)) {
    registerTypes();
    if (!m_bus.isConnected())
        return;
    // Taken as whole messages: Qt 6.4's QtDBus refuses a slot that takes
    // both an object path and a map, the signals' o, s, t, a{sv}.
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                  SLOT(activated(QDBusMessage)));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("Deactivated"), this,
                  SLOT(deactivated(QDBusMessage)));
}

PortalShortcuts::~PortalShortcuts() {
    closeSession();
}

void PortalShortcuts::setKeys(const std::string& onKey, const std::string& offKey) {
    closeSession();
    m_wanted[0] = onKey;
    m_wanted[1] = offKey;
    m_granted[0].clear();
    m_granted[1].clear();
    if (!m_bus.isConnected() || (onKey.empty() && offKey.empty())) {
        setState(m_bus.isConnected() ? State::Bound : State::Unavailable);
        return;
    }
    setState(State::Asking);
    createSession();
}

QString PortalShortcuts::granted(input::SwitchButton button) const {
    return m_granted[button == input::SwitchButton::On ? 0 : 1];
}

// The reply's path is the one the portal makes from our name and the token;
// the signal is listened to before the call, or a fast answer would be lost.
void PortalShortcuts::listenForRequest(const QString& token) {
    QString sender = m_bus.baseService();
    sender.remove(0, sender.startsWith(QLatin1Char(':')) ? 1 : 0);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString path = kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
    m_bus.connect(kService, path, QStringLiteral("org.freedesktop.portal.Request"),
                  QStringLiteral("Response"), this,
                  SLOT(response(uint, QVariantMap, QDBusMessage)));
    m_pendingRequest = path;
}

void PortalShortcuts::createSession() {
    const QString token = QStringLiteral("tremolo%1").arg(++m_serial);
    listenForRequest(token);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                       QStringLiteral("CreateSession"));
    call << QVariantMap{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("session_handle_token"), token}};
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        // No portal, or one that lacks the interface: the caller falls back.
        if (w->isError()) {
            m_pendingRequest.clear();
            setState(State::Unavailable);
        }
    });
}

void PortalShortcuts::bindShortcuts() {
    QList<Shortcut> shortcuts;
    const QString descriptions[2] = {
        QCoreApplication::translate("PortalShortcuts", "発車メロディ ON"),
        QCoreApplication::translate("PortalShortcuts", "発車メロディ OFF")};
    for (int i = 0; i < 2; ++i) {
        if (m_wanted[i].empty())
            continue;
        QVariantMap properties{{QStringLiteral("description"), descriptions[i]}};
        if (const std::optional<std::string> trigger = portalTriggerOf(m_wanted[i]))
            properties.insert(QStringLiteral("preferred_trigger"),
                              QString::fromStdString(*trigger));
        shortcuts.push_back({kIds[i], properties});
    }
    const QString token = QStringLiteral("tremolo%1").arg(++m_serial);
    listenForRequest(token);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                       QStringLiteral("BindShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariant::fromValue(shortcuts)
         << QString() << QVariantMap{{QStringLiteral("handle_token"), token}};
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (w->isError()) {
            m_pendingRequest.clear();
            setState(State::Refused);
        }
    });
}

void PortalShortcuts::response(uint code, const QVariantMap& results, const QDBusMessage& message) {
    if (message.path() != m_pendingRequest)
        return; // a request of a session given up since
    m_pendingRequest.clear();
    m_bus.disconnect(kService, message.path(), QStringLiteral("org.freedesktop.portal.Request"),
                     QStringLiteral("Response"), this,
                     SLOT(response(uint, QVariantMap, QDBusMessage)));
    if (code != 0) {
        setState(State::Refused);
        return;
    }
    if (m_session.isEmpty()) {
        m_session = pathText(results.value(QStringLiteral("session_handle")));
        if (m_session.isEmpty()) {
            setState(State::Refused);
            return;
        }
        bindShortcuts();
        return;
    }
    const QList<Shortcut> bound =
        qdbus_cast<QList<Shortcut>>(results.value(QStringLiteral("shortcuts")));
    for (const Shortcut& shortcut : bound)
        if (const std::optional<int> i = buttonIndexOf(shortcut.id))
            m_granted[*i] =
                shortcut.properties.value(QStringLiteral("trigger_description")).toString();
    setState(State::Bound);
}

void PortalShortcuts::activated(const QDBusMessage& message) {
    press(message, true);
}

void PortalShortcuts::deactivated(const QDBusMessage& message) {
    press(message, false);
}

// A desktop repeats Activated while a key is held on some keyboards; the
// switch takes repeats as presses, as it does from the keyboard.
void PortalShortcuts::press(const QDBusMessage& message, bool pressed) {
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || m_session.isEmpty() || pathText(arguments[0]) != m_session)
        return;
    const std::optional<int> i = buttonIndexOf(arguments[1].toString());
    if (!i)
        return;
    if (!pressed && !m_held[*i])
        return;
    m_held[*i] = pressed;
    m_onKey(*i == 0 ? input::SwitchButton::On : input::SwitchButton::Off, pressed);
}

void PortalShortcuts::releaseHeld() {
    for (int i = 0; i < 2; ++i)
        if (m_held[i]) {
            m_held[i] = false;
            m_onKey(i == 0 ? input::SwitchButton::On : input::SwitchButton::Off, false);
        }
}

void PortalShortcuts::closeSession() {
    releaseHeld();
    m_pendingRequest.clear();
    if (m_session.isEmpty())
        return;
    m_bus.asyncCall(QDBusMessage::createMethodCall(kService, m_session,
                                                   QStringLiteral("org.freedesktop.portal.Session"),
                                                   QStringLiteral("Close")));
    m_session.clear();
}

void PortalShortcuts::setState(State state) {
    m_state = state;
    if (m_changed)
        m_changed();
}

} // namespace tremlo
