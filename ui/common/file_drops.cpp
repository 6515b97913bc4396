#include "file_drops.h"

#include <QUrl>

namespace tremlo::ui {

bool offersFiles(const QMimeData* data) {
    if (!data || !data->hasUrls())
        return false;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            return true;
    return false;
}

bool offersCopiedFiles(const QDropEvent& event) {
    return offersFiles(event.mimeData()) && (event.possibleActions() & Qt::CopyAction);
}

void answerDrag(QDropEvent& event, bool take) {
    if (take) {
        event.setDropAction(Qt::CopyAction);
        event.accept();
    } else {
        event.ignore();
    }
}

std::vector<std::string> localFilesOf(const QMimeData& data) {
    std::vector<std::string> paths;
    for (const QUrl& url : data.urls())
        if (url.isLocalFile())
            paths.push_back(url.toLocalFile().toStdString());
    return paths;
}

} // namespace tremlo::ui
