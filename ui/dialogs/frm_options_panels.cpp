// The three tabs of the options dialog: their controls, captions and access
// keys, grouped under etched headings.

#include "frm_options.h"
#include "window_placement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace tremlo::ui {
namespace {

constexpr int kPageMargin = 10;
constexpr int kIndent = 12;     // controls under a heading
constexpr int kHeadingGap = 10; // between one group and the next heading
constexpr int kNumberBoxWidth = 56;

// The line after a heading: grey, with a white line one pixel below it.
class EtchedLine : public QWidget {
public:
    explicit EtchedLine(QWidget* parent) : QWidget(parent) {
        setFixedHeight(2);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(0, 0, width(), 1, QColor(128, 128, 128));
        painter.fillRect(0, 1, width(), 1, Qt::white);
    }
};

// One tab's panel: headings at the left edge, their controls indented.
class PanelBuilder {
public:
    PanelBuilder(const QString& name, QWidget* parent)
        : m_page(new QWidget(parent)), m_layout(new QVBoxLayout(m_page)) {
        m_page->setObjectName(name);
        // The panel is the dialog's own grey, on which the white half of an
        // etched line shows; some styles draw tab pages near white.
        m_page->setAutoFillBackground(true);
        m_page->setBackgroundRole(QPalette::Window);
        m_layout->setContentsMargins(kPageMargin, kPageMargin, kPageMargin, kPageMargin);
        m_layout->setSpacing(5);
    }

    QWidget* page() const { return m_page; }

    void heading(const QString& text) {
        if (m_layout->count() > 0)
            m_layout->addSpacing(kHeadingGap);
        auto* row = new QHBoxLayout;
        row->setSpacing(6);
        row->addWidget(new QLabel(text, m_page));
        row->addWidget(new EtchedLine(m_page), 1, Qt::AlignVCenter);
        m_layout->addLayout(row);
    }

    // A check box under the heading; `level` 2 lines up with the caption of
    // a check box at level 1, for the options that depend on it.
    QCheckBox* checkBox(const QString& name, const QString& caption, int level = 1) {
        auto* box = new QCheckBox(caption, m_page);
        box->setObjectName(name);
        add(box, level);
        return box;
    }

    void add(QWidget* widget, int level = 1) {
        auto* row = new QHBoxLayout;
        row->addSpacing(indent(level));
        row->addWidget(widget);
        row->addStretch(1);
        m_layout->addLayout(row);
    }

    void add(QLayout* layout, int level = 1) {
        auto* row = new QHBoxLayout;
        row->addSpacing(indent(level));
        row->addLayout(layout);
        row->addStretch(1);
        m_layout->addLayout(row);
    }

    // "遅延 [1300] ミリ秒(&L)": the unit label's access key moves to the box.
    QLineEdit* numberRow(const QString& name, const QString& label, const QString& unit,
                         const QString& initial) {
        auto* box = new QLineEdit(initial, m_page);
        box->setObjectName(name);
        box->setFixedWidth(kNumberBoxWidth);
        auto* unitLabel = new QLabel(unit, m_page);
        unitLabel->setBuddy(box);
        auto* row = new QHBoxLayout;
        row->setSpacing(6);
        row->addWidget(new QLabel(label, m_page));
        row->addWidget(box);
        row->addWidget(unitLabel);
        add(row, 2);
        return box;
    }

    void gap(int pixels) { m_layout->addSpacing(pixels); }
    void finish() { m_layout->addStretch(1); }

private:
    int indent(int level) const {
        if (level <= 1)
            return kIndent;
        const QStyle* style = m_page->style();
        return kIndent + style->pixelMetric(QStyle::PM_IndicatorWidth) +
               style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    }

    QWidget* m_page;
    QVBoxLayout* m_layout;
};

} // namespace

QWidget* frmOptions::makeSoundPanel() {
    PanelBuilder panel(QStringLiteral("picFrame1"), this);
    panel.heading(QCoreApplication::translate("frmOptions", "ドア閉め放送"));
    m_chkDoor =
        panel.checkBox(QStringLiteral("chkDoor"),
                       QCoreApplication::translate("frmOptions", "ドア閉め放送を再生する(&D)"));
    m_txtDoor = panel.numberRow(
        QStringLiteral("txtDoor"), QCoreApplication::translate("frmOptions", "遅延"),
        QCoreApplication::translate("frmOptions", "ミリ秒(&L)"), QStringLiteral("1300"));
    m_txtDoorThreshold = panel.numberRow(
        QStringLiteral("txtDoorThreshold"), QCoreApplication::translate("frmOptions", "閾値"),
        QCoreApplication::translate("frmOptions", "ミリ秒(&T)"), QStringLiteral("500"));
    m_chkDoorCut = panel.checkBox(
        QStringLiteral("chkDoorCut"),
        QCoreApplication::translate("frmOptions", "サウンドの再生中はドア閉め放送を再生しない(&C)"),
        2);
    m_chkDoorATOS = panel.checkBox(
        QStringLiteral("chkDoorATOS"),
        QCoreApplication::translate("frmOptions",
                                    "ドア閉め放送の再生中でも新たにドア閉め放送を再生する(&I)"),
        2);
    panel.heading(QCoreApplication::translate("frmOptions", "その他"));
    m_chkPlayClickSound = panel.checkBox(
        QStringLiteral("chkPlayClickSound"),
        QCoreApplication::translate("frmOptions", "「ON」ボタンが戻る音を再生する(&K)"));
    m_chkNoise =
        panel.checkBox(QStringLiteral("chkNoise"),
                       QCoreApplication::translate(
                           "frmOptions", "サウンドの再生開始時と停止時にノイズを再生する(&N)"));
    m_chkUseEnvir =
        panel.checkBox(QStringLiteral("chkUseEnvir"),
                       QCoreApplication::translate("frmOptions", "環境音を再生する(&E)"));
    panel.finish();
    return panel.page();
}

