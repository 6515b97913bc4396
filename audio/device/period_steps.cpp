#include "period_steps.h"

#include "device_tuning.h"

#include <algorithm>

namespace tremlo::sound {

PeriodSteps::PeriodSteps(int firstFrames, int lateWatchesWhileSounding,
                         std::chrono::seconds calmBeforeShorter)
    : m_firstFrames(firstFrames), m_lateWatchesWhileSounding(lateWatchesWhileSounding),
      m_calmBeforeShorter(calmBeforeShorter) {}

int PeriodSteps::look(std::uint64_t lateCount, bool busy, int current, bool quiet,
                      Clock::time_point now) {
    m_lateSeen = lateCount;
    m_busySeen = busy;
    if (lateCount != m_lateAnswered || busy) {
        m_lateAnswered = lateCount;
        noteLate(now);
    }
    if (m_lateSpells > 0 && (quiet || m_lateSpells >= m_lateWatchesWhileSounding)) {
        m_lateSpells = 0;
        return std::min(2 * current, std::max(current, tuning::kLongestFrames));
    }
    if (quiet && current > m_firstFrames && calmSince(now))
        return std::max(current / 2, m_firstFrames);
    return current;
}

void PeriodSteps::noteLate(Clock::time_point now) {
    m_lastLateSpell = now;
    // The shorter period was still too short.
    if (m_shortened && now - m_periodChanged < m_calmBeforeShorter)
        m_calmBeforeShorter = std::min(2 * m_calmBeforeShorter, tuning::kLongestCalm);
    m_shortened = false;
    if (m_lateSpells == 0 || now - m_firstLateSpell > tuning::kLateSpellWindow) {
        m_firstLateSpell = now;
        m_lateSpells = 0;
    }
    ++m_lateSpells;
}

bool PeriodSteps::calmSince(Clock::time_point now) const {
    return now - m_lastLateSpell >= m_calmBeforeShorter &&
           now - m_periodChanged >= m_calmBeforeShorter;
}

std::string PeriodSteps::changed(int from, int to, Clock::time_point now) {
    m_periodChanged = now;
    m_shortened = to < from;
    const std::string period = "sound now in periods of " + std::to_string(to) + " frames";
    if (to < from)
        return "tremolo: no late periods for " + std::to_string(m_calmBeforeShorter.count()) +
               " s, " + period;
    if (m_busySeen && m_lateSeen == 0)
        return "tremolo: every processor busy, " + period;
    return "tremolo: " + std::to_string(m_lateSeen) + " late periods, " + period;
}

std::string PeriodSteps::opened(int rate, int periodFrames) {
    return "tremolo: sound at " + std::to_string(rate) + " Hz in periods of " +
           std::to_string(periodFrames) + " frames";
}

bool serverRequestLate(PeriodSteps::Clock::duration sinceLastRequest, std::int64_t heldFrames,
                       std::int64_t sinkFrames, int rate, bool sounding) {
    const std::int64_t lastsFrames =
        std::max<std::int64_t>(heldFrames, 0) + std::max<std::int64_t>(sinkFrames, 0);
    const auto lateAfter =
        std::chrono::microseconds(lastsFrames * 1'000'000 / rate) + tuning::kServerRequestJitter;
    return sounding && sinceLastRequest > lateAfter;
}

int sdlServerBufferMsec(int periodFrames, int rate) {
    return static_cast<int>((std::int64_t{periodFrames} * 3 * 1000 / 2 + rate - 1) / rate);
}

PeriodSteps::Clock::duration sdlCallbackLateAfter(int periodFrames, int rate, int bufferMsec) {
    const std::int64_t periodUs = std::int64_t{periodFrames} * 1'000'000 / rate;
    const std::int64_t heldUs = std::max(periodUs, std::int64_t{bufferMsec} * 1000);
    return std::chrono::microseconds(heldUs) + tuning::kSinkAhead;
}

} // namespace tremlo::sound
