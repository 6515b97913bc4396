#include "frm_status.h"

#include "panel_controls.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace tremlo::ui {

namespace {

const QColor kFaceColour(64, 64, 64);
const QColor kStatusWindowColour(24, 24, 41);
const QColor kLabelColour(158, 224, 247);

constexpr double kLabelPointSize = 8.25;
constexpr double kFileInfoPointSizeAt96 = 9.0;
constexpr double kBeside = 1.15; // main-window widths from its left edge

// The panel was drawn around MS UI Gothic; where it is missing, the IPA and
// Noto Japanese faces have the same plain strokes and cover every character
// the panel shows.
QFont labelFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS UI Gothic"), QStringLiteral("IPAGothic"),
                      QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setPointSizeF(kLabelPointSize);
    return font;
}

void fillBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QLabel* addLabel(const QString& name, const QRect& bounds, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(bounds);
    label->setFont(labelFont());
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(false);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kLabelColour);
    label->setPalette(palette);
    return label;
}

} // namespace

double fileInfoPointSize(double logicalDpi) {
    return logicalDpi > 0 ? kFileInfoPointSizeAt96 / (logicalDpi / 96.0) : kFileInfoPointSizeAt96;
}

frmStatus::frmStatus(const Settings& settings, TimerFactory& timers, const QRect& mainFrame,
                     QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frmStatus"));
    setWindowTitle(QCoreApplication::translate("frmStatus", "トレモロ"));
    setFixedSize(art::kPanelFace.size);
    fillBackground(this, kFaceColour);
    m_face = art::pixmap(art::kPanelFace, devicePixelRatioF());

    buildStatusWindow();
    buildFace();
    m_flash = std::make_unique<StatusFlash>(
        timers, [this](bool visible) { m_lblStatus->setVisible(visible); });

    initialise(mainFrame);
    load(settings);
}

frmStatus::~frmStatus() = default;

void frmStatus::connect(MelodyEngine& engine, SoundLoader& loader, EventPump& pump,
                        Settings& settings, PanelActions& actions) {
    m_controls = std::make_unique<PanelControls>(*this, engine, loader, pump, settings, actions);
}

void frmStatus::DropFile(const std::string& path) {
    if (m_controls)
        m_controls->DropFile(path);
}

PanelPicture* frmStatus::addPicture(const QString& name, const QRect& bounds, QWidget* parent,
                                    const QString& toolTip, bool clickable) {
    auto* picture = new PanelPicture(name, bounds, parent);
    picture->setToolTip(toolTip);
    if (clickable)
        picture->setCursor(art::panelCursor());
    else
        m_dragHandles.insert(picture);
    picture->installEventFilter(this);
    return picture;
}

void frmStatus::buildStatusWindow() {
    m_picStatusWindow = new QWidget(this);
    m_picStatusWindow->setObjectName(QStringLiteral("picStatusWindow"));
    m_picStatusWindow->setGeometry(104, 10, 285, 40);
    m_picStatusWindow->setToolTip(
        QCoreApplication::translate("frmStatus", "サウンドや設定の情報を表示します"));
    fillBackground(m_picStatusWindow, kStatusWindowColour);
    m_picStatusWindow->installEventFilter(this);
    m_dragHandles.insert(m_picStatusWindow);

    QWidget* window = m_picStatusWindow;
    m_imgLRButton = addPicture(QStringLiteral("imgLRButton"), {4, 4, 27, 7}, window,
                               QCoreApplication::translate("frmStatus", "振り分けの設定"), true);
    m_imgLRButton->setPicture(art::kPanCentre);
    m_imgDoor = addPicture(QStringLiteral("imgDoor"), {40, 4, 29, 7}, window,
                           QCoreApplication::translate("frmStatus", "ドア閉め放送の設定"), true);
    m_imgDoor->setPicture(art::kDoorOn);
    // The door indicator has a click of its own yet still drags the panel
    // when the pointer moves with the button held.
    m_dragHandles.insert(m_imgDoor);
    m_imgEnvir = addPicture(QStringLiteral("imgEnvir"), {80, 4, 29, 7}, window,
                            QCoreApplication::translate("frmStatus", "環境音の設定"), true);
    m_imgEnvir->setPicture(art::kEnvirOn);

    const std::array<QString, 3> effectTips{
        QCoreApplication::translate("frmStatus", "エフェクト「東京」"),
        QCoreApplication::translate("frmStatus", "エフェクト「立川」"),
        QCoreApplication::translate("frmStatus", "エフェクト「浦和」")};
    for (int i = 0; i < 3; ++i) {
        m_imgEffect[i] = addPicture(QStringLiteral("imgEffect%1").arg(i), {212 + 24 * i, 2, 17, 13},
                                    window, effectTips[i], false);
        m_imgEffect[i]->setPicture(art::kEffectLamp);
    }

    // Blank until a sound is loaded.
    m_lblFileInfo = addLabel(QStringLiteral("lblFileInfo"), {}, QStringLiteral(" "), window);
    m_lblFileInfo->installEventFilter(this);
    m_lblFileInfo->setAccessibleDescription(
        QCoreApplication::translate("frmStatus", "読み込んだファイル"));
    m_dragHandles.insert(m_lblFileInfo);

    m_lblStatus = addLabel(
        QStringLiteral("lblStatus"), {4, 26, 130, 11},
        QCoreApplication::translate("frmStatus", "ファイルが選択されていません。"), window);
    m_lblStatus->installEventFilter(this);
    m_lblStatus->hide();

    m_lblRecording = addLabel(QStringLiteral("lblRecording"), {300, 2, 90, 11}, QString(), window);
    m_lblRecording->setStyleSheet(QStringLiteral("color: #e02020; font-weight: bold;"));
    m_lblRecording->hide();
}

