#include "music_part.h"

#include "midi_file.h"
#include "segment_file.h"

#include <dlfcn.h>
#include <filesystem>
#include <fluidsynth.h>
#include <fstream>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace tremlo::sound {
namespace {

// A melody file larger than this is not a melody.
constexpr std::uintmax_t kMaxMusicFileBytes = 64u << 20;

std::vector<std::uint8_t> readWholeFile(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > kMaxMusicFileBytes)
        return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
        return {};
    return bytes;
}

void silenceFluidLog() {
    // FluidSynth would print from the audio thread; the library reports
    // failures through its return values instead.
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
        fluid_set_log_function(level, nullptr, nullptr);
}

// The SoundFont loads while the program starts up, and must not take the
// processor from it: the loading thread runs at a lower priority, and the
// OpenMP threads FluidSynth would spread its sample conversion over (one per
// core) are kept to the loading thread.
void yieldToTheWindows() {
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
}

// OpenMP comes with FluidSynth, so this follows the first call into it.
void keepOpenMpToThisThread() {
    void* openMp = dlopen("libgomp.so.1", RTLD_NOW | RTLD_NOLOAD);
    if (!openMp)
        return;
    using SetThreads = void (*)(int);
    if (auto setThreads = reinterpret_cast<SetThreads>(dlsym(openMp, "omp_set_num_threads")))
        setThreads(1);
    dlclose(openMp);
}

} // namespace

std::string findSoundFont() {
    // FluidR3 is the fuller General MIDI set when the user has it installed;
    // default-GM follows Debian's own choice; TimGM6mb is what set-up installs.
    static const char* const kCandidates[] = {
        "/usr/share/sounds/sf2/FluidR3_GM.sf2",
        "/usr/share/sounds/sf2/default-GM.sf2",
        "/usr/share/sounds/sf2/TimGM6mb.sf2",
        "/usr/share/soundfonts/default.sf2",
    };
    for (const char* candidate : kCandidates) {
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error))
            return candidate;
    }
    return {};
}

MusicPart::MusicPart(Mixer& mixer, std::string soundFontPath, bool loadNow, bool held)
    : m_mixer(mixer), m_soundFontPath(std::move(soundFontPath)), m_loadNow(loadNow),
      m_gate(held ? Gate::Held : Gate::Open) {}

MusicPart::~MusicPart() {
    {
        // A load still held never starts: the program is ending.
        std::lock_guard guard(m_gateLock);
        if (m_gate == Gate::Held)
            m_gate = Gate::Closed;
    }
    m_gateChanged.notify_all();
    if (m_loader.joinable())
        m_loader.join();
    {
        std::lock_guard guard(m_mixer.lock());
        m_mixer.sequencerLocked().stopLocked();
        m_mixer.sequencerLocked().setSynthLocked(nullptr);
    }
    if (m_synth)
        delete_fluid_synth(m_synth);
    if (m_settings)
        delete_fluid_settings(m_settings);
}

bool MusicPart::init(int outputRate) {
    if (m_failed.load(std::memory_order_acquire))
        return false;
    if (m_soundFontPath.empty())
        m_soundFontPath = findSoundFont();
    std::error_code error;
    if (m_soundFontPath.empty() || !std::filesystem::is_regular_file(m_soundFontPath, error))
        return false;
    if (!m_loader.joinable() && !m_synth) {
        if (m_loadNow) {
            if (!loadSynth(outputRate))
                return false;
        } else {
            m_loader = std::thread([this, outputRate] {
                if (!waitForGate())
                    return;
                yieldToTheWindows();
                loadSynth(outputRate);
            });
        }
    }
    m_open = true;
    return true;
}

void MusicPart::release() {
    {
        std::lock_guard guard(m_gateLock);
        if (m_gate == Gate::Held)
            m_gate = Gate::Open;
    }
    m_gateChanged.notify_all();
}

bool MusicPart::waitForSynth() {
    release();
    if (m_loader.joinable())
        m_loader.join();
    return ready();
}

bool MusicPart::waitForGate() {
    std::unique_lock guard(m_gateLock);
    m_gateChanged.wait(guard, [this] { return m_gate != Gate::Held; });
    return m_gate == Gate::Open;
}

