#pragma once

// A window's standing among the desktop's windows: kept above the others or
// not, and brought to the front.
//
// Thread: the user-interface thread.

class QString;
class QWidget;

namespace tremlo {

// Keeps the window above the others or releases it. Position and size stay as
// they are; the window is also activated.
void SetTopMost(QWidget* window, bool topMost);

// Whether the window system lets a program place its windows and tells it
// where they are: not on Wayland, where the compositor alone places them.
bool windowPlacesKnown();

// Whether the window system lets a program keep its windows above the
// others: not on Wayland, whose core protocol has no way to ask.
bool stayOnTopPossible();
// Why it cannot be asked for here, and what the user can do instead.
QString stayOnTopRefusal();

// Where the window system cannot place windows (Wayland), hangs `panel` on
// `anchor` as a popup without a grab, which the compositor places relative
// to its parent and moves with it; elsewhere does nothing. Call before the
// panel is shown.
void hangBeside(QWidget& panel, QWidget& anchor);

// Makes the window the active, front-most one, as far as the window manager
// allows.
void BringToFront(QWidget* window);

} // namespace tremlo
