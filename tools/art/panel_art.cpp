// The status panel: the charcoal front of a hi-fi component with a recessed
// display window, small silver buttons, green lamps, three caption buttons
// and a spun-metal power button in a ring of amber light.
//
// Everything mounted on the face is drawn over the crop of the face under
// it, so each picture's corners are the face's own pixels.

#include "art.h"
#include "lettering.h"
#include "pictures.h"

#include <QConicalGradient>
#include <QPainterPath>
#include <QRadialGradient>

namespace tremlo::tools::art {
namespace {

constexpr QSize kFace{600, 61};
constexpr QRect kDisplay{104, 10, 285, 40};
constexpr QPoint kEjectAt[2]{{8, 38}, {56, 38}};
constexpr QPoint kLedAt[2]{{24, 38}, {72, 38}};
constexpr QPoint kEffectAt{408, 10};
constexpr QPoint kVersionAt{448, 10};
constexpr QPoint kOptionAt{408, 38};
constexpr QPoint kPowerAt{552, 10};

const QColor kLegend(196, 196, 192);
const QColor kNavy(24, 24, 41);

// Horizontally brushed charcoal, a touch lighter at the top. Written per
// device pixel.
void brushCharcoal(QImage& image, int scale) {
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const double v = static_cast<double>(y) / image.height();
        const double row = 2.2 * noise(0, y, 21);
        for (int x = 0; x < image.width(); ++x) {
            const double streak = 1.3 * noise(x / (29 * scale), y, 22) + 0.7 * noise(x, y, 23);
            line[x] = steel(67.0 - 6.0 * v + row + streak, 0, 0, 1).rgb();
        }
    }
}

// The second small button and the second lamp share the first one's
// picture, so the face under them must be the same too.
void matchTwins(QImage& face, int scale) {
    auto copy = [&face, scale](QPoint from, QPoint to, QSize size) {
        const QImage patch = cropLogical(face, scale, QRect(from, size));
        QPainter p(&face);
        p.drawImage(to * scale, patch);
    };
    copy(kEjectAt[0], kEjectAt[1], tremlo::art::kEjectButton.size);
    copy(kLedAt[0], kLedAt[1], tremlo::art::kLedDark.size);
}

void drawFaceEdges(QPainter& p) {
    bevel(p, QRect(QPoint(0, 0), kFace), QColor(124, 124, 124), QColor(20, 20, 20));
    bevel(p, QRect(1, 1, kFace.width() - 2, kFace.height() - 2), QColor(90, 90, 90),
          QColor(40, 40, 40));
}

// The display window sits in a sunken frame with a black lip.
void drawDisplayFrame(QPainter& p) {
    const QRect lip = kDisplay.adjusted(-1, -1, 1, 1);
    const QRect frame = kDisplay.adjusted(-2, -2, 2, 2);
    const QRect chamfer = kDisplay.adjusted(-3, -3, 3, 3);
    bevel(p, chamfer, QColor(46, 46, 46), QColor(104, 104, 104));
    bevel(p, frame, QColor(24, 24, 24), QColor(82, 82, 82));
    bevel(p, lip, QColor(6, 6, 8), QColor(14, 14, 18));
    fill(p, kDisplay, kNavy);
}

// A thin groove cut into the face, dark on its left and lit on its right.
void drawGroove(QPainter& p, int x, int top, int bottom) {
    fill(p, QRectF(x, top, 1, bottom - top), QColor(34, 34, 34));
    fill(p, QRectF(x + 1, top, 1, bottom - top), QColor(92, 92, 92));
}

// The name plate: the katakana wordmark with the name in small capitals
// beside it, or for the English windows the name alone, brighter, where the
// wordmark stands (the large capitals hold only the keys' letters).
void drawLegends(QPainter& p, int scale, bool english) {
    if (english) {
        drawCaps(p, scale, "TREMOLO", 10, 12, QColor(226, 226, 222),
                 {CapSize::Small, CapStyle::Printed, 0.5});
    } else {
        drawWordmark(p, QPointF(10, 8), QColor(226, 226, 222));
        drawCaps(p, scale, "TREMOLO", 60, 12, kLegend);
    }

    drawCapsCentred(p, scale, "OPEN", kEjectAt[0].x() + 6, 31, kLegend);
    drawCapsCentred(p, scale, "MENU", kEjectAt[1].x() + 6, 31, kLegend);
    drawCapsCentred(p, scale, "SOUND", kLedAt[0].x() + 6, 52, kLegend);
    drawCapsCentred(p, scale, "DOOR", kLedAt[1].x() + 6, 52, kLegend);

    drawCapsCentred(p, scale, "EFFECT", kEffectAt.x() + 18, 25, kLegend);
    drawCapsCentred(p, scale, "VERSION", kVersionAt.x() + 18, 25, kLegend);
    drawCapsCentred(p, scale, "OPTION", kOptionAt.x() + 18, 53, kLegend);
    drawCapsCentred(p, scale, "POWER", kPowerAt.x() + 20, 53, kLegend);

    drawCaps(p, scale, "DEPARTURE", 492, 41, QColor(150, 150, 148));
    drawCaps(p, scale, "MELODY UNIT", 492, 48, QColor(150, 150, 148));
}

QImage drawFace(int scale, bool english = false) {
    QImage face = blankImage(kFace, scale, Qt::black);
    brushCharcoal(face, scale);
    matchTwins(face, scale);
    QPainter p(&face);
    preparePainter(p, scale);
    drawFaceEdges(p);
    drawDisplayFrame(p);
    drawGroove(p, 397, 6, 55);
    drawGroove(p, 543, 6, 55);
    drawLegends(p, scale, english);
    return face;
}

// A picture of `size` at `at` on the face, to be drawn over.
QImage faceCrop(const QImage& face, int scale, QPoint at, QSize size) {
    return cropLogical(face, scale, QRect(at, size));
}

// The small silver button with an eject sign: a triangle over a bar.
QImage drawEject(const QImage& face, int scale) {
    QImage img = faceCrop(face, scale, kEjectAt[0], tremlo::art::kEjectButton.size);
    QPainter p(&img);
    preparePainter(p, scale);
    p.setBrush(QColor(14, 14, 14));
    p.drawRoundedRect(QRectF(0, 0, 12, 12), 2.5, 2.5);
    QLinearGradient cap(0, 1, 0, 11);
    cap.setColorAt(0.0, QColor(214, 214, 210));
    cap.setColorAt(1.0, QColor(140, 140, 138));
    p.setBrush(cap);
    p.drawRoundedRect(QRectF(1, 1, 10, 10), 1.5, 1.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(246, 246, 244), hairline(scale)));
    p.drawLine(QPointF(2.5, 1 + 0.5 / scale), QPointF(9.5, 1 + 0.5 / scale));
    p.setPen(Qt::NoPen);

