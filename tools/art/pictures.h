#pragma once

// The generator's pictures, window by window. Each function draws its
// pictures at one device pixel ratio (1 or 2); names and logical sizes come
// from resources/art.h, so the program and the generator cannot disagree.

#include "art.h"
#include "canvas.h"

#include <vector>

namespace tremlo::tools::art {

// A drawn picture under the name art.h gives it.
inline Drawn named(const tremlo::art::Picture& picture, QImage image) {
    return {QString::fromUtf8(picture.name.data(), static_cast<qsizetype>(picture.name.size())),
            std::move(image)};
}

// The switch body and the five key pictures, each key cut from the body it
// sits in so that it drops in without a seam.
std::vector<Drawn> drawSwitchPictures(int scale);

// The status panel's face and everything mounted on it (small buttons,
// lamps, the three caption buttons, the power button), each cut from the face
// under it.
std::vector<Drawn> drawPanelPictures(int scale);

// The indicators that sit in the panel's display window, on its navy.
std::vector<Drawn> drawDisplayPictures(int scale);

// The panel's mouse pointer, 32 x 32 logical pixels, transparent around the
// hand; its hotspot is kPanelCursorHotspot.
Drawn drawPanelCursor(int scale);

} // namespace tremlo::tools::art
