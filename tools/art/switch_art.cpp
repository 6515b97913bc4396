// The switch window: a steel station switch box with a ribbed grip along the
// top (the part the user drags the window by), a name plate, two keys in
// their wells, two screws and a cylinder lock.

#include "art.h"
#include "lettering.h"
#include "pictures.h"

#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace tremlo::tools::art {
namespace {

constexpr int kBodyWidth = 48;
constexpr int kBodyHeight = 95;
// The grip is the window's drag area: its top 17 rows.
constexpr int kGripRows = 17;
constexpr QPoint kOnKeyAt{14, 30};
constexpr QPoint kOffKeyAt{14, 59};
constexpr int kKey = 22;

// Brushed steel, streaked top to bottom, a little lighter at the top where
// the light falls. Written per device pixel.
void brushSteel(QImage& image, int scale) {
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const double v = static_cast<double>(y) / image.height();
        for (int x = 0; x < image.width(); ++x) {
            const double streak =
                3.5 * noise(x, 0, 11) + 1.6 * noise(x, y / (7 * scale), 12) + 0.8 * noise(x, y, 13);
            line[x] = steel(207.0 - 16.0 * v + streak, -3, -1, 3).rgb();
        }
    }
}

void drawOutline(QPainter& p) {
    const QColor edge(74, 77, 82);
    bevel(p, QRect(0, 0, kBodyWidth, kBodyHeight), edge, QColor(58, 60, 64));
    bevel(p, QRect(1, 1, kBodyWidth - 2, kBodyHeight - 2), QColor(240, 242, 245),
          QColor(146, 149, 154));
    // The corners are rounded a little by darkening the pixel inside each.
    const QColor corner(120, 123, 128);
    for (QPoint c : {QPoint(1, 1), QPoint(kBodyWidth - 2, 1), QPoint(1, kBodyHeight - 2),
                     QPoint(kBodyWidth - 2, kBodyHeight - 2)})
        fill(p, QRectF(c, QSizeF(1, 1)), corner);
}

// A rubber grip bar with vertical ribs in a sunken slot, and the seam that
// separates the grip cap from the body.
void drawGrip(QPainter& p, int scale) {
    const QRect slot(4, 3, 40, 11);
    bevel(p, slot, QColor(126, 129, 134), QColor(246, 247, 249));
    const QRect rubber = slot.adjusted(1, 1, -1, -1);
    fill(p, rubber, QColor(52, 54, 58));
    for (int x = rubber.left(); x + 2 <= rubber.right(); x += 3) {
        fill(p, QRectF(x, rubber.top(), 1, rubber.height()), QColor(104, 107, 113));
        fill(p, QRectF(x + 1, rubber.top(), 1, rubber.height()), QColor(74, 76, 81));
        fill(p, QRectF(x + 2, rubber.top(), 1, rubber.height()), QColor(38, 39, 42));
        if (scale > 1)
            fill(p, QRectF(x, rubber.top(), hairline(scale), rubber.height()),
                 QColor(132, 135, 141));
    }
    // The slot's top edge throws a shadow on the ribs.
    fill(p, QRectF(rubber.left(), rubber.top(), rubber.width(), 1), QColor(0, 0, 0, 90));
    fill(p, QRectF(rubber.left(), rubber.bottom(), rubber.width(), 1), QColor(0, 0, 0, 40));

    fill(p, QRectF(2, kGripRows - 1, kBodyWidth - 4, 1), QColor(118, 121, 126));
    fill(p, QRectF(2, kGripRows, kBodyWidth - 4, 1), QColor(238, 240, 243));
}

// A black anodised name plate with white engraved lettering.
void drawNamePlate(QPainter& p, int scale) {
    const QRect plate(8, 19, 32, 8);
    fill(p, plate, QColor(40, 42, 46));
    bevel(p, plate, QColor(28, 29, 32), QColor(196, 199, 204));
    drawCapsCentred(p, scale, "MELODY", 24.0, 21, QColor(228, 230, 232));
}

