#include "frm_input.h"

#include "art.h"
#include "dialog_font.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <charconv>

namespace tremlo::ui {

using input::FoundDevice;
using input::InputControl;
using input::SwitchButton;

namespace {

constexpr SwitchButton kButtons[] = {SwitchButton::On, SwitchButton::Off};

// A kind's word as the control's text has it, for people.
QString kindName(std::string_view kind) {
    using input::kindText;
    using input::SourceKind;
    if (kind == kindText(SourceKind::Controller))
        return QCoreApplication::translate("frmInput", "ゲームコントローラー");
    if (kind == kindText(SourceKind::Serial))
        return QCoreApplication::translate("frmInput", "シリアル");
    if (kind == kindText(SourceKind::Midi))
        return QStringLiteral("MIDI");
    return QString::fromUtf8(kind.data(), static_cast<qsizetype>(kind.size()));
}

QString buttonName(SwitchButton button) {
    return button == SwitchButton::On ? QCoreApplication::translate("frmInput", "「ON」")
                                      : QCoreApplication::translate("frmInput", "「OFF」");
}

// One word of a control's text after another, translated where we know it.
QString describeControl(std::string_view kind, std::string control) {
    QString inverted;
    if (!control.empty() && control.front() == '!') {
        control.erase(0, 1);
        inverted = QCoreApplication::translate("frmInput", "（反転）");
    }
    if (kind == input::kindText(input::SourceKind::Serial))
        return QCoreApplication::translate("frmInput", "%1 線")
                   .arg(QString::fromStdString(control)) +
               inverted;
    static const std::pair<std::string_view, const char*> kWords[] = {
        {"button", QT_TRANSLATE_NOOP("frmInput", "ボタン")},
        {"hat", QT_TRANSLATE_NOOP("frmInput", "ハット")},
        {"axis", QT_TRANSLATE_NOOP("frmInput", "軸")},
        {"up", QT_TRANSLATE_NOOP("frmInput", "上")},
        {"down", QT_TRANSLATE_NOOP("frmInput", "下")},
        {"left", QT_TRANSLATE_NOOP("frmInput", "左")},
        {"right", QT_TRANSLATE_NOOP("frmInput", "右")},
        {"ch", QT_TRANSLATE_NOOP("frmInput", "チャンネル")},
        {"note", QT_TRANSLATE_NOOP("frmInput", "ノート")},
        {"cc", QT_TRANSLATE_NOOP("frmInput", "コントロール")}};
    QStringList words;
    std::string_view rest = control;
    while (!rest.empty()) {
        const std::size_t space = rest.find(' ');
        const std::string_view word = rest.substr(0, space);
        QString shown = QString::fromUtf8(word.data(), static_cast<qsizetype>(word.size()));
        for (const auto& [english, japanese] : kWords)
            if (word == english)
                shown = QCoreApplication::translate("frmInput", japanese);
        words << shown;
        rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
    }
    return words.join(QLatin1Char(' ')) + inverted;
}

// The suffix of the row's object names: "On" or "Off".
QString rowSuffix(SwitchButton button) {
    return button == SwitchButton::On ? QStringLiteral("On") : QStringLiteral("Off");
}

QString captureCaption(SwitchButton button) {
    return button == SwitchButton::On
               ? QCoreApplication::translate("frmInput", "「ON」の入力を取得(&N)")
               : QCoreApplication::translate("frmInput", "「OFF」の入力を取得(&F)");
}

QPixmap lampPicture(bool lit, qreal ratio) {
    return art::pixmap(lit ? art::kLedLit : art::kLedDark, ratio);
}

} // namespace

QString describeInput(const std::string& bindingText, const std::vector<FoundDevice>& found) {
    if (bindingText.empty())
        return QCoreApplication::translate("frmInput", "(なし)");
    const std::optional<InputControl> control = InputControl::parse(bindingText);
    if (!control)
        return QString::fromStdString(bindingText);
    QString device = QString::fromStdString(control->device);
    if (control->device.empty())
        device = QCoreApplication::translate("frmInput", "どの機器でも");
    else {
        device += QCoreApplication::translate("frmInput", "（未接続）");
        for (const FoundDevice& each : found)
            if (control->is(each.kind) && each.device == control->device)
                device = QString::fromStdString(each.name);
    }
    return QCoreApplication::translate("frmInput", "%1「%2」 %3")
        .arg(kindName(control->kind), device, describeControl(control->kind, control->control));
}

frmInput::frmInput(InputDialogParts parts)
    : QDialog(parts.owner), m_parts(std::move(parts)), m_original(m_parts.inputs.bindings()),
      m_pending(m_original), m_lstDevices(new QListWidget(this)), m_lblPrompt(new QLabel(this)),
      m_cmdOK(nullptr) {
    setObjectName(QStringLiteral("frmInput"));
    setWindowTitle(QCoreApplication::translate("frmInput", "入力機器の設定"));
    setFont(dialogFont());
    // Made top to bottom, which is also the order the tab key follows.
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildDeviceList());
    layout->addWidget(buildBindingRows());
    layout->addWidget(buildGlobalKeys());
    layout->addWidget(buildButtons());
    followInputs();
}

