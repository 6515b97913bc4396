// The key-capture dialog: the first key is the answer, whatever it is, and
// the prompt blinks in virtual time while it waits.

#include "frm_key.h"
#include "options_rig.h"

#include <QLabel>

namespace tremlo::test {
namespace {

using ui::frmKey;

struct KeyCase {
    const char* name;
    int qtKey;
    Qt::KeyboardModifiers modifiers;
    int code;
    quint32 xKeyCode = 0;
};

void PrintTo(const KeyCase& key, std::ostream* out) {
    *out << key.name;
}

class KeyCaptureTest : public WithApplication, public ::testing::TestWithParam<KeyCase> {
protected:
    VirtualTime time;
    std::int16_t KeyCaptureResult = 0;
};

TEST_P(KeyCaptureTest, TheFirstKeyClosesTheDialogWithItsCode) {
    frmKey dialog(nullptr, time, KeyCaptureResult);
    dialog.show();
    pressKey(&dialog, GetParam().qtKey, GetParam().modifiers, false, GetParam().xKeyCode);
    EXPECT_EQ(KeyCaptureResult, GetParam().code);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.blink().running());
}

// Modifiers arrive as Qt reports them: the key's own modifier already held.
INSTANTIATE_TEST_SUITE_P(
    Keys, KeyCaptureTest,
    ::testing::Values(KeyCase{"Shift", Qt::Key_Shift, Qt::ShiftModifier, 16},
                      KeyCase{"Ctrl", Qt::Key_Control, Qt::ControlModifier, 17},
                      KeyCase{"Alt", Qt::Key_Alt, Qt::AltModifier, 18},
                      KeyCase{"Escape", Qt::Key_Escape, {}, 27},
                      KeyCase{"Enter", Qt::Key_Return, {}, 13}, KeyCase{"Tab", Qt::Key_Tab, {}, 9},
                      KeyCase{"Up", Qt::Key_Up, {}, 38},
                      KeyCase{"ShiftedA", Qt::Key_A, Qt::ShiftModifier, 65},
                      // Keys that had no code by the character they make.
                      KeyCase{"CyrillicShiftedA", 0x0424, Qt::ShiftModifier, 65, 38},
                      KeyCase{"IsoKeyBesideShift", Qt::Key_Bar, Qt::ShiftModifier, 226, 94},
                      KeyCase{"AltGr", Qt::Key_unknown, {}, 18, 108},
                      KeyCase{"VolumeUp", Qt::Key_VolumeUp, {}, 175}),
    [](const auto& info) { return std::string(info.param.name); });

class KeyDialogTest : public WithApplication, public ::testing::Test {
protected:
    VirtualTime time;
    std::int16_t KeyCaptureResult = 0;
};

// X repeats a held key as a release and a press with one time stamp; Qt
// marks the press a repeat only when it has read it in time.
TEST_F(KeyDialogTest, AKeyHeldSinceBeforeItOpenedIsNoAnswer) {
    frmKey dialog(nullptr, time, KeyCaptureResult);
    dialog.show();
    const auto send = [&](QEvent::Type type, int qtKey, quint64 timestamp) {
        QKeyEvent event(type, qtKey, {}, QString(), false);
        event.setTimestamp(timestamp);
        QApplication::sendEvent(&dialog, &event);
    };
    send(QEvent::KeyRelease, Qt::Key_Space, 1000);
    send(QEvent::KeyPress, Qt::Key_Space, 1000);
    send(QEvent::KeyPress, Qt::Key_Return, 1000);
    EXPECT_EQ(KeyCaptureResult, 13);
}

TEST_F(KeyDialogTest, ThePromptBlinksHalfASecondOnAndOffUntilAKeyComes) {
    frmKey dialog(nullptr, time, KeyCaptureResult);
    dialog.show();
    const auto shownAt = [&](std::int64_t ms) {
        time.runUntil(ms);
        return !dialog.Label1()->isHidden();
    };
    EXPECT_TRUE(shownAt(0));
    EXPECT_TRUE(shownAt(499));
    EXPECT_FALSE(shownAt(500));
    EXPECT_FALSE(shownAt(999));
    EXPECT_TRUE(shownAt(1000));
    EXPECT_TRUE(shownAt(10'000));
    EXPECT_FALSE(shownAt(10'500));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(KeyCaptureResult, 0);
    // A key held since before the dialog opened repeats into it: not an answer.
    pressKey(&dialog, Qt::Key_Return, {}, true);
    EXPECT_TRUE(dialog.isVisible());
    pressKey(&dialog, Qt::Key_Down);
    EXPECT_EQ(KeyCaptureResult, 40);
    EXPECT_FALSE(shownAt(11'000)) << "the blink stops with the dialog";
}

TEST_F(KeyDialogTest, IsBorderlessAndCentredOverItsOwner) {
    QWidget owner;
    owner.setGeometry(200, 150, 393, 346);
    owner.show();
    frmKey dialog(&owner, time, KeyCaptureResult);
    dialog.show();
    EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_LE((dialog.frameGeometry().center() - owner.frameGeometry().center()).manhattanLength(),
              1);
}

} // namespace
} // namespace tremlo::test
