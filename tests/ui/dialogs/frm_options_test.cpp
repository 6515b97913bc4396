// The options dialog: loading from the settings, OK storing every control,
// writing the file and applying the changes, and every other way out
// changing nothing.

#include "options_rig.h"
#include "settings_file.h"
#include "virtual_keys.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <filesystem>

namespace tremlo::test {
namespace {

using ui::frmOptions;

struct BoxField {
    const char* key;
    bool Settings::*field;
    QCheckBox* (frmOptions::*box)() const;
};

const BoxField kBoxes[] = {
    {"TopMost", &Settings::TopMost, &frmOptions::chkTopMost},
    {"Door", &Settings::Door, &frmOptions::chkDoor},
    {"DoorCut", &Settings::DoorCut, &frmOptions::chkDoorCut},
    {"DoorATOS", &Settings::DoorATOS, &frmOptions::chkDoorATOS},
    {"Noise", &Settings::Noise, &frmOptions::chkNoise},
    {"UseEnvir", &Settings::UseEnvir, &frmOptions::chkUseEnvir},
    {"UsePanel", &Settings::UsePanel, &frmOptions::chkUsePanel},
    {"FixWindowPos", &Settings::FixWindowPos, &frmOptions::chkFixWindowPos},
    {"PlayClickSound", &Settings::PlayClickSound, &frmOptions::chkPlayClickSound},
    {"NoLockOnButton", &Settings::NoLockOnButton, &frmOptions::chkNoLockOnButton},
    {"AutoPlayAtDrop", &Settings::AutoPlayAtDrop, &frmOptions::chkAutoPlayAtDrop},
    {"ShiftForce", &Settings::ShiftForce, &frmOptions::chkShiftForce},
};

void setAllBoxFields(Settings& s, bool value) {
    for (const BoxField& entry : kBoxes)
        s.*entry.field = value;
}

// Captures `qtKey` through the key button, as the user does.
void chooseKey(QPushButton* button, int qtKey) {
    onNextModal([qtKey](QWidget* keyDialog) { pressKey(keyDialog, qtKey); });
    button->click();
}

TEST_F(OptionsTest, EachFieldLoadsIntoItsOwnBoxAndOkStoresEachBoxInItsOwnField) {
    for (const BoxField& only : kBoxes) {
        setAllBoxFields(settings, false);
        settings.*only.field = true;
        auto dialog = open();
        for (const BoxField& entry : kBoxes)
            EXPECT_EQ(((*dialog).*entry.box)()->isChecked(), &entry == &only)
                << only.key << " loaded, " << entry.key << " shown";

        // Now the other way round: every box but this one.
        setAllBoxFields(settings, false);
        for (const BoxField& entry : kBoxes)
            ((*dialog).*entry.box)()->setChecked(&entry != &only);
        dialog->cmdOK()->click();
        for (const BoxField& entry : kBoxes) {
            EXPECT_EQ(settings.*entry.field, &entry == &only ? false : true)
                << only.key << " cleared, " << entry.key << " stored";
            EXPECT_EQ(saved(entry.key), &entry == &only ? "No" : "Yes") << entry.key;
        }
    }
}

TEST_F(OptionsTest, OpensOnTheSoundTabWithTheNumbersAndKeysOfTheSettings) {
    settings.DoorDelay = 1234;
    settings.DoorThreshold = 0;
    settings.AddOnButtonKeyCode = 65;
    settings.AddOffButtonKeyCode = 226;
    auto dialog = open();
    EXPECT_EQ(dialog->currentPanel(), 1);
    EXPECT_EQ(dialog->TabStrip1()->currentWidget(), dialog->picFrame(1));
    EXPECT_EQ(dialog->txtDoor()->text(), "1234");
    EXPECT_EQ(dialog->txtDoorThreshold()->text(), "0");
    EXPECT_EQ(dialog->lblAddOnButtonKeyCode()->text(), "キー番号: 65");
    EXPECT_EQ(dialog->lblAddOnButtonKeyCode()->property("tag").toString(), "65");
    EXPECT_EQ(dialog->lblAddOffButtonKeyCode()->text(), "キー番号: 226");
    // The unit labels' access keys lead to the boxes.
    const auto units = dialog->picFrame(1)->findChildren<QLabel*>();
    const auto unit = [&](const QString& text) {
        for (QLabel* label : units)
            if (label->text() == text)
                return label->buddy();
        return static_cast<QWidget*>(nullptr);
    };
    EXPECT_EQ(unit("ミリ秒(&L)"), dialog->txtDoor());
    EXPECT_EQ(unit("ミリ秒(&T)"), dialog->txtDoorThreshold());
}

TEST_F(OptionsTest, OkStoresEverythingWritesTheFileAndAppliesItAtOnce) {
    settings.Door = true;
    settings.UseEnvir = false;
    settings.UsePanel = false;
    auto dialog = open();
    dialog->show();
    dialog->chkDoor()->setChecked(false);
    dialog->chkUseEnvir()->setChecked(true);
    dialog->chkUsePanel()->setChecked(true);
    dialog->txtDoor()->setText("1500");
    dialog->txtDoorThreshold()->setText("250");
    volumeSlider(*dialog, "sldMelody")->setValue(50);
    volumeSlider(*dialog, "sldEnvir")->setValue(0);
    chooseKey(dialog->cmdAddOnButton(), Qt::Key_A);
    chooseKey(dialog->cmdAddOffButton(), Qt::Key_F5);
    EXPECT_EQ(dialog->lblAddOnButtonKeyCode()->text(), "キー番号: 65");
    EXPECT_EQ(settings.AddOnButtonKeyCode, 38) << "pending until OK";

    dialog->cmdOK()->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(settings.DoorDelay, 1500);
    EXPECT_EQ(settings.DoorThreshold, 250);
    EXPECT_EQ(settings.AddOnButtonKeyCode, 65);
    EXPECT_EQ(settings.AddOffButtonKeyCode, 116);
    EXPECT_EQ(doorTimer->interval(), 1501);
    EXPECT_TRUE(envirPlaying());
    EXPECT_EQ(log, (Log{"door off", "envir on", "show panel"}));
    for (const auto& [key, value] : settingsFileEntries(settings, 0.25, 0.5))
        EXPECT_EQ(saved(key), value) << key;
    EXPECT_EQ(ini.readValue("Melody", "Volume"), "50");
    EXPECT_EQ(ini.readValue("Ambience", "Volume"), "0");
    EXPECT_EQ(ini.readValue("Door", "Volume"), "100");
    EXPECT_EQ(state.level(VolumeSound::Melody), -602);
    EXPECT_EQ(state.level(VolumeSound::Ambience), -10000);
    EXPECT_EQ(state.level(VolumeSound::Door), 0);
}

TEST_F(OptionsTest, EveryOkAppliesTheEnvironmentLoopAndThePanel) {
    lib.library->dsPlayLooping(state.EnvirBuffer);
    for (bool envir : {false, false, true}) {
        auto dialog = open();
        dialog->chkUseEnvir()->setChecked(envir);
        dialog->chkUsePanel()->setChecked(envir);
        log.clear();
        dialog->cmdOK()->click();
        EXPECT_EQ(envirPlaying(), envir);
        EXPECT_EQ(log, (Log{"door on", envir ? "envir on" : "envir off",
                            envir ? "show panel" : "unload panel"}));
    }
}

struct DelayCase {
    const char* name;
    const char* text;
    int stored;
};

void PrintTo(const DelayCase& delay, std::ostream* out) {
    *out << '"' << delay.text << '"';
}

class DelayTextTest : public OptionsTest, public ::testing::WithParamInterface<DelayCase> {};

TEST_P(DelayTextTest, IsStoredAsTheNumberItBeginsWithWithin16Bits) {
    auto dialog = open();
    dialog->txtDoor()->setText(QString::fromUtf8(GetParam().text));
    dialog->txtDoorThreshold()->setText(QString::fromUtf8(GetParam().text));
    dialog->cmdOK()->click();
    EXPECT_EQ(settings.DoorDelay, GetParam().stored);
    EXPECT_EQ(settings.DoorThreshold, GetParam().stored);
    EXPECT_EQ(doorTimer->interval(), GetParam().stored + 1);
    EXPECT_EQ(saved("DoorDelay"), std::to_string(GetParam().stored));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DelayTextTest,
    ::testing::Values(DelayCase{"Fraction", "1300.5", 1300}, DelayCase{"HalfUp", "1301.5", 1302},
                      DelayCase{"Negative", "-20", 0}, DelayCase{"Unit", "12ms", 12},
                      DelayCase{"Empty", "", 0}, DelayCase{"Words", "abc", 0},
                      DelayCase{"TooLarge", "40000", 32767}, DelayCase{"Largest", "32767", 32767},
                      DelayCase{"HugeExponent", "1e999", 32767},
                      DelayCase{"HugeNegative", "-1e999", 0}, DelayCase{"FullWidth", "１２", 0}),
    [](const auto& info) { return std::string(info.param.name); });

enum class WayOut { Cancel, Escape, CloseButton };

void PrintTo(WayOut way, std::ostream* out) {
    *out << static_cast<int>(way);
}

std::string wayName(const ::testing::TestParamInfo<WayOut>& info) {
    switch (info.param) {
    case WayOut::Cancel:
        return "Cancel";
    case WayOut::Escape:
        return "Escape";
    case WayOut::CloseButton:
        break;
    }
    return "CloseButton";
}

class LeavingTest : public OptionsTest, public ::testing::WithParamInterface<WayOut> {};

TEST_P(LeavingTest, ChangesNothingEvenAfterAKeyWasChosen) {
    lib.library->dsPlayLooping(state.EnvirBuffer);
    const auto before = settingsFileEntries(settings, 0, 0);
    auto dialog = open();
    dialog->show();
    for (const BoxField& entry : kBoxes)
        ((*dialog).*entry.box)()->toggle();
    dialog->txtDoor()->setText("99");
    volumeSlider(*dialog, "sldMelody")->setValue(10);
    chooseKey(dialog->cmdAddOnButton(), Qt::Key_A);
    ASSERT_EQ(dialog->lblAddOnButtonKeyCode()->text(), "キー番号: 65");

    switch (GetParam()) {
    case WayOut::Cancel:
        dialog->cmdCancel()->click();
        break;
    case WayOut::Escape:
        pressKey(dialog.get(), Qt::Key_Escape);
        break;
    case WayOut::CloseButton:
        dialog->close();
        break;
    }
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(settingsFileEntries(settings, 0, 0), before);
    EXPECT_FALSE(std::filesystem::exists(ini.path()));
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(envirPlaying());
    EXPECT_EQ(doorTimer->interval(), 1301);
}

INSTANTIATE_TEST_SUITE_P(Ways, LeavingTest,
                         ::testing::Values(WayOut::Cancel, WayOut::Escape, WayOut::CloseButton),
                         wayName);

TEST_F(OptionsTest, DoorOptionsFollowTheDoorBoxTogetherAndKeepTheirValues) {
    settings.Door = false;
    auto dialog = open();
    const std::vector<QWidget*> dependents = {dialog->txtDoor(), dialog->txtDoorThreshold(),
                                              dialog->chkDoorCut(), dialog->chkDoorATOS()};
    const auto enabledCount = [&] {
        return std::count_if(dependents.begin(), dependents.end(),
                             [](QWidget* w) { return w->isEnabled(); });
    };
    EXPECT_EQ(enabledCount(), 0);
    // Greyed boxes show the button face, not the white of an edit field.
    EXPECT_EQ(dialog->txtDoor()->palette().color(QPalette::Disabled, QPalette::Base),
              QApplication::palette().color(QPalette::Button));
    dialog->chkDoor()->click();
    EXPECT_EQ(enabledCount(), 4);
    dialog->txtDoor()->setText("800");
    dialog->chkDoor()->click();
    EXPECT_EQ(enabledCount(), 0);
    EXPECT_EQ(dialog->txtDoor()->text(), "800");
    dialog->cmdOK()->click();
    EXPECT_EQ(settings.Door, false);
    EXPECT_EQ(settings.DoorDelay, 800);
}

TEST_F(OptionsTest, NumberBoxesSelectTheirWholeTextOnFocusHoweverReached) {
    auto dialog = open();
    for (QLineEdit* box : {dialog->txtDoor(), dialog->txtDoorThreshold()}) {
        box->deselect();
        QFocusEvent focus(QEvent::FocusIn, Qt::MouseFocusReason);
        QApplication::sendEvent(box, &focus);
        EXPECT_EQ(box->selectedText(), box->text());
    }
}

TEST_F(OptionsTest, AKeyWithoutACodeKeepsThePendingKey) {
    ASSERT_EQ(virtualKeyOf(Qt::Key_unknown, {}, 0), 0);
    auto dialog = open();
    chooseKey(dialog->cmdAddOffButton(), Qt::Key_unknown);
    EXPECT_EQ(dialog->lblAddOffButtonKeyCode()->text(), "キー番号: 40");
    dialog->cmdOK()->click();
    EXPECT_EQ(settings.AddOffButtonKeyCode, 40);
}

// The opener puts stay-on-top back by what TopMost says once the dialog has
// closed, so a change made in it must be there by then.
TEST_F(OptionsTest, TopMostChangedInTheDialogIsThereWhenItsOpenerGoesOn) {
    settings.TopMost = true;
    onNextModal([](QWidget* dialog) {
        dialog->findChild<QCheckBox*>("chkTopMost")->click();
        dialog->findChild<QPushButton*>("cmdOK")->click();
    });
    auto options = parts();
    ui::showOptionsDialog(options);
    EXPECT_EQ(settings.TopMost, false);
    EXPECT_EQ(saved("TopMost"), "No");

    onNextModal([](QWidget* dialog) {
        dialog->findChild<QCheckBox*>("chkTopMost")->click();
        dialog->findChild<QPushButton*>("cmdCancel")->click();
    });
    ui::showOptionsDialog(options);
    EXPECT_EQ(settings.TopMost, false);
}

} // namespace
} // namespace tremlo::test
