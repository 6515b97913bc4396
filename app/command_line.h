#pragma once

// What the program takes from its command line and its surroundings.
//
// Thread: the user-interface thread.

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

namespace tremlo {

// The whole command line is one path: the arguments after the program's name
// joined with blanks, in double quotes or not. A relative path is taken from
// `currentFolder`. Empty when there is none.
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
