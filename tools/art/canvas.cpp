#include "canvas.h"

#include <algorithm>
#include <cstdint>

namespace tremlo::tools::art {

QImage blankImage(QSize logical, int scale, QColor fill) {
    QImage image(logical * scale, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

QImage transparentImage(QSize logical, int scale) {
    QImage image(logical * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void preparePainter(QPainter& painter, int scale) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.scale(scale, scale);
    painter.setPen(Qt::NoPen);
}

QImage cropLogical(const QImage& source, int scale, QRect logical) {
    return source.copy(QRect(logical.topLeft() * scale, logical.size() * scale));
}

double noise(int x, int y, int seed) {
    // A small integer hash (a variant of the lowbias32 mixer) of the three
    // values; its low bits are well spread, which is all a texture needs.
    std::uint32_t h = static_cast<std::uint32_t>(x) * 0x9E3779B1u;
    h ^= static_cast<std::uint32_t>(y) * 0x85EBCA77u;
    h ^= static_cast<std::uint32_t>(seed) * 0xC2B2AE3Du;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return static_cast<double>(h & 0xFFFFu) / 32767.5 - 1.0;
}

QColor mix(QColor a, QColor b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    auto lerp = [t](int u, int v) { return static_cast<int>(u + (v - u) * t + 0.5); };
    return QColor(lerp(a.red(), b.red()), lerp(a.green(), b.green()), lerp(a.blue(), b.blue()),
                  lerp(a.alpha(), b.alpha()));
}

QColor steel(double lightness, int dr, int dg, int db) {
    auto channel = [lightness](int d) {
        return std::clamp(static_cast<int>(lightness + d + 0.5), 0, 255);
    };
    return QColor(channel(dr), channel(dg), channel(db));
}

void fill(QPainter& p, QRectF r, QColor c) {
    p.fillRect(r, c);
}

void bevel(QPainter& p, QRect r, QColor topLeft, QColor bottomRight) {
    const int x0 = r.left();
    const int y0 = r.top();
    const int x1 = r.left() + r.width() - 1;
    const int y1 = r.top() + r.height() - 1;
    p.fillRect(QRectF(x0, y0, r.width() - 1, 1), topLeft);
    p.fillRect(QRectF(x0, y0 + 1, 1, r.height() - 2), topLeft);
    p.fillRect(QRectF(x0 + 1, y1, r.width() - 1, 1), bottomRight);
    p.fillRect(QRectF(x1, y0, 1, r.height() - 1), bottomRight);
    // The two corners where the light and the shade meet take the mean.
    p.fillRect(QRectF(x1, y0, 1, 1), mix(topLeft, bottomRight, 0.5));
    p.fillRect(QRectF(x0, y1, 1, 1), mix(topLeft, bottomRight, 0.5));
}

} // namespace tremlo::tools::art
