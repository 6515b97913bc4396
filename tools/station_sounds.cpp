#include "station_sounds.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <sndfile.h>
#include <span>
#include <system_error>
#include <utility>

namespace tremlo::tools {
namespace {

using Signal = std::vector<double>;

constexpr double kPi = std::numbers::pi;
constexpr double kPeak = 0.708;         // -3 dBFS, the same headroom as the demo melodies
constexpr double kAmbiencePeak = 0.251; // -12 dBFS: a bed under the melody, never over it

int framesOf(double seconds) {
    return static_cast<int>(std::lround(seconds * kStationRate));
}

// Raised-cosine step from 0 to 1 as x goes from 0 to 1.
double smoothStep(double x) {
    x = std::clamp(x, 0.0, 1.0);
    return 0.5 - 0.5 * std::cos(kPi * x);
}

double rms(const Signal& signal) {
    double sum = 0.0;
    for (double x : signal) {
        sum += x * x;
    }
    return signal.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(signal.size()));
}

void scaleToRms(Signal& signal, double target) {
    const double current = rms(signal);
    if (current > 0.0) {
        for (double& x : signal) {
            x *= target / current;
        }
    }
}

// Equal-power pan: -1 left, +1 right.
std::pair<double, double> panGains(double pan) {
    const double angle = (pan + 1.0) * kPi / 4.0;
    return {std::cos(angle), std::sin(angle)};
}

// splitmix64: our own generator rather than <random>, whose distributions
// differ between standard libraries and would make the files differ too.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}

    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    // Uniform in [-1, 1).
    double bipolar() { return static_cast<double>(next() >> 11) * 0x1.0p-52 - 1.0; }
    double between(double low, double high) { return low + (high - low) * unit(); }

private:
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }

    std::uint64_t m_state;
};

// A second-order filter from the usual audio cookbook, in transposed direct
// form II.
class Biquad {
public:
    static Biquad lowPass(double hz, double q) {
        const auto [c, a] = shape(hz, q);
        return {(1 - c) / 2, 1 - c, (1 - c) / 2, 1 + a, -2 * c, 1 - a};
    }
    static Biquad highPass(double hz, double q) {
        const auto [c, a] = shape(hz, q);
        return {(1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + a, -2 * c, 1 - a};
    }
    // Unity gain at hz.
    static Biquad bandPass(double hz, double q) {
        const auto [c, a] = shape(hz, q);
        return {a, 0.0, -a, 1 + a, -2 * c, 1 - a};
    }
    // A band-pass that, struck, rings at hz and dies away with the time
    // constant decaySeconds: how we give a click or a drop its material.
    static Biquad ringing(double hz, double decaySeconds) {
        return bandPass(hz, kPi * hz * decaySeconds);
    }

    double operator()(double x) {
        const double y = m_b0 * x + m_z1;
        m_z1 = m_b1 * x - m_a1 * y + m_z2;
        m_z2 = m_b2 * x - m_a2 * y;
        return y;
    }

private:
    Biquad(double b0, double b1, double b2, double a0, double a1, double a2)
        : m_b0(b0 / a0), m_b1(b1 / a0), m_b2(b2 / a0), m_a1(a1 / a0), m_a2(a2 / a0) {}

    static std::pair<double, double> shape(double hz, double q) {
        const double w = 2.0 * kPi * hz / kStationRate;
        return {std::cos(w), std::sin(w) / (2.0 * q)};
    }

    double m_b0, m_b1, m_b2, m_a1, m_a2;
    double m_z1 = 0.0;
    double m_z2 = 0.0;
};

template <typename Filter> void filterInPlace(Signal& signal, Filter filter) {
    for (double& x : signal) {
        x = filter(x);
    }
}

Signal whiteNoise(int frames, Random& random) {
    Signal noise(static_cast<std::size_t>(frames));
    for (double& x : noise) {
        x = random.bipolar();
    }
    return noise;
}

// Filters signal as one period of an endless repetition: a first pass lets
// the filter settle, the second is kept, so the result runs on from its last
// frame into its first just as it would inside the repetition. Every filter
// here settles within a fraction of a second, far inside one pass. (Filtering
// once and crossfading the ends would dip the level at the seam.)
template <typename Filter> Signal cyclicFilter(const Signal& signal, Filter filter) {
    Signal out(signal.size());
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < signal.size(); ++i) {
            out[i] = filter(signal[i]);
        }
    }
    return out;
}

