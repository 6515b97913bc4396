#include "server_or_sdl_device.h"

#include "device_tuning.h"
#include "pulse_device.h"
#include "sdl_device.h"

namespace tremlo::sound {

ServerOrSdlDevice::ServerOrSdlDevice() {
    if (tuning::sdlChosen())
        m_sdl = std::make_unique<SdlDevice>();
    else
        m_server = std::make_unique<PulseDevice>();
}

ServerOrSdlDevice::~ServerOrSdlDevice() = default;

int ServerOrSdlDevice::open(RenderCallback callback, void* context) {
    if (m_server) {
        if (const int rate = m_server->open(callback, context)) {
            m_active = m_server.get();
            return rate;
        }
        m_server.reset();
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

// SDL's stream cannot reach what the server holds.
void ServerOrSdlDevice::allowRewrites(RewriteCallback rewrite) {
    if (m_server)
        m_server->allowRewrites(rewrite);
}

void ServerOrSdlDevice::wake() {
    if (m_active)
        m_active->wake();
}

} // namespace tremlo::sound
