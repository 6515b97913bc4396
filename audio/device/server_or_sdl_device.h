#pragma once

// The output the program plays through: the sound server's own stream when a
// PulseAudio server (or PipeWire's pulse server) answers, else SDL's, which
// also reaches ALSA and the other servers SDL knows. TREMLO_AUDIO=sdl takes
// SDL's even where a server answers, to compare the two.
//
// Thread: the library's thread.

#include "output_device.h"

#include <memory>

namespace tremlo::sound {

class ServerOrSdlDevice : public OutputDevice {
public:
    ServerOrSdlDevice();
    ~ServerOrSdlDevice() override;

    int open(RenderCallback callback, void* context) override;
    void start() override;
    void close() override;
    int periodFrames() const override;
    void wake() override;
    void allowRewrites(RewriteCallback rewrite) override;

private:
    std::unique_ptr<OutputDevice> m_server;
    std::unique_ptr<OutputDevice> m_sdl;
    OutputDevice* m_active = nullptr;
};

} // namespace tremlo::sound
