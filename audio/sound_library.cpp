#include "sound_library.h"

#include "mixer.h"
#include "music_part.h"
#include "wave_loader.h"

#include <limits>

namespace tremlo::sound {
namespace {

std::int32_t millisecondsOf(std::int64_t frames, int rate) {
    if (rate <= 0)
        return 0;
    const std::int64_t ms = frames * 1000 / rate;
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(ms, std::numeric_limits<std::int32_t>::max()));
}

} // namespace

SoundLibrary::SoundLibrary(std::unique_ptr<OutputDevice> device, SoundLibraryOptions options)
    : m_device(std::move(device)), m_mixer(std::make_unique<Mixer>()),
      m_options(std::move(options)) {
    m_music = std::make_unique<MusicPart>(*m_mixer, m_options.soundFontPath,
                                          m_options.loadSoundFontNow, m_options.holdSoundFont);
}

SoundLibrary::~SoundLibrary() {
    dsQuit();
    m_music.reset();
}

std::int32_t SoundLibrary::dsInit2(std::intptr_t, std::int32_t) {
    if (m_rate != 0)
        return 1;
    m_device->allowRewrites(&Mixer::rewriteCallback);
    const int rate = m_device->open(&Mixer::renderCallback, m_mixer.get());
    if (rate <= 0)
        return 0;
    {
        std::lock_guard guard(m_mixer->lock());
        m_mixer->setOutputRateLocked(rate);
    }
    m_rate = rate;
    m_device->start();
    return 1;
}

std::int32_t SoundLibrary::dsInitMusic() {
    // Before the device is open the synthesizer is made for the rate most
    // sound servers run at.
    return m_music->init(m_rate != 0 ? m_rate : 48000) ? 1 : 0;
}

void SoundLibrary::dsQuitMusic() {
    m_music->quit();
}

void SoundLibrary::dsQuit() {
    if (m_rate == 0)
        return;
    m_device->close();
    m_rate = 0;
    m_music->quit();
    m_music->freeAll();
    for (auto& slot : m_mixer->voicesLocked())
        slot.object.reset();
}

void SoundLibrary::dsSetGlobalFocus(std::int32_t) {}

void SoundLibrary::setOutputTap(OutputTap* tap) {
    m_mixer->setOutputTap(tap);
    if (tap && m_rate != 0)
        m_device->wake();
}

SoundHandle SoundLibrary::dsCreateDSB(const void* waveFile, std::size_t bytes, std::int32_t) {
    if (!waveFile || bytes == 0)
        return 0;
    return createBuffer(decodeWave({static_cast<const std::uint8_t*>(waveFile), bytes}));
}

SoundHandle SoundLibrary::createBuffer(std::shared_ptr<const SampleData> samples) {
    if (!samples)
        return 0;
    auto voice = Voice::create(std::move(samples));
    if (!voice)
        return 0;
    std::lock_guard guard(m_mixer->lock());
    return m_mixer->voicesLocked().add(std::move(voice));
}

void SoundLibrary::dsFree(SoundHandle& handle) {
    std::unique_ptr<Voice> released;
    {
        std::lock_guard guard(m_mixer->lock());
        released = m_mixer->voicesLocked().remove(handle);
    }
    handle = 0;
}

void SoundLibrary::dsPlay(SoundHandle handle) {
    if (Voice* voice = m_mixer->findVoice(handle)) {
        {
            std::lock_guard guard(m_mixer->lock());
            voice->playLocked(false);
            voice->setHeldLocked(m_holdingStarts);
        }
        started();
    }
}

void SoundLibrary::dsPlayEx(SoundHandle handle, std::int32_t volume, std::int32_t, std::int32_t) {
    if (Voice* voice = m_mixer->findVoice(handle)) {
        {
            std::lock_guard guard(m_mixer->lock());
            voice->setVolumeLocked(volume);
            voice->playLocked(false);
            voice->setHeldLocked(m_holdingStarts);
        }
        started();
    }
}

void SoundLibrary::dsPlayLooping(SoundHandle handle) {
    if (Voice* voice = m_mixer->findVoice(handle)) {
        {
            std::lock_guard guard(m_mixer->lock());
            voice->playLocked(true);
            voice->setHeldLocked(m_holdingStarts);
        }
        started();
    }
}

void SoundLibrary::dsStop(SoundHandle handle) {
    changeVoice(
        m_mixer->findVoice(handle), [](Voice& voice, std::int64_t) { voice.stopLocked(); }, 0);
}

std::int32_t SoundLibrary::dsIsPlaying(SoundHandle handle) const {
    const Voice* voice = m_mixer->findVoice(handle);
    return voice && voice->isPlaying() ? 1 : 0;
}

void SoundLibrary::dsSetVolume(SoundHandle handle, std::int32_t volume) {
    changeVoice(
        m_mixer->findVoice(handle),
        [](Voice& voice, std::int64_t value) { voice.setVolumeLocked(static_cast<int>(value)); },
        volume);
}