template <typename Filter> Signal cyclicNoise(int frames, Random& random, Filter filter) {
    return cyclicFilter(whiteNoise(frames, random), std::move(filter));
}

// A sine with a whole number of cycles over frames, so it too loops.
double cyclicSine(int frame, int frames, int cycles, double phase) {
    return std::sin(2.0 * kPi * cycles * frame / frames + phase);
}

// Raised-cosine fades at both ends, so a sound starts from silence and
// returns to it without a click of its own.
void fadeEdges(Signal& signal, double inSeconds, double outSeconds) {
    const int frames = static_cast<int>(signal.size());
    const int in = std::max(1, framesOf(inSeconds));
    const int out = std::max(1, framesOf(outSeconds));
    for (int i = 0; i < frames; ++i) {
        signal[static_cast<std::size_t>(i)] *=
            smoothStep(static_cast<double>(i) / in) *
            smoothStep(static_cast<double>(frames - 1 - i) / out);
    }
}

StationSound toSound(std::string fileName, const std::vector<Signal>& channels, double peak,
                     bool loops) {
    double loudest = 0.0;
    for (const Signal& channel : channels) {
        for (double x : channel) {
            loudest = std::max(loudest, std::abs(x));
        }
    }
    const double scale = loudest > 0.0 ? peak * 32767.0 / loudest : 0.0;
    StationSound sound{std::move(fileName), static_cast<int>(channels.size()), loops, {}};
    const std::size_t frames = channels.front().size();
    sound.samples.resize(frames * channels.size());
    for (std::size_t i = 0; i < frames; ++i) {
        for (std::size_t c = 0; c < channels.size(); ++c) {
            sound.samples[i * channels.size() + c] =
                static_cast<std::int16_t>(std::lround(channels[c][i] * scale));
        }
    }
    return sound;
}

// ---------------------------------------------------------------------------
// Door cues: chimes, beeps and a buzzer.

struct Partial {
    double ratio;        // to the note's frequency
    double gain;         // relative to the other partials
    double decaySeconds; // time constant of the exponential decay
};

// A tuned chime bar: the inharmonic modes of a free bar above a clean
// fundamental, the upper ones short-lived.
constexpr std::array kChimeBar = {
    Partial{1.0, 1.0, 1.1},
    Partial{2.0, 0.10, 0.45},
    Partial{2.76, 0.14, 0.30},
    Partial{5.40, 0.05, 0.10},
};

// Adds a struck bar: a 3 ms mallet attack, then every partial decays freely.
void addStrike(Signal& out, double atSeconds, double hz, double gain, double decayScale) {
    const int start = framesOf(atSeconds);
    const int attack = framesOf(0.003);
    for (const Partial& partial : kChimeBar) {
        const double w = 2.0 * kPi * hz * partial.ratio / kStationRate;
        const double r = std::exp(-1.0 / (partial.decaySeconds * decayScale * kStationRate));
        double envelope = gain * partial.gain;
        for (int i = 0; start + i < static_cast<int>(out.size()) && envelope > 1e-6; ++i) {
            out[static_cast<std::size_t>(start + i)] +=
                envelope * smoothStep(static_cast<double>(i) / attack) * std::sin(w * i);
            envelope *= r;
        }
    }
}

// ピン-ポーン: the high bar, then the plunger swings back onto the bar a
// major third lower, which rings on.
void addPingPong(Signal& out, double atSeconds) {
    addStrike(out, atSeconds, 880.0, 0.85, 0.55);
    addStrike(out, atSeconds + 0.42, 698.46, 1.0, 1.0);
}

