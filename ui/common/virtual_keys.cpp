#include "virtual_keys.h"

#include "x11_keymap.h"

#include <QKeyEvent>
#include <string>

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
    {Qt::Key_Select, 41},
    {Qt::Key_Execute, 43},
    {Qt::Key_Sleep, 95},
    {Qt::Key_Back, 166},
    {Qt::Key_Forward, 167},
    {Qt::Key_Refresh, 168},
    {Qt::Key_Stop, 169},
    {Qt::Key_Search, 170},
    {Qt::Key_Favorites, 171},
    {Qt::Key_HomePage, 172},
    {Qt::Key_VolumeMute, 173},
    {Qt::Key_VolumeDown, 174},
    {Qt::Key_VolumeUp, 175},
    {Qt::Key_MediaNext, 176},
    {Qt::Key_MediaPrevious, 177},
    {Qt::Key_MediaStop, 178},
    {Qt::Key_MediaPlay, 179},
    {Qt::Key_MediaTogglePlayPause, 179},
    {Qt::Key_LaunchMail, 180},
    {Qt::Key_LaunchMedia, 181},
    {Qt::Key_Launch0, 182},
    {Qt::Key_Launch1, 183},
    {Qt::Key_Play, 250},
    {Qt::Key_Zoom, 251},
};

// Punctuation keys, by the character they make with or without Shift, for
// when nothing tells where the key sits.
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

// X keysyms the layouts put on the keys below.
enum Sym : std::uint32_t {
    kAny = 0,
    kNumberSign = 0x23,
    kApostrophe = 0x27,
    kPlus = 0x2b,
    kMinus = 0x2d,
    kColon = 0x3a,
    kSemicolon = 0x3b,
    kAt = 0x40,
    kBracketLeft = 0x5b,
    kBracketRight = 0x5d,
    kAsciiCircum = 0x5e,
    kGrave = 0x60,
    kAsciiTilde = 0x7e,
    kNotSign = 0xac,
    kAcute = 0xb4,
    kSsharp = 0xdf,
    kAdiaeresis = 0xe4,
    kOdiaeresis = 0xf6,
    kUdiaeresis = 0xfc,
    kDeadAcute = 0xfe51,
    kDeadCircumflex = 0xfe52,
    kZenkakuHankaku = 0xff2a,
};

// The code of the key at an X key code where its symbols say Windows codes
// it otherwise than on a US keyboard: the German, British and Japanese
// layouts. The first row that matches counts.
struct LayoutCode {
    std::uint32_t plain;
    std::uint32_t shifted; // kAny: whatever Shift makes
    int virtualKey;
};

struct PhysicalKey {
    std::uint32_t xKeyCode;
    int virtualKey;             // on a US keyboard
    LayoutCode otherLayouts[4]; // ended by a row with no code
};

const PhysicalKey kPhysicalKeys[] = {
    {9, 27, {}},
    {20, 189, {{kSsharp, kAny, 219}}},
    {21, 187, {{kAsciiCircum, kAny, 222}, {kDeadAcute, kAny, 221}, {kAcute, kAny, 221}}},
    {22, 8, {}},
    {23, 9, {}},
    {34, 219, {{kAt, kAny, 192}, {kUdiaeresis, kAny, 186}}},
    {35, 221, {{kBracketLeft, kAny, 219}, {kPlus, kAny, 187}}},
    {36, 13, {}},
    {37, 17, {}},
    {47, 186, {{kSemicolon, kPlus, 187}, {kOdiaeresis, kAny, 192}}},
    {48, 222, {{kColon, kAny, 186}, {kApostrophe, kAt, 192}, {kAdiaeresis, kAny, 222}}},
    {49,
     192,
     {{kZenkakuHankaku, kAny, 243},
      {kDeadCircumflex, kAny, 220},
      {kAsciiCircum, kAny, 220},
      {kGrave, kNotSign, 223}}},
    {50, 16, {}},
    {51,
     220,
     {{kNumberSign, kAsciiTilde, 222},
      {kNumberSign, kApostrophe, 191},
      {kBracketRight, kAny, 221}}},
    {59, 188, {}},
    {60, 190, {}},
    {61, 191, {{kMinus, kAny, 189}}},
    {62, 16, {}},
    {64, 18, {}},
    {65, 32, {}},
    {94, 226, {}},       // between left Shift and Z on an ISO keyboard
    {97, kVkOem102, {}}, // ろ: "\" like the yen key, "_" like Shift with minus
    {100, 28, {}},
    {101, 242, {}},
    {102, 29, {}},
    {105, 17, {}},
    {108, 18, {}}, // AltGr as well
    {kScanCodeYen, 220, {}},
    {133, 91, {}},
    {134, 92, {}},
    {135, 93, {}},
};

