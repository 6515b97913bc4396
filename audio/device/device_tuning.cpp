#include "device_tuning.h"

#include <cstdlib>
#include <cstring>

namespace tremlo::sound::tuning {
namespace {

int periodFramesOf(const char* variable) {
    const char* text = std::getenv(variable);
    const long frames = text ? std::strtol(text, nullptr, 10) : 0;
    return frames >= kUserFramesAtLeast && frames <= kUserFramesAtMost ? static_cast<int>(frames)
                                                                       : kShortestFrames;
}

} // namespace

int serverFirstPeriodFrames() {
    return periodFramesOf("TREMLO_PERIOD_FRAMES");
}

int sdlFirstPeriodFrames() {
    return periodFramesOf("SDL_AUDIO_SAMPLES");
}

OutputChoice chosenOutput() {
    const char* chosen = std::getenv("TREMLO_AUDIO");
    if (!chosen)
        return OutputChoice::Automatic;
    if (std::strcmp(chosen, "pipewire") == 0)
        return OutputChoice::PipeWire;
    if (std::strcmp(chosen, "pulse") == 0)
        return OutputChoice::Pulse;
    if (std::strcmp(chosen, "sdl") == 0)
        return OutputChoice::Sdl;
    return OutputChoice::Automatic;
}

int userServerBufferMsec() {
    const char* text = std::getenv("PULSE_LATENCY_MSEC");
    const long msec = text ? std::strtol(text, nullptr, 10) : 0;
    return msec > 0 && msec < 10000 ? static_cast<int>(msec) : 0;
}

} // namespace tremlo::sound::tuning
