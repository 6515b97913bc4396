#pragma once

// Lettering for the pictures: capitals that stay legible at 5 and 7 logical
// pixels high, and the maker's wordmark.
//
// At ratio 1 the capitals are hand-set pixel glyphs: a font's outlines at
// that height smear into grey. Above ratio 1 printed lettering uses a real
// font's outlines (IPA Gothic, which the build machine has, then other sans
// families), laid out on the same centre and cap height as the pixel glyphs
// so both sizes of a picture line up. Lettering on the status display keeps
// its dot-matrix look at every ratio, as a fluorescent display would.

#include <QColor>
#include <QPainter>
#include <QString>

namespace tremlo::tools::art {

enum class CapSize {
    Small, // 5 pixels high: legends, captions, indicators
    Large, // 7 pixels high: the key labels
};

enum class CapStyle {
    Printed,   // pixel glyphs at ratio 1, font outlines above
    DotMatrix, // pixel glyphs at every ratio
};

struct CapsLook {
    CapSize size = CapSize::Small;
    CapStyle style = CapStyle::Printed;
    // Extra stroke weight of font outlines, in logical pixels.
    double weight = 0.2;
};

// Width in logical pixels of the pixel-glyph setting of the text.
int capsWidth(const QString& text, CapSize size);

// Height in logical pixels of the capitals.
int capsHeight(CapSize size);

// Draws the text with its capitals' top at `top`, starting at `left`.
void drawCaps(QPainter& p, int scale, const QString& text, int left, int top, QColor colour,
              const CapsLook& look = {});

// As drawCaps, centred on `centreX` (the left edge is rounded down, so a
// text of odd width sits one pixel left of an even-width centre).
void drawCapsCentred(QPainter& p, int scale, const QString& text, double centreX, int top,
                     QColor colour, const CapsLook& look = {});

// The katakana wordmark トレモロ, 12 logical pixels high and 45 wide, drawn
// from straight strokes so it stays sharp at ratio 1.
void drawWordmark(QPainter& p, QPointF topLeft, QColor colour);
inline constexpr int kWordmarkWidth = 45;
inline constexpr int kWordmarkHeight = 12;

} // namespace tremlo::tools::art
