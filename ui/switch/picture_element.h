#pragma once

// One picture element of the switch window: shows one of the art's pictures
// at the screen's pixel density and reports presses and releases: of any
// mouse button, of Space or Return while it has the focus, or asked for by
// assistive technology through press() and release().
//
// Thread: the user-interface thread.

#include "art.h"

#include <QWidget>
#include <functional>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

namespace tremlo::ui {

class PictureElement : public QWidget {
public:
    PictureElement(QWidget* parent, const art::Picture& picture);

    void setPicture(const art::Picture& picture);
    // Decodes the pictures the element will show, so that changing to one of
    // them later costs only a blit: the switch is painted before its melody
    // starts.
    void preload(std::initializer_list<art::Picture> pictures);
    const art::Picture& picture() const { return m_picture; }
    void onPress(std::function<void()> handler) { m_press = std::move(handler); }
    void onRelease(std::function<void()> handler) { m_release = std::move(handler); }
    // What a click does, in its two halves.
    void press();
    void release();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    const QPixmap& pixmapOf(const art::Picture& picture);

    art::Picture m_picture;
    std::vector<std::pair<std::string_view, QPixmap>> m_decoded;
    qreal m_decodedRatio = 0;
    std::function<void()> m_press;
    std::function<void()> m_release;
    bool m_showFocus = false;
};

} // namespace tremlo::ui