struct Harmonic {
    int number;
    double gain;
};

// Adds an electronic tone with soft 4 ms edges, so each beep starts and stops
// without a click of its own.
void addTone(Signal& out, double atSeconds, double lengthSeconds, double hz,
             std::span<const Harmonic> harmonics, double gain) {
    const int start = framesOf(atSeconds);
    const int length = framesOf(lengthSeconds);
    const int edge = framesOf(0.004);
    for (int i = 0; i < length && start + i < static_cast<int>(out.size()); ++i) {
        const double envelope = smoothStep(static_cast<double>(i) / edge) *
                                smoothStep(static_cast<double>(length - 1 - i) / edge);
        double sample = 0.0;
        for (const Harmonic& harmonic : harmonics) {
            sample += harmonic.gain * std::sin(2.0 * kPi * hz * harmonic.number * i / kStationRate);
        }
        out[static_cast<std::size_t>(start + i)] += gain * envelope * sample;
    }
}

// The platform door warning: short, bright beeps.
constexpr std::array kBeep = {Harmonic{1, 1.0}, Harmonic{3, 0.12}};

// A train's door chime, sounded three times while its doors close.
StationSound renderDoorChime() {
    Signal chime(static_cast<std::size_t>(framesOf(3.4)), 0.0);
    for (int time = 0; time < 3; ++time) {
        addPingPong(chime, 0.005 + 1.0 * time);
    }
    fadeEdges(chime, 0.0, 0.3);
    return toSound("Door/ドアチャイム.wav", {chime}, kPeak, false);
}

// The old departure buzzer: an electromagnet's armature hammering at twice
// the 50 Hz mains, shaken through a tinny case.
StationSound renderBuzzer() {
    Signal buzz(static_cast<std::size_t>(framesOf(2.4)), 0.0);
    const int start = framesOf(0.01);
    const int length = framesOf(2.0);
    const int edge = framesOf(0.012);
    constexpr double kHz = 100.0;
    for (int i = 0; i < length; ++i) {
        const double envelope = smoothStep(static_cast<double>(i) / edge) *
                                smoothStep(static_cast<double>(length - 1 - i) / edge);
        double sample = 0.0;
        // Spread phases keep the peaks of a rich spectrum down; all in phase,
        // the wave would be one spike a cycle and level badly.
        for (int k = 1; k * kHz < 9000.0; ++k) {
            sample +=
                std::pow(k, -0.8) * std::sin(2.0 * kPi * kHz * k * i / kStationRate + 0.7 * k * k);
        }
        buzz[static_cast<std::size_t>(start + i)] = envelope * sample;
    }
    Biquad caseRing = Biquad::bandPass(1700.0, 3.0);
    Biquad rattle = Biquad::bandPass(3100.0, 5.0);
    for (double& x : buzz) {
        x = 0.5 * x + 1.2 * caseRing(x) + 0.6 * rattle(x);
    }
    fadeEdges(buzz, 0.0, 0.2);
    return toSound("Door/ブザー.wav", {buzz}, kPeak, false);
}

// Platform screen doors: a two-note warble in bursts, until the doors meet.
StationSound renderScreenDoorWarning() {
    Signal warning(static_cast<std::size_t>(framesOf(3.2)), 0.0);
    constexpr std::array kWarble = {Harmonic{1, 1.0}, Harmonic{2, 0.15}, Harmonic{3, 0.08}};
    for (int burst = 0; burst < 4; ++burst) {
        for (int note = 0; note < 8; ++note) {
            const double hz = note % 2 == 0 ? 1318.5 : 1046.5;
            addTone(warning, 0.01 + 0.75 * burst + 0.075 * note, 0.075, hz, kWarble, 1.0);
        }
    }
    fadeEdges(warning, 0.0, 0.15);
    return toSound("Door/ホームドア.wav", {warning}, kPeak, false);
}