// The letter keys by row, as a US keyboard has them.
struct LetterRow {
    std::uint32_t first;
    const char* letters;
};
constexpr LetterRow kLetterRows[] = {{24, "QWERTYUIOP"}, {38, "ASDFGHJKL"}, {52, "ZXCVBNM"}};

int physicalKeyOf(std::uint32_t xKeyCode, KeySymbols symbols) {
    // The digit row, whatever Shift makes of it ("!" on one layout, "\"" on
    // another): X key codes 10 to 18 are 1 to 9, and 19 is 0.
    if (xKeyCode >= 10 && xKeyCode <= 19)
        return xKeyCode == 19 ? 48 : static_cast<int>(xKeyCode) + 39;
    // A key that makes a Latin letter is that letter's key, wherever the
    // layout puts it (Z and Y change places on a German keyboard); on a
    // Cyrillic or Greek layout the letter keys keep the US letters.
    if (symbols.plain >= 'a' && symbols.plain <= 'z')
        return kVkA + static_cast<int>(symbols.plain - 'a');
    for (const LetterRow& row : kLetterRows) {
        const std::size_t at = xKeyCode - row.first;
        if (xKeyCode >= row.first && at < std::char_traits<char>::length(row.letters))
            return row.letters[at];
    }
    for (const PhysicalKey& key : kPhysicalKeys) {
        if (key.xKeyCode != xKeyCode)
            continue;
        for (const LayoutCode& layout : key.otherLayouts)
            if (layout.virtualKey != 0 && layout.plain == symbols.plain &&
                (layout.shifted == kAny || layout.shifted == symbols.shifted))
                return layout.virtualKey;
        return key.virtualKey;
    }
    return 0;
}

} // namespace

int virtualKeyOf(int qtKey, Qt::KeyboardModifiers modifiers, std::uint32_t nativeScanCode,
                 KeySymbols symbols) {
    if (nativeScanCode != 0 && !modifiers.testFlag(Qt::KeypadModifier)) {
        if (const int code = physicalKeyOf(nativeScanCode, symbols))
            return code;
    }
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
    const std::uint32_t code = event.nativeScanCode();
    return virtualKeyOf(event.key(), event.modifiers(), code,
                        code ? x11KeySymbols(code) : KeySymbols{});
}

bool modifierHeld(Qt::KeyboardModifiers modifiers) {
    return (modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) != 0;
}

void KeyRepeats::released(const QKeyEvent& event) {
    m_key = event.key();
    m_scanCode = event.nativeScanCode();
    m_timestamp = event.timestamp();
}

bool KeyRepeats::isRepeat(const QKeyEvent& press) const {
    if (press.isAutoRepeat())
        return true;
    // Events made without a time (synthetic ones) say nothing of a pair.
    const bool sameKey =
        m_scanCode != 0 ? press.nativeScanCode() == m_scanCode : press.key() == m_key;
    return m_timestamp != 0 && press.timestamp() == m_timestamp && sameKey;
}

} // namespace tremlo