// The devices the sources see, and the way to look again.
QGroupBox* frmInput::buildDeviceList() {
    auto* devices = new QGroupBox(QCoreApplication::translate("frmInput", "見つかった機器"), this);
    auto* devicesLayout = new QVBoxLayout(devices);
    m_lstDevices->setObjectName(QStringLiteral("lstDevices"));
    m_lstDevices->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lstDevices->setMinimumHeight(m_lstDevices->fontMetrics().height() * 5);
    devicesLayout->addWidget(m_lstDevices);
    // The box's title is the list's only caption; a screen reader names the
    // list by it.
    m_lstDevices->setAccessibleName(devices->title());
    auto* serialNote = new QLabel(
        QCoreApplication::translate(
            "frmInput", "シリアル機器から取得するときは、一覧でその機器を選んでください（選んだ"
                        "機器の DTR・RTS 線を上げます）。"),
        devices);
    serialNote->setWordWrap(true);
    devicesLayout->addWidget(serialNote);
    auto* refresh =
        new QPushButton(QCoreApplication::translate("frmInput", "一覧を更新(&R)"), devices);
    refresh->setObjectName(QStringLiteral("cmdRefresh"));
    connect(refresh, &QPushButton::clicked, this, [this] {
        refreshDevices();
        showBindings();
    });
    devicesLayout->addWidget(refresh, 0, Qt::AlignRight);
    return devices;
}

// For ON and OFF: capture, lamp, binding, clear; the capture prompt below.
QGroupBox* frmInput::buildBindingRows() {
    auto* bindings =
        new QGroupBox(QCoreApplication::translate("frmInput", "ボタンの割り当て"), this);
    auto* grid = new QGridLayout(bindings);
    grid->setHorizontalSpacing(10);
    for (int i = 0; i < 2; ++i) {
        const SwitchButton button = kButtons[i];
        const QString suffix = rowSuffix(button);
        Row& r = m_rows[i];
        r.lamp = new QLabel(bindings);
        r.lamp->setObjectName(QStringLiteral("imgLamp") + suffix);
        r.input = new QLabel(bindings);
        r.input->setObjectName(QStringLiteral("lblInput") + suffix);
        r.input->setMinimumWidth(
            r.input->fontMetrics().horizontalAdvance(QString(40, QChar(0x3042))));
        r.capture = new QPushButton(captureCaption(button), bindings);
        r.capture->setObjectName(QStringLiteral("cmdCapture") + suffix);
        r.clear = new QPushButton(QCoreApplication::translate("frmInput", "解除"), bindings);
        r.clear->setObjectName(QStringLiteral("cmdClear") + suffix);
        connect(r.capture, &QPushButton::clicked, this, [this, button] {
            if (m_capturing == button)
                stopCapture();
            else
                capture(button);
        });
        connect(r.clear, &QPushButton::clicked, this, [this, button] { setBinding(button, {}); });
        grid->addWidget(r.capture, i, 0);
        grid->addWidget(r.lamp, i, 1);
        grid->addWidget(r.input, i, 2);
        grid->addWidget(r.clear, i, 3);
    }
    m_lblPrompt->setObjectName(QStringLiteral("lblPrompt"));
    grid->addWidget(m_lblPrompt, 2, 0, 1, 4);
    return bindings;
}

