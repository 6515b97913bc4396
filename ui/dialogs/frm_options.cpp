#include "frm_options.h"

#include "dialog_font.h"
#include "frm_key.h"
#include "settings_file.h"
#include "volume_page.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <string>

namespace tremlo::ui {
namespace {

// The client area the dialog was designed at; a wider face or a larger font
// may ask for more, never for less.
constexpr QSize kDesignSize{393, 346};
const char* const kTag = "tag";

QString keyCaption(int code) {
    return QCoreApplication::translate("frmOptions", "キー番号: ") + QString::number(code);
}

void setKeyLabel(QLabel* label, int code) {
    label->setProperty(kTag, QString::number(code));
    label->setText(keyCaption(code));
}

std::int16_t keyFromLabel(const QLabel* label) {
    const std::optional<double> code = readNumber(label->property(kTag).toString().toStdString());
    return static_cast<std::int16_t>(code ? *code : 0.0);
}

// A greyed box shows the button face behind its text, as a disabled edit
// field does on the desktop the program was designed for; Qt's own styles
// would leave some of them white.
void setBoxEnabled(QLineEdit* box, bool enabled) {
    box->setEnabled(enabled);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Disabled, QPalette::Base,
                     QApplication::palette().color(QPalette::Button));
    box->setPalette(palette);
}

} // namespace

std::int16_t delayFromText(const QString& text) {
    const std::string bytes = text.toStdString();
    const std::optional<double> number = readNumber(bytes);
    // Only a number beyond a double's range has no value; its sign says
    // which end of the field it belongs to.
    double value = 0.0;
    if (number)
        value = std::nearbyint(*number); // the default rounding: halves to even
    else if (!bytes.starts_with('-'))
        value = frmOptions::kMaxDelayMs;
    return static_cast<std::int16_t>(std::clamp(value, 0.0, double{frmOptions::kMaxDelayMs}));
}

