#include "panel_wiring.h"

#include "window_placement.h"

namespace tremlo {

// Beside the main window wherever that is now, not where the panel last was.
void PanelViewOverHost::showPanel() {
    auto& panel = m_host.panel();
    panel.placeBeside(m_main.frameGeometry());
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

} // namespace tremlo
