#pragma once

// Milliseconds on a clock that only goes forward: the remotes' rate limits
// and hold times read it; tests give their own.
//
// Thread: any.

#include <cstdint>
#include <functional>

namespace tremlo::remote {

using Clock = std::function<std::int64_t()>;

// The system's monotonic clock.
Clock steadyClock();

} // namespace tremlo::remote