bool MusicPart::loadSynth(int outputRate) {
    // The first call into FluidSynth: it opens the library, on this thread.
    silenceFluidLog();
    keepOpenMpToThisThread();
    fluid_settings_t* settings = new_fluid_settings();
    if (!settings) {
        m_failed.store(true, std::memory_order_release);
        return false;
    }
    fluid_settings_setnum(settings, "synth.sample-rate", outputRate);
    fluid_settings_setnum(settings, "synth.gain", 0.5);
    fluid_settings_setint(settings, "synth.chorus.active", 0);
    // Segments play on performance channels far above 16. Idle channels cost
    // a few hundred bytes each and no rendering time, so the synthesizer has
    // all of them from the start instead of being rebuilt for a segment.
    fluid_settings_setint(settings, "synth.midi-channels", kSynthChannels);
    // Every call into the synthesizer happens under the mixer lock already.
    fluid_settings_setint(settings, "synth.threadsafe-api", 0);
    fluid_synth_t* synth = new_fluid_synth(settings);
    if (!synth || fluid_synth_sfload(synth, m_soundFontPath.c_str(), 1) == FLUID_FAILED) {
        if (synth)
            delete_fluid_synth(synth);
        delete_fluid_settings(settings);
        m_failed.store(true, std::memory_order_release);
        return false;
    }
    m_settings = settings;
    m_synth = synth;
    {
        std::lock_guard guard(m_mixer.lock());
        m_mixer.sequencerLocked().setSynthLocked(synth);
    }
    m_ready.store(true, std::memory_order_release);
    return true;
}

void MusicPart::quit() {
    m_open = false;
    std::lock_guard guard(m_mixer.lock());
    m_mixer.sequencerLocked().stopLocked();
}

std::int32_t MusicPart::load(const std::string& path) {
    // A melody the synthesizer will never play is not loaded, so nothing
    // lights up for it.
    if (m_failed.load(std::memory_order_acquire))
        return 0;
    const auto bytes = readWholeFile(path);
    if (bytes.empty())
        return 0;
    // Told apart by content rather than by the file's ending, which users
    // change by hand.
    auto sequence = isSegmentFile(bytes) ? readSegmentFile(bytes) : readMidiFile(bytes);
    if (!sequence)
        return 0;
    keepToWhatTheSynthPlaysWithoutAllocating(*sequence);
    return m_segments.add(std::make_unique<const Sequence>(std::move(*sequence)));
}

void MusicPart::free(std::int32_t& handle) {
    std::unique_ptr<const Sequence> released;
    {
        std::lock_guard guard(m_mixer.lock());
        if (m_segments.find(handle) && m_mixer.sequencer().playingHandle() == handle)
            m_mixer.sequencerLocked().stopLocked();
        released = m_segments.remove(handle);
    }
    handle = 0;
}

void MusicPart::freeAll() {
    {
        std::lock_guard guard(m_mixer.lock());
        m_mixer.sequencerLocked().stopLocked();
    }
    for (auto& slot : m_segments)
        slot.object.reset();
}

void MusicPart::play(std::int32_t handle, bool held) {
    const Sequence* sequence = m_segments.find(handle);
    if (!sequence || !m_open)
        return;
    std::lock_guard guard(m_mixer.lock());
    m_mixer.sequencerLocked().playLocked(sequence, handle);
    m_mixer.sequencerLocked().setHeldLocked(held);
}

void MusicPart::stop(std::int32_t handle) {
    if (!isPlaying(handle))
        return;
    std::lock_guard guard(m_mixer.lock());
    m_mixer.sequencerLocked().stopLocked();
}

bool MusicPart::isPlaying(std::int32_t handle) const {
    return m_segments.find(handle) && m_mixer.sequencer().playingHandle() == handle;
}

std::int32_t MusicPart::lengthMs(std::int32_t handle) const {
    const Sequence* sequence = m_segments.find(handle);
    return sequence ? static_cast<std::int32_t>(sequence->lengthUs / 1000) : 0;
}

std::int32_t MusicPart::seekMs(std::int32_t handle) const {
    if (!isPlaying(handle))
        return 0;
    const auto& sequencer = m_mixer.sequencer();
    return static_cast<std::int32_t>(sequencer.positionFrames() * 1000 / sequencer.outputRate());
}

std::int32_t MusicPart::passEndMs(std::int32_t handle) const {
    const Sequence* sequence = m_segments.find(handle);
    if (!sequence)
        return 0;
    return static_cast<std::int32_t>(
        (hasLoop(*sequence) ? sequence->loopEndUs : sequence->lengthUs) / 1000);
}

void MusicPart::setMasterVolume(int volume) {
    std::lock_guard guard(m_mixer.lock());
    m_mixer.sequencerLocked().setMasterVolumeLocked(volume);
}

} // namespace tremlo::sound
