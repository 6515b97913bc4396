#include "recent_documents.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

namespace tremlo {
namespace {

const char* const kBookmarkNs = "http://www.freedesktop.org/standards/desktop-bookmarks";
const char* const kMimeNs = "http://www.freedesktop.org/standards/shared-mime-info";
const char* const kApplicationName = "トレモロ";
// Entries beyond this many, oldest first, are dropped as the desktop does.
constexpr int kMaxEntries = 500;

QDomDocument emptyList() {
    QDomDocument document;
    document.setContent(
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<xbel version=\"1.0\" xmlns:bookmark=\"%1\" xmlns:mime=\"%2\"/>")
            .arg(QString::fromLatin1(kBookmarkNs), QString::fromLatin1(kMimeNs)));
    return document;
}

QDomDocument readList(const QString& listPath) {
    QFile file(listPath);
    QDomDocument document;
    if (file.open(QIODevice::ReadOnly) && document.setContent(&file) &&
        document.documentElement().tagName() == QLatin1String("xbel"))
        return document;
    return emptyList();
}

QDomElement child(QDomElement parent, const QString& tag, QDomDocument& document) {
    QDomElement found = parent.firstChildElement(tag);
    if (found.isNull())
        found = parent.appendChild(document.createElement(tag)).toElement();
    return found;
}

void describeUse(QDomElement bookmark, QDomDocument& document, const QString& mimeType,
                 const QString& stamp) {
    QDomElement metadata = child(child(bookmark, "info", document), "metadata", document);
    metadata.setAttribute("owner", "http://freedesktop.org");
    child(metadata, "mime:mime-type", document).setAttribute("type", mimeType);
    QDomElement applications = child(metadata, "bookmark:applications", document);
    QDomElement application;
    for (QDomElement e = applications.firstChildElement("bookmark:application"); !e.isNull();
         e = e.nextSiblingElement("bookmark:application"))
        if (e.attribute("name") == QString::fromUtf8(kApplicationName))
            application = e;
    if (application.isNull()) {
        application =
            applications.appendChild(document.createElement("bookmark:application")).toElement();
        application.setAttribute("name", QString::fromUtf8(kApplicationName));
        application.setAttribute("count", "0");
    }
    const QString exec = QStringLiteral("'%1 %u'").arg(QCoreApplication::applicationFilePath());
    application.setAttribute("exec", exec);
    application.setAttribute("modified", stamp);
    application.setAttribute("count", QString::number(application.attribute("count").toInt() + 1));
}

} // namespace

QString recentDocumentsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/recently-used.xbel");
}

bool addRecentDocument(const QString& listPath, const QString& filePath, const QString& mimeType) {
    QDomDocument document = readList(listPath);
    QDomElement root = document.documentElement();
    const QString href =
        QUrl::fromLocalFile(QFileInfo(filePath).absoluteFilePath()).toString(QUrl::FullyEncoded);
    const QString stamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);

    QDomElement bookmark;
    for (QDomElement e = root.firstChildElement("bookmark"); !e.isNull();
         e = e.nextSiblingElement("bookmark"))
        if (e.attribute("href") == href)
            bookmark = e;
    if (bookmark.isNull()) {
        bookmark = root.appendChild(document.createElement("bookmark")).toElement();
        bookmark.setAttribute("href", href);
        bookmark.setAttribute("added", stamp);
    }
    bookmark.setAttribute("modified", stamp);
    bookmark.setAttribute("visited", stamp);
    describeUse(bookmark, document, mimeType, stamp);

    QDomNodeList all = root.elementsByTagName("bookmark");
    for (int excess = all.count() - kMaxEntries; excess > 0; --excess)
        root.removeChild(root.firstChildElement("bookmark"));

    QDir().mkpath(QFileInfo(listPath).absolutePath());
    QSaveFile out(listPath);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(document.toByteArray(2));
    return out.commit();
}

} // namespace tremlo
