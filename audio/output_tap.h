#pragma once

// Something that hears the output exactly as the device gets it: each
// period's final samples, interleaved stereo float at the device's rate, in
// the order the device plays them. The recorder is one.
//
// Thread: deliver() runs on the audio thread, so it must not wait, allocate
// or touch a file; it is over before SoundLibrary::setOutputTap returns with
// another tap.

#include <cstddef>

namespace tremlo::sound {

class OutputTap {
public:
    virtual void deliver(const float* stereo, std::size_t frames) noexcept = 0;

protected:
    ~OutputTap() = default;
};

} // namespace tremlo::sound
