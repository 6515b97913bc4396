#include "program_windows.h"

#include "window_placement.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>
#include <limits>
#include <optional>

namespace tremlo {
namespace {

QString title() {
    return QCoreApplication::translate("Program", "トレモロ");
}

// The frame the window's place is saved in and restored from: the whole
// desktop, so a window on a second screen comes back there, and a single
// screen keeps the fractions it always had.
QRect desktop() {
    const QScreen* screen = QApplication::primaryScreen();
    return screen ? screen->virtualGeometry() : QRect();
}

// origin + fraction × extent as a window coordinate, or nothing when it is no
// coordinate at all (a hand-edited 1e300, say).
std::optional<int> coordinate(int origin, double fraction, int extent) {
    const double value = origin + fraction * extent;
    if (!(value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max()))
        return std::nullopt;
    return static_cast<int>(value);
}

} // namespace

ProgramWindows::ProgramWindows(ui::frmMain& mainWindow, StatusPanelHost& panel, Timer& doorTimer)
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

// A place that is no coordinate drops the move, as any step of loading that
// cannot be done is dropped.
void ProgramWindows::moveMainWindow(double xFraction, double yFraction) {
    const QRect frame = desktop();
    const std::optional<int> x = coordinate(frame.left(), xFraction, frame.width());
    const std::optional<int> y = coordinate(frame.top(), yFraction, frame.height());
    if (x && y)
        m_main.move(*x, *y);
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

std::optional<std::pair<double, double>> ProgramWindows::mainWindowPosition() const {
    if (!windowPlacesKnown())
        return std::nullopt;
    const QRect frame = desktop();
    if (frame.isEmpty())
        return std::pair(0.0, 0.0);
    const QPoint corner = m_main.frameGeometry().topLeft() - frame.topLeft();
    return std::pair(static_cast<double>(corner.x()) / frame.width(),
                     static_cast<double>(corner.y()) / frame.height());
}

bool ProgramWindows::askRetryAudio(const std::string& text) {
    return QMessageBox::warning(nullptr, title(), QString::fromStdString(text),
                                QMessageBox::Retry | QMessageBox::Cancel) == QMessageBox::Retry;
}

void ProgramWindows::showStartFailure(const std::string& text) {
    QMessageBox::critical(nullptr, title(), QString::fromStdString(text));
}

// The switch window ends start-up as the active window, so its keys work at
// once; the panel beside it must not take the focus from it.
void ProgramWindows::showStatusPanel() {
    auto& panel = m_panel.panel();
    panel.placeBeside(m_main.frameGeometry());
    panel.setAttribute(Qt::WA_ShowWithoutActivating);
    hangBeside(panel, m_main);
    panel.show();
    BringToFront(&m_main);
}

} // namespace tremlo
