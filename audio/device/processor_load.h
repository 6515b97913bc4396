#pragma once

// Whether every processor of the machine has been kept busy for the last
// second, from /proc/stat: the server's stream answers a machine that busy
// before it breaks a sound up, rather than after (docs/audio-periods.md).
//
// Thread: the device's watching thread.

#include <array>
#include <cstddef>
#include <cstdint>

namespace tremlo::sound {

class ProcessorLoad {
public:
    // Time the processors spent, in the kernel's ticks since boot: `busy`
    // counts all but idle and I/O wait (the host's steal included).
    struct Times {
        std::uint64_t busy = 0;
        std::uint64_t total = 0;
    };

    // One look, every quarter second or so; true when the processors were
    // busy for nine tenths of the time since the look four before (since
    // the first, before there are four).
    bool saturated();
    // The same verdict on times given rather than read.
    bool saturatedAt(Times now);

private:
    std::array<Times, 4> m_looks{};
    std::size_t m_next = 0;
    int m_taken = 0;
};

} // namespace tremlo::sound
