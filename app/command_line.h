#pragma once

// What the program takes from its command line and its surroundings.
//
// Thread: the user-interface thread.

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

namespace tremlo {

// The options that may open a command line, each with its file: --record,
// --render, --output and --settings, in any order. The first argument that
// is none of them begins the melody's path. Files are made absolute from
// `currentFolder`; `error` says what is wrong with a command line that
// names an option without its file, or --render without --output (or
// --output without --render).
struct CommandLineOptions {
    QString record;
    QString render;
    QString output;
    QString settings;
    QStringList melodyWords; // the arguments that make the melody's path
    QString error;
};
CommandLineOptions commandLineOptions(const QStringList& arguments, const QString& currentFolder);

// The path the command line names after its options: the remaining
// arguments joined with blanks, in double quotes or not. A relative path is
// taken from `currentFolder`. Empty when there is none.
QString commandLinePath(const QStringList& arguments, const QString& currentFolder);

// What the program prints before it exits when the whole command line is
// --help or --version, as command-line programs do; nullopt for any other
// command line, which names a melody.
std::optional<std::string> commandLineAnswer(int argc, const char* const argv[]);

// The argument list Qt starts with. Where the program prefers X11 (a display
// is there and the user chose no platform, neither in QT_QPA_PLATFORM nor
// with -platform) it adds Qt's own `-platform xcb`: an environment variable
// would reach the programs it starts too, the help's browser and xdg-open.
std::vector<std::string> qtArgumentsFor(std::vector<std::string> arguments, bool x11Display,
                                        bool platformInEnvironment);

// qtArgumentsFor over this process's command line and environment, held in
// the form QApplication takes; it must outlive the application.
class QtArguments {
public:
    QtArguments(int argc, char** argv);
    QtArguments(const QtArguments&) = delete;
    QtArguments& operator=(const QtArguments&) = delete;

    int& argc() { return m_argc; }
    char** argv() { return m_pointers.data(); }

private:
    std::vector<std::string> m_words;
    std::vector<char*> m_pointers;
    int m_argc = 0;
};

// Temporary copies of melodies go beside the program when it may keep files
// in its folder (programFolderTakesFiles), else into `cacheFolder` (made when
// missing).
QString workFolderFor(const QString& programFolder, const QString& cacheFolder);

} // namespace tremlo
