#include "picture_element.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace tremlo::ui {

PictureElement::PictureElement(QWidget* parent, const art::Picture& picture)
    : QWidget(parent), m_picture(picture) {
    setFixedSize(picture.size);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureElement::setPicture(const art::Picture& picture) {
    m_picture = picture;
    update();
}

void PictureElement::preload(std::initializer_list<art::Picture> pictures) {
    for (const auto& picture : pictures)
        pixmapOf(picture);
}

const QPixmap& PictureElement::pixmapOf(const art::Picture& picture) {
    const qreal ratio = devicePixelRatioF();
    if (ratio != m_decodedRatio) {
        m_decoded.clear();
        m_decodedRatio = ratio;
    }
    for (const auto& [name, pixmap] : m_decoded)
        if (name == picture.name)
            return pixmap;
    m_decoded.emplace_back(picture.name, art::pixmap(picture, ratio));
    return m_decoded.back().second;
}

void PictureElement::paintEvent(QPaintEvent*) {
    // Fetched at the ratio of the screen the window is on now, so a move to
    // a denser screen stays crisp.
    QPainter painter(this);
    painter.drawPixmap(0, 0, pixmapOf(m_picture));
    if (m_showFocus) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void PictureElement::press() {
    if (m_press)
        m_press();
}

void PictureElement::release() {
    if (m_release)
        m_release();
}

void PictureElement::mousePressEvent(QMouseEvent* event) {
    event->accept();
    press();
}

void PictureElement::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    release();
}

// The second press of a quick double click arrives as a double click; on a
// push button it is a press like any other.
void PictureElement::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

// Moving with a button held on a key does not drag the window.
void PictureElement::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
}

static bool pushesTheKey(const QKeyEvent& event) {
    return (event.key() == Qt::Key_Space || event.key() == Qt::Key_Return ||
            event.key() == Qt::Key_Enter) &&
           (event.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// Space and Return work the focused key as a mouse button does: down on the
// press, up on the release, so a spring-back ON sounds while they are held.
// Every other key goes on to the window, whose own keys work from here too.
void PictureElement::keyPressEvent(QKeyEvent* event) {
    if (!pushesTheKey(*event)) {
        event->ignore();
        return;
    }
    if (!event->isAutoRepeat())
        press();
}

void PictureElement::keyReleaseEvent(QKeyEvent* event) {
    if (!pushesTheKey(*event)) {
        event->ignore();
        return;
    }
    if (!event->isAutoRepeat())
        release();
}

// The ring shows only where the keyboard brought the focus: a click, or the
// window coming to the front, leaves the keys as they are painted.
void PictureElement::focusInEvent(QFocusEvent* event) {
    const Qt::FocusReason reason = event->reason();
    m_showFocus = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason;
    update();
}

void PictureElement::focusOutEvent(QFocusEvent*) {
    m_showFocus = false;
    update();
}

} // namespace tremlo::ui
