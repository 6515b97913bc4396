#pragma once

// The output the program plays through: PipeWire's own stream where a
// PipeWire daemon answers with a sink in its graph, else the PulseAudio
// server's stream, else SDL's, which also reaches ALSA and the other servers
// SDL knows. TREMLO_AUDIO (device_tuning.h) takes one of them even where
// another answers, to compare them.
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
    // Tried in this order; each made when the one before could not open.
    std::unique_ptr<OutputDevice> m_pipeWire;
    std::unique_ptr<OutputDevice> m_pulse;
    std::unique_ptr<OutputDevice> m_sdl;
    OutputDevice* m_active = nullptr;
    RewriteCallback m_rewrite = nullptr;
};

} // namespace tremlo::sound
