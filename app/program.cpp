#include "program.h"

#include "art.h"
#include "command_line.h"
#include "drop_file.h"
#include "frm_about.h"
#include "recent_documents.h"
#include "render_command.h"
#include "server_or_sdl_device.h"
#include "settings_file.h"
#include "status_accessible.h"
#include "switch_accessible.h"
#include "termination_requests.h"
#include "translations.h"
#include "user_folders.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QPainter>
#include <QScreen>
#include <QUrl>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <unistd.h>

namespace tremlo {
namespace {

std::vector<std::string> prefetchPaths(const std::string& executableFolder) {
    return executableFolder.empty() ? std::vector<std::string>()
                                    : fixedSoundPaths(executableFolder);
}

// The SoundFont waits for the first MIDI or segment melody: its synthesizer
// holds some 19 MB that a program playing only WAVE melodies never needs.
sound::SoundLibraryOptions libraryOptions() {
    sound::SoundLibraryOptions options;
    options.holdSoundFont = true;
    return options;
}

// Named before anything asks Qt for the program's folders.
QString programFolderOf(QApplication& application, TerminationRequests& termination) {
    termination.watch(application);
    QApplication::setApplicationName(QStringLiteral("tremolo"));
    QApplication::setQuitOnLastWindowClosed(false);
    QFont font = application.font();
    font.setFamilies({QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("Noto Sans CJK JP"), font.family()});
    QApplication::setFont(font);
    // Before the first window: a screen reader may ask about one as soon as
    // it exists.
    ui::installSwitchAccessibility();
    ui::installStatusAccessibility();
    return QCoreApplication::applicationDirPath();
}

std::string workFolderOf(const std::string& programFolder) {
    return workFolderFor(QString::fromStdString(programFolder),
                         QString::fromStdString(userCacheFolder()))
        .toStdString();
}

std::vector<std::string> melodyFolders(const std::string& programFolder) {
    std::vector<std::string> folders{resolveInFolder(programFolder, "Melody")};
    if (userMelodyFolder() != folders.front())
        folders.push_back(userMelodyFolder());
    return folders;
}

// --settings INI, or tremlo.ini where the program keeps it.
std::string settingsFileOf(const std::string& programFolder) {
    const QString chosen =
        commandLineOptions(QCoreApplication::arguments(), QDir::currentPath()).settings;
    return chosen.isEmpty() ? settingsFilePath(programFolder, userConfigFolder())
                            : QFile::encodeName(chosen).toStdString();
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

} // namespace

Program::Program(int argc, char** argv, TerminationRequests& termination)
    : m_termination(termination), m_executableFolder(folderOfThisProgram()),
      m_prefetch(prefetchPaths(m_executableFolder)),
      m_library(std::make_unique<sound::ServerOrSdlDevice>(), libraryOptions()),
      m_qtArguments(argc, argv), m_application(m_qtArguments.argc(), m_qtArguments.argv()),
      m_folder(programFolderOf(m_application, termination).toStdString()),
      m_workFolder(workFolderOf(m_folder)), m_settingsFile(settingsFileOf(m_folder)),
      m_store(m_settingsFile, m_folder),
      // Before the first window is built, so that every text is in the language.
      m_language(installTranslations(languageChoiceOf(m_store.loadInterface().Language),
                                     m_translator, m_qtTranslator)),
      m_feedback(recentDocumentsPath()), m_mainWindow(m_settings),
      m_panel(m_settings, m_state, m_timers, [this] { return m_mainWindow.frameGeometry(); }),
      m_remoteSwitch(m_state, m_library, m_mainWindow, m_panel, m_mainWindow),
      m_engine(m_settings, m_state, m_library, m_timers, m_pump, {m_remoteSwitch, m_remoteSwitch}),
      m_loader(m_state, m_library,
               {m_remoteSwitch, m_remoteSwitch, m_panel, m_feedback, m_remoteSwitch}, m_workFolder,
               static_cast<long>(::getpid())),
      m_catalogues(m_folder, m_settings, m_state, m_library, m_loader),
      m_windows(m_mainWindow, m_panel, m_engine.Timer1()),
      m_startup({m_settings, m_state, m_library, m_loader, m_store, m_windows, m_catalogues,
                 m_doorCatalogue, m_envirCatalogue, m_mainWindow, m_feedback, m_windows},
                m_folder),
      m_switchBox(m_engine, m_panel, m_settingsFile),
      m_globalKeys([this](input::SwitchButton button, bool pressed) {
          m_switchBox.inputs().globalKey(button, pressed);
      }),
      m_panelView(m_panel, m_mainWindow), m_shelf(m_settingsFile, melodyFolders(m_folder)),
      m_commands({m_settings, m_state, m_library, m_loader, m_doorCatalogue, m_envirCatalogue,
                  m_catalogues, m_store, m_windows, m_panelView, m_panelView, m_engine.Timer1(),
                  m_folder, m_shelf,
                  [this](const std::string& path) {
                      dropSoundFile(path, m_loader, m_pump, m_settings, m_engine);
                  },
                  &m_feedback}),
      m_openFile(m_settings, &m_mainWindow, m_folder),
      m_volume(m_settings, [this](int step) { m_commands.setSpeed(step); }),
      m_inputParts{m_switchBox.inputs(), m_timers,
                   [this](const InputSettings& chosen) {
                       std::vector<std::string> problems;
                       if (auto unsaved = m_switchBox.save(chosen))
                           problems.push_back(std::move(*unsaved));
                       for (std::string& each :
                            m_globalKeys.setKeys(chosen.GlobalOnKey, chosen.GlobalOffKey))
                           problems.push_back(std::move(each));
                       return problems;
                   },
                   &m_mainWindow, [this] { return m_globalKeys.note(); }},
      m_remote(m_remoteSwitch,
               {[this] { m_mainWindow.BringToFront(); }, [this] { m_mainWindow.close(); }}),
      m_remoteParts{[this] { return m_store.loadRemote(); },
                    [this](const RemoteSettings& chosen) { return applyRemotes(chosen); },
                    [] { return remote::newToken(); },
                    [](const RemoteSettings& chosen) { return remote::pageAddress(chosen); }},
      m_optionsParts{m_settings,
                     m_commands,
                     m_timers,
                     &m_mainWindow,
                     [this] { ui::showInputDialog(m_inputParts); },
                     &m_remoteParts,
                     [this] { return languageChoiceOf(m_store.loadInterface().Language); },
                     [this](LanguageChoice chosen) {
                         return m_store.saveInterface({std::string(languageChoiceText(chosen))});
                     }},
      m_dialogs{[this] { return m_openFile.ShowOpenFileDialog(); },
                [this] { m_volume.show(); },
                [this] { ui::showOptionsDialog(m_optionsParts); },
                [this] { ui::showAbout(&m_mainWindow); },
                [this] { ui::showInputDialog(m_inputParts); },
                [this](const std::string& path) {
                    QDesktopServices::openUrl(
                        QUrl::fromLocalFile(documentFor(m_language, QString::fromStdString(path))));
                }},
      m_menuCommands(m_commands, m_settings, m_loader, m_mainWindow, m_dialogs, m_folder),
      m_menus(m_menuCommands, m_settings, m_doorCatalogue, m_envirCatalogue, m_state, m_shelf),
      m_panelActions(m_menuCommands, m_menus, m_panel, m_mainWindow), m_recorder(m_library),
      m_record(m_recorder, m_timers, m_panel, m_panel, [](int take) {
          return recordingPathIn(userMusicFolder(), std::time(nullptr), take);
      }) {
    m_loader.usePrefetched(&m_prefetch);
    m_windows.claimInstanceLock();
    m_mainWindow.connectEngine(m_engine, m_loader, m_pump);
    connectCommands();
    placeMainWindow();
}

void Program::connectCommands() {
    m_remoteSwitch.setActions(
        remote::engineActions(m_engine, m_commands, [this](const std::string& path) {
            openSoundFile(path, m_loader, m_pump, m_settings, m_engine);
        }));
    m_mainWindow.onPlaylist([this](const std::string& path) { m_commands.openPlaylist(path); });
    m_mainWindow.onStepMelody([this](int direction) {
        direction > 0 ? m_commands.nextMelody() : m_commands.previousMelody();
    });
    m_panel.onShelfPosition([this] { return m_shelf.positionText(m_state.MelodyPath); });
    m_windows.onSpeedSliderRange(
        [this](int minimum, int maximum) { m_volume.setRange(minimum, maximum); });
    m_mainWindow.onShortcutMenu([this](QPoint at) { m_menus.popupTitle(at, &m_mainWindow); });
    m_panel.onCreated([this](ui::frmStatus& created) {
        created.connect(m_engine, m_loader, m_pump, m_settings, m_panelActions);
    });
    m_menus.addRecordItem([this] { return m_record.recording(); }, [this] { m_record.toggle(); });
    m_mainWindow.onUnload([this] {
        m_record.stop();
        m_startup.shutDown();
        // Nothing runs after shut-down: no timer, no other window's events.
        QCoreApplication::exit(0);
    });
}

// Where the window opens until the settings say otherwise: the place the
// settings file would default to.
void Program::placeMainWindow() {
    const QRect screen = QApplication::primaryScreen()->geometry();
    m_mainWindow.move(screen.left() + static_cast<int>(0.3 * screen.width()),
                      screen.top() + static_cast<int>(0.3 * screen.height()));
}

// The steps of start-up after construction, each with the steps it needs
// done before it. The one table both orders run() and answers startSteps().
struct Program::Step {
    const char* name;
    std::vector<const char*> after;
    bool (Program::*run)();
};

const std::vector<Program::Step>& Program::steps() {
    static const std::vector<Step> table{
        // A playlist named on the command line replaces the shelf it lists.
        {"melody shelf", {}, &Program::buildShelf},
        {"sounds and settings", {"melody shelf"}, &Program::startSoundsAndSettings},
        // Before the ambience, the first sound the program makes on its own.
        {"recording", {"sounds and settings"}, &Program::startRecording},
        // Only a start with no file of its own returns to the shelf's melody.
        {"shelf position", {"sounds and settings"}, &Program::restoreShelfPosition},
        {"switch box", {"sounds and settings"}, &Program::loadSwitchBox},
        {"system-wide keys", {"switch box"}, &Program::takeGlobalKeys},
        // The media controls show the melody the shelf brought back.
        {"remote controls", {"shelf position"}, &Program::startRemotes},
        // The window shows placed and with every message it has to give.
        {"window", {"sounds and settings", "system-wide keys"}, &Program::showWindow},
        {"panel and ambience", {"window"}, &Program::finishStart},
        // Until here a request to end waits; then it ends the program as 終了 does.
        {"answer to signals", {"panel and ambience"}, &Program::answerSignals},
    };
    return table;
}

std::vector<StartStep> startSteps() {
    std::vector<StartStep> named;
    for (const auto& step : Program::steps())
        named.push_back({step.name, step.after});
    return named;
}

int Program::run() {
    for (const Step& step : steps())
        if (!(this->*step.run)())
            return 0;
    return QApplication::exec();
}

bool Program::buildShelf() {
    m_shelf.BuildMelodyShelf();
    return true;
}

// Every sound loaded and the settings applied before the window appears.
bool Program::startSoundsAndSettings() {
    m_commandLinePath =
        commandLinePath(QCoreApplication::arguments(), QDir::currentPath()).toStdString();
    m_startup.stopWhen(&TerminationRequests::requested);
    m_started = m_startup.start(m_commandLinePath);
    if (m_started == StartupResult::AudioRefused)
        return false;
    return !endedByRequest();
}

// A request to end that came during start-up ends it here, as 終了 would.
bool Program::endedByRequest() {
    if (m_started != StartupResult::Ended && !TerminationRequests::requested())
        return false;
    m_mainWindow.hide();
    m_startup.shutDown();
    return true;
}

bool Program::restoreShelfPosition() {
    if (m_started == StartupResult::Running)
        m_commands.loadVolumes();
    if (m_started == StartupResult::Running && m_commandLinePath.empty())
        m_commands.restoreShelf();
    return true;
}

bool Program::loadSwitchBox() {
    m_switchBox.load();
    return true;
}

// Keys set where nothing can bind them are said once on stderr, not in a
// message box at every start: the dialog where they are set says it too. The
// portal answers later, so its answer is waited for.
bool Program::takeGlobalKeys() {
    const InputSettings& bindings = m_switchBox.inputs().bindings();
    m_globalKeys.onChanged([this] { tellMissingKeyRoute(); });
    showRefusals(m_globalKeys.setKeys(bindings.GlobalOnKey, bindings.GlobalOffKey));
    tellMissingKeyRoute();
    return true;
}

void Program::tellMissingKeyRoute() {
    const std::string missing = m_globalKeys.missingRoute();
    if (missing.empty() || m_toldMissingKeyRoute)
        return;
    m_toldMissingKeyRoute = true;
    std::fprintf(stderr, "tremolo: %s\n", missing.c_str());
}

// Saved first, so that a token made for LAN access is the one the page's
// address shows; a remote that cannot listen is told, and the rest start.
std::vector<std::string> Program::applyRemotes(const RemoteSettings& chosen) {
    const RemoteSettings settings = remote::withUsableToken(chosen);
    std::vector<std::string> problems = m_remote.apply(settings);
    if (settings != m_store.loadRemote() && !m_store.saveRemote(settings))
        problems.push_back(
            QCoreApplication::translate("Program", "リモート操作の設定を保存できませんでした")
                .toStdString());
    return problems;
}

bool Program::startRemotes() {
    m_remote.publishMediaControls();
    m_remote.setPeersAnywhere(readRemotePeerSettings(m_settingsFile).Anywhere);
    showRefusals(applyRemotes(m_store.loadRemote()));
    return true;
}

// On one panel line, so that a second refusal does not hide the first.
void Program::showRefusals(const std::vector<std::string>& messages) {
    std::string refused;
    for (const std::string& message : messages)
        refused +=
            (refused.empty() ? "" : QCoreApplication::translate("Program", "　").toStdString()) +
            message;
    if (!refused.empty())
        m_panel.ShowStatusMessage(refused, true);
}

bool Program::showWindow() {
    m_mainWindow.show();
    // The window's requests reach the display, and the window manager maps
    // it, while the panel and the ambience start.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return true;
}

bool Program::finishStart() {
    m_startup.finish();
    // Installed, the icon the desktop shows in its menu; else the switch box.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tremolo"), programIcon()));
    return true;
}

// --record FILE: a recording that cannot start is told, and the program
// plays on without it.
bool Program::startRecording() {
    const QString path =
        commandLineOptions(QCoreApplication::arguments(), QDir::currentPath()).record;
    if (!path.isEmpty())
        m_record.start(QFile::encodeName(path).toStdString());
    return true;
}

bool Program::answerSignals() {
    // A request that came while the window was being shown has been read
    // from the pipe already and will not wake the event loop.
    if (endedByRequest())
        return false;
    m_termination.answer(
        m_application, [this] { m_mainWindow.close(); },
        [this] {
            if (m_store.loaded())
                m_store.SaveSettings(m_settings, m_windows);
        });
    return true;
}

} // namespace tremlo
