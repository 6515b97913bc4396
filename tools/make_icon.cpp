// Build-time generator: renders the application icon's SVG into the PNG
// sizes desktops look for in the hicolor theme, as
// <folder>/<size>x<size>/apps/tremolo.png. Small sizes come from the same
// drawing rather than from hand-made bitmaps: the icon is simple enough to
// stay legible at 16 pixels.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_icon ICON.svg OUTPUT_FOLDER\n";
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::cerr << "make_icon: cannot read " << argv[1] << '\n';
        return 1;
    }
    const QDir out(QString::fromLocal8Bit(argv[2]));
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
        painter.end();
        const QString path = out.filePath(folder + QStringLiteral("/tremolo.png"));
        if (!out.mkpath(folder) || !image.save(path, "PNG")) {
            std::cerr << "make_icon: cannot write " << path.toStdString() << '\n';
            return 1;
        }
    }
    return 0;
}
