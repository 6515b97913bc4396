// トレモロ: the station's departure-melody switch on the desktop.
//
// main is the one place that knows every part: it makes the sound library on
// the real audio device, the settings and playback state, the two windows,
// the melody engine and the loader, wires them together and hands a file
// named on the command line to the switch window.

#include "command_line.h"
#include "frm_main.h"
#include "melody_engine.h"
#include "qt_feedback.h"
#include "qt_timer.h"
#include "recent_documents.h"
#include "sdl_device.h"
#include "settings.h"
#include "sound_library.h"
#include "sound_loading.h"
#include "status_panel_host.h"
#include "window_placement.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>
#include <QTranslator>
#include <unistd.h>

namespace {

using namespace tremlo;

// The tick of Tachikawa's menu item mirrors its setting; until the menus
// exist, the setting answers for it.
class SettingsMarks : public EffectMarks {
public:
    explicit SettingsMarks(const Settings& settings) : m_settings(settings) {}
    bool mnuUseFadeOutChecked() const override { return m_settings.EffectTachikawa != 0; }

private:
    const Settings& m_settings;
};

void useJapaneseInterface(QApplication& app, QTranslator& translator) {
    // Standard buttons read 再試行, キャンセル, OK whatever the user's locale.
    if (translator.load(QStringLiteral("qtbase_ja"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&translator);
    QFont font = app.font();
    font.setFamilies({QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("Noto Sans CJK JP"), font.family()});
    QApplication::setFont(font);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tremolo"));
    QApplication::setApplicationDisplayName(QStringLiteral("トレモロ"));
    QTranslator translator;
    useJapaneseInterface(app, translator);

    const QString programFolder = QCoreApplication::applicationDirPath();
    Settings settings = defaultSettings(programFolder.toStdString());
    PlaybackState state;

    sound::SoundLibrary library(std::make_unique<sound::SdlDevice>());
    if (!library.dsInit2(0, 2))
        QMessageBox::warning(nullptr, QStringLiteral("トレモロ"),
                             QStringLiteral("サウンドを出力できません。"));
    library.dsSetGlobalFocus(-1);
    library.dsInitMusic();

    QtTimerFactory timers;
    QtEventPump pump;
    QtUserFeedback feedback(recentDocumentsPath());
    frmMain mainWindow(settings);
    StatusPanelHost panel(settings, state, timers, [&] { return mainWindow.frameGeometry(); });
    SettingsMarks marks(settings);
    MelodyEngine engine(settings, state, library, timers, pump, {mainWindow, panel, marks});
    SoundLoader loader(state, library, {mainWindow, mainWindow, panel, feedback},
                       workFolderFor(programFolder, QStandardPaths::writableLocation(
                                                        QStandardPaths::CacheLocation))
                           .toStdString(),
                       static_cast<long>(::getpid()));
    mainWindow.connectEngine(engine, loader, pump);

    const std::string folder = programFolder.toStdString();
    state.ClickBuffer = loader.LoadSoundBuffer(folder + "/switch.wav", 1);
    state.DoorBuffer = loader.LoadSoundBuffer(folder + "/door.wav", 1);
    state.NoiseBuffer = loader.LoadSoundBuffer(folder + "/b.wav", 1);
    state.EnvirBuffer = loader.LoadSoundBuffer(folder + "/envir.wav", 1);
    engine.Timer1().setInterval(settings.DoorDelay + 1);

    // Where the window opens until the settings say otherwise: the same
    // place the settings file would default to, so the panel can be put
    // beside it before the window manager has mapped either.
    const QRect screen = QApplication::primaryScreen()->availableGeometry();
    mainWindow.move(screen.left() + static_cast<int>(0.3 * screen.width()),
                    screen.top() + static_cast<int>(0.3 * screen.height()));
    mainWindow.show();
    if (settings.TopMost == kTrue) {
        SetTopMost(&panel.panel(), kTrue);
        SetTopMost(&mainWindow, kTrue);
    }
    if (settings.UsePanel) {
        panel.panel().placeBeside(mainWindow.frameGeometry());
        panel.panel().show();
    }
    const QString path = commandLinePath(QCoreApplication::arguments(), QDir::currentPath());
    if (!path.isEmpty())
        mainWindow.DropFile(path.toStdString());
    if (settings.UseEnvir)
        library.dsPlayLooping(state.EnvirBuffer);

    const int result = QApplication::exec();
    library.dsFree(state.ClickBuffer);
    library.dsFree(state.DoorBuffer);
    library.dsFree(state.MelodyBuffer);
    library.dsFree(state.NoiseBuffer);
    library.dsFree(state.EnvirBuffer);
    library.dsFreeMusicSegment(state.MelodySegment);
    library.dsQuitMusic();
    library.dsQuit();
    return result;
}
