// The status panel's controls on Qt's offscreen platform: what clicks, keys
// and drops do, with the engine on the offline library in virtual time.

#include "engine_rig.h"
#include "frm_status.h"
#include "offscreen_application.h"
#include "panel_actions.h"
#include "sound_loading.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tremlo::ui {
namespace {

namespace fs = std::filesystem;

// Each call as a word, the pop-ups with where they open.
struct FakeActions : PanelActions {
    void record(std::string call) {
        calls.push_back(std::move(call));
        if (onCall)
            onCall();
    }
    void stepEffect() override { record("stepEffect"); }
    void showOptions() override { record("showOptions"); }
    void showAbout() override { record("showAbout"); }
    void quit() override { record("quit"); }
    void openFile() override { record("openFile"); }
    void popupOptionMenu(QPoint at) override { record("popupOptionMenu" + where(at)); }
    void popupDoors(QPoint at) override { record("popupDoors" + where(at)); }
    void popupEnvirs(QPoint at) override { record("popupEnvirs" + where(at)); }
    void CyclePan() override { record("CyclePan"); }
    void openPlaylist(const std::string& path) override { record("openPlaylist " + path); }
    void keyForSwitch(const QKeyEvent& event) override {
        record("keyForSwitch " + std::to_string(event.key()));
    }
    static std::string where(QPoint at) {
        return "@" + std::to_string(at.x()) + "," + std::to_string(at.y());
    }
    std::vector<std::string> calls;
    std::function<void()> onCall;
};

// The loader's other views; the loads and the switch at each load's start.
struct LoaderWatch : MainWindowView, UserFeedback {
    void setCaption(const std::string&) override {}
    void setTitleBarToolTip(const std::string&) override {}
    void BringToFront() override {}
    void showMessage(const std::string& text, const std::string&, MessageIcon) override {
        messages.push_back(text);
    }
    void setWaitCursor(bool waiting) override {
        if (waiting && state)
            switchAtLoad.push_back(state->OnSwitchState);
    }
    void addRecentDocument(const std::string& path) override { loaded.push_back(path); }
    const PlaybackState* state = nullptr;
    std::vector<std::string> messages, loaded;
    std::vector<SwitchPosition> switchAtLoad;
};

class CountingPanel : public frmStatus {
public:
    using frmStatus::frmStatus;
    int moves = 0;

protected:
    void beginWindowMove(const QMouseEvent&) override { ++moves; }
};

class PanelControlsTest : public ::testing::Test {
protected:
    PanelControlsTest()
        : folder(fs::temp_directory_path() / ("tremolo-panel-" + std::to_string(::getpid()))) {
        tremlo::test::application();
        fs::create_directories(folder);
        rig.settings.ShiftForce = true; // the panel pays it no heed
        watch.state = &rig.state;
        panel = std::make_unique<CountingPanel>(rig.settings, rig.time, QRect(100, 50, 48, 95));
        loader = std::make_unique<SoundLoader>(
            rig.state, rig.library(), LoaderViews{rig.view, watch, *panel, watch, rig.view},
            folder.string(), 7);
        panel->connect(rig.engine(), *loader, rig.time, rig.settings, actions);
        rig.loadWaveMelody(2000);
    }
    ~PanelControlsTest() override {
        fs::current_path(fs::temp_directory_path());
        fs::remove_all(folder);
    }

