#include "window_drag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace tremlo {

bool WindowDrag::moveWith(QWidget& window, const QMouseEvent& event) {
    if (event.buttons() != Qt::LeftButton || !window.windowHandle() || event.points().isEmpty())
        return false;
    const QPointF pressedAt = event.points().front().globalPressPosition();
    if (m_movedForPressAt == pressedAt)
        return false; // the window manager has already moved the window for this press
    m_movedForPressAt = pressedAt;
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
    m_movedForPressAt = event.points().front().globalPressPosition();
    window.windowHandle()->startSystemMove();
    return true;
}

} // namespace tremlo
