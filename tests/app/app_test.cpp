// The program's wiring pieces: the status panel host, window placement, the
// command line and the recently-used list.

#include "command_line.h"
#include "engine_rig.h"
#include "instance_lock.h"
#include "offscreen_application.h"
#include "program_windows.h"
#include "recent_documents.h"
#include "status_panel_host.h"
#include "switch_box.h"
#include "termination_requests.h"
#include "test_folder.h"
#include "virtual_time.h"
#include "window_placement.h"

#include <QDomDocument>
#include <QFile>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>
#include <csignal>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tremlo::test {
namespace {

class AppTest : public ::testing::Test {
protected:
    AppTest() { application(); }
};

TEST_F(AppTest, APanelMadeAgainShowsWhatIsTrueNowAndStaysOnTop) {
    Settings settings = defaultSettings("/nonexistent");
    PlaybackState state;
    VirtualTime time;
    StatusPanelHost host(settings, state, time, [] { return QRect(100, 100, 48, 95); });
    host.setFileInfo("chime.wav");
    host.setStatusLED(Lamp::Melody, true);
    host.ShowStatusMessage("4.500 秒", true);
    EXPECT_EQ(host.panel().lblFileInfo()->text(), QString("chime.wav"));

    host.unload();
    QApplication::processEvents();
    EXPECT_FALSE(host.exists());
    state.PanMode = Pan::Right;
    settings.UseEnvir = false;
    settings.EffectUrawa = true;
    auto& again = host.panel();
    EXPECT_EQ(again.lblFileInfo()->text(), QString("chime.wav"));
    EXPECT_EQ(again.imgStatusLED(0)->picture()->name, art::kLedLit.name);
    EXPECT_EQ(again.imgStatusLED(1)->picture()->name, art::kLedDark.name);
    EXPECT_EQ(again.imgLRButton()->picture()->name, art::kPanRight.name);
    EXPECT_EQ(again.imgEnvir()->picture()->name, art::kEnvirOff.name);
    EXPECT_FALSE(again.imgEffect(2)->isHidden());
    EXPECT_TRUE(again.windowFlags() & Qt::WindowStaysOnTopHint) << "TopMost is on by default";
    // No opening flash of "no file" over the file that is loaded.
    time.runFor(2000);
    EXPECT_TRUE(again.lblStatus()->isHidden());
    EXPECT_EQ(again.lblStatus()->text(), QString("4.500 秒"));
}

// The place is kept as fractions of the whole desktop both ways; a place
// that is no window coordinate at all is not taken.
TEST_F(AppTest, TheWindowPlaceRoundTripsAndAnImpossibleOneIsDropped) {
    Settings settings = defaultSettings("/nonexistent");
    PlaybackState state;
    VirtualTime time;
    ui::frmMain main(settings);
    StatusPanelHost host(settings, state, time, [&] { return main.frameGeometry(); });
    const auto doorTimer = time.createTimer("Timer1");
    ProgramWindows windows(main, host, *doorTimer);
    const QRect desktop = QApplication::primaryScreen()->virtualGeometry();

    windows.moveMainWindow(0.25, 0.5);
    EXPECT_EQ(main.pos(), desktop.topLeft() + QPoint(desktop.width() / 4, desktop.height() / 2));
    const auto [x, y] = windows.mainWindowPosition().value();
    EXPECT_DOUBLE_EQ(x, 0.25);
    EXPECT_DOUBLE_EQ(y, 0.5);
    for (const double far : {1e300, -1e300, std::numeric_limits<double>::quiet_NaN()}) {
        windows.moveMainWindow(far, 0.5);
        windows.moveMainWindow(0.5, far);
        EXPECT_EQ(main.pos(), desktop.topLeft() + QPoint(desktop.width() / 4, desktop.height() / 2))
            << far;
    }
}

TEST_F(AppTest, TopMostIsTakenAndReleasedInPlace) {
    QWidget window;
    window.resize(48, 95);
    window.show();
    const QRect before = window.geometry();
    SetTopMost(&window, true);
    SetTopMost(&window, true);
    EXPECT_TRUE(window.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    SetTopMost(&window, false);
    EXPECT_FALSE(window.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(window.geometry(), before) << "placement never moves or resizes";
    SetTopMost(nullptr, true);
}

TEST_F(AppTest, TheCommandLineIsOnePathMadeAbsolute) {
    EXPECT_EQ(commandLinePath({"tremolo"}, "/home/u"), QString());
    EXPECT_EQ(commandLinePath({"tremolo", "/a/b.wav"}, "/home/u"), QString("/a/b.wav"));
    EXPECT_EQ(commandLinePath({"tremolo", "my", "tune.mid"}, "/home/u"),
              QString("/home/u/my tune.mid"));
    EXPECT_EQ(commandLinePath({"tremolo", "\"../x y.wav\""}, "/home/u"), QString("/home/x y.wav"));
    // Options open the line, each with its file; the path is what follows.
    EXPECT_EQ(
        commandLinePath({"tremolo", "--settings", "a.ini", "--record", "t.flac", "my", "--record"},
                        "/home/u"),
        QString("/home/u/my --record"));
    const CommandLineOptions render = commandLineOptions(
        {"tremolo", "--render", "s.txt", "--output", "/o.wav", "m.mid"}, "/home/u");
    EXPECT_EQ(render.render, QString("/home/u/s.txt"));
    EXPECT_EQ(render.output, QString("/o.wav"));
    EXPECT_EQ(render.melodyWords, QStringList{"m.mid"});
    EXPECT_TRUE(render.error.isEmpty());
    for (const QStringList& refused :
         {QStringList{"tremolo", "--record"}, QStringList{"tremolo", "--render", "s.txt"},
          QStringList{"tremolo", "--output", "o.wav", "m.wav"},
          QStringList{"tremolo", "--render", "s", "--output", "o", "--record", "r"}})
        EXPECT_FALSE(commandLineOptions(refused, "/home/u").error.isEmpty())
            << refused.join(' ').toStdString();
}

TEST_F(AppTest, OnlyAWholeCommandLineOfHelpOrVersionIsAnOption) {
    using Line = std::vector<const char*>;
    const auto answer = [](Line line) {
        return commandLineAnswer(static_cast<int>(line.size()), line.data());
    };
    EXPECT_EQ(answer({"tremolo", "--version"}), "tremolo " TREMLO_VERSION "\n");
    ASSERT_TRUE(answer({"tremolo", "--help"}));
    EXPECT_TRUE(answer({"tremolo", "--help"})->starts_with("Usage: tremolo ["));
    for (const Line& melody : {Line{"tremolo"}, Line{"tremolo", "--help", "me.wav"},
                               Line{"tremolo", "my", "--version"}, Line{"tremolo", "-h"}})
        EXPECT_EQ(answer(melody), std::nullopt) << melody.size() << " " << melody.back();
}

// X11 is chosen in Qt's arguments, never in the environment that the help's
// browser and xdg-open inherit; a platform the user chose is left alone.
TEST_F(AppTest, X11IsPreferredForThisProcessOnly) {
    using Words = std::vector<std::string>;
    struct Row {
        const char* name;
        Words line;
        bool x11Display, platformInEnvironment;
        Words expected;
    };
    const Row rows[] = {
        {"display", {"tremolo", "m.wav"}, true, false, {"tremolo", "-platform", "xcb", "m.wav"}},
        {"no display", {"tremolo"}, false, false, {"tremolo"}},
        {"environment", {"tremolo"}, true, true, {"tremolo"}},
        {"one dash",
         {"tremolo", "-platform", "wayland"},
         true,
         false,
         {"tremolo", "-platform", "wayland"}},
        {"two dashes",
         {"tremolo", "--platform", "offscreen"},
         true,
         false,
         {"tremolo", "--platform", "offscreen"}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(qtArgumentsFor(row.line, row.x11Display, row.platformInEnvironment), row.expected)
            << row.name;

    const QByteArray platform = qgetenv("QT_QPA_PLATFORM"), display = qgetenv("DISPLAY");
    qunsetenv("QT_QPA_PLATFORM");
    qputenv("DISPLAY", ":98");
    char program[] = "tremolo";
    char* argv[] = {program, nullptr};
    QtArguments arguments(1, argv);
    EXPECT_EQ(arguments.argc(), 3);
    EXPECT_STREQ(arguments.argv()[1], "-platform");
    EXPECT_EQ(arguments.argv()[3], nullptr);
    EXPECT_FALSE(qEnvironmentVariableIsSet("QT_QPA_PLATFORM"));
    qputenv("QT_QPA_PLATFORM", platform);
    display.isNull() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", display);
}

TEST_F(AppTest, TheRecentListGetsOneEntryPerFileAndSurvivesADamagedList) {
    QTemporaryDir folder;
    const QString list = folder.filePath("recently-used.xbel");
    ASSERT_TRUE(addRecentDocument(list, "/music/発車メロディ.wav", "audio/x-wav"));
    ASSERT_TRUE(addRecentDocument(list, "/music/発車メロディ.wav", "audio/x-wav"));
    ASSERT_TRUE(addRecentDocument(list, "/music/tune.mid", "audio/midi"));
    QFile file(list);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QDomDocument document;
    ASSERT_TRUE(document.setContent(&file));
    const auto bookmarks = document.documentElement().elementsByTagName("bookmark");
    ASSERT_EQ(bookmarks.count(), 2);
    EXPECT_EQ(bookmarks.at(0).toElement().attribute("href"),
              QUrl::fromLocalFile("/music/発車メロディ.wav").toString(QUrl::FullyEncoded));
    EXPECT_EQ(bookmarks.at(0)
                  .toElement()
                  .elementsByTagName("bookmark:application")
                  .at(0)
                  .toElement()
                  .attribute("count"),
              QString("2"));
    file.close();

    QFile damaged(list);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("<xbel><bookmark");
    damaged.close();
    EXPECT_TRUE(addRecentDocument(list, "/music/tune.mid", "audio/midi"));
}

// What the input dialog's OK keeps: the bindings work at once, and the
// file holds them exactly or the user is told it does not.
TEST_F(AppTest, BindingsTheFileCannotHoldAsTheyAreAreSaidNotToBeSaved) {
    const struct {
        const char* name;
        InputSettings input;
        bool readOnly;
        bool saved;
    } cases[] = {
        {"blanks inside",
         {"midi:ch 1 cc 64@Pad 2:Port 1", "controller:button 0@ff", "", ""},
         false,
         true},
        {"a blank at the end", {"midi:cc 64@Pad:Port ", "", "", ""}, false, false},
        {"not UTF-8", {"midi:cc 64@\xe9\x8d", "", "", ""}, false, false},
        {"a read-only file", {"serial:DSR@/dev/ttyS0", "", "", ""}, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestFolder folder;
        IniProfile file(folder.file("tremolo.ini"));
        ASSERT_TRUE(file.writeValue("Volume", "0"));
        if (c.readOnly)
            ::chmod(file.path().c_str(), 0444);
        EngineRig rig({.capture = false});
        QuietLoaderViews views;
        SwitchBox box(rig.engine(), views, file);
        const std::optional<std::string> unsaved = box.save(c.input);
        EXPECT_EQ(box.inputs().bindings(), c.input);
        EXPECT_EQ(!unsaved, c.saved);
        EXPECT_EQ(readInputSettings(file) == c.input, c.saved);
    }
}

} // namespace
} // namespace tremlo::test

namespace tremlo::test {
namespace {

TEST(InstanceLockTest, OneHolderAtATimeAndNoneLeftWhenItEnds) {
    QTemporaryDir folder;
    const std::string path = folder.filePath("tremolo.lock").toStdString();
    {
        InstanceLock first(path);
        EXPECT_FALSE(first.otherInstance());
        InstanceLock second(path);
        EXPECT_TRUE(second.otherInstance());
    }
    InstanceLock after(path);
    EXPECT_FALSE(after.otherInstance()) << "the file stays, the lock does not";
    EXPECT_FALSE(
        InstanceLock(folder.filePath("missing/tremolo.lock").toStdString()).otherInstance());
}

TEST(InstanceLockTest, AProcessKilledWhileHoldingItLeavesNoLock) {
    QTemporaryDir folder;
    const std::string path = folder.filePath("tremolo.lock").toStdString();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        InstanceLock held(path);
        const char taken = held.otherInstance() ? 'n' : 'y';
        (void)!::write(ready[1], &taken, 1);
        ::pause();
        ::_exit(0);
    }
    char taken = 0;
    ASSERT_EQ(::read(ready[0], &taken, 1), 1);
    EXPECT_EQ(taken, 'y');
    EXPECT_TRUE(InstanceLock(path).otherInstance());
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_FALSE(InstanceLock(path).otherInstance());
    ::close(ready[0]);
    ::close(ready[1]);
}

// Signals sent to a child that catches them as the program does: the first
// is a request the program answers in its own time; a second SIGINT or
// SIGTERM ends the process at once, by that signal.
struct SignalCase {
    const char* name;
    int first;
    int second;  // 0 for none
    int endedBy; // 0: the child lived on to exit by itself
};

void PrintTo(const SignalCase& c, std::ostream* out) {
    *out << c.name;
}

class TerminationTest : public ::testing::TestWithParam<SignalCase> {};

TEST_P(TerminationTest, TheFirstSignalIsARequestAndASecondInterruptEndsAtOnce) {
    const SignalCase& c = GetParam();
    const pid_t child = ::fork();
    if (child == 0) {
        TerminationRequests termination;
        if (TerminationRequests::requested())
            ::_exit(2);
        ::kill(::getpid(), c.first); // delivered before kill returns
        if (!TerminationRequests::requested())
            ::_exit(3);
        if (c.second != 0)
            ::kill(::getpid(), c.second);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (c.endedBy != 0) {
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(WTERMSIG(status), c.endedBy);
    } else {
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminationTest,
                         ::testing::Values(SignalCase{"OneTerm", SIGTERM, 0, 0},
                                           SignalCase{"TermTwice", SIGTERM, SIGTERM, SIGTERM},
                                           SignalCase{"HangUpThenInterrupt", SIGHUP, SIGINT,
                                                      SIGINT},
                                           SignalCase{"InterruptThenHangUp", SIGINT, SIGHUP, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tremlo::test
