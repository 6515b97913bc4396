#include "status_panel_host.h"

#include "window_placement.h"

namespace tremlo {

StatusPanelHost::StatusPanelHost(const Settings& settings, const PlaybackState& state,
                                 TimerFactory& timers, std::function<QRect()> mainFrame)
    : m_settings(settings), m_state(state), m_timers(timers), m_mainFrame(std::move(mainFrame)) {}

StatusPanelHost::~StatusPanelHost() {
    delete m_panel.data();
}

ui::frmStatus& StatusPanelHost::panel() {
    if (m_panel.isNull()) {
        m_panel = new ui::frmStatus(m_settings, m_timers, m_mainFrame());
        m_panel->setAttribute(Qt::WA_DeleteOnClose);
        // A panel made again shows what is true now, not a blank face.
        if (m_created)
            m_panel->showCurrentState(m_settings, m_state, m_fileInfo, m_lamps[0], m_lamps[1],
                                      m_statusMessage);
        // Every panel follows the stay-on-top setting from its first moment,
        // also the first one, which the settings no longer have to make early.
        SetTopMost(m_panel, m_settings.TopMost);
        m_created = true;
        if (m_createdHook)
            m_createdHook(*m_panel);
    }
    return *m_panel;
}

void StatusPanelHost::unload() {
    if (m_panel.isNull())
        return;
    m_panel->hide();
    m_panel->deleteLater();
    m_panel = nullptr;
}

void StatusPanelHost::onCreated(std::function<void(ui::frmStatus&)> created) {
    m_createdHook = std::move(created);
    if (!m_panel.isNull() && m_createdHook)
        m_createdHook(*m_panel);
}

void StatusPanelHost::setStatusLED(Lamp lamp, bool lit) {
    m_lamps[static_cast<int>(lamp)] = lit;
    panel().setStatusLED(lamp, lit);
}

// Read when the name is shown: a melody loaded from the shelf has its place,
// any other none.
void StatusPanelHost::setFileInfo(const std::string& text) {
    const std::string position = m_shelfPosition ? m_shelfPosition() : std::string();
    m_fileInfo = position.empty() ? text : text + "  " + position;
    panel().setFileInfo(m_fileInfo);
}

void StatusPanelHost::ShowStatusMessage(const std::string& text, bool flash) {
    m_statusMessage = text;
    panel().ShowStatusMessage(text, flash);
}

void StatusPanelHost::showRecording(bool on, std::int64_t elapsedMs, std::int64_t lostMs) {
    if (!m_panel.isNull())
        m_panel->showRecording(on, elapsedMs, lostMs);
}

} // namespace tremlo
