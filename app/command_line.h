#pragma once

// What the program takes from its command line and its surroundings.
//
// Thread: the user-interface thread.

#include <QString>
#include <QStringList>

namespace tremlo {

// The whole command line is one path: the arguments after the program's name
// joined with blanks, in double quotes or not. A relative path is taken from
// `currentFolder`. Empty when there is none.
QString commandLinePath(const QStringList& arguments, const QString& currentFolder);

// Temporary copies of melodies go beside the program when its folder can be
// written, else into `cacheFolder` (made when missing).
QString workFolderFor(const QString& programFolder, const QString& cacheFolder);

} // namespace tremlo