void frmStatus::buildFace() {
    m_imgEjectButton[0] =
        addPicture(QStringLiteral("imgEjectButton0"), {8, 38, 12, 12}, this,
                   QCoreApplication::translate("frmStatus", "ファイルを開く"), true);
    m_imgEjectButton[0]->setPicture(art::kEjectButton);
    m_imgStatusLED[0] = addPicture(QStringLiteral("imgStatusLED0"), {24, 38, 12, 12}, this,
                                   QCoreApplication::translate("frmStatus", "サウンド"), false);
    m_imgEjectButton[1] = addPicture(
        QStringLiteral("imgEjectButton1"), {56, 38, 12, 12}, this,
        QCoreApplication::translate("frmStatus", "エフェクトとドア閉め放送の設定"), true);
    m_imgStatusLED[1] = addPicture(QStringLiteral("imgStatusLED1"), {72, 38, 12, 12}, this,
                                   QCoreApplication::translate("frmStatus", "ドア閉め放送"), false);
    m_imgEFCTButton =
        addPicture(QStringLiteral("imgEFCTButton"), {408, 10, 36, 12}, this,
                   QCoreApplication::translate("frmStatus", "「エフェクト」を選びます"), true);
    m_imgVERButton =
        addPicture(QStringLiteral("imgVERButton"), {448, 10, 36, 12}, this,
                   QCoreApplication::translate("frmStatus", "「バージョン情報」を開きます"), true);
    m_imgOPTButton =
        addPicture(QStringLiteral("imgOPTButton"), {408, 38, 36, 12}, this,
                   QCoreApplication::translate("frmStatus", "「オプション」を開きます"), true);
    m_imgPowerButton =
        addPicture(QStringLiteral("imgPowerButton"), {552, 10, 40, 40}, this,
                   QCoreApplication::translate("frmStatus", "「トレモロ」を終了します"), true);
}

void frmStatus::initialise(const QRect& mainFrame) {
    QFont font = m_lblFileInfo->font();
    const QScreen* display = screen();
    font.setPointSizeF(fileInfoPointSize(display ? display->logicalDotsPerInchX() : 96.0));
    m_lblFileInfo->setFont(font);
    const int right = m_picStatusWindow->width();
    m_lblFileInfo->setGeometry(4, 14, right - 4, m_lblFileInfo->fontMetrics().height());
    placeBeside(mainFrame);
}

// Only what the design's load step changes: the environment and pan
// indicators, the labels and the flash keep their design state.
void frmStatus::load(const Settings& settings) {
    m_imgEjectButton[1]->copyPicture(*m_imgEjectButton[0]);
    // Not through setStatusLED: no override may run while the panel is built.
    frmStatus::setStatusLED(Lamp::Melody, false);
    frmStatus::setStatusLED(Lamp::Door, false);
    showEffects(settings.EffectTokyo, settings.EffectTachikawa, settings.EffectUrawa);
    m_imgEFCTButton->setPicture(art::kEfctUp);
    m_imgOPTButton->setPicture(art::kOptUp);
    m_imgVERButton->setPicture(art::kVerUp);
    m_imgPowerButton->setPicture(art::kPowerUp);
    showDoor(settings.Door);
}

void frmStatus::placeBeside(const QRect& mainFrame) {
    move(mainFrame.left() + static_cast<int>(std::lround(kBeside * mainFrame.width())),
         mainFrame.top());
}

void frmStatus::setStatusLED(Lamp lamp, bool lit) {
    PanelPicture* led = m_imgStatusLED.at(static_cast<std::size_t>(lamp));
    const bool wasLit = led->shows(art::kLedLit);
    led->setPicture(lit ? art::kLedLit : art::kLedDark);
    // A screen reader following the panel hears the lamp's new name.
    if (wasLit != lit) {
        QAccessibleEvent renamed(led, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&renamed);
        QAccessible::State changed;
        changed.checked = true;
        QAccessibleStateChangeEvent event(led, changed);
        QAccessible::updateAccessibility(&event);
    }
}

void frmStatus::setFileInfo(const std::string& text) {
    m_lblFileInfo->setText(QString::fromStdString(text));
}

