#include "window_placement.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace tremlo {
namespace {

// "wayland", or "wayland-egl" and the like when chosen by its full name.
bool onWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace

bool windowPlacesKnown() {
    return !onWayland();
}

bool stayOnTopPossible() {
    return !onWayland();
}

QString stayOnTopRefusal() {
    return QCoreApplication::translate(
        "WindowPlacement",
        "Wayland では、プログラムから常に手前に表示することはできません。"
        "デスクトップのウィンドウ メニューにある「常に手前に表示」を使ってください。");
}

void SetTopMost(QWidget* window, bool topMost) {
    if (!window)
        return;
    if (QWindow* handle = window->windowHandle()) {
        // Changed on the live window: the same X window stays, so the window
        // manager keeps its place and stacking (QWidget::setWindowFlag would
        // make a new one).
        handle->setFlag(Qt::WindowStaysOnTopHint, topMost);
    } else {
        window->setWindowFlag(Qt::WindowStaysOnTopHint, topMost);
    }
    if (window->isVisible())
        window->activateWindow();
}

void hangBeside(QWidget& panel, QWidget& anchor) {
    if (windowPlacesKnown() || !anchor.windowHandle())
        return;
    if (panel.windowType() != Qt::ToolTip)
        panel.setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    panel.winId();
    panel.windowHandle()->setTransientParent(anchor.windowHandle());
}

void BringToFront(QWidget* window) {
    if (!window)
        return;
    window->raise();
    window->activateWindow();
}

} // namespace tremlo