// ---------------------------------------------------------------------------
// Ambiences. Each is one period of an endless signal: the noises are filtered
// cyclically, the slow swells have whole numbers of cycles per loop and the
// raindrops that fall near the end ring on into the start. Looping the file
// therefore plays that endless signal, with no seam to hide.

struct Stereo {
    Signal left;
    Signal right;

    explicit Stereo(int frames)
        : left(static_cast<std::size_t>(frames), 0.0),
          right(static_cast<std::size_t>(frames), 0.0) {}
    int frames() const { return static_cast<int>(left.size()); }
};

struct AmbienceRecipe {
    const char* fileName;
    double seconds;
    std::uint64_t seed;
    int talkers;
    double crowdGain;
    // Lights and escalators hum at twice the mains: 100 Hz in the east of the
    // country, 120 Hz in the west.
    double humHz;
    double humGain;
    double rumbleGain; // a train somewhere in the station, once per loop
    double rainGain;
};

// People talking along the platform: each talker is noise shaped by two
// vowel-like bands, switched on and off at syllable rate and drifting in and
// out of earshot; a bed of farther voices keeps the murmur from ever falling
// silent between them.
void addCrowd(Stereo& mix, Random& random, int talkers, double gain) {
    const int frames = mix.frames();
    Stereo crowd(frames);
    for (int talker = 0; talker < talkers; ++talker) {
        const double formant = random.between(320.0, 700.0);
        const double upper = random.between(1100.0, 2000.0);
        Signal voice =
            cyclicNoise(frames, random,
                        [a = Biquad::bandPass(formant, 2.5), b = Biquad::bandPass(upper, 3.0)](
                            double x) mutable { return a(x) + 0.5 * b(x); });
        scaleToRms(voice, 1.0);
        Signal syllables = cyclicNoise(frames, random, Biquad::lowPass(4.5, 0.8));
        scaleToRms(syllables, 1.0);
        const int phraseCycles = 1 + talker % 3;
        const double phase = random.between(0.0, 2.0 * kPi);
        const auto [leftGain, rightGain] = panGains(random.between(-0.8, 0.8));
        for (int i = 0; i < frames; ++i) {
            const auto at = static_cast<std::size_t>(i);
            const double phrase = 0.55 + 0.45 * cyclicSine(i, frames, phraseCycles, phase);
            const double sample = voice[at] * std::max(0.0, syllables[at] - 0.3) * phrase;
            crowd.left[at] += leftGain * sample;
            crowd.right[at] += rightGain * sample;
        }
    }
    for (Signal* channel : {&crowd.left, &crowd.right}) {
        // Far away across the platform the voices lose their highs.
        *channel = cyclicFilter(*channel, Biquad::lowPass(1600.0, 0.7));
        scaleToRms(*channel, 1.0);
        Signal bed = cyclicNoise(frames, random, Biquad::bandPass(450.0, 0.8));
        scaleToRms(bed, 0.5);
        const double phase = random.between(0.0, 2.0 * kPi);
        for (int i = 0; i < frames; ++i) {
            const auto at = static_cast<std::size_t>(i);
            (*channel)[at] += bed[at] * (0.8 + 0.2 * cyclicSine(i, frames, 2, phase));
        }
    }
    for (int i = 0; i < frames; ++i) {
        const auto at = static_cast<std::size_t>(i);
        mix.left[at] += gain * crowd.left[at];
        mix.right[at] += gain * crowd.right[at];
    }
}

void addHum(Stereo& mix, double hz, double gain) {
    const int frames = mix.frames();
    const int cycles = static_cast<int>(std::lround(hz * frames / kStationRate));
    for (int i = 0; i < frames; ++i) {
        const double hum = cyclicSine(i, frames, cycles, 0.0) +
                           0.4 * cyclicSine(i, frames, 2 * cycles, 0.3) +
                           0.15 * cyclicSine(i, frames, 3 * cycles, 1.1);
        mix.left[static_cast<std::size_t>(i)] += gain * hum;
        mix.right[static_cast<std::size_t>(i)] += gain * hum;
    }
}

