// The switch window on Qt's offscreen platform: how mouse, keys and drops
// reach the engine, with the engine on the offline library in virtual time.

#include "engine_rig.h"
#include "frm_main.h"
#include "offscreen_application.h"
#include "switch_accessible.h"
#include "virtual_keys.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tremlo::test {
namespace {

namespace fs = std::filesystem;

class FrmMainTest : public ::testing::Test {
protected:
    FrmMainTest()
        : folder(fs::temp_directory_path() / ("tremolo-ui-" + std::to_string(::getpid()))) {
        application();
        fs::create_directories(folder);
        window = std::make_unique<ui::frmMain>(rig.settings);
        engine = std::make_unique<MelodyEngine>(rig.settings, rig.state, rig.library(), rig.time,
                                                rig.time, EngineViews{*window, rig.view});
        loader = std::make_unique<SoundLoader>(
            rig.state, rig.library(), LoaderViews{*window, *window, quiet, quiet, rig.view},
            folder.string(), 7);
        window->connectEngine(*engine, *loader, rig.time);
        rig.loadWaveMelody(2000);
    }
    ~FrmMainTest() override {
        fs::current_path(fs::temp_directory_path());
        fs::remove_all(folder);
    }

    void key(QEvent::Type type, int qtKey, Qt::KeyboardModifiers modifiers, bool repeat = false) {
        QKeyEvent event(type, qtKey, modifiers, QString(), repeat);
        QApplication::sendEvent(window.get(), &event);
    }
    void mouse(QWidget* target, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held,
               QPoint at = {5, 5}) {
        QMouseEvent event(type, at, target->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }
    std::string tone(const std::string& name) {
        const auto path = folder / name;
        writeTone(path, 100);
        return path.string();
    }
    void drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        QDropEvent event(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &event);
    }

    EngineRig rig{{.capture = false}};
    QuietLoaderViews quiet;
    fs::path folder;
    std::unique_ptr<ui::frmMain> window;
    std::unique_ptr<MelodyEngine> engine;
    std::unique_ptr<SoundLoader> loader;
};

TEST_F(FrmMainTest, TheWindowIsTheSwitchBoxWithItsElementsInPlace) {
    EXPECT_EQ(window->size(), QSize(48, 95));
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("トレモロ"));
    EXPECT_EQ(window->imgOn()->geometry(), QRect(14, 30, 22, 22));
    EXPECT_EQ(window->imgOff()->geometry(), QRect(14, 59, 22, 22));
    EXPECT_EQ(window->imgTitleBar()->geometry(), QRect(0, 0, 49, 17));
    EXPECT_EQ(window->imgTitleBar()->toolTip(), QString::fromUtf8("トレモロ"));
}

TEST_F(FrmMainTest, WithShiftForceAKeyCountsOnlyWithAModifierButAlwaysReleases) {
    key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Off);
    key(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Pressed);
    key(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Locked);
    rig.time.runUntil(1000);
    key(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Off);
    EXPECT_EQ(rig.state.OffButtonDown, true);
    key(QEvent::KeyRelease, Qt::Key_Z, Qt::NoModifier);
    EXPECT_EQ(rig.state.OffButtonDown, false);

    rig.settings.ShiftForce = false;
    key(QEvent::KeyPress, Qt::Key_BracketRight, Qt::NoModifier);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Pressed);
}

TEST_F(FrmMainTest, TheExtraKeysAndAKeyInBothSetsPressBothOnFirst) {
    key(QEvent::KeyPress, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Pressed);
    key(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier);
    rig.time.runUntil(1000);
    key(QEvent::KeyPress, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Off);
    key(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier);

    // ON first, then OFF with ON held: only OFF's picture moves.
    rig.settings.AddOffButtonKeyCode = kVkA;
    key(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Pressed);
    EXPECT_EQ(rig.state.OffButtonDown, true);
}

