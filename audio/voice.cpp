#include "voice.h"

#include <algorithm>
#include <cmath>
#include <samplerate.h>

namespace tremlo::sound {
namespace {

constexpr int kMinVolume = -10000;
constexpr int kMinFrequency = 100;
constexpr int kMaxFrequency = 200000;
// When a voice leaves the exact-copy path mid-play, the resampler is fed this
// much of what was just heard, so its filter starts from the real signal
// instead of from silence, and the output for it is thrown away.
constexpr int kPrimingFrames = 256;

} // namespace

float gainOfVolume(int volume) {
    if (volume <= kMinVolume)
        return 0.0f;
    if (volume >= 0)
        return 1.0f;
    return static_cast<float>(std::pow(10.0, volume / 2000.0));
}

std::unique_ptr<Voice> Voice::create(std::shared_ptr<const SampleData> data) {
    int error = 0;
    // The fastest sinc converter: clean enough for a melody sped up or slowed
    // down by the speed slider, at a fraction of the cost of the better ones.
    SRC_STATE* resampler = src_new(SRC_SINC_FASTEST, data->channels, &error);
    if (!resampler)
        return nullptr;
    return std::unique_ptr<Voice>(new Voice(std::move(data), resampler));
}

Voice::Voice(std::shared_ptr<const SampleData> data, SRC_STATE* resampler)
    : m_data(std::move(data)), m_resampler(resampler), m_frequency(m_data->samplesPerSecond) {}

Voice::~Voice() {
    src_delete(m_resampler);
}

void Voice::playLocked(bool looping) {
    // A voice that has ended still sounds in the frames the server holds
    // while the mixer keeps its record; a start as if earlier takes that out.
    const auto removed =
        static_cast<std::uint8_t>(soundingLocked() || m_historySlot >= 0 ? kRemoved : 0);
    m_changes = static_cast<std::uint8_t>(((m_changes | removed) & ~kRegain) | kFresh);
    m_looping = looping;
    m_active = true;
    m_held = false;
    m_restart = true;
    m_position = 0;
    m_inputEnded = false;
    m_discardFrames = 0;
    m_rampFrames = 0;
    m_gain[0] = m_targetGain[0];
    m_gain[1] = m_targetGain[1];
    m_positionFrames.store(0, std::memory_order_release);
    m_playing.store(true, std::memory_order_release);
}

void Voice::stopLocked() {
    const auto removed = static_cast<std::uint8_t>(soundingLocked() ? kRemoved : 0);
    m_changes = static_cast<std::uint8_t>((m_changes | removed) & ~(kFresh | kRegain));
    m_active = false;
    m_playing.store(false, std::memory_order_release);
}

void Voice::setVolumeLocked(int volume) {
    m_volume = std::clamp(volume, kMinVolume, 0);
    updateGainsLocked();
}

void Voice::setPanLocked(int pan) {
    m_pan = std::clamp(pan, -10000, 10000);
    updateGainsLocked();
}

void Voice::setFrequencyLocked(int samplesPerSecond) {
    m_frequency = samplesPerSecond == 0
                      ? m_data->samplesPerSecond
                      : std::clamp(samplesPerSecond, kMinFrequency, kMaxFrequency);
}

void Voice::setPositionLocked(std::int64_t frame) {
    if (soundingLocked())
        m_changes = static_cast<std::uint8_t>(((m_changes | kRemoved) & ~kRegain) | kFresh);
    frame = std::clamp<std::int64_t>(frame, 0, m_data->frames);
    if (frame == m_data->frames && m_looping)
        frame = 0;
    m_position = frame;
    m_inputEnded = false;
    if (m_resampling)
        m_restart = true;
    m_positionFrames.store(frame, std::memory_order_release);
}

// A balance, not a pan law: the far side is attenuated, the near side stays full.
void Voice::updateGainsLocked() {
    const float volume = gainOfVolume(m_volume);
    const float target[2] = {volume * (m_pan > 0 ? gainOfVolume(-m_pan) : 1.0f),
                             volume * (m_pan < 0 ? gainOfVolume(m_pan) : 1.0f)};
    // The same volume set again (every press sets the melody's) is no
    // change to write again.
    if (soundingLocked() && (m_changes & (kFresh | kRegain)) == 0 &&
        (target[0] != m_targetGain[0] || target[1] != m_targetGain[1])) {
        m_changes |= kRegain;
        m_gainBefore[0] = m_gain[0];
        m_gainBefore[1] = m_gain[1];
    }
    m_targetGain[0] = target[0];
    m_targetGain[1] = target[1];
    if (!m_active) {
        m_gain[0] = m_targetGain[0];
        m_gain[1] = m_targetGain[1];
        m_rampFrames = 0;
        return;
    }
    for (int c = 0; c < 2; ++c)
        m_gainStep[c] = (m_targetGain[c] - m_gain[c]) / kGainRampFrames;
    m_rampFrames = kGainRampFrames;
}

void Voice::settleGainLocked() {
    m_gain[0] = m_targetGain[0];
    m_gain[1] = m_targetGain[1];
    m_rampFrames = 0;
}

void Voice::finish() noexcept {
    m_active = false;
    m_position = 0;
    m_positionFrames.store(0, std::memory_order_release);
    m_playing.store(false, std::memory_order_release);
}

void Voice::mixInto(float* stereoOut, int frames, int outputRate, MixScratch& scratch) noexcept {
    if (!m_active)
        return;
    if (m_restart) {
        m_restart = false;
        m_resampling = m_frequency != outputRate;
        m_discardFrames = 0;
        if (m_resampling) {
            src_reset(m_resampler);
            src_set_ratio(m_resampler, static_cast<double>(outputRate) / m_frequency);
        }
    } else if (!m_resampling && m_frequency != outputRate) {
        beginResampling(outputRate);
    }
    if (m_resampling)
        mixResampled(stereoOut, frames, outputRate, scratch);
    else
        mixDirect(stereoOut, frames, scratch);
    if (m_active)
        m_positionFrames.store(m_position, std::memory_order_release);
}

void Voice::mixDirect(float* stereoOut, int frames, MixScratch& scratch) noexcept {
    int done = 0;
    while (done < frames && m_active) {
        const auto count = static_cast<int>(std::min<std::int64_t>(
            {frames - done, m_data->frames - m_position, MixScratch::kInputFrames}));
        m_data->readFloat(m_position, count, scratch.input);
        addWithGain(scratch.input, count, stereoOut + done * 2);
        done += count;
        m_position += count;
        if (m_position >= m_data->frames) {
            if (m_looping)
                m_position = 0;
            else
                finish();
        }
    }
}

void Voice::beginResampling(int outputRate) noexcept {
    const double ratio = static_cast<double>(outputRate) / m_frequency;
    src_reset(m_resampler);
    src_set_ratio(m_resampler, ratio);
    const std::int64_t history = m_looping ? std::min<std::int64_t>(kPrimingFrames, m_data->frames)
                                           : std::min<std::int64_t>(kPrimingFrames, m_position);
    m_position -= history;
    if (m_position < 0)
        m_position += m_data->frames;
    m_discardFrames = std::llround(static_cast<double>(history) * ratio);
    m_resampling = true;
}

int Voice::readInput(float* out, int frames) noexcept {
    int got = 0;
    std::int64_t position = m_position;
    while (got < frames) {
        const auto count =
            static_cast<int>(std::min<std::int64_t>(frames - got, m_data->frames - position));
        if (count <= 0)
            break;
        m_data->readFloat(position, count, out + got * m_data->channels);
        got += count;
        position += count;
        if (position >= m_data->frames) {
            if (!m_looping)
                break;
            position = 0;
        }
    }
    return got;
}

void Voice::mixResampled(float* stereoOut, int frames, int outputRate,
                         MixScratch& scratch) noexcept {
    // libsamplerate allows ratios from 1/256 to 256; the frequency range keeps
    // us well inside them for every real device rate.
    const double ratio =
        std::clamp(static_cast<double>(outputRate) / m_frequency, 1.0 / 256.0, 256.0);
    const int channels = m_data->channels;
    int done = 0;
    while (done < frames && m_active) {
        const int wanted = std::min(frames - done, MixScratch::kOutputFrames);
        int inputFrames = 0;
        if (!m_inputEnded) {
            const auto needed = static_cast<int>(std::ceil(wanted / ratio)) + 32;
            inputFrames = readInput(scratch.input, std::min(needed, MixScratch::kInputFrames));
            m_inputEnded = inputFrames == 0;
        }
        SRC_DATA step{};
        step.data_in = scratch.input;
        step.input_frames = inputFrames;
        step.data_out = scratch.resampled;
        step.output_frames = wanted;
        step.end_of_input = m_inputEnded ? 1 : 0;
        step.src_ratio = ratio;
        if (src_process(m_resampler, &step) != 0) {
            finish();
            return;
        }
        m_position += step.input_frames_used;
        if (m_looping)
            m_position %= m_data->frames;
        const auto produced = static_cast<int>(step.output_frames_gen);
        const auto skipped = static_cast<int>(std::min<std::int64_t>(produced, m_discardFrames));
        m_discardFrames -= skipped;
        addWithGain(scratch.resampled + skipped * channels, produced - skipped,
                    stereoOut + done * 2);
        done += produced - skipped;
        if (produced == 0 && step.input_frames_used == 0) {
            if (m_inputEnded)
                finish();
            return;
        }
    }
}

void Voice::addWithGain(const float* in, int frames, float* stereoOut) noexcept {
    const int channels = m_data->channels;
    for (int i = 0; i < frames; ++i) {
        if (m_rampFrames > 0) {
            m_gain[0] += m_gainStep[0];
            m_gain[1] += m_gainStep[1];
            if (--m_rampFrames == 0) {
                m_gain[0] = m_targetGain[0];
                m_gain[1] = m_targetGain[1];
            }
        }
        const float left = in[i * channels];
        const float right = in[i * channels + channels - 1];
        stereoOut[i * 2] += left * m_gain[0];
        stereoOut[i * 2 + 1] += right * m_gain[1];
    }
}

} // namespace tremlo::sound
