// Key codes by where the key sits, checked against the layouts' real keymaps
// (xkeyboard-config through xkbcommon): each key must give the code Windows
// gives the same place under the same layout, with or without Shift.

#include "virtual_keys.h"

#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <xkbcommon/xkbcommon.h>

namespace tremlo::test {
namespace {

struct Layout {
    const char* name;
    const char* model;
    std::map<std::uint32_t, int> codes; // X key code -> Windows code
};

// The keys whose code differs somewhere, and the letters that move or stop
// being Latin. Unlisted punctuation keys of a layout have the US code.
const std::map<std::uint32_t, int> kUs = {
    {10, 49},  {19, 48},  {20, 189}, {21, 187}, {24, 81},  {29, 89},  {34, 219}, {35, 221},
    {38, 65},  {47, 186}, {48, 222}, {49, 192}, {51, 220}, {52, 90},  {59, 188}, {60, 190},
    {61, 191}, {94, 226}, {50, 16},  {108, 18}, {37, 17},  {105, 17}, {65, 32},  {135, 93},
};

std::map<std::uint32_t, int> usWith(const std::map<std::uint32_t, int>& changes) {
    std::map<std::uint32_t, int> codes = kUs;
    for (const auto& [key, code] : changes)
        codes[key] = code;
    return codes;
}

class KeyLayoutTest : public ::testing::Test {
protected:
    std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context{
        xkb_context_new(XKB_CONTEXT_NO_FLAGS), &xkb_context_unref};

    // The key's symbols at the first and second level of the first group,
    // as the X server's keymap would give them.
    static KeySymbols symbolsOf(xkb_keymap* keymap, std::uint32_t key) {
        KeySymbols symbols;
        const xkb_keysym_t* found = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap, key, 0, 0, &found) > 0)
            symbols.plain = found[0];
        if (xkb_keymap_key_get_syms_by_level(keymap, key, 0, 1, &found) > 0)
            symbols.shifted = found[0];
        return symbols;
    }
};

TEST_F(KeyLayoutTest, EveryKeyGivesItsWindowsCodeUnderEachLayout) {
    const Layout layouts[] = {
        {"us", "pc105", kUs},
        {"gb", "pc105", usWith({{49, 223}, {48, 192}, {51, 222}})},
        {"de", "pc105",
         usWith({{20, 219},
                 {21, 221},
                 {29, 90},
                 {34, 186},
                 {35, 187},
                 {47, 192},
                 {49, 220},
                 {51, 191},
                 {52, 89},
                 {61, 189}})},
        {"ru", "pc105", kUs},
        {"jp", "jp106",
         usWith({{21, 222},
                 {34, 192},
                 {35, 219},
                 {47, 187},
                 {48, 186},
                 {49, 243},
                 {51, 221},
                 {97, 226},
                 {132, 220}})},
    };
    ASSERT_TRUE(context);
    for (const Layout& layout : layouts) {
        const xkb_rule_names names{"evdev", layout.model, layout.name, "", ""};
        std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap(
            xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS),
            &xkb_keymap_unref);
        ASSERT_TRUE(keymap) << layout.name;
        for (const auto& [key, code] : layout.codes) {
            const KeySymbols symbols = symbolsOf(keymap.get(), key);
            // What Qt reports for the key is beside the point once its place
            // is known; Shift must not change the code either.
            for (const auto modifiers :
                 {Qt::KeyboardModifiers{}, Qt::KeyboardModifiers{Qt::ShiftModifier}})
                EXPECT_EQ(virtualKeyOf(Qt::Key_unknown, modifiers, key, symbols), code)
                    << layout.name << " key " << key << " (" << std::hex << symbols.plain << "/"
                    << symbols.shifted << ")";
        }
    }
}

} // namespace
} // namespace tremlo::test
