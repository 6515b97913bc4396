#pragma once

// The status panel as the engine sees it, whether or not the panel window
// exists at the moment.
//
// The panel is created on first use and may be closed and created again (the
// user can hide it). The host remembers what the panel shows, so a panel
// created again shows the file, the lamps and the indicators as they are now,
// instead of the blank face of a new one.
//
// Thread: the user-interface thread.

#include "frm_status.h"
#include "playback_state.h"
#include "record_command.h"
#include "settings.h"
#include "timer.h"
#include "views.h"

#include <QPointer>
#include <functional>
#include <optional>
#include <string>

namespace tremlo {

class StatusPanelHost : public StatusLamps, public StatusDisplay, public RecordingLamp {
public:
    StatusPanelHost(const Settings& settings, const PlaybackState& state, TimerFactory& timers,
                    std::function<QRect()> mainFrame);
    ~StatusPanelHost() override;

    // The panel window, created (hidden) when it does not exist yet.
    ui::frmStatus& panel();
    bool exists() const { return !m_panel.isNull(); }
    // Closes the panel window; the next use creates it anew.
    void unload();
    // Runs for every panel window made, now for one that exists already: the
    // wiring connects the panel's controls here.
    void onCreated(std::function<void(ui::frmStatus&)> created);

    // The loaded melody's place on the shelf ("3/12", or empty), shown after
    // its name on the file line.
    void onShelfPosition(std::function<std::string()> position) {
        m_shelfPosition = std::move(position);
    }

    void setStatusLED(Lamp lamp, bool lit) override;
    void setFileInfo(const std::string& text) override;
    void ShowStatusMessage(const std::string& text, bool flash) override;
    // Shown on a panel that exists; the next look brings a new one up to date.
    void showRecording(bool on, std::int64_t elapsedMs, std::int64_t lostMs) override;

private:
    const Settings& m_settings;
    const PlaybackState& m_state;
    TimerFactory& m_timers;
    std::function<QRect()> m_mainFrame;
    std::function<void(ui::frmStatus&)> m_createdHook;
    std::function<std::string()> m_shelfPosition;
    QPointer<ui::frmStatus> m_panel;
    bool m_created = false;
    std::string m_fileInfo = " ";
    std::optional<std::string> m_statusMessage;
    bool m_lamps[2] = {false, false};
};

} // namespace tremlo
