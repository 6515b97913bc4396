// Build-time generator: draws every picture of the program at device pixel
// ratios 1 and 2 into the folder it is given, as <name>.png and
// <name>@2x.png.

#include "art/pictures.h"

#include <QDir>
#include <QGuiApplication>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_art OUTPUT_FOLDER\n";
        return 2;
    }
    // Fonts and painting need a GUI application, but the build has no screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    namespace art = tremlo::tools::art;
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(".")) {
        std::cerr << "make_art: cannot make " << argv[1] << '\n';
        return 1;
    }
    for (int scale : {1, 2}) {
        std::vector<art::Drawn> all = art::drawSwitchPictures(scale);
        for (auto* more : {&art::drawPanelPictures, &art::drawDisplayPictures})
            for (art::Drawn& d : more(scale))
                all.push_back(std::move(d));
        all.push_back(art::drawPanelCursor(scale));

        const QString suffix = scale == 1 ? ".png" : "@2x.png";
        for (const art::Drawn& d : all) {
            const QString path = out.filePath(d.name + suffix);
            if (!d.image.save(path, "PNG")) {
                std::cerr << "make_art: cannot write " << path.toStdString() << '\n';
                return 1;
            }
        }
    }
    return 0;
}
