// トレモロ: the station's departure-melody switch on the desktop.
//
// main is the one place that knows every part: it makes the sound library on
// the real audio device, the settings and playback state, the two windows,
// the melody engine, the loader and the catalogues, wires them together and
// runs start-up; closing the switch window runs shut-down, and so does a
// request from the system to end.

#include "art.h"
#include "catalogues.h"
#include "command_line.h"
#include "commands.h"
#include "drop_file.h"
#include "frm_about.h"
#include "frm_input.h"
#include "frm_main.h"
#include "frm_menus.h"
#include "frm_options.h"
#include "frm_volume.h"
#include "global_keys.h"
#include "melody_engine.h"
#include "melody_shelf.h"
#include "menu_commands.h"
#include "open_file_dialog.h"
#include "panel_wiring.h"
#include "program_windows.h"
#include "qt_feedback.h"
#include "qt_timer.h"
#include "recent_documents.h"
#include "server_or_sdl_device.h"
#include "settings_file.h"
#include "settings_store.h"
#include "sound_library.h"
#include "sound_loading.h"
#include "startup.h"
#include "status_panel_host.h"
#include "switch_box.h"
#include "termination_requests.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QPainter>
#include <QScreen>
#include <QStandardPaths>
#include <QTranslator>
#include <QUrl>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace {

using namespace tremlo;

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

// The switch box itself, centred on a square, for the window manager and the
// version dialog.
QIcon programIcon() {
    QIcon icon;
    for (const qreal ratio : {1.0, 2.0}) {
        const QPixmap body = art::pixmap(art::kSwitchBody, ratio);
        QPixmap square(QSize(96, 96) * ratio);
        square.setDevicePixelRatio(ratio);
        square.fill(Qt::transparent);
        QPainter(&square).drawPixmap((96 - art::kSwitchBody.size.width()) / 2, 0, body);
        icon.addPixmap(square);
    }
    return icon;
}

// The folder of the executable, from where Qt too will take it.
std::string folderOfThisProgram() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : executable.parent_path().string();
}

// Staying on top, placing the windows and the system-wide keys need X11:
// under a Wayland session the program runs through XWayland, unless the user
// chose a platform.
void preferX11(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return;
    for (int i = 1; i < argc; ++i) {
        // Qt takes its options with one dash or two.
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
}

} // namespace