// A slotted screw head of radius 3 centred on a pixel corner.
void drawScrew(QPainter& p, QPointF c, double slotAngleDeg) {
    p.setBrush(QColor(120, 123, 128, 160));
    p.drawEllipse(c + QPointF(0.4, 0.4), 3.5, 3.5);
    QRadialGradient head(c + QPointF(-1.2, -1.2), 4.2);
    head.setColorAt(0.0, QColor(252, 252, 253));
    head.setColorAt(0.6, QColor(196, 199, 204));
    head.setColorAt(1.0, QColor(132, 135, 140));
    p.setBrush(head);
    p.drawEllipse(c, 3.0, 3.0);

    p.save();
    p.translate(c);
    p.rotate(slotAngleDeg);
    p.fillRect(QRectF(-2.6, -0.5, 5.2, 1.0), QColor(62, 64, 68));
    p.fillRect(QRectF(-2.6, 0.5, 5.2, 0.5), QColor(236, 238, 240, 150));
    p.restore();
}

// The brass cylinder lock that a station's key switch box carries.
void drawLock(QPainter& p, QPointF c) {
    p.setBrush(QColor(96, 99, 104));
    p.drawEllipse(c, 4.0, 4.0);
    QRadialGradient brass(c + QPointF(-1.0, -1.2), 4.0);
    brass.setColorAt(0.0, QColor(250, 232, 160));
    brass.setColorAt(0.7, QColor(196, 160, 72));
    brass.setColorAt(1.0, QColor(128, 98, 40));
    p.setBrush(brass);
    p.drawEllipse(c, 3.0, 3.0);
    p.fillRect(QRectF(c.x() - 0.5, c.y() - 2.0, 1.0, 4.0), QColor(44, 34, 20));
}

// The chrome ring and the dark well a key sits in.
void drawKeyWell(QPainter& p, QPoint at) {
    const QRect ring(at.x() - 2, at.y() - 2, kKey + 4, kKey + 4);
    bevel(p, ring, QColor(250, 251, 252), QColor(112, 115, 120));
    bevel(p, ring.adjusted(1, 1, -1, -1), QColor(186, 189, 194), QColor(226, 228, 231));
    const QRect well(at, QSize(kKey, kKey));
    fill(p, well, QColor(34, 35, 38));
    fill(p, QRectF(at.x(), at.y(), kKey, 1), QColor(16, 16, 18));
    fill(p, QRectF(at.x(), at.y() + 1, 1, kKey - 1), QColor(16, 16, 18));
    fill(p, QRectF(at.x() + 1, at.y() + 1, kKey - 2, 1), QColor(24, 24, 27));
    fill(p, QRectF(at.x() + 1, at.y() + 2, 1, kKey - 3), QColor(24, 24, 27));
}

QImage drawBody(int scale) {
    QImage body = blankImage({kBodyWidth, kBodyHeight}, scale, Qt::white);
    brushSteel(body, scale);
    QPainter p(&body);
    preparePainter(p, scale);
    drawOutline(p);
    drawGrip(p, scale);
    drawNamePlate(p, scale);
    drawKeyWell(p, kOnKeyAt);
    drawKeyWell(p, kOffKeyAt);
    drawScrew(p, QPointF(7, 88), -35.0);
    drawScrew(p, QPointF(41, 88), 50.0);
    drawLock(p, QPointF(24, 88));
    return body;
}

// Colours of one key cap, lit from the top left.
struct CapColours {
    QColor faceTop, faceBottom;
    QColor light, softLight; // outer and inner edge facing the light
    QColor shade, softShade; // outer and inner edge turned away
    QColor label;
};

const CapColours kBlackCap{QColor(52, 52, 57),   QColor(26, 26, 29), QColor(132, 132, 140),
                           QColor(82, 82, 89),   QColor(6, 6, 8),    QColor(16, 16, 18),
                           QColor(242, 242, 242)};
const CapColours kRedCap{QColor(214, 42, 40),  QColor(168, 20, 22), QColor(255, 150, 138),
                         QColor(236, 88, 80),  QColor(92, 4, 6),    QColor(132, 12, 14),
                         QColor(252, 246, 244)};

enum class KeyPose {
    Raised,  // standing out of the well
    Pushed,  // held fully in: one pixel down and right, in shadow
    Latched, // held in by the latch: one pixel lower than raised
};

QColor darker(QColor c, double amount) {
    return mix(c, QColor(0, 0, 0), amount);
}

