#include "command_line.h"

#include "settings_file.h"

#include <QDir>
#include <QFile>
#include <string_view>

namespace tremlo {

CommandLineOptions commandLineOptions(const QStringList& arguments, const QString& currentFolder) {
    CommandLineOptions options;
    const QDir folder(currentFolder);
    int i = 1;
    for (; i < arguments.size(); ++i) {
        QString* file = nullptr;
        const QString& word = arguments[i];
        if (word == QLatin1String("--record"))
            file = &options.record;
        else if (word == QLatin1String("--render"))
            file = &options.render;
        else if (word == QLatin1String("--output"))
            file = &options.output;
        else if (word == QLatin1String("--settings"))
            file = &options.settings;
        else
            break;
        if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
            options.error = word + QLatin1String(" needs a file");
            return options;
        }
        *file = QDir::cleanPath(folder.absoluteFilePath(arguments[++i]));
    }
    options.melodyWords = arguments.mid(i);
    if (options.render.isEmpty() != options.output.isEmpty())
        options.error = QStringLiteral("--render and --output go together");
    else if (!options.render.isEmpty() && !options.record.isEmpty())
        options.error = QStringLiteral("a render is written with --output, not --record");
    return options;
}

std::vector<std::string> qtArgumentsFor(std::vector<std::string> arguments, bool x11Display,
                                        bool platformInEnvironment) {
    if (!x11Display || platformInEnvironment)
        return arguments;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        // Qt takes its options with one dash or two.
        if (arguments[i] == "-platform" || arguments[i] == "--platform")
            return arguments;
    }
    const auto afterProgram = arguments.empty() ? arguments.end() : arguments.begin() + 1;
    arguments.insert(afterProgram, {"-platform", "xcb"});
    return arguments;
}

QtArguments::QtArguments(int argc, char** argv)
    : m_words(qtArgumentsFor(std::vector<std::string>(argv, argv + argc),
                             !qEnvironmentVariableIsEmpty("DISPLAY"),
                             !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))) {
    for (std::string& word : m_words)
        m_pointers.push_back(word.data());
    m_argc = static_cast<int>(m_words.size());
    m_pointers.push_back(nullptr);
}

QString commandLinePath(const QStringList& arguments, const QString& currentFolder) {
    const QStringList words = commandLineOptions(arguments, currentFolder).melodyWords;
    QString path = words.join(QLatin1Char(' ')).trimmed();
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
    return "Usage: tremolo [--settings INI] [--record FILE] [FILE]\n"
           "       tremolo [--settings INI] --render SCRIPT --output OUT [FILE]\n"
           "\n"
           "トレモロ, the departure-melody switch of a Japanese railway station. It\n"
           "opens FILE (a WAVE, MIDI or DirectMusic segment melody), which ON plays.\n"
           "\n"
           "  --record FILE   record what the program plays into FILE from the start\n"
           "                  (FLAC; WAVE when FILE ends in .wav)\n"
           "  --render SCRIPT play SCRIPT's switch operations offline, without sound\n"
           "                  output or display, and write the sound to OUT\n"
           "  --output OUT    where --render writes (FLAC; WAVE when OUT ends in .wav)\n"
           "  --settings INI  read the settings from INI instead of tremlo.ini\n"
           "\n"
           "After the options the rest of the command line is one path: its words\n"
           "are joined with blanks, in double quotes or not. Only a command line\n"
           "that is exactly one of these is an answer:\n"
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
