#include "sdl_device.h"

#include <SDL.h>
#include <chrono>
#include <cstdlib>

namespace tremlo::sound {
namespace {

// How often the watcher looks for a lost device.
constexpr auto kWatchInterval = std::chrono::milliseconds(250);

// Quiet for this long, the device rests.
constexpr int kQuietSecondsBeforeRest = 2;
// A resting device still writes one period this often: only SDL's thread,
// writing, notices a sound server gone, and the watcher can then bring the
// device back before the next sound is started rather than after it.
constexpr auto kRestLength = std::chrono::seconds(1);

// Before SDL's first start, on the warm-up thread: the first SDL call opens
// the library (library_on_demand.h).
void setSdlHints() {
    // SDL would otherwise take over SIGINT and SIGTERM and the program could
    // not be stopped by them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "トレモロ");
}

void setServerBuffering() {
    // With the server's default buffering a 256-frame period drops out under
    // load; 8 ms keeps it whole and still answers a press within about 10 ms.
    // A value the user set in the environment wins. Set here, on the thread
    // that makes the device, before any other thread reads the environment.
    setenv("PULSE_LATENCY_MSEC", "8", 0);
}

int preferredRate() {
    SDL_AudioSpec spec{};
    char* name = nullptr;
    if (SDL_GetDefaultAudioInfo(&name, &spec, 0) == 0 && spec.freq > 0) {
        SDL_free(name);
        return spec.freq;
    }
    return 48000;
}

} // namespace

SdlDevice::SdlDevice() {
    setServerBuffering();
    m_warmUp = std::thread([this] {
        setSdlHints();
        m_warmedUp = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        if (m_warmedUp)
            m_rate = preferredRate();
    });
}

SdlDevice::~SdlDevice() {
    shutDown();
    finishWarmUp();
}

// The warm-up's hold on SDL's audio goes once the device holds its own, so
// that closing the device (and starting again after a lost server) really
// shuts the old connection down.
void SdlDevice::finishWarmUp() {
    if (m_warmUp.joinable())
        m_warmUp.join();
    if (m_warmedUp) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_warmedUp = false;
    }
}

void SdlDevice::sdlCallback(void* self, std::uint8_t* stream, int bytes) noexcept {
    static_cast<SdlDevice*>(self)->render(reinterpret_cast<float*>(stream),
                                          static_cast<std::size_t>(bytes) / (2 * sizeof(float)));
}

void SdlDevice::render(float* stereoOut, std::size_t frames) noexcept {
    {
        // A wake asked for before this render is answered by it.
        std::lock_guard guard(m_restLock);
        m_wakeAsked = false;
    }
    if (m_callback(m_context, stereoOut, frames)) {
        m_quietFrames = 0;
        return;
    }
    m_quietFrames += static_cast<std::int64_t>(frames);
    if (m_quietFrames >= std::int64_t{kQuietSecondsBeforeRest} * m_rate && rest())
        m_quietFrames = 0;
}

bool SdlDevice::rest() noexcept {
    std::unique_lock guard(m_restLock);
    const bool woken =
        m_restEnds.wait_for(guard, kRestLength, [this] { return m_wakeAsked || m_closing; });
    m_wakeAsked = false;
    return woken && !m_closing;
}

void SdlDevice::wake() {
    {
        std::lock_guard guard(m_restLock);
        m_wakeAsked = true;
    }
    m_restEnds.notify_one();
}

bool SdlDevice::openDeviceLocked() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    if (m_rate == 0)
        m_rate = preferredRate();
    SDL_AudioSpec want{};
    want.freq = m_rate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = kPeriodFrames;
    want.callback = &SdlDevice::sdlCallback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts if the server insists on something
    // else, and the mixer keeps one rate for the whole run.
    m_deviceId = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (m_deviceId == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    m_periodFrames = have.samples;
    return true;
}

int SdlDevice::open(RenderCallback callback, void* context) {
    if (m_warmUp.joinable())
        m_warmUp.join();
    std::lock_guard guard(m_lock);
    m_callback = callback;
    m_context = context;
    {
        std::lock_guard restGuard(m_restLock);
        m_closing = false;
    }
    const bool opened = openDeviceLocked();
    if (m_warmedUp) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_warmedUp = false;
    }
    if (!opened)
        return 0;
    m_stopWatching = false;
    m_watcher = std::thread([this] { watch(); });
    return m_rate;
}

void SdlDevice::start() {
    std::lock_guard guard(m_lock);
    m_started = true;
    if (m_deviceId != 0)
        SDL_PauseAudioDevice(m_deviceId, 0);
}

void SdlDevice::close() {
    shutDown();
}

void SdlDevice::shutDown() {
    {
        std::lock_guard guard(m_lock);
        m_stopWatching = true;
    }
    m_wake.notify_all();
    // SDL waits for the callback to return before it closes the device.
    {
        std::lock_guard guard(m_restLock);
        m_closing = true;
    }
    m_restEnds.notify_all();
    if (m_watcher.joinable())
        m_watcher.join();
    std::lock_guard guard(m_lock);
    if (m_deviceId != 0) {
        SDL_CloseAudioDevice(m_deviceId);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_deviceId = 0;
    }
    m_started = false;
}

void SdlDevice::watch() {
    std::unique_lock guard(m_lock);
    while (!m_wake.wait_for(guard, kWatchInterval, [this] { return m_stopWatching; })) {
        if (m_deviceId != 0 && SDL_GetAudioDeviceStatus(m_deviceId) != SDL_AUDIO_STOPPED)
            continue;
        // The device is lost. Its server connection is dead too, so the whole
        // audio subsystem is started again before the device is re-opened.
        if (m_deviceId != 0) {
            // A lost device's thread still calls back, and closing waits for
            // a call resting in it.
            wake();
            SDL_CloseAudioDevice(m_deviceId);
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            m_deviceId = 0;
        }
        if (openDeviceLocked() && m_started)
            SDL_PauseAudioDevice(m_deviceId, 0);
    }
}

} // namespace tremlo::sound
