#pragma once

// Keys as Windows virtual-key codes: the numbers the settings store for the
// extra ON and OFF keys and the switch compares against. One table maps Qt's
// key events to them, so every window and the key-capture dialog agree.
//
// A key of the typing block is coded by where it sits, as Windows codes the
// scan code of that place for the layout in use: the same key gives the same
// code with or without Shift, and a file written on Windows names the same
// key here. The layout shows in the two symbols the key makes (plain and
// with Shift), read from the X server's keymap. Without a native key code
// (Wayland, the offscreen platform) the key Qt reports decides.
//
// Thread: any.

#include <Qt>
#include <cstdint>

class QKeyEvent;

namespace tremlo {

inline constexpr int kVkShift = 16;
inline constexpr int kVkControl = 17;
inline constexpr int kVkMenu = 18; // Alt
inline constexpr int kVkReturn = 13;
inline constexpr int kVkEscape = 27;
inline constexpr int kVkLeft = 37;
inline constexpr int kVkUp = 38;
inline constexpr int kVkRight = 39;
inline constexpr int kVkDown = 40;
inline constexpr int kVkA = 65;
inline constexpr int kVkZ = 90;
inline constexpr int kVkOem6 = 221;   // ] on a Japanese keyboard, above ろ
inline constexpr int kVkOem102 = 226; // the ろ key

// The X11 key code of the ろ key, the one key of a Japanese keyboard whose
// character ("\" or "_") is also made by other keys.
inline constexpr std::uint32_t kScanCodeRo = 97;
inline constexpr std::uint32_t kScanCodeYen = 132;

// The X keysyms a key makes in the active group, without and with Shift; 0
// where unknown.
struct KeySymbols {
    std::uint32_t plain = 0;
    std::uint32_t shifted = 0;
};

// 0 for keys that have no virtual-key code. `nativeScanCode` is the X key
// code (the evdev code + 8), 0 when there is none.
int virtualKeyOf(int qtKey, Qt::KeyboardModifiers modifiers, std::uint32_t nativeScanCode,
                 KeySymbols symbols = {});
int virtualKeyOf(const QKeyEvent& event);

// The keys that work the ON button (the extra key, ] and A) and the OFF
// button (the extra key, ろ and Z); a code may be in both sets.
constexpr bool isOnButtonKey(int virtualKey, int extraKey) {
    return virtualKey != 0 &&
           (virtualKey == extraKey || virtualKey == kVkOem6 || virtualKey == kVkA);
}
constexpr bool isOffButtonKey(int virtualKey, int extraKey) {
    return virtualKey != 0 &&
           (virtualKey == extraKey || virtualKey == kVkOem102 || virtualKey == kVkZ);
}

// The keys that step along the melody shelf: +1 for the next melody (Right),
// -1 for the previous (Left), 0 for any other key.
constexpr int stepOfMelodyKey(int virtualKey) {
    return virtualKey == kVkRight ? 1 : virtualKey == kVkLeft ? -1 : 0;
}

// Shift, Ctrl or Alt held: what makes a key count when keys need a modifier.
bool modifierHeld(Qt::KeyboardModifiers modifiers);

// Tells a held key's repeats from new presses, for a window that takes keys.
// X repeats a held key as a release and a press with one time stamp, and Qt
// marks the pair as a repeat only when it has read the press already as it
// hands on the release; a window busy just then (a melody loading) is handed
// a release and a fresh press. A press stamped with the time of the release
// just before it, of the same key, is a repeat too, and so is the first
// sign of a key held since before the window took the keyboard.
class KeyRepeats {
public:
    // Every release the window is handed.
    void released(const QKeyEvent& event);
    bool isRepeat(const QKeyEvent& press) const;

private:
    int m_key = 0;
    std::uint32_t m_scanCode = 0;
    std::uint64_t m_timestamp = 0; // 0: none, or a release of unknown time
};

} // namespace tremlo
