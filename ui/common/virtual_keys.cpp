#include "virtual_keys.h"

#include <QKeyEvent>

namespace tremlo {
namespace {

struct KeyCode {
    int qtKey;
    int virtualKey;
};

// Keys whose code does not depend on the layout.
constexpr KeyCode kNamedKeys[] = {
    {Qt::Key_Backspace, 8},
    {Qt::Key_Tab, 9},
    {Qt::Key_Backtab, 9},
    {Qt::Key_Clear, 12},
    {Qt::Key_Return, 13},
    {Qt::Key_Enter, 13},
    {Qt::Key_Shift, 16},
    {Qt::Key_Control, 17},
    {Qt::Key_Alt, 18},
    {Qt::Key_AltGr, 18},
    {Qt::Key_Pause, 19},
    {Qt::Key_CapsLock, 20},
    {Qt::Key_Kana_Lock, 21},
    {Qt::Key_Kana_Shift, 21},
    {Qt::Key_Henkan, 28},
    {Qt::Key_Muhenkan, 29},
    {Qt::Key_Escape, 27},
    {Qt::Key_Space, 32},
    {Qt::Key_PageUp, 33},
    {Qt::Key_PageDown, 34},
    {Qt::Key_End, 35},
    {Qt::Key_Home, 36},
    {Qt::Key_Left, 37},
    {Qt::Key_Up, 38},
    {Qt::Key_Right, 39},
    {Qt::Key_Down, 40},
    {Qt::Key_Print, 44},
    {Qt::Key_Insert, 45},
    {Qt::Key_Delete, 46},
    {Qt::Key_Help, 47},
    {Qt::Key_Meta, 91},
    {Qt::Key_Super_L, 91},
    {Qt::Key_Super_R, 92},
    {Qt::Key_Menu, 93},
    {Qt::Key_NumLock, 144},
    {Qt::Key_ScrollLock, 145},
    {Qt::Key_Zenkaku_Hankaku, 243},
    {Qt::Key_Hiragana_Katakana, 242},
};

// Punctuation keys, by the character they make with or without Shift, coded
// as Windows codes them.
constexpr KeyCode kPunctuation[] = {
    {Qt::Key_Semicolon, 186},   {Qt::Key_Colon, 186},      {Qt::Key_Equal, 187},
    {Qt::Key_Plus, 187},        {Qt::Key_Comma, 188},      {Qt::Key_Less, 188},
    {Qt::Key_Minus, 189},       {Qt::Key_Underscore, 189}, {Qt::Key_Period, 190},
    {Qt::Key_Greater, 190},     {Qt::Key_Slash, 191},      {Qt::Key_Question, 191},
    {Qt::Key_QuoteLeft, 192},   {Qt::Key_AsciiTilde, 192}, {Qt::Key_At, 192},
    {Qt::Key_BracketLeft, 219}, {Qt::Key_BraceLeft, 219},  {Qt::Key_Backslash, 220},
    {Qt::Key_Bar, 220},         {Qt::Key_yen, 220},        {Qt::Key_BracketRight, 221},
    {Qt::Key_BraceRight, 221},  {Qt::Key_Apostrophe, 222}, {Qt::Key_QuoteDbl, 222},
    {Qt::Key_AsciiCircum, 222},
};

// Keypad keys, told apart by the keypad modifier.
int keypadKeyOf(int qtKey) {
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return 96 + (qtKey - Qt::Key_0);
    switch (qtKey) {
    case Qt::Key_Asterisk:
        return 106;
    case Qt::Key_Plus:
        return 107;
    case Qt::Key_Minus:
        return 109;
    case Qt::Key_Period:
    case Qt::Key_Comma:
        return 110;
    case Qt::Key_Slash:
        return 111;
    default:
        return 0;
    }
}

int lookup(const KeyCode* begin, const KeyCode* end, int qtKey) {
    for (const KeyCode* entry = begin; entry != end; ++entry)
        if (entry->qtKey == qtKey)
            return entry->virtualKey;
    return 0;
}

} // namespace

int virtualKeyOf(int qtKey, Qt::KeyboardModifiers modifiers, std::uint32_t nativeScanCode) {
    // The ろ key makes "\" like the yen key of the same keyboard, and "_"
    // like Shift with minus; only where it sits tells it apart.
    if (nativeScanCode == kScanCodeRo)
        return kVkOem102;
    if (nativeScanCode == kScanCodeYen)
        return 220;
    // The digit row, whatever Shift makes of it ("!" on one layout, "\"" on
    // another): X key codes 10 to 18 are 1 to 9, and 19 is 0.
    if (nativeScanCode >= 10 && nativeScanCode <= 19 && !modifiers.testFlag(Qt::KeypadModifier))
        return nativeScanCode == 19 ? 48 : static_cast<int>(nativeScanCode) + 39;
    if (modifiers.testFlag(Qt::KeypadModifier)) {
        if (const int code = keypadKeyOf(qtKey))
            return code;
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return kVkA + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return 48 + (qtKey - Qt::Key_0);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return 112 + (qtKey - Qt::Key_F1);
    if (const int code = lookup(std::begin(kNamedKeys), std::end(kNamedKeys), qtKey))
        return code;
    return lookup(std::begin(kPunctuation), std::end(kPunctuation), qtKey);
}

int virtualKeyOf(const QKeyEvent& event) {
    return virtualKeyOf(event.key(), event.modifiers(), event.nativeScanCode());
}

bool modifierHeld(Qt::KeyboardModifiers modifiers) {
    return (modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) != 0;
}

} // namespace tremlo
