#include "program_windows.h"

#include "window_placement.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>

namespace tremlo {
namespace {

const char* const kTitle = "トレモロ";

QRect screenOf(const QWidget& window) {
    const QScreen* screen = window.screen() ? window.screen() : QApplication::primaryScreen();
    return screen->geometry();
}

} // namespace

ProgramWindows::ProgramWindows(frmMain& mainWindow, StatusPanelHost& panel, Timer& doorTimer)
    : m_main(mainWindow), m_panel(panel), m_doorTimer(doorTimer) {}

bool ProgramWindows::claimInstanceLock() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    m_lock = std::make_unique<InstanceLock>(
        QFile::encodeName(folder + QStringLiteral("/tremolo.lock")).toStdString());
    m_otherInstance = m_lock->otherInstance();
    return !m_otherInstance;
}

void ProgramWindows::setBusyCursor(bool busy) {
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
}

void ProgramWindows::setSpeedSliderRange(int minimum, int maximum) {
    if (m_applyRange)
        m_applyRange(minimum, maximum);
}

void ProgramWindows::moveMainWindow(double xFraction, double yFraction) {
    const QRect screen = screenOf(m_main);
    m_main.move(screen.left() + static_cast<int>(xFraction * screen.width()),
                screen.top() + static_cast<int>(yFraction * screen.height()));
}

void ProgramWindows::makeWindowsTopMost() {
    // A panel that does not exist yet is made top-most when it is made: made
    // here, it would hold up the switch window's first appearance.
    if (m_panel.exists())
        SetTopMost(&m_panel.panel(), true);
    SetTopMost(&m_main, true);
}

void ProgramWindows::setMainWindowWidth(int width) {
    m_main.setFixedWidth(width);
}

std::pair<double, double> ProgramWindows::mainWindowPosition() const {
    const QRect screen = screenOf(m_main);
    const QPoint corner = m_main.frameGeometry().topLeft() - screen.topLeft();
    return {static_cast<double>(corner.x()) / screen.width(),
            static_cast<double>(corner.y()) / screen.height()};
}

bool ProgramWindows::askRetryAudio(const std::string& text) {
    return QMessageBox::warning(nullptr, QString::fromUtf8(kTitle), QString::fromStdString(text),
                                QMessageBox::Retry | QMessageBox::Cancel) == QMessageBox::Retry;
}

void ProgramWindows::showStartFailure(const std::string& text) {
    QMessageBox::critical(nullptr, QString::fromUtf8(kTitle), QString::fromStdString(text));
}

void ProgramWindows::showStatusPanel() {
    auto& panel = m_panel.panel();
    panel.placeBeside(m_main.frameGeometry());
    panel.show();
}

} // namespace tremlo
