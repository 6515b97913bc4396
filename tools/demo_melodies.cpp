#include "demo_melodies.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <numbers>
#include <sndfile.h>
#include <span>
#include <system_error>

namespace tremlo::tools {
namespace {

// ---------------------------------------------------------------------------
// The chime: additive bells, rendered straight into one loop's worth of frames.

// 140 beats a minute makes an eighth note a whole number of frames at 44.1 kHz,
// so every onset falls on an exact frame and the loop length is exact too.
constexpr int kEighthFrames = kChimeRate * 60 / 140 / 2;
constexpr int kLoopEighths = 32;
constexpr int kLoopFrames = kEighthFrames * kLoopEighths;
static_assert(kEighthFrames * 140 * 2 == kChimeRate * 60);

// Mallet strike: long enough to take the step out of the first sample, short
// enough to keep the attack crisp.
constexpr int kAttackFrames = kChimeRate * 2 / 1000;
// Whatever still rings near the loop end is damped over this span, the way a
// player stops a vibraphone bar, so the buffer ends in silence.
constexpr int kDampFrames = kChimeRate / 5;

// A ping-pong echo one dotted eighth late gives the dry bells some room.
constexpr int kEchoFrames = kEighthFrames * 3 / 2;
constexpr double kEchoFirstGain = 0.24;
constexpr double kEchoSecondGain = 0.12;

constexpr double kPeak = 0.708; // -3 dBFS leaves headroom for the mixer

struct Partial {
    double ratio;        // to the note's fundamental
    double gain;         // relative to the other partials of the timbre
    double decaySeconds; // time constant of the exponential decay at 523 Hz
};

// A vibraphone-like bar. The fundamental is split into a slightly detuned pair,
// as on a real bell, so long notes shimmer instead of sounding like a test tone.
constexpr std::array kBell = {
    Partial{1.0, 0.60, 0.95}, Partial{1.0016, 0.40, 0.80}, Partial{2.0, 0.22, 0.40},
    Partial{3.0, 0.08, 0.30}, Partial{4.0, 0.18, 0.22},    Partial{6.25, 0.05, 0.10},
    Partial{9.1, 0.03, 0.05},
};
// Glockenspiel: the inharmonic upper partials of a steel bar, short-lived.
constexpr std::array kGlockenspiel = {
    Partial{1.0, 1.0, 0.60},
    Partial{2.76, 0.30, 0.20},
    Partial{5.40, 0.12, 0.08},
    Partial{8.93, 0.05, 0.04},
};
// Marimba: a wooden bar with its overtones tuned near 4 and 10 times the fundamental.
constexpr std::array kMarimba = {
    Partial{1.0, 1.0, 0.55},
    Partial{3.93, 0.20, 0.10},
    Partial{9.2, 0.05, 0.04},
};
// A soft, nearly pure chime for the off-beat chords.
constexpr std::array kSoftChime = {
    Partial{1.0, 1.0, 0.45},
    Partial{2.0, 0.15, 0.20},
    Partial{3.0, 0.05, 0.10},
};

struct ChimeNote {
    int startEighth;
    int key; // MIDI key number
    double gain;
    double pan; // -1 left, +1 right
    std::span<const Partial> timbre;
};

std::vector<ChimeNote> chimeScore() {
    std::vector<ChimeNote> notes;
    auto melody = [&](int eighth, int key) { notes.push_back({eighth, key, 1.0, -0.1, kBell}); };
    auto sparkle = [&](int eighth, int key) {
        notes.push_back({eighth, key, 0.22, 0.45, kGlockenspiel});
    };
    auto bass = [&](int eighth, int key) { notes.push_back({eighth, key, 0.55, -0.3, kMarimba}); };
    auto chord = [&](int eighth, std::initializer_list<int> keys) {
        for (int key : keys) {
            notes.push_back({eighth, key, 0.16, 0.25, kSoftChime});
        }
    };

    // D major. Bar 1: rising call; bar 2: step down to the dominant; bar 3: the
    // subdominant answer; bar 4: cadence home, the last D left to ring.
    for (auto [eighth, key] : std::initializer_list<std::pair<int, int>>{
             {0, 81},  {2, 78},  {3, 81},  {4, 86},  {7, 85},               // A F# A D' C#'
             {8, 83},  {9, 81},  {10, 79}, {11, 78}, {12, 76}, {14, 69},    // B A G F# E A,
             {16, 71}, {17, 74}, {18, 79}, {20, 78}, {21, 76}, {22, 78},    // B D G F# E F#
             {23, 81}, {24, 79}, {25, 76}, {26, 73}, {27, 76}, {28, 74}}) { // A G E C# E D
        melody(eighth, key);
    }
    sparkle(0, 93);
    sparkle(4, 98);
    sparkle(16, 95);
    sparkle(28, 98);

    bass(0, 50);
    bass(4, 45);
    bass(8, 43);
    bass(12, 45);
    bass(16, 43);
    bass(20, 45);
    bass(24, 45);
    bass(28, 50);

    chord(2, {66, 69, 74});
    chord(6, {66, 69, 74});
    chord(10, {67, 71, 74});
    chord(14, {69, 73, 76});
    chord(18, {67, 71, 74});
    chord(22, {69, 73, 76});
    chord(26, {67, 73, 76});
    return notes;
}

double keyToHz(int key) {
    return 440.0 * std::pow(2.0, (key - 69) / 12.0);
}

// Raised-cosine step from 0 to 1 as x goes from 0 to 1.
double smoothStep(double x) {
    x = std::clamp(x, 0.0, 1.0);
    return 0.5 - 0.5 * std::cos(std::numbers::pi * x);
}

// Gain that holds at 1 and falls smoothly to 0 at endFrame.
double damper(int frame, int endFrame) {
    return smoothStep(static_cast<double>(endFrame - frame) / kDampFrames);
}

// Adds one struck note into the stereo buffers, damped to silence by the loop end.
void addNote(const ChimeNote& note, std::vector<double>& left, std::vector<double>& right) {
    const double hz = keyToHz(note.key);
    // Higher bars ring shorter; 523 Hz is where the timbres' decay times hold.
    const double decayScale = std::pow(523.25 / hz, 0.35);
    const int start = note.startEighth * kEighthFrames;
    const int frames = kLoopFrames - start;

    std::vector<double> tone(static_cast<std::size_t>(frames), 0.0);
    for (const Partial& partial : note.timbre) {
        const double w = 2.0 * std::numbers::pi * hz * partial.ratio / kChimeRate;
        if (w >= 0.9 * std::numbers::pi) {
            continue; // would alias
        }
        const double decayFrames = partial.decaySeconds * decayScale * kChimeRate;
        const double r = std::exp(-1.0 / decayFrames);
        // Until -80 dB: past that a partial adds nothing audible.
        const int length = std::min(frames, static_cast<int>(decayFrames * 9.2) + 1);
        // A damped sine by its two-term recurrence: exact, and far cheaper than
        // calling sin and exp per sample, which keeps the build step quick.
        const double c1 = 2.0 * r * std::cos(w);
        const double c2 = r * r;
        double previous = 0.0;
        double current = r * std::sin(w);
        for (int i = 1; i < length; ++i) {
            tone[static_cast<std::size_t>(i)] += partial.gain * current;
            const double next = c1 * current - c2 * previous;
            previous = current;
            current = next;
        }
    }

    const double angle = (note.pan + 1.0) * std::numbers::pi / 4.0;
    const double leftGain = note.gain * std::cos(angle);
    const double rightGain = note.gain * std::sin(angle);
    for (int i = 0; i < frames; ++i) {
        const double envelope =
            smoothStep(static_cast<double>(i) / kAttackFrames) * damper(start + i, kLoopFrames);
        const double sample = tone[static_cast<std::size_t>(i)] * envelope;
        const int at = start + i;
        left[static_cast<std::size_t>(at)] += sample * leftGain;
        right[static_cast<std::size_t>(at)] += sample * rightGain;
    }
}

// The echo is fed only from what sounds before the last two echo delays, and
// that feed fades out smoothly: every echo then ends inside the loop, so
// nothing has to wrap round to the start and the first pass begins clean.
void addEcho(std::vector<double>& left, std::vector<double>& right) {
    const int feedEnd = kLoopFrames - 2 * kEchoFrames;
    std::vector<double> feedLeft(left.size());
    std::vector<double> feedRight(right.size());
    for (int i = 0; i < kLoopFrames; ++i) {
        const double gain = damper(i, feedEnd);
        feedLeft[static_cast<std::size_t>(i)] = left[static_cast<std::size_t>(i)] * gain;
        feedRight[static_cast<std::size_t>(i)] = right[static_cast<std::size_t>(i)] * gain;
    }
    for (int i = kEchoFrames; i < kLoopFrames; ++i) {
        const auto once = static_cast<std::size_t>(i - kEchoFrames);
        left[static_cast<std::size_t>(i)] += kEchoFirstGain * feedRight[once];
        right[static_cast<std::size_t>(i)] += kEchoFirstGain * feedLeft[once];
        if (i >= 2 * kEchoFrames) {
            const auto twice = static_cast<std::size_t>(i - 2 * kEchoFrames);
            left[static_cast<std::size_t>(i)] += kEchoSecondGain * feedLeft[twice];
            right[static_cast<std::size_t>(i)] += kEchoSecondGain * feedRight[twice];
        }
    }
}

// ---------------------------------------------------------------------------
// A tiny standard MIDI file writer: no running status, which every reader
// accepts, and events kept in a fixed order within a tick (settings, then
// note-offs, then note-ons) so a repeated key is released before it is struck.

class SmfTrack {
public:
    explicit SmfTrack(std::string_view name) {
        meta(0, 0x03, std::vector<std::uint8_t>(name.begin(), name.end()));
    }

