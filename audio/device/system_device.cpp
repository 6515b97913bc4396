#include "system_device.h"

#include "pulse_device.h"
#include "sdl_device.h"

#include <cstdlib>
#include <cstring>

namespace tremlo::sound {

SystemDevice::SystemDevice() {
    const char* chosen = std::getenv("TREMLO_AUDIO");
    if (chosen && std::strcmp(chosen, "sdl") == 0)
        m_sdl = std::make_unique<SdlDevice>();
    else
        m_server = std::make_unique<PulseDevice>();
}

SystemDevice::~SystemDevice() = default;

int SystemDevice::open(RenderCallback callback, void* context) {
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

void SystemDevice::start() {
    if (m_active)
        m_active->start();
}

void SystemDevice::close() {
    if (m_active)
        m_active->close();
}

int SystemDevice::periodFrames() const {
    return m_active ? m_active->periodFrames() : 0;
}

void SystemDevice::wake() {
    if (m_active)
        m_active->wake();
}

} // namespace tremlo::sound