// A train running in somewhere out of sight: deep rumble swelling to the
// middle of the loop and passing from left to right. The swell is zero at the
// loop point, where the pan jumps back.
void addRumble(Stereo& mix, Random& random, double gain) {
    const int frames = mix.frames();
    Signal rumble =
        cyclicNoise(frames, random,
                    [deep = Biquad::lowPass(70.0, 0.9), body = Biquad::lowPass(160.0, 0.7)](
                        double x) mutable { return deep(x) + 0.35 * body(x); });
    scaleToRms(rumble, 1.0);
    for (int i = 0; i < frames; ++i) {
        const double position = static_cast<double>(i) / frames;
        const double swell = std::pow(0.5 - 0.5 * std::cos(2.0 * kPi * position), 2.0);
        const auto [leftGain, rightGain] = panGains(-0.5 + position);
        const double sample = gain * swell * rumble[static_cast<std::size_t>(i)];
        mix.left[static_cast<std::size_t>(i)] += leftGain * sample;
        mix.right[static_cast<std::size_t>(i)] += rightGain * sample;
    }
}

// Rain on the station roof: a hiss that gusts gently, and single drops
// ringing on the metal, each somewhere between the ears.
void addRain(Stereo& mix, Random& random, double gain) {
    const int frames = mix.frames();
    for (Signal* channel : {&mix.left, &mix.right}) {
        Signal hiss =
            cyclicNoise(frames, random,
                        [hp = Biquad::highPass(1500.0, 0.7), lp = Biquad::lowPass(7000.0, 0.7)](
                            double x) mutable { return lp(hp(x)); });
        scaleToRms(hiss, 1.0);
        const double phase = random.between(0.0, 2.0 * kPi);
        for (int i = 0; i < frames; ++i) {
            const double gust = 0.85 + 0.15 * cyclicSine(i, frames, 2, phase);
            (*channel)[static_cast<std::size_t>(i)] +=
                gain * gust * hiss[static_cast<std::size_t>(i)];
        }
    }

    const int drops = static_cast<int>(60.0 * frames / kStationRate);
    for (int drop = 0; drop < drops; ++drop) {
        const int start = static_cast<int>(random.unit() * frames);
        const double hz = random.between(1800.0, 5000.0);
        const double decaySeconds = random.between(0.002, 0.006);
        const double level = gain * random.between(0.5, 2.5);
        const auto [leftGain, rightGain] = panGains(random.bipolar());
        const int length = framesOf(6.0 * decaySeconds);
        for (int i = 0; i < length; ++i) {
            const double t = static_cast<double>(i) / kStationRate;
            const double sample = level * smoothStep(i / 8.0) * std::exp(-t / decaySeconds) *
                                  std::sin(2.0 * kPi * hz * t);
            const auto at = static_cast<std::size_t>((start + i) % frames);
            mix.left[at] += leftGain * sample;
            mix.right[at] += rightGain * sample;
        }
    }
}

StationSound renderAmbienceFrom(const AmbienceRecipe& recipe) {
    Stereo mix(framesOf(recipe.seconds));
    Random random(recipe.seed);
    addCrowd(mix, random, recipe.talkers, recipe.crowdGain);
    addHum(mix, recipe.humHz, recipe.humGain);
    addRumble(mix, random, recipe.rumbleGain);
    if (recipe.rainGain > 0.0) {
        addRain(mix, random, recipe.rainGain);
    }
    return toSound(recipe.fileName, {mix.left, mix.right}, kAmbiencePeak, true);
}

constexpr AmbienceRecipe kStation{"envir.wav", 9.0, 0xE4E1, 7, 1.0, 100.0, 0.05, 0.6, 0.0};
constexpr AmbienceRecipe kBusyPlatform{
    "Envir/ホーム.wav", 10.0, 0x4011E, 11, 1.0, 120.0, 0.04, 1.0, 0.0};