    const QColor sign(44, 44, 48);
    if (scale == 1) {
        fill(p, QRectF(5, 3, 2, 1), sign);
        fill(p, QRectF(4, 4, 4, 1), sign);
        fill(p, QRectF(3, 5, 6, 1), sign);
        fill(p, QRectF(3, 7, 6, 1), sign);
    } else {
        p.setBrush(sign);
        p.drawPolygon(QPolygonF({QPointF(6, 2.8), QPointF(9, 6), QPointF(3, 6)}));
        fill(p, QRectF(3, 7, 6, 1), sign);
    }
    return img;
}

// A green lamp in a chrome bezel, dark or lit.
QImage drawLed(const QImage& face, int scale, bool lit) {
    QImage img = faceCrop(face, scale, kLedAt[0], tremlo::art::kLedDark.size);
    QPainter p(&img);
    preparePainter(p, scale);
    const QPointF c(6, 6);
    p.setBrush(QColor(16, 16, 16));
    p.drawEllipse(c, 6.0, 6.0);
    QLinearGradient chrome(1, 1, 11, 11);
    chrome.setColorAt(0.0, QColor(214, 214, 212));
    chrome.setColorAt(1.0, QColor(70, 70, 70));
    p.setBrush(chrome);
    p.drawEllipse(c, 5.2, 5.2);
    p.setBrush(QColor(10, 12, 10));
    p.drawEllipse(c, 4.3, 4.3);

    QRadialGradient dome(c + QPointF(-0.6, -0.6), 4.2);
    if (lit) {
        dome.setColorAt(0.0, QColor(236, 255, 226));
        dome.setColorAt(0.35, QColor(120, 255, 120));
        dome.setColorAt(1.0, QColor(24, 176, 48));
    } else {
        dome.setColorAt(0.0, QColor(82, 104, 84));
        dome.setColorAt(1.0, QColor(30, 44, 32));
    }
    p.setBrush(dome);
    p.drawEllipse(c, 3.8, 3.8);
    if (lit) {
        // The light spills over the bezel.
        QRadialGradient glow(c, 6.0);
        glow.setColorAt(0.55, QColor(90, 255, 110, 110));
        glow.setColorAt(1.0, QColor(90, 255, 110, 0));
        p.setBrush(glow);
        p.drawEllipse(c, 6.0, 6.0);
    }
    p.setBrush(QColor(255, 255, 255, lit ? 200 : 120));
    p.drawEllipse(c + QPointF(-1.3, -1.4), 1.1, 0.9);
    return img;
}

