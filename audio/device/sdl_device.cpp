#include "sdl_device.h"

#include <SDL.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace tremlo::sound {
namespace {

using namespace tuning;

// Before SDL's first start, on the warm-up thread: the first SDL call opens
// the library (library_on_demand.h).
void setSdlHints() {
    // SDL would otherwise take over SIGINT and SIGTERM and the program could
    // not be stopped by them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "トレモロ");
}

int preferredRate() {
    SDL_AudioSpec spec{};
    char* name = nullptr;
    if (SDL_GetDefaultAudioInfo(&name, &spec, 0) == 0 && spec.freq > 0) {
        SDL_free(name);
        return spec.freq;
    }
    return kFallbackRate;
}

} // namespace

SdlDevice::SdlDevice(PeriodChoice choice)
    : m_askedPeriodFrames(choice.firstFrames ? choice.firstFrames : sdlFirstPeriodFrames()),
      m_steps(m_askedPeriodFrames, kSdlLateWatchesWhileSounding, choice.calmBeforeShorter),
      m_userServerBufferMsec(userServerBufferMsec()) {
    // The variable is made here, on the thread that makes the device, before
    // any other thread reads the environment: later the device only
    // overwrites its value, which glibc does by swapping one pointer to a
    // string it never frees, so a reader on another thread sees the old
    // value or the new.
    setenv("PULSE_LATENCY_MSEC", "8", 0);
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

// What counts as an underrun, since SDL reports none: a callback that begins
// later after the one before than all the server holds (sdlCallbackLateAfter).
// A request the server itself sent late counts too, though it need not have
// been heard: a late period is a sign of a busy machine either way.
void SdlDevice::noteCallbackTime() noexcept {
    const auto now = std::chrono::steady_clock::now();
    if (m_lastCallback != std::chrono::steady_clock::time_point{} &&
        now - m_lastCallback > m_lateAfter)
        m_underruns.fetch_add(1, std::memory_order_relaxed);
    m_lastCallback = now;
}

void SdlDevice::render(float* stereoOut, std::size_t frames) noexcept {
    noteCallbackTime();
    {
        // A wake asked for before this render is answered by it.
        std::lock_guard guard(m_restLock);
        m_wakeAsked = false;
    }
    if (m_callback(m_context, stereoOut, frames)) {
        m_quietFrames = 0;
        m_quiet.store(false, std::memory_order_relaxed);
        return;
    }
    m_quiet.store(true, std::memory_order_relaxed);
    m_quietFrames += static_cast<std::int64_t>(frames);
    if (m_quietFrames >= kQuietBeforeRest.count() * m_rate) {
        if (rest())
            m_quietFrames = 0;
        // The stream ran dry on purpose.
        m_lastCallback = std::chrono::steady_clock::now();
    }
}

bool SdlDevice::rest() noexcept {
    std::unique_lock guard(m_restLock);
    const bool woken =
        m_restEnds.wait_for(guard, kSdlRestLength, [this] { return m_wakeAsked || m_closing; });
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

SdlDevice::Stream SdlDevice::openStreamLocked(int periodFrames) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return {};
    if (m_rate == 0)
        m_rate = preferredRate();
    SDL_AudioSpec want{};
    want.freq = m_rate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = static_cast<Uint16>(periodFrames);
    want.callback = &SdlDevice::sdlCallback;
    want.userdata = this;
    const int bufferMsec =
        m_userServerBufferMsec ? m_userServerBufferMsec : sdlServerBufferMsec(periodFrames, m_rate);
    if (!m_userServerBufferMsec)
        setenv("PULSE_LATENCY_MSEC", std::to_string(bufferMsec).c_str(), 1);
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts if the server insists on something
    // else, and the mixer keeps one rate for the whole run. The period it
    // calls back with is then the one asked for. The device starts paused.
    Stream stream;
    stream.id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (stream.id == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return {};
    }
    stream.periodFrames = have.samples;
    stream.lateAfter = sdlCallbackLateAfter(have.samples, m_rate, bufferMsec);
    return stream;
}

// Only while no callback runs: before the device's first start, or with the
// one before paused. Pausing and starting take SDL's lock on the device, so
// SDL's thread sees these when it next calls back.
void SdlDevice::takeStreamLocked(const Stream& stream) {
    m_deviceId = stream.id;
    m_periodFrames.store(stream.periodFrames, std::memory_order_relaxed);
    m_lateAfter = stream.lateAfter;
    m_lastCallback = {};
}

bool SdlDevice::openDeviceLocked() {
    const Stream stream = openStreamLocked(m_askedPeriodFrames);
    if (stream.id == 0)
        return false;
    takeStreamLocked(stream);
    return true;
}

bool SdlDevice::changePeriodLocked(int periodFrames) {
    if (m_deviceId == 0)
        return false;
    // The new stream is made while the old one still plays, and its SDL
    // thread keeps it filled with silence while paused, so it is running by
    // the time it takes over. The old one is paused: what it holds plays out
    // while the new one starts, and the mixer goes on from the same frame on
    // the new stream. Nothing is cut or heard twice; the handover is a
    // silence of the new stream's length less what the old one still held,
    // a few milliseconds. A resting callback holds the lock pausing takes,
    // so it is woken first.
    const Stream next = openStreamLocked(periodFrames);
    if (next.id == 0)
        return false; // the server has gone; the watcher brings it back
    const std::uint32_t old = m_deviceId;
    const auto oldHolds = m_lateAfter;
    wake();
    SDL_PauseAudioDevice(old, 1);
    takeStreamLocked(next);
    m_askedPeriodFrames = next.periodFrames;
    if (m_started)
        SDL_PauseAudioDevice(m_deviceId, 0);
    // Paused, SDL writes silence behind the old stream's last sound; closing
    // would drop what it still holds.
    std::this_thread::sleep_for(oldHolds);
    SDL_CloseAudioDevice(old);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
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
    std::fprintf(
        stderr, "%s\n",
        PeriodSteps::opened(m_rate, m_periodFrames.load(std::memory_order_relaxed)).c_str());
    m_steps.forgive(m_underruns.load(std::memory_order_relaxed));
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
        if (m_deviceId != 0 && SDL_GetAudioDeviceStatus(m_deviceId) != SDL_AUDIO_STOPPED) {
            const auto now = std::chrono::steady_clock::now();
            const int period = m_periodFrames.load(std::memory_order_relaxed);
            const int next = m_steps.look(m_underruns.load(std::memory_order_relaxed), false,
                                          period, m_quiet.load(std::memory_order_relaxed), now);
            if (next != period && changePeriodLocked(next))
                std::fprintf(stderr, "%s\n", m_steps.changed(period, next, now).c_str());
            continue;
        }
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
        // Calls kept waiting by a server going away are no sign of a slow
        // machine.
        m_steps.forgive(m_underruns.load(std::memory_order_relaxed));
    }
}

} // namespace tremlo::sound