constexpr AmbienceRecipe kRainyStation{
    "Envir/雨の駅.wav", 8.0, 0xA3E, 4, 0.45, 100.0, 0.03, 0.3, 0.5};

bool writeWave(const std::filesystem::path& path, const StationSound& sound, std::string& error) {
    SF_INFO info{};
    info.samplerate = kStationRate;
    info.channels = sound.channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        error = "cannot create " + path.string() + ": " + sf_strerror(nullptr);
        return false;
    }
    const auto count = static_cast<sf_count_t>(sound.frames());
    const bool written = sf_writef_short(file, sound.samples.data(), count) == count;
    if (!written) {
        error = "cannot write " + path.string() + ": " + sf_strerror(file);
    }
    sf_close(file);
    return written;
}

} // namespace

// ---------------------------------------------------------------------------
// The switch: a spring-loaded key snapping back against its stop.

StationSound renderSwitchClick() {
    Signal excitation(static_cast<std::size_t>(framesOf(0.06)), 0.0);
    Random random(0x5A17C4);
    // The latch letting go, the key striking its stop, and one small rebound.
    struct Strike {
        double atSeconds;
        double gain;
    };
    const int burst = framesOf(0.0004);
    for (const Strike strike : {Strike{0.0005, 0.55}, Strike{0.0085, 1.0}, Strike{0.0150, 0.22}}) {
        const int start = framesOf(strike.atSeconds);
        for (int i = 0; i < burst; ++i) {
            const double window = std::sin(kPi * (i + 0.5) / burst);
            excitation[static_cast<std::size_t>(start + i)] +=
                strike.gain * window * random.bipolar();
        }
    }

    // The plastic key and the metal case ring briefly at their own pitches;
    // without these modes the burst is a bare tick with no material to it.
    struct Mode {
        double hz;
        double decaySeconds;
        double gain;
    };
    constexpr std::array kModes = {
        Mode{210.0, 0.007, 0.35},   Mode{1350.0, 0.005, 0.45},  Mode{2870.0, 0.0035, 1.0},
        Mode{4420.0, 0.0022, 0.70}, Mode{6900.0, 0.0012, 0.40},
    };
    Signal click(excitation.size(), 0.0);
    for (const Mode& mode : kModes) {
        Biquad ring = Biquad::ringing(mode.hz, mode.decaySeconds);
        // A ring struck by a short burst sounds at a level that falls as its
        // decay time grows; this takes that out, so the gains above say how
        // loud each mode is.
        const double level = mode.gain * mode.decaySeconds * kStationRate / 2.0;
        for (std::size_t i = 0; i < click.size(); ++i) {
            click[i] += level * ring(excitation[i]);
        }
    }
    Biquad tick = Biquad::highPass(3000.0, 0.7);
    for (std::size_t i = 0; i < click.size(); ++i) {
        click[i] += 1.0 * tick(excitation[i]);
    }
    fadeEdges(click, 0.0, 0.02);
    return toSound("switch.wav", {click}, kPeak, false);
}

// The door-closing cue after the melody: one ピンポーン, then the warning beeps.
StationSound renderDoorCue() {
    Signal cue(static_cast<std::size_t>(framesOf(3.6)), 0.0);
    addPingPong(cue, 0.005);
    for (int beep = 0; beep < 8; ++beep) {
        addTone(cue, 1.5 + 0.22 * beep, 0.12, 1800.0, kBeep, 0.5);
    }
    fadeEdges(cue, 0.0, 0.3);
    return toSound("Door/ドア警告音.wav", {cue}, kPeak, false);
}

// ---------------------------------------------------------------------------
// The loudspeaker being keyed: a pop, then a moment of crackling static.

