#include "server_or_sdl_device.h"

#include "device_tuning.h"
#include "pipewire_device.h"
#include "pulse_device.h"
#include "sdl_device.h"

namespace tremlo::sound {

// Each connects as it is made, alongside the rest of the program's start.
// Only one is made: the PulseAudio stream would reach PipeWire's pulse
// server too, and a client of it costs the daemon. Where PipeWire's socket
// is, its daemon is taken to answer; open() finds out.
ServerOrSdlDevice::ServerOrSdlDevice() {
    const auto chosen = tuning::chosenOutput();
    if (chosen == tuning::OutputChoice::Sdl)
        m_sdl = std::make_unique<SdlDevice>();
    else if (chosen == tuning::OutputChoice::PipeWire ||
             (chosen == tuning::OutputChoice::Automatic && PipeWireDevice::daemonSocketFound()))
        m_pipeWire = std::make_unique<PipeWireDevice>();
    else
        m_pulse = std::make_unique<PulseDevice>();
}

ServerOrSdlDevice::~ServerOrSdlDevice() = default;

int ServerOrSdlDevice::open(RenderCallback callback, void* context) {
    if (m_pipeWire) {
        if (const int rate = m_pipeWire->open(callback, context)) {
            m_active = m_pipeWire.get();
            return rate;
        }
        m_pipeWire.reset();
        // A PipeWire daemon without a sink (beside PulseAudio, for video).
        if (tuning::chosenOutput() == tuning::OutputChoice::Automatic)
            m_pulse = std::make_unique<PulseDevice>();
    }
    if (m_pulse) {
        m_pulse->allowRewrites(m_rewrite);
        if (const int rate = m_pulse->open(callback, context)) {
            m_active = m_pulse.get();
            return rate;
        }
        m_pulse.reset();
    }
    if (!m_sdl)
        m_sdl = std::make_unique<SdlDevice>();
    m_active = m_sdl.get();
    return m_sdl->open(callback, context);
}

void ServerOrSdlDevice::start() {
    if (m_active)
        m_active->start();
}

void ServerOrSdlDevice::close() {
    if (m_active)
        m_active->close();
}

int ServerOrSdlDevice::periodFrames() const {
    return m_active ? m_active->periodFrames() : 0;
}

// Only the PulseAudio stream writes again what the server holds: PipeWire's
// holds one quantum, and SDL's cannot reach it.
void ServerOrSdlDevice::allowRewrites(RewriteCallback rewrite) {
    m_rewrite = rewrite;
}

void ServerOrSdlDevice::wake() {
    if (m_active)
        m_active->wake();
}

} // namespace tremlo::sound
