#include "art.h"

#include "panel_cursor.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QPixmapCache>
#include <QScreen>
#include <QString>
#include <QtDebug>

// The pictures are compiled into this static library; naming their
// initialiser here makes the linker keep them.
static void initArtResources() {
    Q_INIT_RESOURCE(art_pictures);
}

namespace tremlo::art {
namespace {

QString resourcePath(std::string_view name, bool doubled) {
    return QStringLiteral(":/art/") +
           QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())) +
           (doubled ? QStringLiteral("@2x.png") : QStringLiteral(".png"));
}

// Qt's own PNG reader, named: left to guess, Qt opens every image plugin it
// has (SVG, GIF, JPEG, ...) to ask which of them reads the file, which costs
// start-up milliseconds.
QImage readPng(const QString& path) {
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

// Loads one of the embedded pictures with the ratio it was drawn for. The
// windows swap pictures on every key press, so the decoded pixmaps are kept
// in Qt's pixmap cache rather than read again each time.
QPixmap load(std::string_view name, QSize logicalSize, bool doubled) {
    static const bool registered = (initArtResources(), true);
    Q_UNUSED(registered);
    const QString path = resourcePath(name, doubled);
    QPixmap out;
    if (!QPixmapCache::find(path, &out)) {
        if (!out.convertFromImage(readPng(path))) {
            // Only a broken build gets here; a grey tile keeps the window
            // usable and its layout intact.
            qWarning("art: missing picture %s", qUtf8Printable(path));
            out = QPixmap(logicalSize * (doubled ? 2 : 1));
            out.fill(QColor(160, 160, 160));
        }
        QPixmapCache::insert(path, out);
    }
    out.setDevicePixelRatio(doubled ? 2.0 : 1.0);
    return out;
}

} // namespace

QPixmap pixmap(const Picture& picture, qreal devicePixelRatio) {
    // Ratios between 1 and 2 take the finer picture and let Qt scale it
    // down, which stays sharper than scaling the coarse one up.
    return load(picture.name, picture.size, devicePixelRatio > 1.0);
}

QCursor panelCursor() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const bool doubled = screen != nullptr && screen->devicePixelRatio() > 1.0;
    // The hotspot is in logical pixels; Qt scales it with the pixmap's ratio.
    return QCursor(load(kPanelCursorName, kPanelCursorSize, doubled), kPanelCursorHotspot.x(),
                   kPanelCursorHotspot.y());
}

} // namespace tremlo::art
