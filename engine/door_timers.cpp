// The door announcement and its timers: the threshold timer's tick, the door
// timer (Timer1) that starts the announcement, and tmrVolReset that ends the
// cycle. The numbers in the comments are the steps of each tick.

#include "melody_engine.h"

namespace tremlo {

void MelodyEngine::tmrDoorThreshold_Timer() {
    // From now on the press counts as long, and OFF arms the door timer.
    m_tmrDoorThreshold->setEnabled(false);
}

void MelodyEngine::Timer1_Timer() {
    // The announcement is first heard at the volume and pan set after it.
    const sound::StartsTogether together(m_library);
    m_timer1->setEnabled(false); // one announcement per OFF
    if (m_settings.EffectUrawa) {
        // A melody still running out silently is heard again from here.
        m_library.dsSetVolume(m_state.MelodyBuffer, m_state.level(VolumeSound::Melody));
        m_library.dsSetMasterVolume(m_state.level(VolumeSound::Melody));
    }
    if (m_settings.Door && (!m_library.dsIsPlaying(m_state.DoorBuffer) || m_settings.DoorATOS)) {
        const bool melodySounds = m_library.dsIsPlaying(m_state.MelodyBuffer) ||
                                  m_library.dsIsPlayingMusicSegment(m_state.MelodySegment);
        if (m_settings.DoorCut && melodySounds) {
            // Silent while the melody sounds; the StopMelody that finds
            // it still playing makes it heard.
            m_library.dsPlay(m_state.DoorBuffer);
            m_library.dsSetVolume(m_state.DoorBuffer, -10000);
        } else {
            // Full volume first: an earlier announcement that ended while
            // silenced would otherwise leave this one silent too.
            m_library.dsSetVolume(m_state.DoorBuffer, m_state.level(VolumeSound::Door));
            m_library.dsPlay(m_state.DoorBuffer);
        }
        applyPanToDoor();
        m_views.lamps.setStatusLED(Lamp::Door, true);
    }
    // Announced or not, the cycle ends the announcement's length plus
    // half a second from now.
    m_tmrVolReset->setEnabled(false);
    m_tmrVolReset->setInterval(m_library.dsGetBufferMSec(m_state.DoorBuffer) + 500);
    m_tmrVolReset->setEnabled(true);
}

void MelodyEngine::tmrVolReset_Timer() {
    const sound::StartsTogether together(m_library);
    if (m_settings.Noise)
        m_library.dsPlayEx(m_state.NoiseBuffer, m_state.level(VolumeSound::Noise), 0, 0);
    // Whatever attenuation a run-out left is undone, also mid run-out.
    m_library.dsSetMasterVolume(m_state.level(VolumeSound::Melody));
    m_library.dsSetVolume(m_state.MelodyBuffer, m_state.level(VolumeSound::Melody));
    m_tmrVolReset->setEnabled(false);
    m_views.lamps.setStatusLED(Lamp::Door, false);
}

void MelodyEngine::applyPanToDoor() {
    // Centre sets nothing here: the pan commands put the door back to 0.
    if (m_state.PanMode == Pan::Left)
        m_library.dsSetPan(m_state.DoorBuffer, -10000);
    else if (m_state.PanMode == Pan::Right)
        m_library.dsSetPan(m_state.DoorBuffer, 10000);
}

} // namespace tremlo
