#pragma once

// The period policy both output devices follow: when late periods make a
// device take a longer period, when a calm lets it take a shorter one again,
// and what counts as late. Plain decisions on the time points given, so they
// can be tested without a device or a clock (docs/audio-periods.md).
//
// Thread: only the device's watching thread.

#include "device_tuning.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace tremlo::sound {

// What a device is made with; tests choose.
struct PeriodChoice {
    // 0: the device's environment variable's, else the shortest.
    int firstFrames = 0;
    std::chrono::seconds calmBeforeShorter = tuning::kCalmBeforeShorter;
    // Whether a machine whose processors are all busy counts as late (the
    // server's stream): not for a test on a machine that others keep busy.
    bool busyCountsAsLate = true;
};

class PeriodSteps {
public:
    using Clock = std::chrono::steady_clock;

    // `lateWatchesWhileSounding`: how many watches that found new late
    // periods, within the spell window, lengthen the period while a sound
    // plays (one look is enough while all is quiet).
    PeriodSteps(int firstFrames, int lateWatchesWhileSounding,
                std::chrono::seconds calmBeforeShorter);

    // One look of the device's watch: `lateCount` is the device's running
    // count of late periods, `busy` whether every processor has been busy.
    // The period to take now; `current` to keep it.
    int look(std::uint64_t lateCount, bool busy, int current, bool quiet, Clock::time_point now);
    // The late periods counted so far are no sign of a slow machine (a server
    // that went away kept the device waiting).
    void forgive(std::uint64_t lateCount) { m_lateAnswered = lateCount; }
    // The device took `to` in place of `from`, as look() asked. Returns the
    // line a user and the benchmarks read on standard error.
    std::string changed(int from, int to, Clock::time_point now);
    // The line for the rate and the period a device opened with.
    static std::string opened(int rate, int periodFrames);

private:
    void noteLate(Clock::time_point now);
    bool calmSince(Clock::time_point now) const;

    const int m_firstFrames;
    const int m_lateWatchesWhileSounding;
    std::uint64_t m_lateAnswered = 0;
    // What the last look found, for the line changed() returns.
    std::uint64_t m_lateSeen = 0;
    bool m_busySeen = false;
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

// The server's stream: a request late enough to have been heard, one that
// came after the one before later than all the server held then (its target
// length and what the sink had taken ahead) would have lasted, while a sound
// played. A request that came late while the server still held enough, or
// over silence, broke nothing up: a machine that is merely busy is answered
// through its load, not through such requests.
bool serverRequestLate(PeriodSteps::Clock::duration sinceLastRequest, std::int64_t heldFrames,
                       std::int64_t sinkFrames, int rate, bool sounding);

// SDL's stream: the target length the device asks the server to hold, one and
// a half periods rounded up to a millisecond, and how long after one
// callback the next may begin before the server has run dry.
int sdlServerBufferMsec(int periodFrames, int rate);
PeriodSteps::Clock::duration sdlCallbackLateAfter(int periodFrames, int rate, int bufferMsec);

} // namespace tremlo::sound