    QWidget* element(const char* name) {
        return name == std::string("frmStatus") ? panel.get() : panel->findChild<QWidget*>(name);
    }
    void mouse(const char* name, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held,
               QPointF at = {5, 5}) {
        QWidget* target = element(name);
        QMouseEvent event(type, at, target->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }
    void click(const char* name, Qt::MouseButton button, QPointF releaseAt = {5, 5}) {
        mouse(name, QEvent::MouseButtonPress, button, button);
        mouse(name, QEvent::MouseButtonRelease, button, Qt::NoButton, releaseAt);
    }
    void key(QEvent::Type type, int qtKey, bool repeat = false, const char* to = "frmStatus") {
        QKeyEvent event(type, qtKey, Qt::NoModifier, QString(), repeat);
        QApplication::sendEvent(element(to), &event);
    }
    bool shows(const char* name, const art::Picture& picture) {
        return static_cast<PanelPicture*>(element(name))->shows(picture);
    }
    QPoint middleOf(const char* name) {
        QWidget* target = element(name);
        // The face's middle is the status window; this spot is bare face.
        return target == panel.get() ? QPoint(95, 30)
                                     : target->mapTo(panel.get(), target->rect().center());
    }
    // Drags `paths` into the panel over one element, on to the middle of
    // another and lets go there, as Qt delivers it; whether the panel took
    // them.
    bool drop(const char* over, const std::vector<std::string>& paths,
              Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction,
              const char* enteredOver = nullptr) {
        const QPoint at = middleOf(over);
        QMimeData data;
        QList<QUrl> urls;
        for (const auto& path : paths)
            urls.append(QUrl::fromLocalFile(QString::fromStdString(path)));
        data.setUrls(urls);
        QDragEnterEvent enter(middleOf(enteredOver ? enteredOver : over), offered, &data,
                              Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(panel.get(), &enter);
        QDragMoveEvent move(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(panel.get(), &move);
        if (!move.isAccepted())
            return false;
        EXPECT_EQ(move.dropAction(), Qt::CopyAction);
        QDropEvent event(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(panel.get(), &event);
        return event.isAccepted();
    }
    std::string tone(const std::string& name) {
        const auto path = folder / name;
        tremlo::test::writeTone(path, 100);
        return path.string();
    }

    test::EngineRig rig{{.capture = false}};
    LoaderWatch watch;
    FakeActions actions;
    fs::path folder;
    std::unique_ptr<CountingPanel> panel;
    std::unique_ptr<SoundLoader> loader;
    using Calls = std::vector<std::string>;
};

struct LargeButton {
    const char* name;
    const art::Picture* up;
    const art::Picture* down;
    const char* action;
};

class LargeButtonTest : public PanelControlsTest,
                        public ::testing::WithParamInterface<LargeButton> {};

TEST_P(LargeButtonTest, GoesDownWhileHeldAndActsOnlyOnALeftReleaseOverIt) {
    const LargeButton& button = GetParam();
    bool upAtAction = false;
    actions.onCall = [&] { upAtAction = shows(button.name, *button.up); };
    mouse(button.name, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(shows(button.name, *button.down));
    mouse(button.name, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, {5, 5});
    EXPECT_EQ(panel->moves, 0) << "a held button does not drag the panel";
    mouse(button.name, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(actions.calls, Calls{button.action});
    EXPECT_TRUE(upAtAction);

    // Let go away from it: up again, nothing done; dragged back in, it acts.
    mouse(button.name, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    mouse(button.name, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, {-1, 5});
    EXPECT_TRUE(shows(button.name, *button.up));
    mouse(button.name, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    mouse(button.name, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, {-30, 5});
    mouse(button.name, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, {2, 2});
    EXPECT_EQ(actions.calls, (Calls{button.action, button.action}));

    // The right button neither presses it nor, let go over it, raises it.
    click(button.name, Qt::RightButton);
    EXPECT_TRUE(shows(button.name, *button.up));
    mouse(button.name, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    mouse(button.name, QEvent::MouseButtonRelease, Qt::RightButton, Qt::LeftButton);
    EXPECT_TRUE(shows(button.name, *button.down));
    EXPECT_EQ(actions.calls.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Panel, LargeButtonTest,
    ::testing::Values(LargeButton{"imgEFCTButton", &art::kEfctUp, &art::kEfctDown, "stepEffect"},
                      LargeButton{"imgOPTButton", &art::kOptUp, &art::kOptDown, "showOptions"},
                      LargeButton{"imgVERButton", &art::kVerUp, &art::kVerDown, "showAbout"},
                      LargeButton{"imgPowerButton", &art::kPowerUp, &art::kPowerDown, "quit"}),
    [](const auto& info) { return std::string(info.param.name); });

// The effect button is 36 x 12: its edge is still on it, one step more is off.
TEST_F(PanelControlsTest, TheButtonsEdgeCountsAsOnIt) {
    for (QPointF inside : {QPointF(0, 0), QPointF(36, 12), QPointF(36, 0), QPointF(0, 12)})
        click("imgEFCTButton", Qt::LeftButton, inside);
    for (QPointF outside : {QPointF(-0.5, 5), QPointF(5, -1), QPointF(37, 5), QPointF(5, 12.5)})
        click("imgEFCTButton", Qt::LeftButton, outside);
    EXPECT_EQ(actions.calls.size(), 4u);
}

TEST_F(PanelControlsTest, SmallButtonsTakeTheLeftButtonIndicatorsAnyButton) {
    for (auto button : {Qt::RightButton, Qt::MiddleButton}) {
        click("imgEjectButton0", button);
        click("imgEjectButton1", button);
    }
    EXPECT_TRUE(actions.calls.empty());
    click("imgEjectButton0", Qt::LeftButton);
    click("imgEjectButton1", Qt::LeftButton, {3, 2});
    for (const char* name : {"imgDoor", "imgEnvir", "imgLRButton"})
        for (auto button : {Qt::LeftButton, Qt::RightButton})
            click(name, button, {3, 2});
    const auto at = [&](const char* name) {
        return FakeActions::where(element(name)->mapToGlobal(QPoint(3, 2)));
    };
    EXPECT_EQ(actions.calls, (Calls{"openFile", "popupOptionMenu" + at("imgEjectButton1"),
                                    "popupDoors" + at("imgDoor"), "popupDoors" + at("imgDoor"),
                                    "popupEnvirs" + at("imgEnvir"), "popupEnvirs" + at("imgEnvir"),
                                    "CyclePan", "CyclePan"}));
    EXPECT_EQ(panel->moves, 0);
}

// Connected, the panel still drags by its face and by the door indicator; a
// drag by the door indicator is not also a click on it.
TEST_F(PanelControlsTest, DraggingStillMovesThePanelAndFocusLossRaisesTheDialogButtons) {
    mouse("imgDoor", QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    mouse("imgDoor", QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, {8, 3});
    mouse("imgDoor", QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, {8, 3});
    mouse("frmStatus", QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, {300, 55});
    EXPECT_EQ(panel->moves, 2);
    EXPECT_TRUE(actions.calls.empty());

    mouse("imgOPTButton", QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(panel.get(), &deactivate);
    EXPECT_TRUE(shows("imgOPTButton", art::kOptUp));
}

// Once the panel is chosen by a click; before that, and again after it lost
// the activation, its keys are the switch window's, which heeds ShiftForce:
// a compositor that activates every new window must not make typing play.
TEST_F(PanelControlsTest, KeysWorkTheSwitchWithoutAModifierOnceThePanelIsClicked) {
    key(QEvent::KeyPress, Qt::Key_A);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Off);
    EXPECT_EQ(actions.calls, Calls{"keyForSwitch " + std::to_string(Qt::Key_A)});
    click("picStatusWindow", Qt::LeftButton);
    key(QEvent::KeyPress, Qt::Key_A);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Pressed);
    key(QEvent::KeyRelease, Qt::Key_A, true); // X's repeat: not a release
    EXPECT_EQ(rig.state.OnButtonDown, true);
    key(QEvent::KeyRelease, Qt::Key_A, false, "lblFileInfo"); // whoever has the focus
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Locked);
    rig.time.runUntil(1000);
    key(QEvent::KeyPress, Qt::Key_Z);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Off);
    key(QEvent::KeyRelease, Qt::Key_Z);
    EXPECT_EQ(rig.state.OffButtonDown, false);

    // A key in both sets presses both, ON first, so OFF finds ON held.
    rig.settings.AddOffButtonKeyCode = 221;
    key(QEvent::KeyPress, Qt::Key_BracketRight);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Pressed);
    EXPECT_EQ(rig.state.OffButtonDown, true);

    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(panel.get(), &deactivate);
    key(QEvent::KeyRelease, Qt::Key_BracketRight);
    EXPECT_EQ(actions.calls.back(), "keyForSwitch " + std::to_string(Qt::Key_BracketRight));
}

TEST_F(PanelControlsTest, DroppedSoundsLoadInOrderAndEachStarts) {
    rig.settings.AutoPlayAtDrop = true;
    const auto first = tone("x.WAV");
    const auto text = (folder / "y.txt").string();
    std::ofstream(text) << "not a sound";
    const auto midi =
        sound::test::MidiWriter().event(0, {0x90, 60, 100}).event(960, {0x80, 60, 0}).end(0).save();
    const auto second = (folder / "z.mid").string();
    fs::copy_file(midi.path(), second);
    fs::current_path(fs::temp_directory_path());
    EXPECT_TRUE(drop("imgDoor", {first, text, second}));
    EXPECT_EQ(watch.loaded, (std::vector<std::string>{first, second}));
    EXPECT_TRUE(watch.messages.empty());
    ASSERT_EQ(watch.switchAtLoad.size(), 2u);
    EXPECT_EQ(watch.switchAtLoad[1], SwitchPosition::Locked) << "x.WAV was started before z.mid";
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Locked);
    EXPECT_EQ(panel->lblFileInfo()->text(), "z.mid");
    EXPECT_EQ(fs::current_path(), folder);
}

TEST_F(PanelControlsTest, OnlyThePanelsDropTargetsTakeFiles) {
    const auto sound = tone("a.wav");
    panel->showEffects(false, true, false);
    for (const char* name :
         {"frmStatus", "picStatusWindow", "lblFileInfo", "imgStatusLED1", "imgDoor", "imgEffect1",
          "imgEFCTButton", "imgPowerButton", "imgEjectButton0"})
        EXPECT_TRUE(drop(name, {sound})) << name;
    EXPECT_FALSE(drop("lblFileInfo", {sound}, Qt::MoveAction)) << "copies only";
    const std::size_t taken = watch.loaded.size();
    panel->lblStatus()->show();
    for (const char* name : {"imgEnvir", "imgLRButton", "lblStatus"})
        EXPECT_FALSE(drop(name, {sound})) << name;
    EXPECT_EQ(watch.loaded.size(), taken);
    EXPECT_TRUE(drop("imgDoor", {sound}, Qt::CopyAction, "imgEnvir"))
        << "a drag that came in over a refusing element is taken further on";
}

TEST_F(PanelControlsTest, APanelNotConnectedOnlyShows) {
    test::VirtualTime clock;
    frmStatus alone(rig.settings, clock, {});
    EXPECT_FALSE(alone.acceptDrops());
    alone.DropFile(tone("b.wav"));
    EXPECT_TRUE(watch.loaded.empty());
}

} // namespace
} // namespace tremlo::ui
