#include "period_steps.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tremlo::sound {
namespace {

constexpr auto kLateSpellWindow = std::chrono::seconds(10);

} // namespace

PeriodSteps::PeriodSteps(int firstFrames, int longestFrames, int watchesWhileSounding,
                         std::chrono::seconds calmBeforeShorter)
    : m_firstFrames(firstFrames), m_longestFrames(longestFrames),
      m_watchesWhileSounding(watchesWhileSounding), m_calmBeforeShorter(calmBeforeShorter) {}

void PeriodSteps::noteLate(Clock::time_point now) {
    m_lastLateSpell = now;
    // The shorter period was still too short.
    if (m_shortened && now - m_periodChanged < m_calmBeforeShorter)
        m_calmBeforeShorter = std::min(2 * m_calmBeforeShorter, kLongestCalm);
    m_shortened = false;
    if (m_lateSpells == 0 || now - m_firstLateSpell > kLateSpellWindow) {
        m_firstLateSpell = now;
        m_lateSpells = 0;
    }
    ++m_lateSpells;
}

int PeriodSteps::next(int current, bool quiet, Clock::time_point now) {
    if (m_lateSpells > 0 && (quiet || m_lateSpells >= m_watchesWhileSounding)) {
        m_lateSpells = 0;
        return std::min(2 * current, std::max(current, m_longestFrames));
    }
    if (quiet && current > m_firstFrames && calmSince(now))
        return std::max(current / 2, m_firstFrames);
    return current;
}

void PeriodSteps::noteChange(int from, int to, Clock::time_point now) {
    m_periodChanged = now;
    m_shortened = to < from;
}

void PeriodSteps::reportOpened(int rate, int periodFrames) {
    std::fprintf(stderr, "tremolo: sound at %d Hz in periods of %d frames\n", rate, periodFrames);
}

void PeriodSteps::reportChange(int from, int to, std::uint64_t underruns, bool busy) const {
    if (to < from)
        std::fprintf(stderr,
                     "tremolo: no late periods for %lld s, sound now in periods of %d frames\n",
                     static_cast<long long>(m_calmBeforeShorter.count()), to);
    else if (busy && underruns == 0)
        std::fprintf(stderr, "tremolo: every processor busy, sound now in periods of %d frames\n",
                     to);
    else
        std::fprintf(stderr, "tremolo: %llu late periods, sound now in periods of %d frames\n",
                     static_cast<unsigned long long>(underruns), to);
}

int PeriodSteps::firstFramesFromEnvironment(int shortest) {
    const char* text = std::getenv("SDL_AUDIO_SAMPLES");
    const long frames = text ? std::strtol(text, nullptr, 10) : 0;
    return frames >= 32 && frames <= 8192 ? static_cast<int>(frames) : shortest;
}

bool PeriodSteps::calmSince(Clock::time_point now) const {
    return now - m_lastLateSpell >= m_calmBeforeShorter &&
           now - m_periodChanged >= m_calmBeforeShorter;
}

bool ProcessorLoad::saturated() {
    std::FILE* stat = std::fopen("/proc/stat", "r");
    if (!stat)
        return false;
    unsigned long long user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0,
                       steal = 0;
    const int read = std::fscanf(stat, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &user, &nice,
                                 &system, &idle, &iowait, &irq, &softirq, &steal);
    std::fclose(stat);
    if (read < 4)
        return false;
    const Times now{user + nice + system + irq + softirq + steal,
                    user + nice + system + idle + iowait + irq + softirq + steal};
    // The first verdict after a quarter second, so that a machine busy from
    // the start is answered before the first press; then over a second.
    const Times before = m_taken < static_cast<int>(m_looks.size()) ? m_looks[0] : m_looks[m_next];
    m_looks[m_next] = now;
    m_next = (m_next + 1) % m_looks.size();
    if (++m_taken < 2 || now.total <= before.total)
        return false;
    return (now.busy - before.busy) * 10 >= (now.total - before.total) * 9;
}

} // namespace tremlo::sound
