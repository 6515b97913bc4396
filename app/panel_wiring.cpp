#include "panel_wiring.h"

namespace tremlo {

// Beside the main window wherever that is now, not where the panel last was.
void PanelControlOverHost::showPanel() {
    auto& panel = m_host.panel();
    panel.placeBeside(m_main.frameGeometry());
    panel.show();
}

} // namespace tremlo