    void tempo(std::uint32_t tick, double beatsPerMinute) {
        const auto microsPerBeat = static_cast<std::uint32_t>(std::lround(60e6 / beatsPerMinute));
        meta(tick, 0x51,
             {static_cast<std::uint8_t>(microsPerBeat >> 16),
              static_cast<std::uint8_t>(microsPerBeat >> 8),
              static_cast<std::uint8_t>(microsPerBeat)});
    }
    void timeSignature(std::uint32_t tick, std::uint8_t beats, std::uint8_t beatPowerOfTwo) {
        meta(tick, 0x58, {beats, beatPowerOfTwo, 24, 8});
    }
    void keySignature(std::uint32_t tick, std::int8_t sharps, bool minor) {
        meta(tick, 0x59,
             {static_cast<std::uint8_t>(sharps), minor ? std::uint8_t{1} : std::uint8_t{0}});
    }
    void program(std::uint32_t tick, std::uint8_t channel, std::uint8_t program) {
        add(tick, kSetting, {static_cast<std::uint8_t>(0xC0 | channel), program});
    }
    void control(std::uint32_t tick, std::uint8_t channel, std::uint8_t controller,
                 std::uint8_t value) {
        add(tick, kSetting, {static_cast<std::uint8_t>(0xB0 | channel), controller, value});
    }
    void note(std::uint32_t tick, std::uint32_t lengthTicks, std::uint8_t channel, std::uint8_t key,
              std::uint8_t velocity) {
        add(tick, kNoteOn, {static_cast<std::uint8_t>(0x90 | channel), key, velocity});
        add(tick + lengthTicks, kNoteOff, {static_cast<std::uint8_t>(0x80 | channel), key, 0});
    }

