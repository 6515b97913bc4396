#pragma once

// The desktop's media controls (MPRIS over the session bus): the media keys,
// the desktop's player widget, playerctl and the phone apps that reach
// players through the desktop all press the switch.
//
// How the parts talk: the two adaptors answer the bus from the RemoteSwitch's
// state and turn its calls into RemoteCommands; a change of the state sends
// PropertiesChanged for the properties that changed, which Qt does not do on
// its own. The object is on the bus with its properties before the name is
// taken, so a widget that looks at once finds the player whole.
//
// Thread: the user-interface thread.

#include "remote_switch.h"

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <optional>

namespace tremlo::remote {

inline constexpr const char* kMprisName = "org.mpris.MediaPlayer2.tremolo";

struct MprisWindowActions {
    std::function<void()> raise;
    std::function<void()> quit;
};

class Mpris : public QObject {
    Q_OBJECT
public:
    Mpris(RemoteSwitch& remoteSwitch, MprisWindowActions actions);

    // Puts the player on the session bus; false when there is no bus. The
    // name is kMprisName, or when another program has it kMprisName with
    // ".instance" and the process number.
    bool publish();
    const QString& busName() const { return m_busName; }

    RemoteSwitch& remoteSwitch() { return m_switch; }
    const MprisWindowActions& actions() const { return m_actions; }

    QString playbackStatus() const;
    QVariantMap metadata() const;

private:
    void tellChanges(const RemoteState& state);

    RemoteSwitch& m_switch;
    MprisWindowActions m_actions;
    QString m_busName;
    QString m_toldStatus;
    QVariantMap m_toldMetadata;
    bool m_toldCanPlay = false;
};

// org.mpris.MediaPlayer2
class MprisRoot : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    explicit MprisRoot(Mpris& player);

    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const;
    QString DesktopEntry() const;
    QStringList SupportedUriSchemes() const;
    QStringList SupportedMimeTypes() const;

public Q_SLOTS:
    void Raise();
    void Quit();

private:
    Mpris& m_player;
};

// org.mpris.MediaPlayer2.Player
class MprisPlayer : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    explicit MprisPlayer(Mpris& player);

    QString PlaybackStatus() const { return m_player.playbackStatus(); }
    double Rate() const { return 1.0; }
    QVariantMap Metadata() const { return m_player.metadata(); }
    double Volume() const { return 1.0; }
    qlonglong Position() const { return 0; }
    bool CanGoNext() const { return true; }
    bool CanGoPrevious() const { return true; }
    bool CanPlay() const;
    bool CanPause() const { return true; }
    bool CanSeek() const { return false; }
    bool CanControl() const { return true; }

public Q_SLOTS:
    void Next();
    void Previous();
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong offsetUs);
    void SetPosition(const QDBusObjectPath& track, qlonglong positionUs);
    void OpenUri(const QString& uri);

Q_SIGNALS:
    void Seeked(qlonglong positionUs);

private:
    void click(RemoteCommand::Button button);

    Mpris& m_player;
};

} // namespace tremlo::remote
