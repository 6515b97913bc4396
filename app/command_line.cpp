#include "command_line.h"

#include <QDir>
#include <QFileInfo>

namespace tremlo {

QString commandLinePath(const QStringList& arguments, const QString& currentFolder) {
    QString path = arguments.mid(1).join(QLatin1Char(' ')).trimmed();
    if (path.size() >= 2 && path.startsWith(QLatin1Char('"')) && path.endsWith(QLatin1Char('"')))
        path = path.mid(1, path.size() - 2);
    if (path.isEmpty())
        return path;
    return QDir::cleanPath(QDir(currentFolder).absoluteFilePath(path));
}

QString workFolderFor(const QString& programFolder, const QString& cacheFolder) {
    if (QFileInfo(programFolder).isWritable())
        return programFolder;
    QDir().mkpath(cacheFolder);
    return cacheFolder;
}

} // namespace tremlo
