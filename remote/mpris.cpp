#include "mpris.h"

#include "sound_loading.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>
#include <QUrl>
#include <unistd.h>

namespace tremlo::remote {
namespace {

const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

} // namespace

Mpris::Mpris(RemoteSwitch& remoteSwitch, MprisWindowActions actions)
    : m_switch(remoteSwitch), m_actions(std::move(actions)) {
    new MprisRoot(*this);
    new MprisPlayer(*this);
    m_toldStatus = playbackStatus();
    m_toldMetadata = metadata();
    m_toldCanPlay = !m_switch.state().path.empty();
    m_switch.onChange([this](const RemoteState& state) { tellChanges(state); });
}

bool Mpris::publish() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors))
        return false;
    m_busName = QString::fromLatin1(kMprisName);
    if (bus.registerService(m_busName))
        return true;
    m_busName += QStringLiteral(".instance") + QString::number(::getpid());
    if (bus.registerService(m_busName))
        return true;
    m_busName.clear();
    bus.unregisterObject(kObjectPath);
    return false;
}

QString Mpris::playbackStatus() const {
    return m_switch.state().melody ? QStringLiteral("Playing") : QStringLiteral("Stopped");
}

QVariantMap Mpris::metadata() const {
    const RemoteState& state = m_switch.state();
    if (state.path.empty())
        return {{QStringLiteral("mpris:trackid"),
                 QVariant::fromValue(QDBusObjectPath(
                     QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")))}};
    // The track is the melody loaded: its id changes with the file, and an
    // object path holds only letters, digits and underscores.
    const QString id = QString::number(qHash(QString::fromStdString(state.path)), 16);
    QVariantMap shown{
        {QStringLiteral("mpris:trackid"),
         QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/tremolo/melody/m") + id))},
        {QStringLiteral("xesam:title"), QString::fromStdString(state.title)},
        {QStringLiteral("xesam:url"),
         QUrl::fromLocalFile(QString::fromStdString(state.path)).toString()},
    };
    if (state.lengthMs > 0)
        shown.insert(QStringLiteral("mpris:length"), qlonglong{state.lengthMs} * 1000);
    return shown;
}

void Mpris::tellChanges(const RemoteState& state) {
    QVariantMap changed;
    if (const QString status = playbackStatus(); status != m_toldStatus) {
        m_toldStatus = status;
        changed.insert(QStringLiteral("PlaybackStatus"), status);
    }
    if (QVariantMap now = metadata(); now != m_toldMetadata) {
        m_toldMetadata = now;
        changed.insert(QStringLiteral("Metadata"), now);
    }
    if (const bool canPlay = !state.path.empty(); canPlay != m_toldCanPlay) {
        m_toldCanPlay = canPlay;
        changed.insert(QStringLiteral("CanPlay"), canPlay);
    }
    if (changed.isEmpty() || m_busName.isEmpty())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

MprisRoot::MprisRoot(Mpris& player) : QDBusAbstractAdaptor(&player), m_player(player) {}

QString MprisRoot::Identity() const {
    return QStringLiteral("トレモロ");
}

QString MprisRoot::DesktopEntry() const {
    return QStringLiteral("tremolo");
}

QStringList MprisRoot::SupportedUriSchemes() const {
    return {QStringLiteral("file")};
}

QStringList MprisRoot::SupportedMimeTypes() const {
    return {QStringLiteral("audio/x-wav"),      QStringLiteral("audio/wav"),
            QStringLiteral("audio/midi"),       QStringLiteral("audio/mpeg"),
            QStringLiteral("audio/ogg"),        QStringLiteral("audio/x-vorbis+ogg"),
            QStringLiteral("audio/x-opus+ogg"), QStringLiteral("audio/flac")};
}

void MprisRoot::Raise() {
    if (m_player.actions().raise)
        m_player.actions().raise();
}

void MprisRoot::Quit() {
    if (m_player.actions().quit)
        m_player.actions().quit();
}

MprisPlayer::MprisPlayer(Mpris& player) : QDBusAbstractAdaptor(&player), m_player(player) {}

bool MprisPlayer::CanPlay() const {
    return !m_player.remoteSwitch().state().path.empty();
}

void MprisPlayer::click(RemoteCommand::Button button) {
    m_player.remoteSwitch().command({RemoteCommand::Kind::Click, button});
}

void MprisPlayer::Next() {
    m_player.remoteSwitch().command({RemoteCommand::Kind::Step, RemoteCommand::Button::On, 1});
}

void MprisPlayer::Previous() {
    m_player.remoteSwitch().command({RemoteCommand::Kind::Step, RemoteCommand::Button::On, -1});
}

void MprisPlayer::Pause() {
    click(RemoteCommand::Button::Off);
}

void MprisPlayer::PlayPause() {
    click(m_player.remoteSwitch().state().melody ? RemoteCommand::Button::Off
                                                 : RemoteCommand::Button::On);
}

void MprisPlayer::Stop() {
    click(RemoteCommand::Button::Off);
}

void MprisPlayer::Play() {
    // Pressing ON again while it sounds would start the melody over.
    if (!m_player.remoteSwitch().state().melody)
        click(RemoteCommand::Button::On);
}

void MprisPlayer::Seek(qlonglong) {}

void MprisPlayer::SetPosition(const QDBusObjectPath&, qlonglong) {}

// Only a melody file on this computer, as a drop would take it.
void MprisPlayer::OpenUri(const QString& uri) {
    const QUrl url(uri);
    if (!url.isLocalFile())
        return;
    const QString path = url.toLocalFile();
    if (QFileInfo(path).isFile() && isMelodyPath(path.toStdString()))
        m_player.remoteSwitch().openFile(path.toStdString());
}

} // namespace tremlo::remote
