#include "art.h"

#include <QPainter>

namespace tremlo::art {

// Placeholder until the generated pictures land: a plain grey tile of the
// right size.
QPixmap pixmap(const Picture& picture, qreal devicePixelRatio) {
    QPixmap out(picture.size * devicePixelRatio);
    out.setDevicePixelRatio(devicePixelRatio);
    out.fill(QColor(160, 160, 160));
    return out;
}

QCursor panelCursor() { return QCursor(Qt::PointingHandCursor); }

} // namespace tremlo::art