// The system-wide keys for ON and OFF, one key each.
QGroupBox* frmInput::buildGlobalKeys() {
    auto* keys = new QGroupBox(QCoreApplication::translate("frmInput", "システム全体のキー"), this);
    auto* keyGrid = new QGridLayout(keys);
    auto* keyNote = new QLabel(
        m_parts.globalKeysNote
            ? m_parts.globalKeysNote()
            : QCoreApplication::translate(
                  "frmInput", "ほかのウィンドウが手前にあっても働くキーです（X11 のみ）。"),
        keys);
    keyNote->setObjectName(QStringLiteral("lblGlobalNote"));
    keyNote->setWordWrap(true);
    keyGrid->addWidget(keyNote, 0, 0, 1, 3);
    for (int i = 0; i < 2; ++i) {
        const SwitchButton button = kButtons[i];
        const QString suffix = rowSuffix(button);
        Row& r = m_rows[i];
        const std::string& stored =
            button == SwitchButton::On ? m_pending.GlobalOnKey : m_pending.GlobalOffKey;
        r.globalKey = new QKeySequenceEdit(
            QKeySequence::fromString(QString::fromStdString(stored), QKeySequence::PortableText),
            keys);
        r.globalKey->setObjectName(QStringLiteral("keyGlobal") + suffix);
        // One key, not a chord of several: the first is what X can grab.
        QKeySequenceEdit* edit = r.globalKey;
        connect(edit, &QKeySequenceEdit::keySequenceChanged, edit,
                [edit](const QKeySequence& sequence) {
                    if (sequence.count() > 1)
                        edit->setKeySequence(QKeySequence(sequence[0]));
                });
        auto* clear = new QPushButton(QCoreApplication::translate("frmInput", "解除"), keys);
        clear->setObjectName(QStringLiteral("cmdClearGlobal") + suffix);
        connect(clear, &QPushButton::clicked, r.globalKey, &QKeySequenceEdit::clear);
        keyGrid->addWidget(new QLabel(buttonName(button), keys), i + 1, 0);
        keyGrid->addWidget(r.globalKey, i + 1, 1);
        keyGrid->addWidget(clear, i + 1, 2);
    }
    return keys;
}