// The arrows obey ShiftForce as the switch keys do, step once however long
// they are held, and leave a key that is also a switch key to the switch.
TEST_F(FrmMainTest, TheArrowsStepTheShelfAsTheSwitchKeysWork) {
    std::vector<int> steps;
    window->onStepMelody([&](int direction) { steps.push_back(direction); });
    key(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    key(QEvent::KeyPress, Qt::Key_Right, Qt::ShiftModifier);
    key(QEvent::KeyPress, Qt::Key_Right, Qt::ShiftModifier, true);
    key(QEvent::KeyPress, Qt::Key_Left, Qt::ControlModifier);
    key(QEvent::KeyPress, Qt::Key_Left, Qt::AltModifier);
    rig.settings.ShiftForce = false;
    key(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
    rig.settings.AddOnButtonKeyCode = kVkRight;
    key(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    EXPECT_EQ(steps, (std::vector<int>{1, -1, -1, -1}));
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Pressed);
}

TEST_F(FrmMainTest, HeldKeysRepeatAsPressesOnly) {
    key(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier);
    // X repeats a held key as release-and-press pairs marked as repeats.
    key(QEvent::KeyRelease, Qt::Key_A, Qt::ShiftModifier, true);
    key(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier, true);
    EXPECT_EQ(rig.state.OnButtonDown, true);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Pressed);
}

TEST_F(FrmMainTest, AnyMouseButtonWorksTheKeysAndTheRightOneElsewhereAsksForTheMenu) {
    int menus = 0;
    window->onShortcutMenu([&](QPoint) { ++menus; });
    mouse(window->imgOn(), QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Pressed);
    EXPECT_EQ(menus, 0) << "a right press on ON presses ON";
    mouse(window->imgOn(), QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Locked);
    mouse(window->imgOff(), QEvent::MouseButtonPress, Qt::MiddleButton, Qt::MiddleButton);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Off);
    mouse(window->imgOff(), QEvent::MouseButtonRelease, Qt::MiddleButton, Qt::NoButton);
    EXPECT_EQ(rig.state.OffButtonDown, false);

    mouse(window.get(), QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, {5, 50});
    mouse(window.get(), QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, {5, 50});
    mouse(window.get(), QEvent::MouseButtonDblClick, Qt::RightButton, Qt::RightButton, {5, 50});
    EXPECT_EQ(menus, 1) << "only the right press; a double click does nothing";
    // The grip passes its presses on to the window.
    mouse(window->imgTitleBar(), QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(menus, 2);
}

// Without a mouse: the Menu key and Shift+F10 ask for the menu whatever
// ShiftForce says, and Space or Return on the focused key works it like a
// mouse button, while the window's own keys still pass through the key.
TEST_F(FrmMainTest, TheKeyboardOpensTheMenuAndWorksTheFocusedKey) {
    int menus = 0;
    window->onShortcutMenu([&](QPoint) { ++menus; });
    key(QEvent::KeyPress, Qt::Key_Menu, Qt::NoModifier);
    key(QEvent::KeyPress, Qt::Key_F10, Qt::ShiftModifier);
    key(QEvent::KeyPress, Qt::Key_F10, Qt::NoModifier);
    EXPECT_EQ(menus, 2);

    EXPECT_EQ(window->imgOn()->focusPolicy(), Qt::TabFocus);
    EXPECT_EQ(window->imgOff()->focusPolicy(), Qt::TabFocus);
    auto press = [](QWidget* target, QEvent::Type type, int qtKey, Qt::KeyboardModifiers held) {
        QKeyEvent event(type, qtKey, held);
        QApplication::sendEvent(target, &event);
    };
    press(window->imgOn(), QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Pressed);
    press(window->imgOn(), QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Locked);
    rig.time.runUntil(1000);
    press(window->imgOff(), QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Off);
    press(window->imgOff(), QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
    EXPECT_EQ(rig.state.OffButtonDown, false);
    press(window->imgOff(), QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Pressed) << "A passes on to the window";
}

// What a screen reader finds on the keys, with the lock and without: the
// names, ON a toggle only where it locks, the pressed state following the
// switch, and the actions working it as a click does.
TEST_F(FrmMainTest, AssistiveTechnologyFindsAndPressesTheKeys) {
    ui::installSwitchAccessibility();
    QAccessibleInterface* on = QAccessible::queryAccessibleInterface(window->imgOn());
    QAccessibleInterface* off = QAccessible::queryAccessibleInterface(window->imgOff());
    ASSERT_TRUE(on && off);
    const QString press = QAccessibleActionInterface::pressAction();
    EXPECT_EQ(on->text(QAccessible::Name), QStringLiteral("ON"));
    EXPECT_EQ(off->text(QAccessible::Name), QStringLiteral("OFF"));
    EXPECT_EQ(on->role(), QAccessible::Button);
    EXPECT_EQ(off->role(), QAccessible::Button);

    // Locking: one press is a whole click, and ON stays down as a toggle.
    EXPECT_TRUE(on->state().checkable);
    EXPECT_EQ(on->actionInterface()->actionNames(), QStringList{press});
    on->actionInterface()->doAction(press);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Locked);
    EXPECT_TRUE(on->state().pressed && on->state().checked);
    rig.time.runUntil(1000);
    off->actionInterface()->doAction(press);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Off);
    EXPECT_FALSE(rig.state.OffButtonDown);
    EXPECT_FALSE(on->state().pressed || on->state().checked || off->state().pressed);

    // Springing back: ON is held from its press to its release.
    rig.settings.NoLockOnButton = true;
    EXPECT_FALSE(on->state().checkable);
    EXPECT_EQ(on->actionInterface()->actionNames(), (QStringList{press, ui::releaseActionName()}));
    on->actionInterface()->doAction(press);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Pressed);
    EXPECT_TRUE(on->state().pressed);
    on->actionInterface()->doAction(ui::releaseActionName());
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Off);
    EXPECT_FALSE(on->state().pressed);
}