frmOptions::frmOptions(OptionsParts parts, QWidget* parent)
    : QDialog(parent), m_parts(std::move(parts)) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QCoreApplication::translate("frmOptions", "オプション"));
    setFont(dialogFont());

    m_tabStrip1 = new QTabWidget(this);
    m_tabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    m_tabStrip1->addTab(makeSoundPanel(), QCoreApplication::translate("frmOptions", "サウンド"));
    m_tabStrip1->addTab(makeBehaviourPanel(), QCoreApplication::translate("frmOptions", "動作"));
    m_tabStrip1->addTab(makeDisplayPanel(), QCoreApplication::translate("frmOptions", "表示"));
    m_tabStrip1->addTab(new VolumePage(m_parts.commands, this), VolumePage::tr("音量"));
    if (m_parts.remote)
        addRemotePanel(*m_tabStrip1, *this, *m_parts.remote);
    connect(m_tabStrip1, &QTabWidget::currentChanged, this,
            [this](int index) { TabStrip1_Click(index + 1); });

    m_cmdOK = new QPushButton(QStringLiteral("OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setDefault(true);
    m_cmdCancel = new QPushButton(QCoreApplication::translate("frmOptions", "キャンセル"), this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    for (QPushButton* button : {m_cmdOK, m_cmdCancel})
        button->setMinimumWidth(88);
    connect(m_cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    // Escape and the window's close button reject the dialog the same way.
    connect(m_cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    buttons->addStretch(1);
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);
    layout->addWidget(m_tabStrip1, 1);
    layout->addLayout(buttons);

    connect(m_chkDoor, &QCheckBox::toggled, this, [this] { chkDoor_Click(); });
    connect(m_cmdAddOnButton, &QPushButton::clicked, this,
            [this] { chooseKey(m_lblAddOnButtonKeyCode); });
    connect(m_cmdAddOffButton, &QPushButton::clicked, this,
            [this] { chooseKey(m_lblAddOffButtonKeyCode); });
    for (QLineEdit* box : {m_txtDoor, m_txtDoorThreshold})
        box->installEventFilter(this);

    Form_Load();
    setFixedSize(sizeHint().expandedTo(kDesignSize));
}

QWidget* frmOptions::picFrame(int index) const {
    return m_tabStrip1->widget(index - 1);
}

void frmOptions::Form_Load() {
    const Settings& s = m_parts.settings;
    m_currentPanel = 1;
    m_tabStrip1->setCurrentIndex(0);

    m_chkTopMost->setChecked(s.TopMost);
    m_chkDoor->setChecked(s.Door);
    m_chkDoorCut->setChecked(s.DoorCut);
    m_chkDoorATOS->setChecked(s.DoorATOS);
    m_chkNoise->setChecked(s.Noise);
    m_chkUseEnvir->setChecked(s.UseEnvir);
    m_chkUsePanel->setChecked(s.UsePanel);
    m_chkFixWindowPos->setChecked(s.FixWindowPos);
    m_chkPlayClickSound->setChecked(s.PlayClickSound);
    m_chkNoLockOnButton->setChecked(s.NoLockOnButton);
    m_chkAutoPlayAtDrop->setChecked(s.AutoPlayAtDrop);
    m_chkShiftForce->setChecked(s.ShiftForce);

    setKeyLabel(m_lblAddOnButtonKeyCode, s.AddOnButtonKeyCode);
    setKeyLabel(m_lblAddOffButtonKeyCode, s.AddOffButtonKeyCode);

    m_txtDoor->setText(QString::number(s.DoorDelay));
    m_txtDoorThreshold->setText(QString::number(s.DoorThreshold));
    if (m_cboLanguage)
        m_cboLanguage->setCurrentIndex(static_cast<int>(m_parts.storedLanguage()));

    // The box may not have changed from its initial state, which leaves
    // toggled() unsent; the door controls must agree with it all the same.
    chkDoor_Click();
}

void frmOptions::TabStrip1_Click(int index) {
    if (index == m_currentPanel || !picFrame(index))
        return;
    m_tabStrip1->setCurrentIndex(index - 1);
    m_currentPanel = index;
}

// The door's boxes keep their contents while greyed, and OK still stores them.
void frmOptions::chkDoor_Click() {
    const bool on = m_chkDoor->isChecked();
    setBoxEnabled(m_txtDoor, on);
    setBoxEnabled(m_txtDoorThreshold, on);
    m_chkDoorCut->setEnabled(on);
    m_chkDoorATOS->setEnabled(on);
}

bool frmOptions::eventFilter(QObject* watched, QEvent* event) {
    // The whole number is selected however the box is reached, so typing
    // replaces it; QLineEdit alone would do so only for Tab and access keys.
    if (event->type() == QEvent::FocusIn && (watched == m_txtDoor || watched == m_txtDoorThreshold))
        static_cast<QLineEdit*>(watched)->selectAll();
    return QDialog::eventFilter(watched, event);
}

// The key stays in the label until OK; Cancel forgets it.
void frmOptions::chooseKey(QLabel* keyLabel) {
    const std::int16_t KeyCaptureResult = captureKey(this, m_parts.timers);
    if (KeyCaptureResult > 0)
        setKeyLabel(keyLabel, KeyCaptureResult);
}

void frmOptions::cmdOK_Click() {
    hide();
    Settings chosen = m_parts.settings;
    chosen.TopMost = m_chkTopMost->isChecked();
    chosen.Door = m_chkDoor->isChecked();
    chosen.DoorCut = m_chkDoorCut->isChecked();
    chosen.DoorATOS = m_chkDoorATOS->isChecked();
    chosen.Noise = m_chkNoise->isChecked();
    chosen.UseEnvir = m_chkUseEnvir->isChecked();
    chosen.PlayClickSound = m_chkPlayClickSound->isChecked();
    chosen.NoLockOnButton = m_chkNoLockOnButton->isChecked();
    chosen.AutoPlayAtDrop = m_chkAutoPlayAtDrop->isChecked();
    chosen.UsePanel = m_chkUsePanel->isChecked();
    chosen.FixWindowPos = m_chkFixWindowPos->isChecked();
    chosen.AddOnButtonKeyCode = keyFromLabel(m_lblAddOnButtonKeyCode);
    chosen.AddOffButtonKeyCode = keyFromLabel(m_lblAddOffButtonKeyCode);
    chosen.ShiftForce = m_chkShiftForce->isChecked();
    chosen.DoorDelay = delayFromText(m_txtDoor->text());
    chosen.DoorThreshold = delayFromText(m_txtDoorThreshold->text());
    m_parts.commands.applyOptions(chosen);
    if (m_cboLanguage) {
        const auto language = static_cast<LanguageChoice>(m_cboLanguage->currentIndex());
        if (language != m_parts.storedLanguage() && !m_parts.storeLanguage(language))
            QMessageBox::warning(
                nullptr, windowTitle(),
                QCoreApplication::translate(
                    "frmOptions",
                    "言語の設定を保存できませんでした。次の起動も同じ言語で表示します。"));
    }
    accept();
}

void showOptionsDialog(OptionsParts& parts) {
    frmOptions dialog(parts);
    const QScreen* screen = parts.mainWindow ? parts.mainWindow->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        QRect place(QPoint(), dialog.size());
        place.moveCenter(screen->availableGeometry().center());
        dialog.move(place.topLeft());
    }
    dialog.exec();
}

} // namespace tremlo::ui