int main(int argc, char* argv[]) {
    // Answered before anything opens: no sound server, no display.
    if (const std::optional<std::string> answer = commandLineAnswer(argc, argv)) {
        std::fputs(answer->c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    // From the first moment a kill, Ctrl+C or a closed terminal waits for
    // the event loop, which ends the program as 終了 does.
    TerminationRequests termination;
    // The fixed sounds are read and decoded while Qt starts. Qt knows the
    // program folder only once it has started; it finds it in the same place.
    const std::string executableFolder = folderOfThisProgram();
    SoundPrefetch prefetch(executableFolder.empty() ? std::vector<std::string>()
                                                    : fixedSoundPaths(executableFolder));
    // Then, so that its connection to the sound server is made while Qt
    // connects to the display. The SoundFont waits for the first MIDI or
    // segment melody: its synthesizer holds some 19 MB that a program playing
    // only WAVE melodies never needs.
    sound::SoundLibraryOptions options;
    options.holdSoundFont = true;
    sound::SoundLibrary library(std::make_unique<sound::ServerOrSdlDevice>(), options);
    preferX11(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tremolo"));
    QApplication::setQuitOnLastWindowClosed(false);
    QTranslator translator;
    useJapaneseInterface(app, translator);

    const QString programFolder = QCoreApplication::applicationDirPath();
    const std::string folder = programFolder.toStdString();
    const QString workFolder = workFolderFor(
        programFolder, QStandardPaths::writableLocation(QStandardPaths::CacheLocation));

    Settings settings;
    PlaybackState state;
    Catalogue doorCatalogue, envirCatalogue;
    IniProfile settingsFile(settingsFilePath(folder, userConfigFolder()));
    SettingsStore store(settingsFile, folder);

    QtTimerFactory timers;
    QtEventPump pump;
    QtUserFeedback feedback(recentDocumentsPath());
    frmMain mainWindow(settings);
    StatusPanelHost panel(settings, state, timers, [&] { return mainWindow.frameGeometry(); });
    MelodyEngine engine(settings, state, library, timers, pump, {mainWindow, panel});
    SoundLoader loader(state, library, {mainWindow, mainWindow, panel, feedback, panel},
                       workFolder.toStdString(), static_cast<long>(::getpid()));
    loader.usePrefetched(&prefetch);
    CatalogueBuilder catalogues(folder, settings, state, library, loader);
    ProgramWindows windows(mainWindow, panel, engine.Timer1());
    windows.claimInstanceLock();
    Startup startup({settings, state, library, loader, store, windows, catalogues, doorCatalogue,
                     envirCatalogue, mainWindow, feedback, windows},
                    folder);
    mainWindow.connectEngine(engine, loader, pump);
    // A switch box wired to the computer presses the same four operations.
    SwitchBox switchBox(engine, panel, settingsFile);
    GlobalKeys globalKeys([&](input::SwitchButton button, bool pressed) {
        switchBox.inputs().globalKey(button, pressed);
    });
    // What could not be grabbed, for the one who chose the keys.
    const auto takeGlobalKeys = [&](const InputSettings& bindings) {
        return globalKeys.setKeys(bindings.GlobalOnKey, bindings.GlobalOffKey);
    };

    // The commands, the menus and the dialogs they open.
    PanelViewOverHost panelView(panel, mainWindow);
    std::vector<std::string> melodyFolders{resolveInFolder(folder, "Melody")};
    if (userMelodyFolder() != melodyFolders.front())
        melodyFolders.push_back(userMelodyFolder());
    MelodyShelf shelf(settingsFile, std::move(melodyFolders));
    Commands commands(
        {settings, state, library, loader, doorCatalogue, envirCatalogue, catalogues, store,
         windows, panelView, panelView, engine.Timer1(), folder, shelf,
         [&](const std::string& path) { dropSoundFile(path, loader, pump, settings, engine); }});
    mainWindow.onPlaylist([&](const std::string& path) { commands.openPlaylist(path); });
    mainWindow.onStepMelody(
        [&](int direction) { direction > 0 ? commands.nextMelody() : commands.previousMelody(); });
    panel.onShelfPosition([&] { return shelf.positionText(state.MelodyPath); });
    ui::OpenFileDialog openFile(settings, &mainWindow, folder);
    ui::VolumeDialogHost volume(settings, [&](int step) { commands.setSpeed(step); });
    windows.onSpeedSliderRange(
        [&](int minimum, int maximum) { volume.setRange(minimum, maximum); });
    ui::InputDialogParts inputParts{switchBox.inputs(), timers,
                                    [&](const InputSettings& chosen) {
                                        switchBox.save(chosen);
                                        return takeGlobalKeys(chosen);
                                    },
                                    &mainWindow};
    ui::OptionsParts optionsParts{settings, commands, timers, &mainWindow,
                                  [&] { ui::showInputDialog(inputParts); }};
    CommandDialogs dialogs{[&] { return openFile.ShowOpenFileDialog(); },
                           [&] { volume.show(); },
                           [&] { ui::showOptionsDialog(optionsParts); },
                           [&] { ui::showAbout(&mainWindow); },
                           [&] { ui::showInputDialog(inputParts); },
                           [](const std::string& path) {
                               QDesktopServices::openUrl(
                                   QUrl::fromLocalFile(QString::fromStdString(path)));
                           }};
    MenuCommands menuCommands(commands, settings, loader, mainWindow, dialogs, folder);
    ui::frmMenus menus(menuCommands, settings, doorCatalogue, envirCatalogue, state, shelf);
    mainWindow.onShortcutMenu([&](QPoint at) { menus.popupTitle(at); });
    PanelActionsOverCommands panelActions(menuCommands, menus);
    panel.onCreated([&](ui::frmStatus& created) {
        created.connect(engine, loader, pump, settings, panelActions);
    });

    mainWindow.onUnload([&] {
        startup.shutDown();
        // Nothing runs after shut-down: no timer, no other window's events.
        QCoreApplication::exit(0);
    });

    // Where the window opens until the settings say otherwise: the place the
    // settings file would default to.
    const QRect screen = QApplication::primaryScreen()->geometry();
    mainWindow.move(screen.left() + static_cast<int>(0.3 * screen.width()),
                    screen.top() + static_cast<int>(0.3 * screen.height()));

    // The window appears once every sound is loaded and the settings have
    // placed it; the status panel and the ambience follow at once.
    const QString path = commandLinePath(QCoreApplication::arguments(), QDir::currentPath());
    // Listed before the command line's file: a playlist named there replaces it.
    shelf.BuildMelodyShelf();
    const StartupResult started = startup.start(path.toStdString());
    if (started == StartupResult::AudioRefused)
        return 0;
    if (started == StartupResult::Running && path.isEmpty())
        commands.restoreShelf();
    switchBox.load();
    // One line for both keys, so the second refusal does not hide the first.
    std::string refused;
    for (const std::string& message : takeGlobalKeys(switchBox.inputs().bindings()))
        refused += (refused.empty() ? "" : "　") + message;
    if (!refused.empty())
        panel.ShowStatusMessage(refused, true);
    mainWindow.show();
    // The window's requests reach the display, and the window manager maps
    // it, while the panel and the ambience start.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    startup.finish();
    // Installed, the icon the desktop shows in its menu; else the switch box.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tremolo"), programIcon()));
    termination.answer(
        app, [&] { mainWindow.close(); },
        [&] {
            if (store.loaded())
                store.SaveSettings(settings, windows);
        });
    return QApplication::exec();
}