StationSound renderNoiseBurst() {
    Signal burst(static_cast<std::size_t>(framesOf(0.45)), 0.0);
    Random random(0xB0B);

    // The amplifier's output stepping on: a fast rise and an exponential fall,
    // which the loudspeaker (below) turns into a thump with an undershoot.
    const int popStart = framesOf(0.004);
    for (int i = 0; popStart + i < static_cast<int>(burst.size()); ++i) {
        const double t = static_cast<double>(i) / kStationRate;
        burst[static_cast<std::size_t>(popStart + i)] +=
            (1.0 - std::exp(-t / 0.0005)) * std::exp(-t / 0.015) +
            0.5 * std::exp(-t / 0.002) * random.bipolar();
    }

    // Static that swells in, flutters and falls away, with crackles and a
    // little mains hum riding on it.
    Biquad flutterFilter = Biquad::lowPass(25.0, 0.7);
    for (int i = 0; i < static_cast<int>(burst.size()); ++i) {
        const double t = static_cast<double>(i) / kStationRate;
        const double envelope = smoothStep((t - 0.008) / 0.02) * smoothStep((0.42 - t) / 0.14);
        const double flutter = 1.0 + 8.0 * flutterFilter(random.bipolar());
        const double crackle = random.unit() < 250.0 / kStationRate
                                   ? random.bipolar() * random.between(1.0, 4.0)
                                   : 0.0;
        const double hum = 0.2 * std::sin(2.0 * kPi * 50.0 * t) +
                           0.3 * std::sin(2.0 * kPi * 100.0 * t) +
                           0.15 * std::sin(2.0 * kPi * 150.0 * t);
        burst[static_cast<std::size_t>(i)] +=
            envelope * (0.3 * flutter * random.bipolar() + crackle + 0.15 * hum);
    }

    // A horn loudspeaker passes only the middle of the band.
    filterInPlace(burst, [hp = Biquad::highPass(250.0, 0.8), lp = Biquad::lowPass(5000.0, 0.9),
                          horn = Biquad::bandPass(2200.0, 1.2)](double x) mutable {
        const double band = lp(hp(x));
        return band + 0.6 * horn(band);
    });
    fadeEdges(burst, 0.002, 0.02);
    return toSound("b.wav", {burst}, kPeak, false);
}

StationSound renderAmbience() {
    return renderAmbienceFrom(kStation);
}

std::vector<StationSound> renderStationSounds() {
    std::vector<StationSound> sounds;
    sounds.push_back(renderSwitchClick());
    sounds.push_back(renderDoorCue());
    sounds.push_back(renderNoiseBurst());
    sounds.push_back(renderAmbience());
    sounds.push_back(renderDoorChime());
    sounds.push_back(renderBuzzer());
    sounds.push_back(renderScreenDoorWarning());
    sounds.push_back(renderAmbienceFrom(kBusyPlatform));
    sounds.push_back(renderAmbienceFrom(kRainyStation));
    return sounds;
}

bool writeStationSound(const std::filesystem::path& folder, const StationSound& sound,
                       std::string& error) {
    std::error_code code;
    const std::filesystem::path path = folder / sound.fileName;
    std::filesystem::create_directories(path.parent_path(), code);
    if (code) {
        error = "cannot make " + path.parent_path().string() + ": " + code.message();
        return false;
    }
    // Written under a temporary name first, so an interrupted build never
    // leaves a half-written file that looks up to date.
    std::filesystem::path partial = path;
    partial += ".part";
    if (!writeWave(partial, sound, error)) {
        return false;
    }
    std::filesystem::rename(partial, path, code);
    if (code) {
        error = "cannot rename " + partial.string() + ": " + code.message();
        return false;
    }
    return true;
}

bool writeStationSounds(const std::filesystem::path& folder, std::string& error) {
    // The folder first: a build that cannot write should not render first.
    std::error_code code;
    std::filesystem::create_directories(folder, code);
    if (code) {
        error = "cannot make " + folder.string() + ": " + code.message();
        return false;
    }
    for (const StationSound& sound : renderStationSounds()) {
        if (!writeStationSound(folder, sound, error))
            return false;
    }
    return true;
}

} // namespace tremlo::tools
