#pragma once

// The place where mixed sound goes. The library owns one device: dsInit2 opens
// and starts it, dsQuit closes it. A device calls the render callback on its
// own thread (a real device) or when asked (the offline device), always for
// interleaved stereo float frames at the rate that open() reported. The
// callback answers false when what it rendered is silence and nothing is left
// to sound until the library starts something again, which it announces with
// wake().

#include <cstddef>

namespace tremlo::sound {

using RenderCallback = bool (*)(void* context, float* stereoOut, std::size_t frames) noexcept;

class OutputDevice {
public:
    virtual ~OutputDevice() = default;
    // Returns the rate in frames per second, or 0 when no output can be opened.
    // The callback is not called before start().
    virtual int open(RenderCallback callback, void* context) = 0;
    virtual void start() = 0;
    // After close() returns the callback is not running and will not be called again.
    virtual void close() = 0;
    // Frames per callback (the audio period).
    virtual int periodFrames() const = 0;
    // Something has just been started; a device that stopped asking for
    // periods while all was quiet asks again. Cheap enough for every play.
    virtual void wake() {}
};

} // namespace tremlo::sound
