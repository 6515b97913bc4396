#include "panel_picture.h"

namespace tremlo::ui {

PanelPicture::PanelPicture(const QString& name, const QRect& bounds, QWidget* parent)
    : QLabel(parent) {
    setObjectName(name);
    setGeometry(bounds);
}

void PanelPicture::setPicture(const art::Picture& picture) {
    if (shows(picture))
        return;
    m_picture = picture;
    m_ratio = devicePixelRatioF();
    setPixmap(art::pixmap(picture, m_ratio));
}

void PanelPicture::copyPicture(const PanelPicture& other) {
    if (other.m_picture)
        setPicture(*other.m_picture);
}

bool PanelPicture::shows(const art::Picture& picture) const {
    return m_picture && m_picture->name == picture.name;
}

void PanelPicture::refresh() {
    if (!m_picture || m_ratio == devicePixelRatioF())
        return;
    m_ratio = devicePixelRatioF();
    setPixmap(art::pixmap(*m_picture, m_ratio));
}

} // namespace tremlo::ui
