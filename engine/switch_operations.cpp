// The switch and the melody: the four button operations, StartMelody,
// StopMelody and RunOutMelody. Each follows its steps in order; the numbers
// in the comments are those steps.

#include "melody_engine.h"

#include <cstdint>

namespace tremlo {

MelodyEngine::MelodyEngine(Settings& settings, PlaybackState& state, sound::SoundLibrary& library,
                           TimerFactory& timers, EventPump& pump, EngineViews views)
    : m_settings(settings), m_state(state), m_library(library), m_pump(pump), m_views(views),
      m_tmrDoorThreshold(timers.createTimer("tmrDoorThreshold")),
      m_timer1(timers.createTimer("Timer1")), m_tmrVolReset(timers.createTimer("tmrVolReset")) {
    m_tmrDoorThreshold->onTick([this] { tmrDoorThreshold_Timer(); });
    m_timer1->onTick([this] { Timer1_Timer(); });
    m_tmrVolReset->onTick([this] { tmrVolReset_Timer(); });
}

void MelodyEngine::PressOnButton() {
    m_state.OnButtonDown = true;
    if (m_state.OnSwitchState != SwitchPosition::Off) // a key repeat, or ON while locked
        return;
    m_views.switchView.setOnPicture(OnPicture::imgOnB);
    m_state.OnSwitchState = SwitchPosition::Pressed;
    m_views.switchView.repaint();
    StartMelody();
}

void MelodyEngine::ReleaseOnButton() {
    const sound::StartsTogether together(m_library);
    m_state.OnButtonDown = false;
    if (m_settings.NoLockOnButton) {
        // The ON button springs back, whatever the switch showed.
        m_views.switchView.setOnPicture(OnPicture::imgOnA);
        m_state.OnSwitchState = SwitchPosition::Off;
        m_views.switchView.repaint();
        if (m_settings.PlayClickSound)
            playClick();
        if (thresholdTimerIdle())
            m_timer1->setEnabled(true);
        StopMelody();
        return;
    }
    // The ON button locks.
    if (m_state.OnSwitchState == SwitchPosition::Pressed && !m_state.OffButtonDown) {
        m_views.switchView.setOnPicture(OnPicture::imgOnC);
        m_state.OnSwitchState = SwitchPosition::Locked;
        m_views.switchView.repaint();
    } else if (m_state.OffButtonDown) {
        // OFF was held while ON came up, so ON was only momentary. No
        // click, no noise, no door timer, and never the Urawa effect.
        m_views.switchView.setOnPicture(OnPicture::imgOnA);
        m_state.OnSwitchState = SwitchPosition::Off;
        m_views.switchView.repaint();
        if (m_state.MelodySegment) {
            if (m_settings.EffectTachikawa) {
                RunOutMelody(-1000);
            } else {
                m_library.dsStopMusicSegment(m_state.MelodySegment);
                m_views.lamps.setStatusLED(Lamp::Melody, false);
            }
        } else if (m_state.MelodyBuffer) {
            m_library.dsStop(m_state.MelodyBuffer);
            m_views.lamps.setStatusLED(Lamp::Melody, false);
        }
        restartThresholdTimer();
    }
}

void MelodyEngine::PressOffButton() {
    const sound::StartsTogether together(m_library);
    m_views.switchView.setOffPicture(OffPicture::imgOffB);
    m_state.OffButtonDown = true;
    if (m_state.OnSwitchState == SwitchPosition::Off || m_state.OnButtonDown)
        return;
    m_views.switchView.setOnPicture(OnPicture::imgOnA);
    m_state.OnSwitchState = SwitchPosition::Off;
    if (m_settings.PlayClickSound)
        playClick();
    if (thresholdTimerIdle()) // only a long press is followed by the announcement
        m_timer1->setEnabled(true);
    StopMelody();
}

void MelodyEngine::ReleaseOffButton() {
    m_views.switchView.setOffPicture(OffPicture::imgOffA);
    m_state.OffButtonDown = false;
}

// The steps reach the output together: a melody started from quiet is first
// written from where the Tokyo effect puts it, not from its head.
void MelodyEngine::StartMelody() {
    const sound::StartsTogether together(m_library);
    m_state.RunOutActive = false; // ends a run-out wait without stopping anything
    // Whatever still sounds of the melody stops; full volume again.
    m_library.dsStopMusicSegment(m_state.MelodySegment);
    m_library.dsStop(m_state.MelodyBuffer);
    m_library.dsSetMasterVolume(m_state.level(VolumeSound::Melody));
    m_library.dsSetVolume(m_state.MelodyBuffer, m_state.level(VolumeSound::Melody));
    if (m_library.dsIsPlaying(m_state.DoorBuffer) && m_settings.DoorCut)
        m_library.dsSetVolume(m_state.DoorBuffer, -10000);
    if (m_settings.Noise)
        m_library.dsPlayEx(m_state.NoiseBuffer, m_state.levelBelow(VolumeSound::Noise, -1000), 0,
                           0);
    if (m_state.MelodySegment) {
        m_library.dsPlayMusicSegment(m_state.MelodySegment, 1000);
        m_views.lamps.setStatusLED(Lamp::Melody, true);
    } else if (m_state.MelodyBuffer) {
        m_library.dsPlayLooping(m_state.MelodyBuffer);
        if (m_state.PanMode == Pan::Left)
            m_library.dsSetPan(m_state.MelodyBuffer, -10000);
        else if (m_state.PanMode == Pan::Right)
            m_library.dsSetPan(m_state.MelodyBuffer, 10000);
        m_views.lamps.setStatusLED(Lamp::Melody, true);
    }
    restartThresholdTimer();
    if (m_settings.EffectTokyo && m_state.MelodyBuffer) // skip the first 170 ms
        m_library.dsSetPositionMSec(m_state.MelodyBuffer, 170);
}

void MelodyEngine::StopMelody() {
    const sound::StartsTogether together(m_library);
    if (m_settings.Noise)
        m_library.dsPlayEx(m_state.NoiseBuffer, m_state.level(VolumeSound::Noise), 0, 0);
    // Tachikawa is tested first; the menus never set both effects.
    if (m_settings.EffectTachikawa)
        RunOutMelody(-1000);
    else if (m_settings.EffectUrawa)
        RunOutMelody(-10000);
    else
        stopMelodyAtOnce();
    // After a run-out this comes only once the melody has stopped (or the
    // wait was cancelled), so a silenced announcement is heard from then on.
    if (m_library.dsIsPlaying(m_state.DoorBuffer) && m_settings.DoorCut)
        m_library.dsSetVolume(m_state.DoorBuffer, m_state.level(VolumeSound::Door));
}

void MelodyEngine::RunOutMelody(int attenuation) {
    m_state.RunOutActive = true;
    // The rest of the current pass, in seconds of real time, less 0.1 s so
    // that the stop never lets the start of the next pass be heard. After a
    // short press (the threshold timer still runs) the melody keeps its volume.
    double remainingSeconds = 0.0;
    if (m_state.MelodySegment) {
        if (thresholdTimerIdle())
            m_library.dsSetMasterVolume(m_state.levelBelow(VolumeSound::Melody, attenuation));
        // A segment with a loop ends every pass at the loop's end, not at
        // the end of the whole piece.
        const std::int32_t remainingMs = m_library.passEndMSec(m_state.MelodySegment) -
                                         m_library.dsGetSeekMSec(m_state.MelodySegment);
        remainingSeconds = remainingMs / 1000.0 - 0.1;
    } else if (m_state.MelodyBuffer) {
        if (thresholdTimerIdle())
            m_library.dsSetVolume(m_state.MelodyBuffer,
                                  m_state.levelBelow(VolumeSound::Melody, attenuation));
        const std::int32_t remainingMs = m_library.dsGetBufferMSec(m_state.MelodyBuffer) -
                                         m_library.dsGetPositionMSec(m_state.MelodyBuffer);
        // Positions are in the file's time; the speed window may play it
        // faster or slower than that.
        sound::WaveFormat format;
        m_library.dsGetFormat(m_state.MelodyBuffer, format);
        const std::int32_t playing = m_library.playbackFrequency(m_state.MelodyBuffer);
        const double speed = format.samplesPerSecond > 0 && playing > 0
                                 ? static_cast<double>(playing) / format.samplesPerSecond
                                 : 1.0;
        remainingSeconds = remainingMs / 1000.0 / speed - 0.1;
    }
    // The windows stay live meanwhile; StartMelody, a new load or the
    // shut-down end the wait early by clearing RunOutActive.
    if (remainingSeconds > 0.0 && m_state.RunOutActive) {
        // What the operation started so far (the click, the noise) sounds
        // while the melody runs out, and an operation run during the wait
        // holds its own starts.
        m_library.releaseStarts();
        const auto duration =
            std::chrono::microseconds(static_cast<std::int64_t>(remainingSeconds * 1e6));
        m_pump.waitFor(duration, [this] { return !m_state.RunOutActive; });
    }
    // A cancelled wait leaves the sound to whoever cancelled it.
    if (!m_state.RunOutActive)
        return;
    m_state.RunOutActive = false;
    if (m_state.MelodySegment) {
        m_library.dsStopMusicSegment(m_state.MelodySegment);
        m_library.dsSetMasterVolume(m_state.level(VolumeSound::Melody));
        m_views.lamps.setStatusLED(Lamp::Melody, false);
    } else if (m_state.MelodyBuffer) {
        m_library.dsStop(m_state.MelodyBuffer);
        m_library.dsSetVolume(m_state.MelodyBuffer, m_state.level(VolumeSound::Melody));
        m_views.lamps.setStatusLED(Lamp::Melody, false);
    }
}

// The click's volume is set at each press: the buffer may have been loaded
// again since the volumes last changed.
void MelodyEngine::playClick() {
    m_library.dsSetVolume(m_state.ClickBuffer, m_state.level(VolumeSound::Click));
    m_library.dsPlay(m_state.ClickBuffer);
}

void MelodyEngine::stopMelodyAtOnce() {
    m_library.dsStopMusicSegment(m_state.MelodySegment);
    m_library.dsStop(m_state.MelodyBuffer);
    m_views.lamps.setStatusLED(Lamp::Melody, false);
}

void MelodyEngine::restartThresholdTimer() {
    // Setting the interval of a running timer starts its countdown again.
    m_tmrDoorThreshold->setInterval(m_settings.DoorThreshold + 1);
    m_tmrDoorThreshold->setEnabled(true);
}

} // namespace tremlo