    // The whole MTrk chunk, closed by end-of-track at endTick or after the
    // last event, whichever is later.
    std::vector<std::uint8_t> chunk(std::uint32_t endTick) const {
        std::vector<Event> events = m_events;
        std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
            return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
        });
        std::vector<std::uint8_t> body;
        std::uint32_t now = 0;
        for (const Event& event : events) {
            appendVariableLength(body, event.tick - now);
            body.insert(body.end(), event.data.begin(), event.data.end());
            now = event.tick;
        }
        appendVariableLength(body, std::max(endTick, now) - now);
        body.insert(body.end(), {0xFF, 0x2F, 0x00});

        std::vector<std::uint8_t> out = {'M', 'T', 'r', 'k'};
        appendBigEndian(out, static_cast<std::uint32_t>(body.size()), 4);
        out.insert(out.end(), body.begin(), body.end());
        return out;
    }

    static void appendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
        for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
            out.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    }

private:
    enum Order { kSetting, kNoteOff, kNoteOn };
    struct Event {
        std::uint32_t tick;
        Order order;
        std::vector<std::uint8_t> data;
    };

    void add(std::uint32_t tick, Order order, std::vector<std::uint8_t> data) {
        m_events.push_back({tick, order, std::move(data)});
    }
    void meta(std::uint32_t tick, std::uint8_t type, std::vector<std::uint8_t> payload) {
        std::vector<std::uint8_t> data = {0xFF, type};
        appendVariableLength(data, static_cast<std::uint32_t>(payload.size()));
        data.insert(data.end(), payload.begin(), payload.end());
        add(tick, kSetting, std::move(data));
    }

    std::vector<Event> m_events;
};

