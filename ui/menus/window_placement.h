#pragma once

// A window's standing among the desktop's windows: kept above the others or
// not, and brought to the front.
//
// Thread: the user-interface thread.

#include "settings.h"

class QWidget;

namespace tremlo {

// Only -1 means top-most; every other value, 0 included, releases the window.
// Position and size stay as they are; the window is also activated.
void SetTopMost(QWidget* window, VbBool flag);

// Makes the window the active, front-most one, as far as the window manager
// allows.
void BringToFront(QWidget* window);

} // namespace tremlo
