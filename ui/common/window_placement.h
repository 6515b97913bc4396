#pragma once

// A window's standing among the desktop's windows: kept above the others or
// not, and brought to the front.
//
// Thread: the user-interface thread.

class QWidget;

namespace tremlo {

// Keeps the window above the others or releases it. Position and size stay as
// they are; the window is also activated.
void SetTopMost(QWidget* window, bool topMost);

// Makes the window the active, front-most one, as far as the window manager
// allows.
void BringToFront(QWidget* window);

} // namespace tremlo