void frmStatus::ShowStatusMessage(const std::string& text, bool flash) {
    m_lblStatus->setText(QString::fromStdString(text));
    // A WAVE file's line ("4.500 秒, 44,100 Hz, 16 ビット, ステレオ") is wider
    // than the label's place; it grows to the edge of the display rather than
    // lose its last words.
    const int widest = m_picStatusWindow->width() - m_lblStatus->x();
    m_lblStatus->resize(std::clamp(m_lblStatus->sizeHint().width(), 130, widest),
                        m_lblStatus->height());
    m_flash->showMessage(flash);
}

void frmStatus::showRecording(bool on, std::int64_t elapsedMs, std::int64_t lostMs) {
    m_lblRecording->setVisible(on);
    if (!on)
        return;
    const std::int64_t seconds = elapsedMs / 1000;
    QString text =
        QStringLiteral("REC %1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (lostMs > 0)
        text += QStringLiteral(" -%1ms").arg(lostMs);
    m_lblRecording->setText(text);
    m_lblRecording->adjustSize();
}

void frmStatus::showPan(Pan mode) {
    switch (mode) {
    case Pan::Centre:
        m_imgLRButton->setPicture(art::kPanCentre);
        break;
    case Pan::Left:
        m_imgLRButton->setPicture(art::kPanLeft);
        break;
    case Pan::Right:
        m_imgLRButton->setPicture(art::kPanRight);
        break;
    }
}

void frmStatus::showDoor(bool on) {
    m_imgDoor->setPicture(on ? art::kDoorOn : art::kDoorOff);
}

void frmStatus::showEnvir(bool on) {
    m_imgEnvir->setPicture(on ? art::kEnvirOn : art::kEnvirOff);
}

void frmStatus::showEffects(bool tokyo, bool tachikawa, bool urawa) {
    m_imgEffect[0]->setVisible(tokyo);
    m_imgEffect[1]->setVisible(tachikawa);
    m_imgEffect[2]->setVisible(urawa);
}

void frmStatus::showCurrentState(const Settings& settings, const PlaybackState& state,
                                 const std::string& fileInfo, bool melodyLampLit, bool doorLampLit,
                                 const std::optional<std::string>& statusMessage) {
    setFileInfo(fileInfo);
    if (statusMessage) {
        m_lblStatus->setText(QString::fromStdString(*statusMessage));
        m_flash->settle();
    }
    setStatusLED(Lamp::Melody, melodyLampLit);
    setStatusLED(Lamp::Door, doorLampLit);
    showPan(state.PanMode);
    showDoor(settings.Door);
    showEnvir(settings.UseEnvir);
    showEffects(settings.EffectTokyo, settings.EffectTachikawa, settings.EffectUrawa);
}

bool frmStatus::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::WindowDeactivate:
        releaseMenuButtons();
        break;
    // A move to another screen arrives as ScreenChangeInternal (Qt forwards
    // the window's screenChanged to every widget that way); a new ratio on
    // the same screen has its own event from Qt 6.6 on.
    case QEvent::ScreenChangeInternal:
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
    case QEvent::DevicePixelRatioChange:
#endif
        refreshPictures();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

bool frmStatus::eventFilter(QObject* watched, QEvent* event) {
    // A press on the shown status message is its own: ignored, it would climb
    // to the display behind it and the following move would drag the panel.
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
        m_drag.pressed();
    if (watched == m_lblStatus && event->type() == QEvent::MouseButtonPress)
        return true;
    if (event->type() != QEvent::MouseMove)
        return QWidget::eventFilter(watched, event);
    if (m_dragHandles.contains(watched))
        maybeMove(*static_cast<QMouseEvent*>(event));
    // Swallowed either way, or an ignored move would climb to the face and
    // drag the panel from an element that must not.
    return true;
}

// The drag starts at the first move, not at the press: only then is it known
// that no other button joined the left one.
void frmStatus::mousePressEvent(QMouseEvent* event) {
    m_drag.pressed();
    event->accept();
}

void frmStatus::mouseMoveEvent(QMouseEvent* event) {
    maybeMove(*event);
}

void frmStatus::maybeMove(const QMouseEvent& event) {
    if (event.buttons() == Qt::LeftButton)
        beginWindowMove(event);
}

void frmStatus::beginWindowMove(const QMouseEvent& event) {
    m_drag.moveWith(*this, event);
}

void frmStatus::focusOutEvent(QFocusEvent* event) {
    releaseMenuButtons();
    QWidget::focusOutEvent(event);
}

void frmStatus::showEvent(QShowEvent* event) {
    // The screen it opens on may not be the one it was built for.
    refreshPictures();
    QWidget::showEvent(event);
}

// A menu opened from the option or version button took the focus while the
// button was drawn pressed; it rises again when the panel loses the focus.
void frmStatus::releaseMenuButtons() {
    m_imgOPTButton->setPicture(art::kOptUp);
    m_imgVERButton->setPicture(art::kVerUp);
}

void frmStatus::refreshPictures() {
    const qreal ratio = devicePixelRatioF();
    if (m_face.devicePixelRatio() != ratio)
        m_face = art::pixmap(art::kPanelFace, ratio);
    for (PanelPicture* picture : findChildren<PanelPicture*>())
        picture->refresh();
    update();
}

void frmStatus::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_face);
}

} // namespace tremlo::ui