bool writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    return static_cast<bool>(file);
}

bool writeWave(const std::filesystem::path& path, const std::vector<std::int16_t>& frames,
               std::string& error) {
    SF_INFO info{};
    info.samplerate = kChimeRate;
    info.channels = kChimeChannels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        error = "cannot create " + path.string() + ": " + sf_strerror(nullptr);
        return false;
    }
    const auto count = static_cast<sf_count_t>(frames.size() / kChimeChannels);
    const bool written = sf_writef_short(file, frames.data(), count) == count;
    if (!written) {
        error = "cannot write " + path.string() + ": " + sf_strerror(file);
    }
    sf_close(file);
    return written;
}

// Writes under a temporary name first, so an interrupted build never leaves a
// half-written file that looks up to date.
template <typename Write>
bool replaceFile(const std::filesystem::path& path, std::string& error, Write write) {
    std::filesystem::path partial = path;
    partial += ".part";
    if (!write(partial)) {
        if (error.empty()) {
            error = "cannot write " + partial.string();
        }
        return false;
    }
    std::error_code code;
    std::filesystem::rename(partial, path, code);
    if (code) {
        error = "cannot rename " + partial.string() + ": " + code.message();
        return false;
    }
    return true;
}

} // namespace

void appendVariableLength(std::vector<std::uint8_t>& out, std::uint32_t value) {
    value = std::min<std::uint32_t>(value, 0x0FFFFFFF);
    std::array<std::uint8_t, 4> groups{};
    int count = 0;
    do {
        groups[static_cast<std::size_t>(count++)] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1) {
        out.push_back(groups[static_cast<std::size_t>(--count)] | 0x80);
    }
    out.push_back(groups[0]);
}

std::vector<std::int16_t> renderChimeMelody(int semitones) {
    std::vector<double> left(kLoopFrames, 0.0);
    std::vector<double> right(kLoopFrames, 0.0);
    for (ChimeNote note : chimeScore()) {
        note.key += semitones;
        addNote(note, left, right);
    }
    addEcho(left, right);

    double peak = 0.0;
    for (int i = 0; i < kLoopFrames; ++i) {
        peak = std::max({peak, std::abs(left[static_cast<std::size_t>(i)]),
                         std::abs(right[static_cast<std::size_t>(i)])});
    }
    const double scale = peak > 0.0 ? kPeak * 32767.0 / peak : 0.0;
    std::vector<std::int16_t> frames(static_cast<std::size_t>(kLoopFrames) * kChimeChannels);
    for (int i = 0; i < kLoopFrames; ++i) {
        frames[2 * static_cast<std::size_t>(i)] =
            static_cast<std::int16_t>(std::lround(left[static_cast<std::size_t>(i)] * scale));
        frames[2 * static_cast<std::size_t>(i) + 1] =
            static_cast<std::int16_t>(std::lround(right[static_cast<std::size_t>(i)] * scale));
    }
    return frames;
}

