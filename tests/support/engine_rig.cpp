#include "engine_rig.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace tremlo::test {

using sound::test::makeSine;

namespace {

SoundHandle loadTone(sound::SoundLibrary& library, double hz, int ms, int rate) {
    const auto wave = makeSine(hz, std::int64_t{rate} * ms / 1000, rate, 1, kToneAmplitude);
    return library.dsCreateDSB(wave.data(), wave.size(), 1);
}

} // namespace

EngineRig::EngineRig(EngineRigOptions rigOptions) : options(std::move(rigOptions)) {
    auto offline = std::make_unique<sound::OfflineDevice>(options.rate, 256);
    device = offline.get();
    sound::SoundLibraryOptions libraryOptions;
    libraryOptions.soundFontPath = options.soundFontPath;
    libraryOptions.loadSoundFontNow = !options.holdSoundFont;
    libraryOptions.holdSoundFont = options.holdSoundFont;
    m_library = std::make_unique<sound::SoundLibrary>(std::move(offline), libraryOptions);
    m_library->dsInit2(0, 2);
    m_library->dsInitMusic();
    time.attachDevice(device, options.rate, options.capture);

    settings = defaultSettings("/nonexistent");
    state.DoorBuffer = loadTone(*m_library, kDoorHz, options.doorMs, options.rate);
    state.NoiseBuffer = loadTone(*m_library, kNoiseHz, options.noiseMs, options.rate);
    state.ClickBuffer = loadTone(*m_library, kClickHz, options.clickMs, options.rate);
    m_engine = std::make_unique<MelodyEngine>(settings, state, *m_library, time, time,
                                              EngineViews{view, view});
    // As loading the settings does.
    m_engine->Timer1().setInterval(settings.DoorDelay + 1);
}

void EngineRig::unloadMelody() {
    // As a load does before it puts the new melody in place.
    state.RunOutActive = false;
    m_library->dsStopMusicSegment(state.MelodySegment);
    m_library->dsStop(state.MelodyBuffer);
    m_library->dsSetMasterVolume(0);
    m_library->dsSetVolume(state.MelodyBuffer, 0);
    m_library->dsFreeMusicSegment(state.MelodySegment);
    m_library->dsFree(state.MelodyBuffer);
    view.setOnPicture(OnPicture::imgOnA);
    view.setOffPicture(OffPicture::imgOffA);
    state.OnButtonDown = false;
    state.OnSwitchState = SwitchPosition::Off;
    state.OffButtonDown = false;
}

void EngineRig::loadWaveMelody(int lengthMs) {
    unloadMelody();
    state.MelodyBuffer = loadTone(*m_library, kMelodyHz, lengthMs, options.rate);
}

void EngineRig::loadMidiMelody(int lengthMs) {
    unloadMelody();
    // A held organ note for the whole pass, at 120 bpm (one beat is 500 ms).
    const auto ticks = static_cast<std::uint32_t>(lengthMs * 480 / 500);
    auto file = std::make_unique<sound::test::TempFile>(sound::test::MidiWriter()
                                                            .event(0, {0xC0, 19})
                                                            .event(0, {0x90, 60, 100})
                                                            .event(ticks, {0x80, 60, 0})
                                                            .end(0)
                                                            .save());
    state.MelodySegment = m_library->dsLoadMusicSegment(file->path(), 32);
    m_files.push_back(std::move(file));
}

double EngineRig::toneDb(double hz, std::int64_t fromMs, std::int64_t toMs, int channel) const {
    // Goertzel: the amplitude of one frequency in the window.
    const auto& out = time.captured();
    const auto from = static_cast<std::size_t>(fromMs * options.rate / 1000);
    const auto to = std::min(static_cast<std::size_t>(toMs * options.rate / 1000), out.size() / 2);
    if (to <= from)
        return -std::numeric_limits<double>::infinity();
    const double w = 2 * std::numbers::pi * hz / options.rate;
    double s1 = 0, s2 = 0;
    for (std::size_t i = from; i < to; ++i) {
        const double s0 = out[i * 2 + channel] + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
    const double amplitude = 2 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(to - from);
    return 20 * std::log10(amplitude / kToneAmplitude);
}

double EngineRig::rmsAt(std::int64_t fromMs, std::int64_t toMs, int channel) const {
    const auto& out = time.captured();
    const auto from = static_cast<std::size_t>(fromMs * options.rate / 1000);
    const auto to = std::min(static_cast<std::size_t>(toMs * options.rate / 1000), out.size() / 2);
    return sound::test::rms(out, channel, from, std::max(from, to));
}

} // namespace tremlo::test
