#pragma once

// What the program takes from its command line and its surroundings.
//
// Thread: the user-interface thread.

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

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

// Temporary copies of melodies go beside the program when it may keep files
// in its folder (programFolderTakesFiles), else into `cacheFolder` (made when
// missing).
QString workFolderFor(const QString& programFolder, const QString& cacheFolder);

} // namespace tremlo
