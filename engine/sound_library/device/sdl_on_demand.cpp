// The SDL functions the device calls, opened on first use (see
// library_on_demand.h). A function missing here is a link error, not a crash.

#include "forward_on_demand.h"

#include <SDL.h>

// name, result, parameters, arguments, the answer when SDL is missing
#define TREMLO_SDL_FUNCTIONS(X)                                                                    \
    X(SDL_SetHint, SDL_bool, (const char* name, const char* value), (name, value), SDL_FALSE)      \
    X(SDL_InitSubSystem, int, (Uint32 flags), (flags), -1)                                         \
    X(SDL_QuitSubSystem, void, (Uint32 flags), (flags), void())                                    \
    X(SDL_GetDefaultAudioInfo, int, (char** name, SDL_AudioSpec* spec, int iscapture),             \
      (name, spec, iscapture), -1)                                                                 \
    X(SDL_free, void, (void* mem), (mem), void())                                                  \
    X(SDL_OpenAudioDevice, SDL_AudioDeviceID,                                                      \
      (const char* device, int iscapture, const SDL_AudioSpec* desired, SDL_AudioSpec* obtained,   \
       int allowed_changes),                                                                       \
      (device, iscapture, desired, obtained, allowed_changes), 0)                                  \
    X(SDL_GetAudioDeviceStatus, SDL_AudioStatus, (SDL_AudioDeviceID dev), (dev),                   \
      SDL_AUDIO_STOPPED)                                                                           \
    X(SDL_PauseAudioDevice, void, (SDL_AudioDeviceID dev, int pause_on), (dev, pause_on), void())  \
    X(SDL_CloseAudioDevice, void, (SDL_AudioDeviceID dev), (dev), void())

TREMLO_FORWARD_ON_DEMAND(TREMLO_SDL_FUNCTIONS, TREMLO_SDL_SONAME)
