#pragma once

// Drawing helpers shared by the generator's pictures.
//
// Every picture is drawn in logical pixels on a painter that is already
// scaled by the device pixel ratio (1 or 2), so one drawing routine serves
// both sizes. Edges that should stay sharp sit on whole logical pixels (rects)
// or on half-pixel centres (1-pixel lines); at ratio 2 the same coordinates
// land on whole device pixels, and `hairline(scale)` gives the thinnest line
// the image can show. Textures (brushed metal) are written per device pixel
// so the 2x pictures get finer grain rather than doubled grain.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <vector>

namespace tremlo::tools::art {

// A picture the generator writes: its file stem and its pixels.
struct Drawn {
    QString name;
    QImage image;
};

// A blank opaque picture of the logical size at the scale.
QImage blankImage(QSize logical, int scale, QColor fill);

// A picture with transparency (the mouse pointer).
QImage transparentImage(QSize logical, int scale);

// Opens a painter on the image with antialiasing and the scale applied.
void preparePainter(QPainter& painter, int scale);

// The crop of a larger picture at a logical rectangle.
QImage cropLogical(const QImage& source, int scale, QRect logical);

// Deterministic noise in [-1, 1] for integer coordinates; the same seed gives
// the same picture on every machine (std distributions would not).
double noise(int x, int y, int seed);

// Linear blend of two colours, t in [0, 1].
QColor mix(QColor a, QColor b, double t);

// Grey or tinted colour from a lightness with small channel offsets.
QColor steel(double lightness, int dr, int dg, int db);

// Fills a logical rectangle (whole pixels, so crisp at any scale).
void fill(QPainter& p, QRectF r, QColor c);

// One-pixel frame whose top-left and bottom-right edges differ in colour, as
// light falling from the top left shows a raised (light first) or sunken
// (dark first) edge.
void bevel(QPainter& p, QRect r, QColor topLeft, QColor bottomRight);

// Width of the finest line the scale can show, in logical pixels.
inline double hairline(int scale) {
    return 1.0 / scale;
}

} // namespace tremlo::tools::art