void SoundLibrary::dsSetPan(SoundHandle handle, std::int32_t pan) {
    changeVoice(
        m_mixer->findVoice(handle),
        [](Voice& voice, std::int64_t value) { voice.setPanLocked(static_cast<int>(value)); }, pan);
}

void SoundLibrary::dsSetFrequency(SoundHandle handle, std::int32_t samplesPerSecond) {
    if (Voice* voice = m_mixer->findVoice(handle)) {
        std::lock_guard guard(m_mixer->lock());
        voice->setFrequencyLocked(samplesPerSecond);
    }
}

void SoundLibrary::dsSetPositionMSec(SoundHandle handle, std::int32_t ms) {
    if (Voice* voice = m_mixer->findVoice(handle)) {
        const std::int64_t frame =
            static_cast<std::int64_t>(ms < 0 ? 0 : ms) * voice->data().samplesPerSecond / 1000;
        changeVoice(
            voice, [](Voice& voice, std::int64_t value) { voice.setPositionLocked(value); }, frame);
    }
}

std::int32_t SoundLibrary::dsGetPositionMSec(SoundHandle handle) const {
    const Voice* voice = m_mixer->findVoice(handle);
    return voice ? millisecondsOf(voice->positionFrames(), voice->data().samplesPerSecond) : 0;
}

std::int32_t SoundLibrary::dsGetBufferMSec(SoundHandle handle) const {
    const Voice* voice = m_mixer->findVoice(handle);
    return voice ? millisecondsOf(voice->data().frames, voice->data().samplesPerSecond) : 0;
}

void SoundLibrary::dsGetFormat(SoundHandle handle, WaveFormat& format) const {
    if (const Voice* voice = m_mixer->findVoice(handle)) {
        format.channels = voice->data().channels;
        format.bitsPerSample = voice->data().bitsPerSample;
        format.samplesPerSecond = voice->data().samplesPerSecond;
        format.codec = voice->data().codec;
    }
}

void SoundLibrary::dsSetMasterVolume(std::int32_t volume) {
    m_music->setMasterVolume(volume);
}

SoundHandle SoundLibrary::dsLoadMusicSegment(const std::string& path, std::int32_t) {
    return m_music->load(path);
}

void SoundLibrary::dsPlayMusicSegment(SoundHandle handle, std::int32_t) {
    m_music->play(handle, m_holdingStarts);
    started();
}

void SoundLibrary::dsStopMusicSegment(SoundHandle handle) {
    m_music->stop(handle);
}

void SoundLibrary::dsFreeMusicSegment(SoundHandle& handle) {
    m_music->free(handle);
}

std::int32_t SoundLibrary::dsIsPlayingMusicSegment(SoundHandle handle) const {
    return m_music->isPlaying(handle) ? 1 : 0;
}

std::int32_t SoundLibrary::dsGetLengthMSec(SoundHandle handle) const {
    return m_music->lengthMs(handle);
}

std::int32_t SoundLibrary::dsGetSeekMSec(SoundHandle handle) const {
    return m_music->seekMs(handle);
}

int SoundLibrary::outputRate() const {
    return m_rate;
}

int SoundLibrary::periodFrames() const {
    return m_rate != 0 ? m_device->periodFrames() : 0;
}

bool SoundLibrary::musicReady() const {
    return m_music->ready();
}

bool SoundLibrary::waitForMusic() {
    return m_music->waitForSynth();
}

std::int32_t SoundLibrary::playbackFrequency(SoundHandle handle) const {
    const Voice* voice = m_mixer->findVoice(handle);
    return voice ? voice->frequency() : 0;
}

std::int32_t SoundLibrary::passEndMSec(SoundHandle handle) const {
    return m_music->passEndMs(handle);
}

std::uint64_t SoundLibrary::missedPeriods() const {
    return m_mixer->missedPeriods();
}

std::uint64_t SoundLibrary::resampledBlocks() const {
    return m_mixer->resampledBlocks();
}

void SoundLibrary::releaseSoundFont() {
    m_music->release();
}

bool SoundLibrary::holdStarts() {
    if (m_holdingStarts)
        return false;
    m_holdingStarts = true;
    return true;
}

void SoundLibrary::releaseStarts() {
    if (!m_holdingStarts)
        return;
    m_holdingStarts = false;
    bool released = m_changedWhileHolding;
    m_changedWhileHolding = false;
    {
        std::lock_guard guard(m_mixer->lock());
        released = m_mixer->releaseHeldLocked() || released;
    }
    if (released)
        m_device->wake();
}

// A change to what sounds now is written over what the server holds, as a
// start is; one to a silent voice waits for nothing.
void SoundLibrary::changeVoice(Voice* voice, void (*change)(Voice&, std::int64_t),
                               std::int64_t value) {
    if (!voice)
        return;
    bool pending = false;
    {
        std::lock_guard guard(m_mixer->lock());
        change(*voice, value);
        pending = voice->changesLocked() != 0;
    }
    if (pending)
        started();
}

void SoundLibrary::started() {
    if (!m_holdingStarts)
        m_device->wake();
    else
        m_changedWhileHolding = true;
}

} // namespace tremlo::sound
