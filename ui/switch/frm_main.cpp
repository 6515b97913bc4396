#include "frm_main.h"

#include "art.h"
#include "drop_file.h"
#include "file_drops.h"
#include "melody_shelf.h"
#include "picture_element.h"
#include "virtual_keys.h"
#include "window_drag.h"
#include "window_placement.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace tremlo::ui {

frmMain::frmMain(Settings& settings)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_settings(settings),
      m_on(new PictureElement(this, art::kOnA)), m_off(new PictureElement(this, art::kOffA)),
      m_titleBar(new QWidget(this)) {
    setObjectName("frmMain");
    setWindowTitle(QCoreApplication::translate("frmMain", "トレモロ"));
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);

    // Front to back: the keys lie over the grip's row and the body.
    m_titleBar->setObjectName("imgTitleBar");
    m_titleBar->setGeometry(0, 0, 49, 17);
    m_titleBar->setToolTip(windowTitle());
    m_on->setObjectName("imgOn");
    m_on->move(14, 30);
    m_on->setCursor(Qt::PointingHandCursor);
    m_on->preload({art::kOnA, art::kOnB, art::kOnC});
    m_off->setObjectName("imgOff");
    m_off->move(14, 59);
    m_off->setCursor(Qt::PointingHandCursor);
    m_off->preload({art::kOffA, art::kOffB});
    // By Tab only: a click on a key leaves the focus where it was, so the
    // window's own keys go on working as before.
    m_on->setFocusPolicy(Qt::TabFocus);
    m_off->setFocusPolicy(Qt::TabFocus);

    m_on->onPress([this] {
        if (m_engine)
            m_engine->PressOnButton();
    });
    m_on->onRelease([this] {
        if (m_engine)
            m_engine->ReleaseOnButton();
    });
    m_off->onPress([this] {
        if (m_engine)
            m_engine->PressOffButton();
    });
    m_off->onRelease([this] {
        if (m_engine)
            m_engine->ReleaseOffButton();
    });
}

void frmMain::connectEngine(MelodyEngine& engine, SoundLoader& loader, EventPump& pump) {
    m_engine = &engine;
    m_loader = &loader;
    m_pump = &pump;
}

QWidget* frmMain::imgOn() const {
    return m_on;
}
QWidget* frmMain::imgOff() const {
    return m_off;
}

bool frmMain::keyShownDown(const QWidget* key) const {
    if (key == m_on)
        return m_on->picture().name != art::kOnA.name;
    if (key == m_off)
        return m_off->picture().name == art::kOffB.name;
    return false;
}

// A screen reader hears a key go down or come up; Qt asks the key's state
// afresh when it hears.
static void announceKeyState(QWidget* key, const art::Picture& before, const art::Picture& after) {
    if (before.name == after.name)
        return;
    QAccessible::State changed;
    changed.pressed = true;
    changed.checked = true;
    QAccessibleStateChangeEvent event(key, changed);
    QAccessible::updateAccessibility(&event);
}

void frmMain::setOnPicture(OnPicture picture) {
    const art::Picture before = m_on->picture();
    switch (picture) {
    case OnPicture::imgOnA:
        m_on->setPicture(art::kOnA);
        break;
    case OnPicture::imgOnB:
        m_on->setPicture(art::kOnB);
        break;
    case OnPicture::imgOnC:
        m_on->setPicture(art::kOnC);
        break;
    }
    announceKeyState(m_on, before, m_on->picture());
}

void frmMain::setOffPicture(OffPicture picture) {
    const art::Picture before = m_off->picture();
    m_off->setPicture(picture == OffPicture::imgOffB ? art::kOffB : art::kOffA);
    announceKeyState(m_off, before, m_off->picture());
}

void frmMain::setCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
}

void frmMain::setTitleBarToolTip(const std::string& text) {
    m_titleBar->setToolTip(QString::fromStdString(text));
}

void frmMain::BringToFront() {
    tremlo::BringToFront(this);
}

