#include "window_drag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace tremlo {

bool WindowDrag::moveWith(QWidget& window, const QMouseEvent& event) {
    if (event.buttons() != Qt::LeftButton || !window.windowHandle() || event.points().isEmpty())
        return false;
    if (m_movedForThisPress)
        return false; // the window manager has already moved the window for this press
    m_movedForThisPress = true;
    const QPointF pressedAt = event.points().front().globalPressPosition();
    // The window manager moves the window from where the pointer is now: the
    // way it has come since the press is made up first, so the window keeps
    // the place under the pointer where the user took hold of it. Some window
    // managers (openbox) apply the move only after theirs has begun and so
    // drop it; the window then lags by that first step.
    const QPointF travelled = event.points().front().globalPosition() - pressedAt;
    window.move(window.pos() + travelled.toPoint());
    window.windowHandle()->startSystemMove();
    return true;
}

bool WindowDrag::startAtPress(QWidget& window, const QMouseEvent& event) {
    if (event.button() != Qt::LeftButton || event.buttons() != Qt::LeftButton ||
        !window.windowHandle() || event.points().isEmpty())
        return false;
    m_movedForThisPress = true;
    window.windowHandle()->startSystemMove();
    return true;
}

} // namespace tremlo
