#pragma once

// SDL's virtual joystick "tremolo virtual" (4 buttons and a hat, GUID
// kVirtualControllerGuid), worked through a FIFO for the benchmark and the
// end-to-end tests; see controllers.h for the bytes it reads.
//
// Thread: the user-interface thread.

#include "input_source.h"

#include <SDL.h>
#include <functional>
#include <string>

namespace tremlo::input {

class VirtualController {
public:
    // `openJoystick` gives the joystick the source has open for an SDL
    // instance, or nullptr; `pump` lets SDL's changes through at once.
    VirtualController(InputLoop& loop, InputSink& sink,
                      std::function<SDL_Joystick*(SDL_JoystickID)> openJoystick,
                      std::function<void()> pump);
    ~VirtualController();

    VirtualController(const VirtualController&) = delete;
    VirtualController& operator=(const VirtualController&) = delete;

    // Makes the FIFO when missing, opens it and plugs the joystick in.
    void start(const std::string& fifo);
    // The source closed that joystick: if it was this one, it is out.
    void closed(SDL_JoystickID instance);

private:
    void read();
    void plug(bool in);

    InputLoop& m_loop;
    InputSink& m_sink;
    std::function<SDL_Joystick*(SDL_JoystickID)> m_openJoystick;
    std::function<void()> m_pump;
    int m_fifo = -1;
    int m_fifoWatch = 0;
    SDL_JoystickID m_instance = -1;
};

} // namespace tremlo::input
