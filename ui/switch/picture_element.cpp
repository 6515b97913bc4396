#include "picture_element.h"

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
    QPainter(this).drawPixmap(0, 0, pixmapOf(m_picture));
}

void PictureElement::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (m_press)
        m_press();
}

void PictureElement::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (m_release)
        m_release();
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

} // namespace tremlo::ui
