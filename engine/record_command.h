#pragma once

// The 録音 command: recording what the program plays, from the shortcut
// menu's check item or from --record at start.
//
// How the parts talk: the command starts and stops the Recorder, which taps
// the sound library's output (see recording/recorder.h). While a recording
// runs, a timer of the command looks at the recorder twice a second: it
// shows the REC lamp with the elapsed time on the status panel, tells a gap
// (the disk fell behind and periods were lost) once per new gap, and stops a
// recording whose disk failed, saying why. The menu's check mark is read
// from recording() when the menu opens; nothing else keeps it. Messages go to
// the panel's status line and, for scripts and logs, to stderr.
//
// Thread: the user-interface thread.

#include "recorder.h"
#include "timer.h"
#include "views.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tremlo {

// The REC lamp of the status panel.
class RecordingLamp {
public:
    virtual ~RecordingLamp() = default;
    // `on` false puts the lamp out; `lostMs` is the sound lost to a slow disk.
    virtual void showRecording(bool on, std::int64_t elapsedMs, std::int64_t lostMs) = 0;
};

// "FOLDER/トレモロ/2026-12-08 10-30-05.flac" for the time `now` (local time);
// take 2 and on are "… 10-30-05 (2).flac".
std::string recordingPathIn(const std::string& musicFolder, std::time_t now, int take = 1);

class RecordCommand {
public:
    // `defaultPath` names the file of a recording started from the menu; a
    // take whose file is there already is followed by the next.
    RecordCommand(recording::Recorder& recorder, TimerFactory& timers, RecordingLamp& lamp,
                  StatusDisplay& status, std::function<std::string(int take)> defaultPath);

    bool recording() const { return m_recorder.recording(); }
    // The menu item: stops a running recording, else starts one in the
    // default place.
    void toggle();
    // False, with the reason told, when the recording cannot start; a file
    // already there is one.
    bool start(const std::string& path);
    void stop();

    // The timer's tick.
    void look();

private:
    std::optional<std::string> begin(const std::string& path);
    void refuse(const std::string& reason);
    void tell(const std::string& panelText, const std::string& logText);
    std::int64_t msOf(std::int64_t frames) const;

    recording::Recorder& m_recorder;
    RecordingLamp& m_lamp;
    StatusDisplay& m_status;
    std::function<std::string(int take)> m_defaultPath;
    std::unique_ptr<Timer> m_timer;
    std::uint64_t m_toldLostFrames = 0;
};

} // namespace tremlo