void frmMain::paintEvent(QPaintEvent*) {
    if (m_body.isNull() || m_body.devicePixelRatio() != devicePixelRatioF())
        m_body = art::pixmap(art::kSwitchBody, devicePixelRatioF());
    QPainter(this).drawPixmap(0, 0, m_body);
}

// Presses that miss both keys land here, from the grip too.
void frmMain::mousePressEvent(QMouseEvent* event) {
    m_drag.pressed();
    if (event->button() == Qt::RightButton && m_openShortcutMenu)
        m_openShortcutMenu(event->globalPosition().toPoint());
    else
        m_drag.startAtPress(*this, *event);
}

void frmMain::mouseMoveEvent(QMouseEvent* event) {
    // Exactly the left button: the window manager moves the window from here
    // until the button comes up.
    m_drag.moveWith(*this, *event);
}

void frmMain::mouseDoubleClickEvent(QMouseEvent*) {}

static bool asksForShortcutMenu(const QKeyEvent& event) {
    return event.key() == Qt::Key_Menu ||
           (event.key() == Qt::Key_F10 && event.modifiers() == Qt::ShiftModifier);
}

void frmMain::keyPressEvent(QKeyEvent* event) {
    if (asksForShortcutMenu(*event)) {
        if (m_openShortcutMenu && !event->isAutoRepeat())
            m_openShortcutMenu(mapToGlobal(rect().center()));
        return;
    }
    if (!m_engine)
        return;
    // With ShiftForce a key counts only while Shift, Ctrl or Alt is held.
    if (!modifierHeld(event->modifiers()) && m_settings.ShiftForce)
        return;
    const int key = virtualKeyOf(*event);
    if (isOnButtonKey(key, m_settings.AddOnButtonKeyCode))
        m_engine->PressOnButton();
    if (isOffButtonKey(
            key,
            m_settings.AddOffButtonKeyCode)) // independently, so a key in both sets presses both
        m_engine->PressOffButton();
    // A key the switch takes stays the switch's; held down, the arrows step
    // once, not along the whole shelf.
    const int step = stepOfMelodyKey(key);
    if (step != 0 && m_stepMelody && !m_repeats.isRepeat(*event) &&
        !isOnButtonKey(key, m_settings.AddOnButtonKeyCode) &&
        !isOffButtonKey(key, m_settings.AddOffButtonKeyCode))
        m_stepMelody(step);
}

void frmMain::keyReleaseEvent(QKeyEvent* event) {
    // X repeats a held key as release and press pairs; only the presses are
    // the repeat. A real release is delivered whatever ShiftForce says.
    m_repeats.released(*event);
    if (!m_engine || event->isAutoRepeat())
        return;
    const int key = virtualKeyOf(*event);
    if (isOnButtonKey(key, m_settings.AddOnButtonKeyCode))
        m_engine->ReleaseOnButton();
    if (isOffButtonKey(key, m_settings.AddOffButtonKeyCode))
        m_engine->ReleaseOffButton();
}

void frmMain::dragEnterEvent(QDragEnterEvent* event) {
    ui::answerDrag(*event, ui::offersCopiedFiles(*event));
}

void frmMain::dragMoveEvent(QDragMoveEvent* event) {
    ui::answerDrag(*event, ui::offersCopiedFiles(*event));
}

void frmMain::dropEvent(QDropEvent* event) {
    if (!ui::offersFiles(event->mimeData()))
        return;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // In the list's order; files of other kinds are skipped without a word.
    for (const std::string& path : ui::localFilesOf(*event->mimeData()))
        if (isMelodyPath(path) || isPlaylistPath(path))
            DropFile(path);
}

void frmMain::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (m_unload)
        m_unload();
}

void frmMain::DropFile(const std::string& path) {
    if (isPlaylistPath(path) && m_openPlaylist)
        m_openPlaylist(path);
    else if (m_engine)
        dropSoundFile(path, *m_loader, *m_pump, m_settings, *m_engine);
}

} // namespace tremlo::ui