// A silver caption button: a top face and a front lip, pressed in when down.
// The cap carries the short name, as equipment fronts abbreviate; the face
// spells it out beneath.
QImage drawCaptionButton(const QImage& face, int scale, QPoint at, const QString& label,
                         bool down) {
    QImage img = faceCrop(face, scale, at, tremlo::art::kEfctUp.size);
    QPainter p(&img);
    preparePainter(p, scale);
    fill(p, QRectF(0, 0, 36, 12), QColor(12, 12, 12));
    const double dim = down ? 0.2 : 0.0;
    const int faceTop = down ? 2 : 1;
    const int faceRows = 8;
    QLinearGradient top(0, faceTop, 0, faceTop + faceRows);
    top.setColorAt(0.0, mix(QColor(222, 222, 218), Qt::black, dim));
    top.setColorAt(1.0, mix(QColor(168, 168, 164), Qt::black, dim));
    p.fillRect(QRectF(1, faceTop, 34, faceRows), top);
    // The front lip, seen below the face while the button stands out.
    const int lipTop = faceTop + faceRows;
    fill(p, QRectF(1, lipTop, 34, 11 - lipTop), mix(QColor(112, 112, 110), Qt::black, dim));
    if (down) {
        fill(p, QRectF(1, 1, 34, 1), QColor(30, 30, 30));
    } else {
        fill(p, QRectF(1, faceTop, 34, 1), QColor(248, 248, 246));
    }
    fill(p, QRectF(1, faceTop, 1, faceRows), mix(QColor(236, 236, 232), Qt::black, dim));
    fill(p, QRectF(34, faceTop, 1, faceRows), mix(QColor(140, 140, 138), Qt::black, dim));
    drawCapsCentred(p, scale, label, 18.0, faceTop + 2, QColor(34, 34, 38));
    return img;
}

// Spun metal catches the light in a four-lobed sheen around its centre.
void spunDisc(QPainter& p, QPointF c, double r, double dim) {
    QConicalGradient spin(c, 45.0);
    for (int i = 0; i <= 8; ++i) {
        const QColor light = mix(QColor(196, 196, 194), Qt::black, dim);
        const QColor dark = mix(QColor(118, 118, 118), Qt::black, dim);
        spin.setColorAt(i / 8.0, i % 2 == 0 ? light : dark);
    }
    p.setBrush(spin);
    p.drawEllipse(c, r, r);
    QRadialGradient shade(c + QPointF(-3, -3), r * 1.6);
    shade.setColorAt(0.0, QColor(255, 255, 255, 40));
    shade.setColorAt(1.0, QColor(0, 0, 0, 90));
    p.setBrush(shade);
    p.drawEllipse(c, r, r);
}

