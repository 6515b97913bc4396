#include "lettering.h"

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QPainterPath>
#include <QPolygonF>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace tremlo::tools::art {
namespace {

using Glyph = std::vector<const char*>;

// Capitals on a five-row grid; most are three wide, the ones that need it
// (M, N, W) wider.
const QHash<QChar, Glyph>& smallGlyphs() {
    static const QHash<QChar, Glyph> glyphs{
        {'A', {".#.", "#.#", "###", "#.#", "#.#"}},
        {'B', {"##.", "#.#", "##.", "#.#", "##."}},
        {'C', {".##", "#..", "#..", "#..", ".##"}},
        {'D', {"##.", "#.#", "#.#", "#.#", "##."}},
        {'E', {"###", "#..", "##.", "#..", "###"}},
        {'F', {"###", "#..", "##.", "#..", "#.."}},
        {'G', {".##", "#..", "#.#", "#.#", ".##"}},
        {'H', {"#.#", "#.#", "###", "#.#", "#.#"}},
        {'I', {"###", ".#.", ".#.", ".#.", "###"}},
        {'J', {"..#", "..#", "..#", "#.#", ".#."}},
        {'K', {"#.#", "#.#", "##.", "#.#", "#.#"}},
        {'L', {"#..", "#..", "#..", "#..", "###"}},
        {'M', {"#...#", "##.##", "#.#.#", "#...#", "#...#"}},
        {'N', {"#..#", "##.#", "#.##", "#..#", "#..#"}},
        {'O', {".#.", "#.#", "#.#", "#.#", ".#."}},
        {'P', {"##.", "#.#", "##.", "#..", "#.."}},
        {'Q', {".#.", "#.#", "#.#", "##.", ".##"}},
        {'R', {"##.", "#.#", "##.", "#.#", "#.#"}},
        {'S', {".##", "#..", ".#.", "..#", "##."}},
        {'T', {"###", ".#.", ".#.", ".#.", ".#."}},
        {'U', {"#.#", "#.#", "#.#", "#.#", "###"}},
        {'V', {"#.#", "#.#", "#.#", ".#.", ".#."}},
        {'W', {"#...#", "#...#", "#.#.#", "##.##", "#...#"}},
        {'X', {"#.#", "#.#", ".#.", "#.#", "#.#"}},
        {'Y', {"#.#", "#.#", ".#.", ".#.", ".#."}},
        {'Z', {"###", "..#", ".#.", "#..", "###"}},
        {'0', {".#.", "#.#", "#.#", "#.#", ".#."}},
        {'1', {".#.", "##.", ".#.", ".#.", "###"}},
        {'2', {"##.", "..#", ".#.", "#..", "###"}},
        {'3', {"##.", "..#", ".#.", "..#", "##."}},
        {'4', {"#.#", "#.#", "###", "..#", "..#"}},
        {'5', {"###", "#..", "##.", "..#", "##."}},
        {'6', {".##", "#..", "###", "#.#", "###"}},
        {'7', {"###", "..#", ".#.", ".#.", ".#."}},
        {'8', {"###", "#.#", "###", "#.#", "###"}},
        {'9', {"###", "#.#", "###", "..#", "##."}},
        {'-', {"..", "..", "##", "..", ".."}},
        {'.', {".", ".", ".", ".", "#"}},
        {'/', {"..#", "..#", ".#.", "#..", "#.."}},
        {' ', {"..", "..", "..", "..", ".."}},
    };
    return glyphs;
}

// The key labels, seven rows high.
const QHash<QChar, Glyph>& largeGlyphs() {
    static const QHash<QChar, Glyph> glyphs{
        {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
        {'N', {"#...#", "##..#", "##..#", "#.#.#", "#..##", "#..##", "#...#"}},
        {'F', {"###", "#..", "#..", "##.", "#..", "#..", "#.."}},
    };
    return glyphs;
}

const Glyph& glyphFor(QChar c, CapSize size) {
    const auto& table = size == CapSize::Large ? largeGlyphs() : smallGlyphs();
    auto it = table.find(c.toUpper());
    if (it != table.end())
        return *it;
    return *smallGlyphs().constFind(' ');
}

int glyphWidth(const Glyph& g) {
    return static_cast<int>(std::strlen(g.front()));
}

void drawPixelCaps(QPainter& p, const QString& text, int left, int top, QColor colour,
                   CapSize size) {
    int x = left;
    for (QChar c : text) {
        const Glyph& g = glyphFor(c, size);
        for (int row = 0; row < static_cast<int>(g.size()); ++row) {
            for (int col = 0; g[row][col] != '\0'; ++col) {
                if (g[row][col] == '#')
                    p.fillRect(QRectF(x + col, top + row, 1, 1), colour);
            }
        }
        x += glyphWidth(g) + 1;
    }
}

QFont letteringFont() {
    QFont font;
    // IPA Gothic is on every machine that builds us; the others give a
    // sensible sans-serif where it is missing.
    font.setFamilies({"IPAPGothic", "IPAGothic", "Noto Sans CJK JP", "DejaVu Sans",
                      "Liberation Sans", "sans-serif"});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(100);
    font.setLetterSpacing(QFont::PercentageSpacing, 108);
    return font;
}

void drawOutlineCaps(QPainter& p, const QString& text, int left, int top, QColor colour,
                     const CapsLook& look) {
    static const QFont font = letteringFont();
    static const double capHeight = QFontMetricsF(font).capHeight();
    QPainterPath path;
    path.addText(0, 0, font, text.toUpper());
    const QRectF bounds = path.boundingRect();

    const double rows = capsHeight(look.size);
    const double k = rows / capHeight;
    const double pixelWidth = capsWidth(text, look.size);
    double kx = k;
    // Outlines never run wider than the pixel setting, so both ratios fit the
    // same plates and buttons.
    if (bounds.width() * kx > pixelWidth)
        kx = pixelWidth / bounds.width();
    const double centreX = left + pixelWidth / 2.0;

    QTransform t;
    t.translate(centreX - (bounds.left() + bounds.width() / 2.0) * kx, top + rows);
    t.scale(kx, k);
    const QPainterPath placed = t.map(path);

    p.save();
    p.setBrush(colour);
    if (look.weight > 0.0)
        p.setPen(QPen(colour, look.weight, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    else
        p.setPen(Qt::NoPen);
    p.drawPath(placed);
    p.restore();
}

} // namespace

int capsHeight(CapSize size) {
    return size == CapSize::Large ? 7 : 5;
}

int capsWidth(const QString& text, CapSize size) {
    int width = 0;
    for (QChar c : text)
        width += glyphWidth(glyphFor(c, size)) + 1;
    return std::max(0, width - 1);
}

void drawCaps(QPainter& p, int scale, const QString& text, int left, int top, QColor colour,
              const CapsLook& look) {
    if (scale == 1 || look.style == CapStyle::DotMatrix)
        drawPixelCaps(p, text, left, top, colour, look.size);
    else
        drawOutlineCaps(p, text, left, top, colour, look);
}

void drawCapsCentred(QPainter& p, int scale, const QString& text, double centreX, int top,
                     QColor colour, const CapsLook& look) {
    const int left = static_cast<int>(std::floor(centreX - capsWidth(text, look.size) / 2.0));
    drawCaps(p, scale, text, left, top, colour, look);
}

void drawWordmark(QPainter& p, QPointF o, QColor colour) {
    p.save();
    p.translate(o);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    auto bar = [&p](double x, double y, double w, double h) { p.drawRect(QRectF(x, y, w, h)); };
    auto slant = [&p](std::initializer_list<QPointF> points) { p.drawPolygon(QPolygonF(points)); };

    // ト: a stem and a short stroke falling to the right from its middle.
    bar(2, 0, 2, 12);
    slant({{4, 4}, {4, 6.4}, {9.5, 9.2}, {9.5, 6.8}});
    // レ: a stem whose foot sweeps up to the right.
    bar(13, 0, 2, 12);
    slant({{15, 9.6}, {15, 12}, {21, 7.6}, {21, 5.2}});
    // モ: two bars crossed by a stem that turns right at the foot.
    bar(24, 1, 8, 2);
    bar(23, 5, 10, 2);
    bar(27, 1, 2, 10);
    bar(27, 10, 6, 2);
    // ロ: a closed box.
    bar(36, 2, 9, 2);
    bar(36, 10, 9, 2);
    bar(36, 2, 2, 10);
    bar(43, 2, 2, 10);
    p.restore();
}

} // namespace tremlo::tools::art