// A key cap of 18 x 18 in the 22 x 22 well picture. The well's outer ring of
// pixels is never painted, so the picture's edge is the body's own pixels.
void drawKeyCap(QPainter& p, int scale, const CapColours& colours, const QString& label,
                KeyPose pose, QColor labelColour) {
    const QPoint offset = pose == KeyPose::Raised   ? QPoint(2, 2)
                          : pose == KeyPose::Pushed ? QPoint(3, 3)
                                                    : QPoint(2, 3);
    const QRect cap(offset, QSize(18, 18));
    const double dim = pose == KeyPose::Pushed ? 0.28 : pose == KeyPose::Latched ? 0.1 : 0.0;

    if (pose == KeyPose::Raised) {
        // The cap's shadow on the well floor, below and to the right.
        fill(p, QRectF(3, 3, 18, 18), QColor(0, 0, 0, 150));
    } else if (pose == KeyPose::Latched) {
        fill(p, QRectF(3, 4, 18, 17), QColor(0, 0, 0, 90));
    }

    QLinearGradient face(0, cap.top(), 0, cap.bottom());
    face.setColorAt(0.0, darker(colours.faceTop, dim));
    face.setColorAt(1.0, darker(colours.faceBottom, dim));
    p.fillRect(cap, face);

    if (pose == KeyPose::Pushed) {
        // Sunk in the well, the cap's top-left edge falls into shadow and the
        // light catches only its lower rim.
        bevel(p, cap, darker(colours.shade, 0.2), darker(colours.softLight, 0.35));
        bevel(p, cap.adjusted(1, 1, -1, -1), darker(colours.softShade, 0.1),
              darker(colours.faceBottom, 0.2));
    } else {
        bevel(p, cap, darker(colours.light, dim), colours.shade);
        bevel(p, cap.adjusted(1, 1, -1, -1), darker(colours.softLight, dim), colours.softShade);
        if (scale > 1) {
            // A finer glint along the top edge that only ratio 2 can show.
            fill(p, QRectF(cap.left() + 1, cap.top(), cap.width() - 2, hairline(scale)),
                 mix(colours.light, Qt::white, 0.5 - dim));
        }
    }

    const CapsLook look{CapSize::Large, CapStyle::Printed, 0.15};
    const double centreX = cap.left() + cap.width() / 2.0;
    const int top = cap.top() + (cap.height() - capsHeight(CapSize::Large)) / 2;
    drawCapsCentred(p, scale, label, centreX, top, labelColour, look);
}

QImage drawKey(const QImage& body, int scale, QPoint at, const CapColours& colours,
               const QString& label, KeyPose pose, QColor labelColour) {
    QImage key = cropLogical(body, scale, QRect(at, QSize(kKey, kKey)));
    QPainter p(&key);
    preparePainter(p, scale);
    drawKeyCap(p, scale, colours, label, pose, labelColour);
    return key;
}

} // namespace

std::vector<Drawn> drawSwitchPictures(int scale) {
    namespace pic = tremlo::art;
    const QImage body = drawBody(scale);
    // Latched, the ON key glows faintly green, as the lamp inside a station
    // key lights while the melody is held on.
    const QColor latchedLabel(170, 255, 170);
    const QColor pushedLabel = mix(kBlackCap.label, Qt::black, 0.2);
    return {
        named(pic::kSwitchBody, body),
        named(pic::kOnA,
              drawKey(body, scale, kOnKeyAt, kBlackCap, "ON", KeyPose::Raised, kBlackCap.label)),
        named(pic::kOnB,
              drawKey(body, scale, kOnKeyAt, kBlackCap, "ON", KeyPose::Pushed, pushedLabel)),
        named(pic::kOnC,
              drawKey(body, scale, kOnKeyAt, kBlackCap, "ON", KeyPose::Latched, latchedLabel)),
        named(pic::kOffA,
              drawKey(body, scale, kOffKeyAt, kRedCap, "OFF", KeyPose::Raised, kRedCap.label)),
        named(pic::kOffB, drawKey(body, scale, kOffKeyAt, kRedCap, "OFF", KeyPose::Pushed,
                                  mix(kRedCap.label, Qt::black, 0.2))),
    };
}

} // namespace tremlo::tools::art