void powerSign(QPainter& p, QPointF c, double width, QColor colour) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
    const QRectF arc(c.x() - 5, c.y() - 5, 10, 10);
    // Qt counts sixteenths of a degree, anticlockwise from three o'clock; the
    // gap is at twelve.
    p.drawArc(arc, 55 * 16, -(360 - 70) * 16);
    p.drawLine(c + QPointF(0, -7), c + QPointF(0, -1));
    p.setPen(Qt::NoPen);
}

QImage drawPower(const QImage& face, int scale, bool down) {
    QImage img = faceCrop(face, scale, kPowerAt, tremlo::art::kPowerUp.size);
    QPainter p(&img);
    preparePainter(p, scale);
    const QPointF c(20, 20);
    p.setBrush(QColor(14, 14, 14));
    p.drawEllipse(c, 19.6, 19.6);
    QLinearGradient chrome(4, 4, 36, 36);
    chrome.setColorAt(0.0, QColor(226, 226, 224));
    chrome.setColorAt(0.5, QColor(130, 130, 130));
    chrome.setColorAt(1.0, QColor(60, 60, 60));
    p.setBrush(chrome);
    p.drawEllipse(c, 18.8, 18.8);

    // The amber ring is lit all the while the program runs.
    p.setBrush(QColor(30, 18, 6));
    p.drawEllipse(c, 16.6, 16.6);
    QRadialGradient amber(c, 16.6);
    amber.setColorAt(0.80, QColor(255, 150, 20, 0));
    amber.setColorAt(0.90, QColor(255, 186, 64));
    amber.setColorAt(0.96, QColor(255, 214, 120));
    amber.setColorAt(1.0, QColor(220, 120, 10));
    p.setBrush(amber);
    p.drawEllipse(c, 16.6, 16.6);
    p.setBrush(QColor(12, 12, 12));
    p.drawEllipse(c, 14.6, 14.6);

    const QPointF capCentre = down ? c + QPointF(0.5, 0.5) : c;
    spunDisc(p, capCentre, down ? 13.4 : 13.8, down ? 0.25 : 0.0);
    if (!down) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 255, 255, 110), 0.8));
        p.drawArc(QRectF(c.x() - 13.2, c.y() - 13.2, 26.4, 26.4), 60 * 16, 100 * 16);
        p.setPen(Qt::NoPen);
    }
    powerSign(p, capCentre, 1.8, down ? QColor(120, 66, 10) : QColor(40, 40, 44));
    return img;
}

} // namespace

std::vector<Drawn> drawPanelPictures(int scale) {
    namespace pic = tremlo::art;
    const QImage face = drawFace(scale);
    return {
        named(pic::kPanelFace, face),
        named(pic::kPanelFaceEnglish, drawFace(scale, true)),
        named(pic::kEjectButton, drawEject(face, scale)),
        named(pic::kLedDark, drawLed(face, scale, false)),
        named(pic::kLedLit, drawLed(face, scale, true)),
        named(pic::kEfctUp, drawCaptionButton(face, scale, kEffectAt, "EFCT", false)),
        named(pic::kEfctDown, drawCaptionButton(face, scale, kEffectAt, "EFCT", true)),
        named(pic::kVerUp, drawCaptionButton(face, scale, kVersionAt, "VER", false)),
        named(pic::kVerDown, drawCaptionButton(face, scale, kVersionAt, "VER", true)),
        named(pic::kOptUp, drawCaptionButton(face, scale, kOptionAt, "OPT", false)),
        named(pic::kOptDown, drawCaptionButton(face, scale, kOptionAt, "OPT", true)),
        named(pic::kPowerUp, drawPower(face, scale, false)),
        named(pic::kPowerDown, drawPower(face, scale, true)),
    };
}

} // namespace tremlo::tools::art
