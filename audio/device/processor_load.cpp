#include "processor_load.h"

#include <cstdio>

namespace tremlo::sound {

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
    return saturatedAt({user + nice + system + irq + softirq + steal,
                        user + nice + system + idle + iowait + irq + softirq + steal});
}

bool ProcessorLoad::saturatedAt(Times now) {
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
