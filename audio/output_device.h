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
// Renders again, with what changed since, as many as it can of the last
// `frames` frames the render callback handed out; answers how many it wrote
// to stereoOut, which then ends where the handed-out frames end (0: nothing
// to write again). Called on the render callback's thread.
using RewriteCallback = std::size_t (*)(void* context, float* stereoOut,
                                        std::size_t frames) noexcept;

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
    // A device that can replace what the server still holds asks `rewrite`
    // (with open()'s context) after a wake() while something sounds, so that
    // a change is heard without waiting behind it. Before open().
    virtual void allowRewrites(RewriteCallback /*rewrite*/) {}
};

} // namespace tremlo::sound
