// The system-wide keys' text as the X server grabs it: the symbol a key is
// looked up by and the modifiers it is held with.

#include "global_keys.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <xcb/xproto.h>

namespace tremlo {
namespace {

constexpr std::uint16_t kShift = XCB_MOD_MASK_SHIFT;
constexpr std::uint16_t kCtrl = XCB_MOD_MASK_CONTROL;
constexpr std::uint16_t kAlt = XCB_MOD_MASK_1;
constexpr std::uint16_t kMeta = XCB_MOD_MASK_4;

TEST(GlobalKeys, TextBecomesTheKeyTheServerGrabs) {
    const struct {
        const char* text;
        std::optional<X11Key> key;
    } cases[] = {
        // A letter is found by what its key makes without Shift.
        {"Shift+A", X11Key{XK_a, kShift}},
        {"Ctrl+Alt+F9", X11Key{XK_F9, kCtrl | kAlt}},
        {"Meta+Home", X11Key{XK_Home, kMeta}},
        {"Ctrl+Ä", X11Key{XK_adiaeresis, kCtrl}},
        {"Ctrl+Henkan", X11Key{XK_Henkan, kCtrl}},
        {"Num+5", X11Key{XK_KP_5, 0}},
        {"Alt+Num+Enter", X11Key{XK_KP_Enter, kAlt}},
        // The edges of each range of keys.
        {"Space", X11Key{XK_space, 0}},
        {"Shift+~", X11Key{XK_asciitilde, kShift}},
        {"ÿ", X11Key{XK_ydiaeresis, 0}},
        {"Ā", std::nullopt},
        {"F1", X11Key{XK_F1, 0}},
        {"F35", X11Key{XK_F35, 0}},
        {"Num+0", X11Key{XK_KP_0, 0}},
        {"Num+9", X11Key{XK_KP_9, 0}},
        {"Num+/", X11Key{XK_KP_Divide, 0}},
        {"Num+A", std::nullopt},
        // Only the first key of a sequence counts.
        {"Ctrl+B, C", X11Key{XK_b, kCtrl}},
        {"", std::nullopt},
        {"Shift", std::nullopt},
        {"Ctrl+Nonsense", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(x11KeyOf(c.text), c.key) << c.text;
}

} // namespace
} // namespace tremlo