QDialogButtonBox* frmInput::buildButtons() {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_cmdOK = buttons->button(QDialogButtonBox::Ok);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    buttons->button(QDialogButtonBox::Cancel)
        ->setText(QCoreApplication::translate("frmInput", "キャンセル"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &frmInput::cmdOK_Click);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    return buttons;
}

// The lamps follow the switch while the dialog is open; the devices and
// bindings are shown as they are now.
void frmInput::followInputs() {
    m_parts.inputs.onLampsChanged([this] { showLamps(); });
    refreshDevices();
    showBindings();
    showLamps();
}

frmInput::~frmInput() {
    m_parts.inputs.onLampsChanged(nullptr);
    if (m_parts.inputs.capturing())
        m_parts.inputs.endCapture();
}

QLabel* frmInput::lblInput(SwitchButton button) const {
    return row(button).input;
}
QLabel* frmInput::imgLamp(SwitchButton button) const {
    return row(button).lamp;
}
QPushButton* frmInput::cmdCapture(SwitchButton button) const {
    return row(button).capture;
}
QPushButton* frmInput::cmdClear(SwitchButton button) const {
    return row(button).clear;
}
QKeySequenceEdit* frmInput::keyGlobal(SwitchButton button) const {
    return row(button).globalKey;
}

void frmInput::refreshDevices() {
    m_found = m_parts.inputs.devices();
    m_lstDevices->clear();
    for (const FoundDevice& each : m_found)
        m_lstDevices->addItem(kindName(input::kindText(each.kind)) + QStringLiteral(": ") +
                              QString::fromStdString(each.name));
    // Nothing but a found device can be chosen.
    if (m_found.empty())
        m_lstDevices->setSelectionMode(QAbstractItemView::NoSelection);
    else
        m_lstDevices->setSelectionMode(QAbstractItemView::SingleSelection);
    if (m_found.empty())
        m_lstDevices->addItem(QCoreApplication::translate("frmInput", "(見つかりません)"));
}

void frmInput::showBindings() {
    for (const SwitchButton button : kButtons)
        row(button).input->setText(describeInput(
            button == SwitchButton::On ? m_pending.OnInput : m_pending.OffInput, m_found));
}

void frmInput::showLamps() {
    const qreal ratio = devicePixelRatioF();
    m_rows[0].lamp->setPixmap(
        lampPicture(m_parts.inputs.lampLit(input::BindingSlot::OnInput), ratio));
    m_rows[1].lamp->setPixmap(
        lampPicture(m_parts.inputs.lampLit(input::BindingSlot::OffInput), ratio));
}

void frmInput::setBinding(SwitchButton button, const std::string& text) {
    (button == SwitchButton::On ? m_pending.OnInput : m_pending.OffInput) = text;
    // Live, so the lamp and the switch answer the new binding at once.
    m_parts.inputs.setBindings(m_pending);
    showBindings();
    showLamps();
}

void frmInput::capture(SwitchButton button) {
    stopCapture();
    m_capturing = button;
    row(button).capture->setText(QCoreApplication::translate("frmInput", "取得をやめる"));
    m_lblPrompt->setText(
        QCoreApplication::translate("frmInput", "%1に使うボタンやペダルを操作してください。")
            .arg(buttonName(button)));
    m_blink = std::make_unique<PromptBlink>(m_parts.timers,
                                            [this](bool shown) { m_lblPrompt->setVisible(shown); });
    // The serial port selected in the list, if any, is listened to as well.
    std::vector<InputControl> chosen;
    const int selected = m_lstDevices->currentRow();
    if (selected >= 0 && selected < static_cast<int>(m_found.size()) &&
        m_lstDevices->item(selected)->isSelected() &&
        m_found[selected].kind == input::SourceKind::Serial)
        chosen.push_back(InputControl::of(m_found[selected].kind, {}, m_found[selected].device));
    m_parts.inputs.beginCapture(
        [this, button](const InputControl& answer) {
            stopCapture();
            refreshDevices();
            setBinding(button, answer.text());
        },
        std::move(chosen));
}

void frmInput::stopCapture() {
    if (!m_capturing)
        return;
    const SwitchButton button = *m_capturing;
    m_capturing.reset();
    m_blink.reset();
    m_lblPrompt->clear();
    m_lblPrompt->show();
    row(button).capture->setText(captureCaption(button));
    if (m_parts.inputs.capturing())
        m_parts.inputs.endCapture();
}

// While a capture waits, Escape and Enter are keys like any other: they
// neither cancel the dialog nor press OK.
bool frmInput::event(QEvent* event) {
    if (m_capturing &&
        (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
        event->accept();
        return true;
    }
    return QDialog::event(event);
}

void frmInput::done(int result) {
    stopCapture();
    if (result != QDialog::Accepted)
        m_parts.inputs.setBindings(m_original);
    QDialog::done(result);
}

void frmInput::cmdOK_Click() {
    stopCapture();
    const auto keyText = [](QKeySequenceEdit* edit) {
        return edit->keySequence().toString(QKeySequence::PortableText).toStdString();
    };
    m_pending.GlobalOnKey = keyText(m_rows[0].globalKey);
    m_pending.GlobalOffKey = keyText(m_rows[1].globalKey);
    const std::vector<std::string> problems = m_parts.apply(m_pending);
    done(QDialog::Accepted);
    if (!problems.empty()) {
        QStringList lines;
        for (const std::string& each : problems)
            lines << QString::fromStdString(each);
        QMessageBox::warning(m_parts.owner,
                             QCoreApplication::translate("frmInput", "入力機器の設定"),
                             lines.join('\n'));
    }
}

void showInputDialog(InputDialogParts& parts) {
    frmInput dialog(parts);
    dialog.exec();
}

} // namespace tremlo::ui
