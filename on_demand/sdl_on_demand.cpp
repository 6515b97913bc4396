// The SDL functions the program calls, the sound device's and the game
// controllers' (input/controllers.cpp), opened on first use (see
// library_on_demand.h). A function missing here is a link error, not a crash.

#include "forward_on_demand.h"

#include <SDL.h>
#include <mutex>

// SDL keeps its hints and the counts of its subsystems' users in plain
// globals, and the sound device's threads start and stop audio while the
// user-interface thread starts and stops the joysticks: these three take
// turns.
#define TREMLO_SDL_SHARED_STATE_FUNCTIONS(X)                                                       \
    X(SDL_SetHint, SDL_bool, (const char* name, const char* value), (name, value), SDL_FALSE)      \
    X(SDL_InitSubSystem, int, (Uint32 flags), (flags), -1)                                         \
    X(SDL_QuitSubSystem, void, (Uint32 flags), (flags), void())

// name, result, parameters, arguments, the answer when SDL is missing
#define TREMLO_SDL_FUNCTIONS(X)                                                                    \
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
    X(SDL_CloseAudioDevice, void, (SDL_AudioDeviceID dev), (dev), void())                          \
    X(SDL_NumJoysticks, int, (void), (), 0)                                                        \
    X(SDL_JoystickGetDeviceInstanceID, SDL_JoystickID, (int index), (index), -1)                   \
    X(SDL_JoystickOpen, SDL_Joystick*, (int index), (index), nullptr)                              \
    X(SDL_JoystickClose, void, (SDL_Joystick * joystick), (joystick), void())                      \
    X(SDL_JoystickInstanceID, SDL_JoystickID, (SDL_Joystick * joystick), (joystick), -1)           \
    X(SDL_JoystickGetGUID, SDL_JoystickGUID, (SDL_Joystick * joystick), (joystick),                \
      SDL_JoystickGUID{})                                                                          \
    X(SDL_JoystickGetGUIDString, void, (SDL_JoystickGUID guid, char* text, int size),              \
      (guid, text, size), void())                                                                  \
    X(SDL_JoystickName, const char*, (SDL_Joystick * joystick), (joystick), nullptr)               \
    X(SDL_JoystickPath, const char*, (SDL_Joystick * joystick), (joystick), nullptr)               \
    X(SDL_JoystickNumButtons, int, (SDL_Joystick * joystick), (joystick), 0)                       \
    X(SDL_JoystickNumHats, int, (SDL_Joystick * joystick), (joystick), 0)                          \
    X(SDL_JoystickNumAxes, int, (SDL_Joystick * joystick), (joystick), 0)                          \
    X(SDL_JoystickGetButton, Uint8, (SDL_Joystick * joystick, int button), (joystick, button), 0)  \
    X(SDL_JoystickGetHat, Uint8, (SDL_Joystick * joystick, int hat), (joystick, hat), 0)           \
    X(SDL_JoystickGetAxis, Sint16, (SDL_Joystick * joystick, int axis), (joystick, axis), 0)       \
    X(SDL_JoystickUpdate, void, (void), (), void())                                                \
    X(SDL_PeepEvents, int,                                                                         \
      (SDL_Event * events, int count, SDL_eventaction action, Uint32 first, Uint32 last),          \
      (events, count, action, first, last), -1)                                                    \
    X(SDL_JoystickAttachVirtualEx, int, (const SDL_VirtualJoystickDesc* desc), (desc), -1)         \
    X(SDL_JoystickDetachVirtual, int, (int index), (index), -1)                                    \
    X(SDL_JoystickSetVirtualButton, int, (SDL_Joystick * joystick, int button, Uint8 value),       \
      (joystick, button, value), -1)                                                               \
    X(SDL_JoystickSetVirtualHat, int, (SDL_Joystick * joystick, int hat, Uint8 value),             \
      (joystick, hat, value), -1)

#define TREMLO_SDL_ALL_FUNCTIONS(X)                                                                \
    TREMLO_SDL_SHARED_STATE_FUNCTIONS(X)                                                           \
    TREMLO_SDL_FUNCTIONS(X)

TREMLO_OPEN_ON_DEMAND(TREMLO_SDL_ALL_FUNCTIONS, TREMLO_SDL_SONAME)
TREMLO_SDL_FUNCTIONS(TREMLO_ON_DEMAND_FORWARD)

namespace {
std::mutex sharedState;
} // namespace

// NOLINTBEGIN(bugprone-macro-parentheses)
#define TREMLO_ON_DEMAND_FORWARD_IN_TURN(name, result, parameters, arguments, missing)             \
    extern "C" result name parameters {                                                            \
        const std::lock_guard lock(sharedState);                                                   \
        return library.ready() ? functions.name arguments : missing;                               \
    }
// NOLINTEND(bugprone-macro-parentheses)
TREMLO_SDL_SHARED_STATE_FUNCTIONS(TREMLO_ON_DEMAND_FORWARD_IN_TURN)
