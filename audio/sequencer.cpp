#include "sequencer.h"

#include <algorithm>
#include <cmath>
#include <fluidsynth.h>

namespace tremlo::sound {

void Sequencer::setSynthLocked(fluid_synth_t* synth) {
    m_synth = synth;
    m_channelCount = synth ? fluid_synth_count_midi_channels(synth) : 0;
    m_resetPending = true;
}

void Sequencer::playLocked(const Sequence* sequence, std::int32_t handle) {
    m_resetPending = true;
    m_held = false;
    m_position = 0;
    m_nextEvent = 0;
    m_positionFrames.store(0, std::memory_order_release);
    // A sequence without length has nothing to repeat: it ends as it starts.
    if (!sequence || sequence->lengthUs <= 0) {
        m_sequence = nullptr;
        m_playingHandle.store(0, std::memory_order_release);
        return;
    }
    m_sequence = sequence;
    m_lengthFrames = std::max<std::int64_t>(1, frameOf(sequence->lengthUs));
    m_loopEndFrames = m_lengthFrames;
    m_loopStartFrames = 0;
    m_loopStartEvent = 0;
    const std::int64_t loopEnd = frameOf(sequence->loopEndUs);
    const std::int64_t loopStart = frameOf(sequence->loopStartUs);
    if (loopEnd > 0 && loopEnd <= m_lengthFrames && loopStart >= 0 && loopStart < loopEnd) {
        m_loopEndFrames = loopEnd;
        m_loopStartFrames = loopStart;
        const auto& events = sequence->events;
        m_loopStartEvent =
            static_cast<std::size_t>(std::partition_point(events.begin(), events.end(),
                                                          [&](const SequenceEvent& e) {
                                                              return frameOf(e.timeUs) < loopStart;
                                                          }) -
                                     events.begin());
    }
    m_playingHandle.store(handle, std::memory_order_release);
}

void Sequencer::stopLocked() {
    m_sequence = nullptr;
    m_resetPending = true;
    m_position = 0;
    m_positionFrames.store(0, std::memory_order_release);
    m_playingHandle.store(0, std::memory_order_release);
}

void Sequencer::setMasterVolumeLocked(int volume) {
    m_masterGain = volume <= -10000 ? 0.0f : volume >= 0 ? 1.0f : std::pow(10.0f, volume / 2000.0f);
}

std::int64_t Sequencer::frameOf(std::int64_t timeUs) const noexcept {
    // Split so that long pieces at high rates cannot overflow.
    return timeUs / 1000000 * m_rate + timeUs % 1000000 * m_rate / 1000000;
}

void Sequencer::resetSynth() noexcept {
    // Cuts every voice at once and puts programs and controllers (sustain
    // included) back to their defaults, so a new pass starts clean. Channel
    // types go back too: only channel 10 is a drum kit again.
    fluid_synth_system_reset(m_synth);
}

void Sequencer::dispatch(const SequenceEvent& event) noexcept {
    if (event.status == kChannelTypeStatus) {
        if (event.data1 < m_channelCount) {
            const bool drums = event.data2 != 0;
            fluid_synth_set_channel_type(m_synth, event.data1,
                                         drums ? CHANNEL_TYPE_DRUM : CHANNEL_TYPE_MELODIC);
            // The type alone does not move the channel to the SoundFont's
            // percussion bank; the program change that follows picks from this bank.
            fluid_synth_bank_select(m_synth, event.data1, drums ? kDrumBank : 0);
        }
        return;
    }
    const int channel = event.channelGroup * 16 + (event.status & 0x0F);
    if (event.status < 0xF0 && channel >= m_channelCount)
        return;
    switch (event.status & 0xF0) {
    case 0x80:
        fluid_synth_noteoff(m_synth, channel, event.data1);
        break;
    case 0x90:
        fluid_synth_noteon(m_synth, channel, event.data1, event.data2);
        break;
    case 0xA0:
        fluid_synth_key_pressure(m_synth, channel, event.data1, event.data2);
        break;
    case 0xB0:
        fluid_synth_cc(m_synth, channel, event.data1, event.data2);
        break;
    case 0xC0:
        fluid_synth_program_change(m_synth, channel, event.data1);
        break;
    case 0xD0:
        fluid_synth_channel_pressure(m_synth, channel, event.data1);
        break;
    case 0xE0:
        fluid_synth_pitch_bend(m_synth, channel, event.data1 | (event.data2 << 7));
        break;
    case 0xF0: {
        const auto& bytes = m_sequence->sysex;
        if (event.status == 0xF0 && event.sysexLength > 0 &&
            std::size_t{event.sysexOffset} + event.sysexLength <= bytes.size())
            fluid_synth_sysex(m_synth,
                              reinterpret_cast<const char*>(bytes.data()) + event.sysexOffset,
                              static_cast<int>(event.sysexLength), nullptr, nullptr, nullptr, 0);
        break;
    }
    default:
        break;
    }
}

int Sequencer::renderSynth(float* stereoOut, int frames, float* scratch) noexcept {
    fluid_synth_write_float(m_synth, frames, scratch, 0, 2, scratch, 1, 2);
    // The master volume glides across the piece so a change does not click.
    const float step = (m_masterGain - m_appliedMasterGain) / static_cast<float>(frames);
    float gain = m_appliedMasterGain;
    for (int i = 0; i < frames; ++i) {
        gain += step;
        stereoOut[i * 2] += scratch[i * 2] * gain;
        stereoOut[i * 2 + 1] += scratch[i * 2 + 1] * gain;
    }
    m_appliedMasterGain = m_masterGain;
    return frames;
}

void Sequencer::render(float* stereoOut, int frames, float* scratch) noexcept {
    if (!m_synth)
        return;
    if (m_resetPending) {
        resetSynth();
        m_resetPending = false;
    }
    if (!m_sequence || m_held)
        return;
    const auto& events = m_sequence->events;
    int done = 0;
    while (done < frames) {
        while (m_nextEvent < events.size() && frameOf(events[m_nextEvent].timeUs) <= m_position)
            dispatch(events[m_nextEvent++]);
        std::int64_t until = m_loopEndFrames;
        if (m_nextEvent < events.size())
            until = std::min(until, frameOf(events[m_nextEvent].timeUs));
        const auto piece =
            static_cast<int>(std::min<std::int64_t>(frames - done, until - m_position));
        if (piece > 0) {
            renderSynth(stereoOut + done * 2, piece, scratch);
            done += piece;
            m_position += piece;
        }
        if (m_position >= m_loopEndFrames) {
            // Events on the very last frame (note-offs, mostly) still belong
            // to this pass; then the next pass starts without a gap.
            while (m_nextEvent < events.size() && frameOf(events[m_nextEvent].timeUs) <= m_position)
                dispatch(events[m_nextEvent++]);
            // A loop that ends inside the piece cuts notes whose ends lie
            // beyond it; they are released here rather than left hanging.
            if (m_nextEvent < events.size())
                fluid_synth_all_notes_off(m_synth, -1);
            m_position = m_loopStartFrames;
            m_nextEvent = m_loopStartEvent;
        }
    }
    m_positionFrames.store(m_position, std::memory_order_release);
}

} // namespace tremlo::sound
