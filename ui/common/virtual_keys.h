#pragma once

// Keys as Windows virtual-key codes: the numbers the settings store for the
// extra ON and OFF keys and the switch compares against. One table maps Qt's
// key events to them, so every window and the key-capture dialog agree.
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
inline constexpr int kVkUp = 38;
inline constexpr int kVkDown = 40;
inline constexpr int kVkA = 65;
inline constexpr int kVkZ = 90;
inline constexpr int kVkOem6 = 221;   // ] on a Japanese keyboard, above ろ
inline constexpr int kVkOem102 = 226; // the ろ key

// The X11 key code of the ろ key, the one key of a Japanese keyboard whose
// character ("\" or "_") is also made by other keys.
inline constexpr std::uint32_t kScanCodeRo = 97;
inline constexpr std::uint32_t kScanCodeYen = 132;

// 0 for keys that have no virtual-key code.
int virtualKeyOf(int qtKey, Qt::KeyboardModifiers modifiers, std::uint32_t nativeScanCode);
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

// Shift, Ctrl or Alt held: what makes a key count when keys need a modifier.
bool modifierHeld(Qt::KeyboardModifiers modifiers);

} // namespace tremlo
