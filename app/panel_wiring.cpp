#include "panel_wiring.h"

#include "window_placement.h"

#include <QApplication>
#include <QKeyEvent>
#include <memory>

namespace tremlo {

// Beside the main window wherever that is now, not where the panel last was.
void PanelViewOverHost::showPanel() {
    auto& panel = m_host.panel();
    panel.placeBeside(m_main.frameGeometry());
    hangBeside(panel, m_main);
    panel.show();
}

// The panel is made (hidden) when missing, so it takes the stacking with it
// when it is shown later.
void PanelViewOverHost::setTopMost(ProgramWindow window, bool topMost) {
    if (window == ProgramWindow::Main)
        SetTopMost(&m_main, topMost);
    else
        SetTopMost(&m_host.panel(), topMost);
}

// The switch window takes the key as if it had the focus, ShiftForce and all.
void PanelActionsOverCommands::keyForSwitch(const QKeyEvent& event) {
    const std::unique_ptr<QKeyEvent> copy(event.clone());
    QApplication::sendEvent(&m_main, copy.get());
}

} // namespace tremlo