QWidget* frmOptions::makeBehaviourPanel() {
    PanelBuilder panel(QStringLiteral("picFrame2"), this);
    panel.heading(QCoreApplication::translate("frmOptions", "キーの割り当て"));
    auto* explanation = new QLabel(
        QCoreApplication::translate(
            "frmOptions", "トレモロの操作に使用するキーを追加で割り当てることができます。"),
        panel.page());
    panel.add(explanation);
    panel.gap(4);

    // A grid, so both buttons take the width of the longer caption and the
    // two key labels start at one edge.
    auto* keys = new QGridLayout;
    keys->setHorizontalSpacing(10);
    keys->setVerticalSpacing(6);
    const auto keyRow = [&](int row, const QString& button, const QString& label,
                            const QString& caption) {
        auto* command = new QPushButton(caption, panel.page());
        command->setObjectName(button);
        auto* keyLabel = new QLabel(
            QCoreApplication::translate("frmOptions", "割り当てられたキー:"), panel.page());
        keyLabel->setObjectName(label);
        keyLabel->setMinimumWidth(keyLabel->fontMetrics().horizontalAdvance(
            QCoreApplication::translate("frmOptions", "キー番号: 00000")));
        keys->addWidget(command, row, 0);
        keys->addWidget(keyLabel, row, 1);
        return std::pair(command, keyLabel);
    };
    std::tie(m_cmdAddOnButton, m_lblAddOnButtonKeyCode) =
        keyRow(0, QStringLiteral("cmdAddOnButton"), QStringLiteral("lblAddOnButtonKeyCode"),
               QCoreApplication::translate("frmOptions", "「ON」に割り当てるキーを指定する(&N)"));
    std::tie(m_cmdAddOffButton, m_lblAddOffButtonKeyCode) =
        keyRow(1, QStringLiteral("cmdAddOffButton"), QStringLiteral("lblAddOffButtonKeyCode"),
               QCoreApplication::translate("frmOptions", "「OFF」に割り当てるキーを指定する(&F)"));
    panel.add(keys);
    if (m_parts.showInputDevices) {
        auto* devices = new QPushButton(
            QCoreApplication::translate("frmOptions", "入力機器の設定(&I)..."), panel.page());
        devices->setObjectName(QStringLiteral("cmdInputDevices"));
        connect(devices, &QPushButton::clicked, this, [this] { m_parts.showInputDevices(); });
        panel.gap(4);
        panel.add(devices, 1);
    }

    panel.heading(QCoreApplication::translate("frmOptions", "動作の詳細設定"));
    m_chkAutoPlayAtDrop = panel.checkBox(
        QStringLiteral("chkAutoPlayAtDrop"),
        QCoreApplication::translate("frmOptions",
                                    "起動時やファイルのドロップ時にサウンドを自動再生する(&P)"));
    m_chkNoLockOnButton =
        panel.checkBox(QStringLiteral("chkNoLockOnButton"),
                       QCoreApplication::translate("frmOptions", "「ON」ボタンをロックしない(&L)"));
    m_chkShiftForce =
        panel.checkBox(QStringLiteral("chkShiftForce"),
                       QCoreApplication::translate("frmOptions", "ShiftForceを使用する(&S)"));
    panel.finish();
    return panel.page();
}

QWidget* frmOptions::makeDisplayPanel() {
    PanelBuilder panel(QStringLiteral("picFrame3"), this);
    panel.heading(QCoreApplication::translate("frmOptions", "ウィンドウ"));
    m_chkUsePanel =
        panel.checkBox(QStringLiteral("chkUsePanel"),
                       QCoreApplication::translate("frmOptions", "ステータスパネルを表示する(&V)"));
    m_chkTopMost =
        panel.checkBox(QStringLiteral("chkTopMost"),
                       QCoreApplication::translate("frmOptions", "常に手前に表示する(&T)"));
    if (!stayOnTopPossible()) {
        m_chkTopMost->setEnabled(false);
        m_chkTopMost->setToolTip(stayOnTopRefusal());
    }
    m_chkFixWindowPos = panel.checkBox(
        QStringLiteral("chkFixWindowPos"),
        QCoreApplication::translate("frmOptions", "終了時と同じ位置にウィンドウを表示する(&F)"));
    if (m_parts.storedLanguage && m_parts.storeLanguage) {
        panel.heading(QCoreApplication::translate("frmOptions", "言語"));
        // In the order of LanguageChoice; English is named in English, so
        // a user who cannot read the rest still finds it.
        m_cboLanguage = new QComboBox(panel.page());
        m_cboLanguage->setObjectName(QStringLiteral("cboLanguage"));
        m_cboLanguage->addItems({QCoreApplication::translate("frmOptions", "自動"),
                                 QStringLiteral("日本語"), QStringLiteral("English")});
        auto* label = new QLabel(QCoreApplication::translate("frmOptions", "表示する言語(&G):"),
                                 panel.page());
        label->setBuddy(m_cboLanguage);
        auto* row = new QHBoxLayout;
        row->setSpacing(6);
        row->addWidget(label);
        row->addWidget(m_cboLanguage);
        panel.add(row);
        panel.add(new QLabel(
            QCoreApplication::translate("frmOptions", "次にトレモロを起動したときから使われます。"),
            panel.page()));
    }
    panel.finish();
    return panel.page();
}

} // namespace tremlo::ui
