#pragma once

// The switch and the melody: what ON and OFF do, and the door announcement
// that follows.
//
// How the parts talk: the switch window and the status panel call the four
// button operations (PressOnButton ... ReleaseOffButton). They move the switch
// pictures through SwitchView and start or stop the melody through the sound
// library, on the handles of the PlaybackState. The three timers come from the
// injected TimerFactory: the threshold timer tells a short press from a long
// one, the door timer (Timer1) starts the announcement DoorDelay + 1 ms after
// OFF, and tmrVolReset ends the announcement cycle. Lamps go to StatusLamps.
// A run-out (the Tachikawa and Urawa effects) waits for the end of the
// melody's pass through the EventPump, which keeps the windows live: during
// the wait any button or timer may run again, and StartMelody cancels the
// wait by clearing RunOutActive.
//
// Settings are read here, never written.
//
// Thread: the user-interface thread; everything here runs on it.

#include "event_pump.h"
#include "playback_state.h"
#include "settings.h"
#include "sound_library.h"
#include "timer.h"
#include "views.h"

#include <memory>

namespace tremlo {

struct EngineViews {
    SwitchView& switchView;
    StatusLamps& lamps;
};

class MelodyEngine {
public:
    MelodyEngine(Settings& settings, PlaybackState& state, sound::SoundLibrary& library,
                 TimerFactory& timers, EventPump& pump, EngineViews views);

    // The switch.
    void PressOnButton();
    void ReleaseOnButton();
    void PressOffButton();
    void ReleaseOffButton();

    // The melody.
    void StartMelody();
    void StopMelody();
    // Lets the melody play to the end of its current pass, attenuated by
    // `attenuation` (hundredths of a decibel) after a long press, then stops it.
    void RunOutMelody(int attenuation);

    // Timer ticks.
    void tmrDoorThreshold_Timer();
    void Timer1_Timer();
    void tmrVolReset_Timer();

    Timer& tmrDoorThreshold() { return *m_tmrDoorThreshold; }
    Timer& Timer1() { return *m_timer1; }
    Timer& tmrVolReset() { return *m_tmrVolReset; }

private:
    bool thresholdTimerIdle() const { return !m_tmrDoorThreshold->enabled(); }
    void restartThresholdTimer();
    void stopMelodyAtOnce();
    void playClick();
    void applyPanToDoor();

    Settings& m_settings;
    PlaybackState& m_state;
    sound::SoundLibrary& m_library;
    EventPump& m_pump;
    EngineViews m_views;
    std::unique_ptr<Timer> m_tmrDoorThreshold;
    std::unique_ptr<Timer> m_timer1;
    std::unique_ptr<Timer> m_tmrVolReset;
};

} // namespace tremlo
