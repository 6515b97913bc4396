#pragma once

// Something that hears the output exactly as the device plays it:
// interleaved stereo float at the device's rate, in order, each frame once
// nothing can write it again (Mixer::setOutputTap). The recorder is one.
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