TEST_F(FrmMainTest, DropsLoadTheMelodiesInOrderAndSkipOtherFiles) {
    rig.settings.AutoPlayAtDrop = true;
    const auto first = tone("A.WAV");
    const auto text = (folder / "c.txt").string();
    std::ofstream(text) << "not a sound";
    const auto second = tone("b.Wav");
    drop({QUrl::fromLocalFile(QString::fromStdString(first)),
          QUrl::fromLocalFile(QString::fromStdString(text)),
          QUrl::fromLocalFile(QString::fromStdString(second))});
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("b.Wav - トレモロ"));
    EXPECT_TRUE(quiet.messages.empty());
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Locked) << "the last one was started";
    EXPECT_TRUE(rig.library().dsIsPlaying(rig.state.MelodyBuffer));
    EXPECT_EQ(fs::current_path(), folder) << "the dropped file's folder is current";
}

TEST_F(FrmMainTest, AutoPlayFollowsEvenAFailedLoad) {
    rig.settings.AutoPlayAtDrop = true;
    window->DropFile((folder / "missing.mid").string());
    EXPECT_EQ(quiet.messages.size(), 1u);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Locked);
    EXPECT_EQ(rig.state.MelodySegment, 0);
}

TEST_F(FrmMainTest, OnlyTheLastFourCharactersDecideWhatIsAMelody) {
    EXPECT_TRUE(isMelodyPath("/a/A.WAV"));
    EXPECT_TRUE(isMelodyPath("/a/b.Mid"));
    EXPECT_TRUE(isMelodyPath("/a/c.sgt"));
    for (const char* compressed : {"/a/b.MP3", "/a/c.ogg", "/a/d.Oga", "/a/e.opus", "/a/f.FLAC"})
        EXPECT_TRUE(isMelodyPath(compressed)) << compressed;
    EXPECT_FALSE(isMelodyPath("/a.flac/b"));
    EXPECT_FALSE(isMelodyPath("/a/d.midi"));
    EXPECT_FALSE(isMelodyPath("/a/e.wave"));
    EXPECT_FALSE(isMelodyPath("/a/f.txt"));
}

