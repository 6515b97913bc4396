#include "command_line.h"

#include "settings_file.h"

#include <QDir>
#include <QFile>
#include <string_view>

namespace tremlo {

QString commandLinePath(const QStringList& arguments, const QString& currentFolder) {
    QString path = arguments.mid(1).join(QLatin1Char(' ')).trimmed();
    if (path.size() >= 2 && path.startsWith(QLatin1Char('"')) && path.endsWith(QLatin1Char('"')))
        path = path.mid(1, path.size() - 2);
    if (path.isEmpty())
        return path;
    return QDir::cleanPath(QDir(currentFolder).absoluteFilePath(path));
}

std::optional<std::string> commandLineAnswer(int argc, const char* const argv[]) {
    if (argc != 2)
        return std::nullopt;
    const std::string_view option = argv[1];
    if (option == "--version")
        return "tremolo " TREMLO_VERSION "\n";
    if (option != "--help")
        return std::nullopt;
    return "Usage: tremolo [FILE]\n"
           "\n"
           "トレモロ, the departure-melody switch of a Japanese railway station. It\n"
           "opens FILE (a WAVE, MIDI or DirectMusic segment melody), which ON plays.\n"
           "\n"
           "The whole command line is one path: its words are joined with blanks,\n"
           "in double quotes or not. Only a command line that is exactly one of\n"
           "these is an option:\n"
           "  --help     print this help and exit\n"
           "  --version  print the version and exit\n"
           "\n"
           "The settings are tremlo.ini beside the program when its folder is the\n"
           "user's own, else in $XDG_CONFIG_HOME/tremolo (~/.config/tremolo).\n"
           "See tremolo(1).\n";
}

QString workFolderFor(const QString& programFolder, const QString& cacheFolder) {
    if (programFolderTakesFiles(QFile::encodeName(programFolder).toStdString()))
        return programFolder;
    QDir().mkpath(cacheFolder);
    return cacheFolder;
}

} // namespace tremlo
