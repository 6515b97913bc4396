#include "qt_feedback.h"

#include "recent_documents.h"

#include <QApplication>
#include <QMessageBox>
#include <QMimeDatabase>

namespace tremlo {
namespace {

QMessageBox::Icon iconOf(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QtUserFeedback::QtUserFeedback(QString recentListPath)
    : m_recentListPath(std::move(recentListPath)) {}

void QtUserFeedback::showMessage(const std::string& text, const std::string& title,
                                 MessageIcon icon) {
    // The box is answered with the normal pointer, even in the middle of a load.
    if (m_waiting)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    QMessageBox box(iconOf(icon), QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
    if (m_waiting)
        QApplication::restoreOverrideCursor();
}

void QtUserFeedback::setWaitCursor(bool waiting) {
    if (waiting == m_waiting)
        return;
    m_waiting = waiting;
    if (waiting)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void QtUserFeedback::addRecentDocument(const std::string& path) {
    const QString file = QString::fromStdString(path);
    tremlo::addRecentDocument(m_recentListPath, file, QMimeDatabase().mimeTypeForFile(file).name());
}

} // namespace tremlo
