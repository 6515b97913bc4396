// The indicators in the panel's display window, drawn like a fluorescent
// display: cyan dots on navy, dimmed when off. Also the panel's mouse
// pointer, a white station glove.

#include "art.h"
#include "lettering.h"
#include "panel_cursor.h"
#include "pictures.h"

#include <QPainterPath>
#include <QRadialGradient>
#include <cstring>
#include <vector>

namespace tremlo::tools::art {
namespace {

const QColor kNavy(24, 24, 41);
const QColor kCyan(158, 224, 247);
const QColor kDim = mix(kNavy, kCyan, 0.3);
const QColor kStrike = mix(kNavy, kCyan, 0.5);

const CapsLook kDots{CapSize::Small, CapStyle::DotMatrix, 0.0};

// Sets a small pixel icon; '#' is lit.
void drawIcon(QPainter& p, const std::vector<const char*>& rows, int left, int top, QColor colour) {
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        for (int c = 0; rows[r][c] != '\0'; ++c)
            if (rows[r][c] == '#')
                fill(p, QRectF(left + c, top + r, 1, 1), colour);
}

// The door-closing sign of a train's door button: two arrows meeting at the
// line where the leaves close.
const std::vector<const char*> kDoorSign{
    "#...#...#", "##..#..##", "###.#.###", "##..#..##", "#...#...#",
};

// A loudspeaker sending out sound.
const std::vector<const char*> kSpeakerSign{
    "..#...#.", ".##.#..#", "###.#..#", ".##.#..#", "..#...#.",
};

// Pan: three cells L, C, R; the chosen one lit in inverse.
QImage drawPan(int scale, int chosen) {
    QImage img = blankImage(tremlo::art::kPanCentre.size, scale, kNavy);
    QPainter p(&img);
    preparePainter(p, scale);
    const char* letters[3] = {"L", "C", "R"};
    // The pictures are ordered centre, left, right; the cells left to right.
    const int cellOf[3] = {1, 0, 2};
    for (int cell = 0; cell < 3; ++cell) {
        const int x = cell * 9;
        const bool lit = cellOf[chosen] == cell;
        if (lit) {
            p.setBrush(kCyan);
            p.drawRoundedRect(QRectF(x + 1, 0, 7, 7), 1.2, 1.2);
        }
        drawCapsCentred(p, scale, letters[cell], x + 4.5, 1, lit ? kNavy : kDim, kDots);
    }
    return img;
}

// An icon and a word, bright when the setting is on; off, dim and struck
// through.
QImage drawSetting(int scale, const std::vector<const char*>& icon, const QString& word, bool on) {
    QImage img = blankImage(tremlo::art::kDoorOn.size, scale, kNavy);
    QPainter p(&img);
    preparePainter(p, scale);
    const int iconWidth = static_cast<int>(std::strlen(icon.front()));
    const int width = iconWidth + 2 + capsWidth(word, CapSize::Small);
    const int left = (img.width() / scale - width) / 2;
    const QColor colour = on ? kCyan : kDim;
    drawIcon(p, icon, left, 1, colour);
    drawCaps(p, scale, word, left + iconWidth + 2, 1, colour, kDots);
    if (!on)
        fill(p, QRectF(left - 1, 3, width + 2, 1), kStrike);
    return img;
}

// An amber lamp glowing on the navy, shown while an effect is on.
QImage drawEffectLamp(int scale) {
    QImage img = blankImage(tremlo::art::kEffectLamp.size, scale, kNavy);
    QPainter p(&img);
    preparePainter(p, scale);
    const QRectF lens(3, 3, 11, 7);
    QRadialGradient halo(lens.center(), 8.5);
    halo.setColorAt(0.0, QColor(255, 170, 40, 150));
    halo.setColorAt(1.0, QColor(255, 170, 40, 0));
    p.setBrush(halo);
    p.drawRect(QRectF(0, 0, 17, 13));
    p.setBrush(QColor(70, 36, 6));
    p.drawRoundedRect(lens.adjusted(-1, -1, 1, 1), 2.5, 2.5);
    QRadialGradient glow(lens.center() + QPointF(0, -0.5), 6.0);
    glow.setColorAt(0.0, QColor(255, 244, 200));
    glow.setColorAt(0.45, QColor(255, 196, 72));
    glow.setColorAt(1.0, QColor(232, 128, 12));
    p.setBrush(glow);
    p.drawRoundedRect(lens, 2.0, 2.0);
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawRoundedRect(QRectF(5, 4, 5, 1.4), 0.7, 0.7);
    return img;
}

QPainterPath gloveOutline() {
    QPainterPath hand;
    auto add = [&hand](QRectF r, double radius) {
        QPainterPath part;
        part.addRoundedRect(r, radius, radius);
        hand = hand.united(part);
    };
    add(QRectF(9, 1, 5, 16), 2.5);    // index finger
    add(QRectF(13.5, 9, 5, 8), 2.4);  // middle finger, folded
    add(QRectF(18, 10, 4.5, 8), 2.2); // ring finger
    add(QRectF(22, 11.5, 4, 7.5), 2); // little finger
    add(QRectF(7.5, 13, 18.5, 12), 4);
    QPainterPath thumb;
    thumb.addRoundedRect(QRectF(-4, -2.6, 10, 5.2), 2.6, 2.6);
    hand = hand.united(QTransform().translate(7.5, 17.5).rotate(35).map(thumb));
    return hand.simplified();
}

} // namespace

std::vector<Drawn> drawDisplayPictures(int scale) {
    namespace pic = tremlo::art;
    return {
        named(pic::kPanCentre, drawPan(scale, 0)),
        named(pic::kPanLeft, drawPan(scale, 1)),
        named(pic::kPanRight, drawPan(scale, 2)),
        named(pic::kDoorOn, drawSetting(scale, kDoorSign, "DOOR", true)),
        named(pic::kDoorOff, drawSetting(scale, kDoorSign, "DOOR", false)),
        named(pic::kEnvirOn, drawSetting(scale, kSpeakerSign, "ENV", true)),
        named(pic::kEnvirOff, drawSetting(scale, kSpeakerSign, "ENV", false)),
        named(pic::kEffectLamp, drawEffectLamp(scale)),
    };
}

Drawn drawPanelCursor(int scale) {
    QImage img = transparentImage(tremlo::art::kPanelCursorSize, scale);
    QPainter p(&img);
    preparePainter(p, scale);

    // The uniform's navy sleeve and the glove's cuff.
    p.setBrush(QColor(28, 36, 78));
    p.drawRect(QRectF(9, 28, 15, 4));
    fill(p, QRectF(9, 28, 15, 1), QColor(10, 12, 30));

    const QPainterPath hand = gloveOutline();
    p.setBrush(QColor(16, 16, 20));
    p.drawPath(QPainterPathStroker(QPen(Qt::black, 2.0)).createStroke(hand).united(hand));
    QLinearGradient cloth(6, 0, 26, 26);
    cloth.setColorAt(0.0, QColor(255, 255, 255));
    cloth.setColorAt(1.0, QColor(206, 210, 218));
    p.setBrush(cloth);
    p.drawPath(hand);
    p.setBrush(QColor(232, 234, 238));
    p.drawRoundedRect(QRectF(8.5, 24, 16, 4.5), 1.2, 1.2);
    fill(p, QRectF(8.5, 24, 16, 1), QColor(16, 16, 20));
    fill(p, QRectF(8.5, 28, 16, 0.6), QColor(16, 16, 20));

    // Creases between the folded fingers.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(140, 146, 160), 0.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(18, 12), QPointF(18, 16));
    p.drawLine(QPointF(22.2, 13), QPointF(22.2, 17));
    p.drawLine(QPointF(14, 12), QPointF(14, 16));
    return {QString::fromUtf8(tremlo::art::kPanelCursorName.data(),
                              static_cast<qsizetype>(tremlo::art::kPanelCursorName.size())),
            img};
}

} // namespace tremlo::tools::art