struct KeyCase {
    const char* name;
    int qtKey;
    Qt::KeyboardModifiers modifiers;
    std::uint32_t scanCode;
    int expected;
};

// X sends a held key's repeats as a release and a press at one time; a
// press of another key at that time is no repeat.
TEST(VirtualKeyRepeats, OnlyTheSameKeyAtTheReleasesTimeRepeats) {
    // Key events made without an application leave Qt's keyboard device
    // behind for ever.
    application();
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, 38, 0, 0);
    QKeyEvent same(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, 38, 0, 0);
    QKeyEvent other(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, 56, 0, 0);
    for (QKeyEvent* event : {&release, &same, &other})
        event->setTimestamp(500);
    KeyRepeats repeats;
    repeats.released(release);
    EXPECT_TRUE(repeats.isRepeat(same));
    EXPECT_FALSE(repeats.isRepeat(other));
}

class VirtualKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(VirtualKeyTest, QtKeysBecomeWindowsVirtualKeyCodes) {
    const auto& c = GetParam();
    EXPECT_EQ(virtualKeyOf(c.qtKey, c.modifiers, c.scanCode), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, VirtualKeyTest,
    ::testing::Values(KeyCase{"A", Qt::Key_A, Qt::NoModifier, 0, 65},
                      KeyCase{"Z", Qt::Key_Z, Qt::ShiftModifier, 0, 90},
                      KeyCase{"Digit", Qt::Key_7, Qt::NoModifier, 0, 55},
                      KeyCase{"ShiftedDigitRow", Qt::Key_Exclam, Qt::ShiftModifier, 10, 49},
                      KeyCase{"Keypad", Qt::Key_7, Qt::KeypadModifier, 79, 103},
                      KeyCase{"F1", Qt::Key_F1, Qt::NoModifier, 0, 112},
                      KeyCase{"F24", Qt::Key_F24, Qt::NoModifier, 0, 135},
                      KeyCase{"KeypadZero", Qt::Key_0, Qt::KeypadModifier, 0, 96},
                      KeyCase{"KeypadSlash", Qt::Key_Slash, Qt::KeypadModifier, 0, 111},
                      KeyCase{"Pause", Qt::Key_Pause, Qt::NoModifier, 0, 19},
                      KeyCase{"PageDown", Qt::Key_PageDown, Qt::NoModifier, 0, 34},
                      KeyCase{"Shift", Qt::Key_Shift, Qt::ShiftModifier, 0, 16},
                      KeyCase{"Control", Qt::Key_Control, Qt::ControlModifier, 0, 17},
                      KeyCase{"Alt", Qt::Key_Alt, Qt::AltModifier, 0, 18},
                      KeyCase{"Enter", Qt::Key_Return, Qt::NoModifier, 0, 13},
                      KeyCase{"KeypadEnter", Qt::Key_Enter, Qt::KeypadModifier, 104, 13},
                      KeyCase{"Escape", Qt::Key_Escape, Qt::NoModifier, 0, 27},
                      KeyCase{"Space", Qt::Key_Space, Qt::NoModifier, 0, 32},
                      KeyCase{"Up", Qt::Key_Up, Qt::NoModifier, 0, 38},
                      KeyCase{"Down", Qt::Key_Down, Qt::NoModifier, 0, 40},
                      KeyCase{"Bracket", Qt::Key_BracketRight, Qt::NoModifier, 0, 221},
                      KeyCase{"ShiftedBracket", Qt::Key_BraceRight, Qt::ShiftModifier, 0, 221},
                      KeyCase{"RoKey", Qt::Key_Backslash, Qt::NoModifier, 97, 226},
                      KeyCase{"ShiftedRoKey", Qt::Key_Underscore, Qt::ShiftModifier, 97, 226},
                      KeyCase{"Backslash", Qt::Key_Backslash, Qt::NoModifier, 51, 220},
                      KeyCase{"Yen", Qt::Key_yen, Qt::NoModifier, 0, 220},
                      KeyCase{"Unknown", Qt::Key_unknown, Qt::NoModifier, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tremlo::test
