#include "virtual_controller.h"

#include "user_text.h"

#include <array>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tremlo::input {
namespace {

constexpr int kVirtualButtons = 4;
// The FIFO's digits, laid out as on a numeric keypad.
constexpr std::array<std::pair<char, Uint8>, 5> kVirtualHat{{
    {'8', SDL_HAT_UP},
    {'2', SDL_HAT_DOWN},
    {'4', SDL_HAT_LEFT},
    {'6', SDL_HAT_RIGHT},
    {'5', SDL_HAT_CENTERED},
}};
constexpr const char* kVirtualName = "tremolo virtual";
// Fixed, so that the virtual joystick's GUID is too.
constexpr Uint16 kVirtualVendor = 0x7d8b;
constexpr Uint16 kVirtualProduct = 0x7254;

} // namespace

VirtualController::VirtualController(InputLoop& loop, InputSink& sink,
                                     std::function<SDL_Joystick*(SDL_JoystickID)> openJoystick,
                                     std::function<void()> pump)
    : m_loop(loop), m_sink(sink), m_openJoystick(std::move(openJoystick)), m_pump(std::move(pump)) {
}

VirtualController::~VirtualController() {
    if (m_fifo >= 0) {
        m_loop.unwatch(m_fifoWatch);
        ::close(m_fifo);
    }
}

void VirtualController::start(const std::string& fifo) {
    ::mkfifo(fifo.c_str(), 0600);
    // Read and write: with a writer of our own, a test closing its end leaves
    // the FIFO waiting rather than readable at end of file for ever.
    m_fifo = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (m_fifo < 0) {
        m_sink.inputMessage(
            fillIn(userText("Input", "仮想コントローラーの FIFO を開けません: %1"), {fifo}));
        return;
    }
    m_fifoWatch = m_loop.watchReadable(m_fifo, [this] { read(); });
    plug(true);
}

void VirtualController::closed(SDL_JoystickID instance) {
    if (instance == m_instance)
        m_instance = -1;
}

void VirtualController::plug(bool in) {
    if (in && m_instance < 0) {
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_ARCADE_STICK;
        desc.nbuttons = kVirtualButtons;
        desc.nhats = 1;
        desc.vendor_id = kVirtualVendor;
        desc.product_id = kVirtualProduct;
        desc.name = kVirtualName;
        const int index = SDL_JoystickAttachVirtualEx(&desc);
        if (index >= 0)
            m_instance = SDL_JoystickGetDeviceInstanceID(index);
    } else if (!in && m_instance >= 0) {
        for (int index = 0; index < SDL_NumJoysticks(); ++index)
            if (SDL_JoystickGetDeviceInstanceID(index) == m_instance)
                SDL_JoystickDetachVirtual(index);
        m_instance = -1;
    }
}

void VirtualController::read() {
    std::array<char, 64> bytes;
    ssize_t got = 0;
    while ((got = ::read(m_fifo, bytes.data(), bytes.size())) > 0) {
        for (const char byte : std::string_view(bytes.data(), static_cast<std::size_t>(got))) {
            if (byte == '+' || byte == '-') {
                plug(byte == '+');
            } else if (SDL_Joystick* handle =
                           m_instance >= 0 ? m_openJoystick(m_instance) : nullptr) {
                const bool down = byte >= 'A' && byte < 'A' + kVirtualButtons;
                const bool up = byte >= 'a' && byte < 'a' + kVirtualButtons;
                if (down || up)
                    SDL_JoystickSetVirtualButton(handle, byte - (down ? 'A' : 'a'), down);
                for (const auto& [digit, value] : kVirtualHat)
                    if (byte == digit)
                        SDL_JoystickSetVirtualHat(handle, 0, value);
            }
            m_pump();
        }
    }
}

} // namespace tremlo::input