std::vector<std::uint8_t> composeDepartureMidi() {
    constexpr std::uint16_t kDivision = 480;
    constexpr std::uint32_t kEighth = kDivision / 2;
    constexpr std::uint32_t kEnd = 32 * kEighth; // four bars of 4/4

    // Tempo track: a brisk 120, then the last bar broadens in two steps so the
    // phrase settles before it starts again.
    SmfTrack conductor("Departure melody");
    conductor.timeSignature(0, 4, 2);
    conductor.keySignature(0, 1, false); // G major
    conductor.tempo(0, 120.0);
    conductor.tempo(24 * kEighth, 108.0);
    conductor.tempo(28 * kEighth, 92.0);

    constexpr std::uint8_t kMelody = 0;
    constexpr std::uint8_t kBells = 2;
    SmfTrack melody("Vibraphone");
    melody.program(0, kMelody, 11); // vibraphone
    melody.control(0, kMelody, 7, 110);
    melody.control(0, kMelody, 10, 56);
    melody.control(0, kMelody, 91, 64);
    melody.program(0, kBells, 14); // tubular bells, for the closing note
    melody.control(0, kBells, 7, 84);
    melody.control(0, kBells, 10, 72);
    melody.control(0, kBells, 91, 80);
    // G B D' C' B A | B G E F# G A | D' C' B A G A B | A F# A G
    for (auto [eighth, length, key] : std::initializer_list<std::array<std::uint32_t, 3>>{
             {0, 1, 79},  {1, 1, 83},  {2, 2, 86},  {4, 1, 84},  {5, 1, 83},  {6, 2, 81},
             {8, 1, 83},  {9, 1, 79},  {10, 2, 76}, {12, 1, 78}, {13, 1, 79}, {14, 2, 81},
             {16, 1, 86}, {17, 1, 84}, {18, 1, 83}, {19, 1, 81}, {20, 1, 79}, {21, 1, 81},
             {22, 2, 83}, {24, 2, 81}, {26, 1, 78}, {27, 1, 81}, {28, 4, 79}}) {
        const std::uint8_t velocity = eighth % 4 == 0 ? 100 : 84; // lean on the beats
        melody.note(eighth * kEighth, length * kEighth - kEighth / 8, kMelody,
                    static_cast<std::uint8_t>(key), velocity);
    }
    melody.note(28 * kEighth, 4 * kEighth, kBells, 67, 72);

    constexpr std::uint8_t kPad = 1;
    SmfTrack accompaniment("Warm pad");
    accompaniment.program(0, kPad, 89); // warm pad
    accompaniment.control(0, kPad, 7, 72);
    accompaniment.control(0, kPad, 10, 76);
    accompaniment.control(0, kPad, 91, 90);
    // G D | Em D | C G/B | D7 G, a half note each, the root an octave below.
    for (auto [eighth, root, chord] : std::initializer_list<
             std::tuple<std::uint32_t, std::uint8_t, std::array<std::uint8_t, 3>>>{
             {0, 43, {55, 59, 62}},
             {4, 38, {54, 57, 62}},
             {8, 40, {52, 55, 59}},
             {12, 38, {54, 57, 62}},
             {16, 36, {52, 55, 60}},
             {20, 35, {50, 55, 59}},
             {24, 38, {54, 57, 60}},
             {28, 43, {55, 59, 62}}}) {
        accompaniment.note(eighth * kEighth, 4 * kEighth, kPad, root, 40);
        for (std::uint8_t key : chord) {
            accompaniment.note(eighth * kEighth, 4 * kEighth, kPad, key, 48);
        }
    }

    std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd'};
    SmfTrack::appendBigEndian(file, 6, 4);
    SmfTrack::appendBigEndian(file, 1, 2); // type 1: tracks play together
    SmfTrack::appendBigEndian(file, 3, 2);
    SmfTrack::appendBigEndian(file, kDivision, 2);
    for (const SmfTrack* track : {&conductor, &melody, &accompaniment}) {
        const std::vector<std::uint8_t> chunk = track->chunk(kEnd);
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    return file;
}

bool writeDemoMelodies(const std::filesystem::path& folder, std::string& error) {
    std::error_code code;
    std::filesystem::create_directories(folder, code);
    if (code) {
        error = "cannot make " + folder.string() + ": " + code.message();
        return false;
    }
    const std::vector<std::int16_t> chime = renderChimeMelody();
    if (!replaceFile(folder / "demo.wav", error, [&](const std::filesystem::path& path) {
            return writeWave(path, chime, error);
        })) {
        return false;
    }
    const std::vector<std::uint8_t> midi = composeDepartureMidi();
    return replaceFile(folder / "demo.mid", error,
                       [&](const std::filesystem::path& path) { return writeBytes(path, midi); });
}

} // namespace tremlo::tools
