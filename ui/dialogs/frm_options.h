#pragma once

// frmOptions, the options dialog: most of the settings on three tabs
// (サウンド, 動作, 表示), and the extra ON and OFF keys chosen through the
// key-capture dialog.
//
// Nothing reaches Settings while the dialog is open: the check boxes, the two
// number boxes and the key labels hold the pending values (the labels keep
// their key codes as decimal text in their "tag" property). OK hands them to
// Commands::applyOptions, which stores them, applies what must change at once
// and writes the settings file. Cancel, Escape and closing the window change
// nothing.
//
// The dialog does not touch stay-on-top: whoever opens it lifts it before and
// applies TopMost, as OK may have left it, afterwards.
//
// Thread: the user-interface thread. Coordinates are logical pixels.

#include "commands.h"
#include "frm_remote.h"
#include "interface_language.h"
#include "settings.h"
#include "timer.h"

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace tremlo::ui {

// What the dialog reads and what its OK runs.
struct OptionsParts {
    const Settings& settings;
    Commands& commands;
    TimerFactory& timers; // the key-capture dialog's blink
    // The dialog opens centred on this window's screen; the primary screen
    // when null.
    QWidget* mainWindow = nullptr;
    // 入力機器の設定, opened over the dialog; no button when empty.
    std::function<void()> showInputDevices;
    // The リモート操作 tab; none when null.
    const RemotePageParts* remote = nullptr;
    // The language of the windows as stored, and where OK stores a new one
    // (false when it could not be written); no choice shown when empty. It
    // takes effect at the next start: the windows are built in one language.
    std::function<LanguageChoice()> storedLanguage;
    std::function<bool(LanguageChoice)> storeLanguage;
};

// A delay or threshold box as a setting: the number the text begins with
// (anything else reads as 0), rounded half to even, then kept within 0 to
// 32767 so that it fits the 16-bit field.
std::int16_t delayFromText(const QString& text);

class frmOptions : public QDialog {
public:
    static constexpr int kMaxDelayMs = 32767;

    // Loads the controls from the settings; the サウンド tab is shown.
    explicit frmOptions(OptionsParts parts, QWidget* parent = nullptr);

    // The tab shown, 1 to 3.
    int currentPanel() const { return m_currentPanel; }

    QTabWidget* TabStrip1() const { return m_tabStrip1; }
    QWidget* picFrame(int index) const; // 1 to 3
    QPushButton* cmdOK() const { return m_cmdOK; }
    QPushButton* cmdCancel() const { return m_cmdCancel; }

    QCheckBox* chkDoor() const { return m_chkDoor; }
    QLineEdit* txtDoor() const { return m_txtDoor; }
    QLineEdit* txtDoorThreshold() const { return m_txtDoorThreshold; }
    QCheckBox* chkDoorCut() const { return m_chkDoorCut; }
    QCheckBox* chkDoorATOS() const { return m_chkDoorATOS; }
    QCheckBox* chkPlayClickSound() const { return m_chkPlayClickSound; }
    QCheckBox* chkNoise() const { return m_chkNoise; }
    QCheckBox* chkUseEnvir() const { return m_chkUseEnvir; }

    QPushButton* cmdAddOnButton() const { return m_cmdAddOnButton; }
    QLabel* lblAddOnButtonKeyCode() const { return m_lblAddOnButtonKeyCode; }
    QPushButton* cmdAddOffButton() const { return m_cmdAddOffButton; }
    QLabel* lblAddOffButtonKeyCode() const { return m_lblAddOffButtonKeyCode; }
    QCheckBox* chkAutoPlayAtDrop() const { return m_chkAutoPlayAtDrop; }
    QCheckBox* chkNoLockOnButton() const { return m_chkNoLockOnButton; }
    QCheckBox* chkShiftForce() const { return m_chkShiftForce; }

    QCheckBox* chkUsePanel() const { return m_chkUsePanel; }
    QCheckBox* chkTopMost() const { return m_chkTopMost; }
    QCheckBox* chkFixWindowPos() const { return m_chkFixWindowPos; }
    QComboBox* cboLanguage() const { return m_cboLanguage; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Building, one tab each (frm_options_panels.cpp).
    QWidget* makeSoundPanel();
    QWidget* makeBehaviourPanel();
    QWidget* makeDisplayPanel();

    void Form_Load();
    void TabStrip1_Click(int index);
    void chkDoor_Click();
    void chooseKey(QLabel* keyLabel);
    void cmdOK_Click();

    OptionsParts m_parts;
    int m_currentPanel = 1;

    QTabWidget* m_tabStrip1 = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdCancel = nullptr;

    QCheckBox* m_chkDoor = nullptr;
    QLineEdit* m_txtDoor = nullptr;
    QLineEdit* m_txtDoorThreshold = nullptr;
    QCheckBox* m_chkDoorCut = nullptr;
    QCheckBox* m_chkDoorATOS = nullptr;
    QCheckBox* m_chkPlayClickSound = nullptr;
    QCheckBox* m_chkNoise = nullptr;
    QCheckBox* m_chkUseEnvir = nullptr;

    QPushButton* m_cmdAddOnButton = nullptr;
    QLabel* m_lblAddOnButtonKeyCode = nullptr;
    QPushButton* m_cmdAddOffButton = nullptr;
    QLabel* m_lblAddOffButtonKeyCode = nullptr;
    QCheckBox* m_chkAutoPlayAtDrop = nullptr;
    QCheckBox* m_chkNoLockOnButton = nullptr;
    QCheckBox* m_chkShiftForce = nullptr;

    QCheckBox* m_chkUsePanel = nullptr;
    QCheckBox* m_chkTopMost = nullptr;
    QCheckBox* m_chkFixWindowPos = nullptr;
    QComboBox* m_cboLanguage = nullptr;
};

// Builds the dialog from the settings, runs it modally without an owner and
// unloads it. Stay-on-top is the caller's (see frmOptions).
void showOptionsDialog(OptionsParts& parts);

} // namespace tremlo::ui
