#pragma once

// When an output device takes a longer period, and when it goes back to a
// shorter one.
//
// Late periods (underruns) make the period twice as long, up to the longest.
// A device whose change of period makes a short silence waits for a quiet
// period, unless late periods keep coming while a sound plays and break it
// worse; a device that changes without a gap takes the longer one at once.
// After a long calm, with nothing sounding, the device tries the shorter
// period again, never shorter than the one it began with, and waits twice as
// long the next time if that was too soon, so a machine that stays busy is
// not taken up and down.
//
// Thread: only the device's watching thread.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace tremlo::sound {

class PeriodSteps {
public:
    using Clock = std::chrono::steady_clock;

    // 128 frames answer a press 2 to 3 ms sooner through SDL, but on a quiet
    // two-core machine their callbacks came late in 5 runs of 6 of
    // bench/press_latency.py, with a server buffer of 4 to 6 ms, and the
    // device stepped up, once as far as 1024 frames. SDL_AUDIO_SAMPLES=128
    // still asks for them.
    static constexpr int kShortestFrames = 256;
    // Two busy cores of a two-core machine made dropouts at 512 frames and
    // none at 1024 (bench/dropout_bench.py --period).
    static constexpr int kLongestFrames = 1024;

    // After a longer period was taken, this long with no late period, and
    // nothing sounding, the device tries the shorter one again.
    static constexpr std::chrono::seconds kCalmBeforeShorter{60};
    static constexpr std::chrono::seconds kLongestCalm{32 * 60};

    // `watchesWhileSounding`: how many watches that found new late periods,
    // within a few seconds, lengthen the period while a sound plays.
    PeriodSteps(int firstFrames, int longestFrames, int watchesWhileSounding,
                std::chrono::seconds calmBeforeShorter);

    // A watch found late periods the one before had not.
    void noteLate(Clock::time_point now);
    // The period to take now: `current` to keep it.
    int next(int current, bool quiet, Clock::time_point now);
    // The device changed from one period to the other, as next() asked.
    void noteChange(int from, int to, Clock::time_point now);

    // On standard error, where the benchmarks and a user read it: the
    // period a device opened with, and each change next() asked for (from
    // late periods, from processors all `busy`, or after a calm).
    static void reportOpened(int rate, int periodFrames);
    void reportChange(int from, int to, std::uint64_t underruns, bool busy) const;

    // SDL's variable for the period, read by either device: it sets the
    // first period tried, for a machine known to need a longer one and for
    // measuring one period against another.
    static int firstFramesFromEnvironment(int shortest);

private:
    bool calmSince(Clock::time_point now) const;

    const int m_firstFrames;
    const int m_longestFrames;
    const int m_watchesWhileSounding;
    // Watches that found late periods since the first of them, which began
    // the spell a longer period answers; while there are any, a longer
    // period is wanted.
    int m_lateSpells = 0;
    Clock::time_point m_firstLateSpell;
    // When a late period was last found and the period last changed, whether
    // that change shortened it, and the calm the next shortening waits for.
    Clock::time_point m_lastLateSpell;
    Clock::time_point m_periodChanged;
    bool m_shortened = false;
    std::chrono::seconds m_calmBeforeShorter;
};

// Whether every processor of the machine has been kept busy for the last
// second, from /proc/stat. Two programs keeping both processors of a
// two-processor machine busy made underruns at periods of 256 and 512
// frames and none at 1024 (bench/dropout_bench.py), some seconds apart: a
// machine that busy is answered before it breaks a sound up, rather than
// after. Busy counts the time the virtual machine's host took (steal).
class ProcessorLoad {
public:
    // One look, every quarter second or so; true when the processors were
    // busy for nine tenths of the time since the look four before (since
    // the first, before there are four).
    bool saturated();

private:
    struct Times {
        std::uint64_t busy = 0;
        std::uint64_t total = 0;
    };
    std::array<Times, 4> m_looks{};
    std::size_t m_next = 0;
    int m_taken = 0;
};

} // namespace tremlo::sound
