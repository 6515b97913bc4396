#pragma once

// A stand-in for the desktop portal's GlobalShortcuts, for the tests of the
// system-wide keys on Wayland: it grants every key asked for, describing it
// as "granted <trigger>", answers each request through its Request object as
// a real portal does, and sends Activated and Deactivated when told.
//
// Thread: the thread of the connection it is registered on.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <utility>
#include <vector>

namespace tremlo::test {

// One entry of the portal's a(sa{sv}), as the stand-in reads and answers it.
struct Shortcut {
    QString id;
    QVariantMap properties;
};

} // namespace tremlo::test

Q_DECLARE_METATYPE(tremlo::test::Shortcut)

namespace tremlo::test {

inline QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

inline const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

inline const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

inline void registerPortalTypes() {
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
}

class StandInPortal : public QDBusVirtualObject {
public:
    explicit StandInPortal(QDBusConnection bus) : m_bus(std::move(bus)) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
        const QString member = message.member();
        if (member == QLatin1String("Close")) {
            closed.push_back(message.path());
            m_bus.send(message.createReply());
            return true;
        }
        if (member != QLatin1String("CreateSession") && member != QLatin1String("BindShortcuts"))
            return false;
        const QVariantMap options = qdbus_cast<QVariantMap>(message.arguments().back());
        QString sender = message.service().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString request = kPortalPath + QStringLiteral("/request/") + sender +
                                QLatin1Char('/') +
                                options.value(QStringLiteral("handle_token")).toString();
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));

        QVariantMap results;
        if (member == QLatin1String("CreateSession")) {
            session = kPortalPath + QStringLiteral("/session/") + sender + QLatin1Char('/') +
                      options.value(QStringLiteral("session_handle_token")).toString();
            results.insert(QStringLiteral("session_handle"), session);
        } else {
            boundSession = message.arguments()[0].value<QDBusObjectPath>().path();
            QList<Shortcut> granted;
            for (const Shortcut& wanted :
                 qdbus_cast<QList<Shortcut>>(message.arguments()[1].value<QDBusArgument>())) {
                const QString trigger =
                    wanted.properties.value(QStringLiteral("preferred_trigger")).toString();
                asked.emplace_back(wanted.id, trigger);
                granted.push_back({wanted.id,
                                   {{QStringLiteral("trigger_description"),
                                     QStringLiteral("granted ") + trigger}}});
            }
            results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(granted));
        }
        QDBusMessage response = QDBusMessage::createSignal(
            request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        response << uint(refuse ? 1 : 0) << results;
        m_bus.send(response);
        if (member == QLatin1String("BindShortcuts") && bound)
            bound();
        return true;
    }

    // Activated or Deactivated, as the desktop sends them for a key.
    void send(const char* member, const QString& inSession, const QString& id) {
        QDBusMessage signal = QDBusMessage::createSignal(
            kPortalPath, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"),
            QString::fromLatin1(member));
        signal << QVariant::fromValue(QDBusObjectPath(inSession)) << id << qulonglong(1)
               << QVariantMap();
        m_bus.send(signal);
    }

    QString session, boundSession;
    std::vector<std::pair<QString, QString>> asked; // id, preferred trigger
    std::vector<QString> closed;
    bool refuse = false;
    std::function<void()> bound; // after each BindShortcuts is answered

private:
    QDBusConnection m_bus;
};

} // namespace tremlo::test
