#pragma once

// The status panel's mouse pointer: a white-gloved hand, as station staff
// wear, pointing up. The generator draws it and the loader makes the cursor
// from it, so both take its name, size and hotspot from here.

#include <QPoint>
#include <QSize>
#include <string_view>

namespace tremlo::art {

inline constexpr std::string_view kPanelCursorName{"panel_cursor"};
inline constexpr QSize kPanelCursorSize{32, 32};
// The tip of the index finger, in logical pixels of the picture.
inline constexpr QPoint kPanelCursorHotspot{11, 1};

} // namespace tremlo::art
