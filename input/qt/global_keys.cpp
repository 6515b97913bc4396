#include "global_keys.h"

#include "portal_shortcuts.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QKeySequence>
#include <QSocketNotifier>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
// Last: Xlib's macros would clash with the headers above.
#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace tremlo {
namespace {

// The modifiers a key is bound with; the others (CapsLock, NumLock, the
// layout group) are whatever they are when the key is pressed.
constexpr std::uint16_t kBoundModifiers =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
// A grab names its modifiers exactly, so each key is grabbed once for every
// state of CapsLock (Lock) and NumLock (Mod2).
constexpr std::uint16_t kLockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                           XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

std::optional<QKeyCombination> firstKeyOf(const std::string& portableText) {
    const QKeySequence sequence =
        QKeySequence::fromString(QString::fromStdString(portableText), QKeySequence::PortableText);
    if (sequence.isEmpty() || sequence[0].key() == Qt::Key_unknown)
        return std::nullopt;
    return sequence[0];
}

std::uint32_t keypadKeysym(int key) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return XK_KP_0 + static_cast<std::uint32_t>(key - Qt::Key_0);
    switch (key) {
    case Qt::Key_Asterisk:
        return XK_KP_Multiply;
    case Qt::Key_Plus:
        return XK_KP_Add;
    case Qt::Key_Minus:
        return XK_KP_Subtract;
    case Qt::Key_Period:
        return XK_KP_Decimal;
    case Qt::Key_Slash:
        return XK_KP_Divide;
    case Qt::Key_Enter:
        return XK_KP_Enter;
    default:
        return 0;
    }
}

std::uint32_t keysymOf(int key) {
    // Latin-1 keysyms are the characters' own codes; a letter is looked up
    // by the symbol its key makes without Shift. Qt names a letter by its
    // capital, which for ÿ lies outside Latin-1 (Ÿ).
    if (key >= 0x20 && key <= 0xffff) {
        const char16_t lower = QChar(key).toLower().unicode();
        if (lower >= 0x20 && lower <= 0xff)
            return lower;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return XK_F1 + static_cast<std::uint32_t>(key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Escape:
        return XK_Escape;
    case Qt::Key_Tab:
        return XK_Tab;
    case Qt::Key_Backtab:
        return XK_ISO_Left_Tab;
    case Qt::Key_Backspace:
        return XK_BackSpace;
    case Qt::Key_Return:
        return XK_Return;
    case Qt::Key_Enter:
        return XK_KP_Enter;
    case Qt::Key_Insert:
        return XK_Insert;
    case Qt::Key_Delete:
        return XK_Delete;
    case Qt::Key_Pause:
        return XK_Pause;
    case Qt::Key_Print:
        return XK_Print;
    case Qt::Key_SysReq:
        return XK_Sys_Req;
    case Qt::Key_ScrollLock:
        return XK_Scroll_Lock;
    case Qt::Key_Home:
        return XK_Home;
    case Qt::Key_End:
        return XK_End;
    case Qt::Key_Left:
        return XK_Left;
    case Qt::Key_Up:
        return XK_Up;
    case Qt::Key_Right:
        return XK_Right;
    case Qt::Key_Down:
        return XK_Down;
    case Qt::Key_PageUp:
        return XK_Page_Up;
    case Qt::Key_PageDown:
        return XK_Page_Down;
    case Qt::Key_Menu:
        return XK_Menu;
    case Qt::Key_Help:
        return XK_Help;
    // A Japanese keyboard's own keys.
    case Qt::Key_Henkan:
        return XK_Henkan;
    case Qt::Key_Muhenkan:
        return XK_Muhenkan;
    case Qt::Key_Hiragana_Katakana:
        return XK_Hiragana_Katakana;
    case Qt::Key_Zenkaku_Hankaku:
        return XK_Zenkaku_Hankaku;
    case Qt::Key_Eisu_toggle:
        return XK_Eisu_toggle;
    default:
        return 0;
    }
}

std::uint16_t x11Modifiers(Qt::KeyboardModifiers modifiers) {
    std::uint16_t mask = 0;
    if (modifiers & Qt::ShiftModifier)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Qt::AltModifier)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & Qt::MetaModifier)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

std::string unusableMessage(const QString& key) {
    return QCoreApplication::translate(
               "GlobalKeys",
               "システム全体のキー %1 はこのキーボードでは使えません。別のキーを選んでください。")
        .arg(key)
        .toStdString();
}

std::string takenMessage(const QString& key) {
    return QCoreApplication::translate(
               "GlobalKeys",
               "システム全体のキー %1 は他のプログラムが使っています。別のキーを選んでください。")
        .arg(key)
        .toStdString();
}

std::string switchesScreensMessage(const QString& key) {
    return QCoreApplication::translate(
               "GlobalKeys", "システム全体のキー %1 は画面の切り替えに使われているため使え"
                             "ません。別のキーを選んでください。")
        .arg(key)
        .toStdString();
}

// Ctrl+Alt with a function key switches to another virtual terminal: the
// server acts on it itself and reports no key, so a grab of it would take
// without ever working.
bool switchesScreens(xcb_key_symbols_t* symbols, const xcb_keycode_t* keycodes,
                     std::uint16_t modifiers) {
    constexpr std::uint16_t kCtrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
    if ((modifiers & kCtrlAlt) != kCtrlAlt)
        return false;
    for (const xcb_keycode_t* code = keycodes; *code != XCB_NO_SYMBOL; ++code)
        for (int level = 0; level < 8; ++level) {
            const xcb_keysym_t keysym = xcb_key_symbols_get_keysym(symbols, *code, level);
            if (keysym >= XF86XK_Switch_VT_1 && keysym <= XF86XK_Switch_VT_12)
                return true;
        }
    return false;
}

// Xlib reports a failed request to one handler for the whole process; it is
// ours only while our own requests are checked.
bool g_requestFailed = false;
bool g_requestTaken = false;

int noteFailure(Display*, XErrorEvent* error) {
    g_requestFailed = true;
    g_requestTaken = g_requestTaken || error->error_code == BadAccess;
    return 0;
}

struct FreeKeySymbols {
    void operator()(xcb_key_symbols_t* symbols) const { xcb_key_symbols_free(symbols); }
};
struct FreeMalloced {
    void operator()(void* memory) const { std::free(memory); }
};

int indexOf(input::SwitchButton button) {
    return button == input::SwitchButton::On ? 0 : 1;
}

} // namespace

std::optional<X11Key> x11KeyOf(const std::string& portableText) {
    const std::optional<QKeyCombination> key = firstKeyOf(portableText);
    if (!key)
        return std::nullopt;
    const Qt::KeyboardModifiers modifiers = key->keyboardModifiers();
    const int code = key->key();
    const std::uint32_t keysym =
        modifiers & Qt::KeypadModifier ? keypadKeysym(code) : keysymOf(code);
    if (keysym == 0)
        return std::nullopt;
    return X11Key{keysym, x11Modifiers(modifiers)};
}

GlobalKeys::GlobalKeys(std::function<void(input::SwitchButton, bool)> onKey)
    : m_onKey(std::move(onKey)) {
    if (qGuiApp && QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        m_portal = std::make_unique<PortalShortcuts>(QDBusConnection::sessionBus(), m_onKey);
        return;
    }
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    // An X server of a Wayland session: its grabs see only the keys that
    // reach XWayland's windows.
    m_xwayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    // The same server and screen as Qt's windows.
    m_display = XOpenDisplay(x11->display() ? DisplayString(x11->display()) : nullptr);
    if (!m_display)
        return;
    m_keymap = x11->connection();
    m_root = DefaultRootWindow(m_display);
    XkbSetDetectableAutoRepeat(m_display, True, nullptr);
    m_readable =
        std::make_unique<QSocketNotifier>(ConnectionNumber(m_display), QSocketNotifier::Read);
    QObject::connect(m_readable.get(), &QSocketNotifier::activated, [this] { readEvents(); });
}

GlobalKeys::~GlobalKeys() {
    if (!m_display)
        return;
    m_readable.reset();
    // Closing the connection gives its grabs back.
    XCloseDisplay(m_display);
}

std::vector<std::string> GlobalKeys::setKeys(const std::string& onKey, const std::string& offKey) {
    m_keysSet = !onKey.empty() || !offKey.empty();
    if (m_portal) {
        // Answered later, through onChanged(): the desktop may ask the user.
        m_portal->setKeys(onKey, offKey);
        return {};
    }
    if (!m_display)
        return {};
    releaseHeld();
    ungrabAll();
    std::vector<std::string> messages;
    for (const auto& [button, text] :
         {std::pair{input::SwitchButton::On, &onKey}, std::pair{input::SwitchButton::Off, &offKey}})
        if (std::optional<std::string> message = grab(button, *text))
            messages.push_back(std::move(*message));
    // Checking the grabs may have read keys already: the socket would not
    // say so again.
    readEvents();
    return messages;
}

std::optional<std::string> GlobalKeys::grab(input::SwitchButton button, const std::string& text) {
    if (text.empty())
        return std::nullopt;
    const std::optional<QKeyCombination> first = firstKeyOf(text);
    const QString shown = first ? QKeySequence(*first).toString(QKeySequence::PortableText)
                                : QString::fromStdString(text);
    const std::optional<X11Key> key = x11KeyOf(text);
    if (!key)
        return unusableMessage(shown);
    // The keyboard's map is read now, so a layout changed since counts.
    const std::unique_ptr<xcb_key_symbols_t, FreeKeySymbols> symbols(
        xcb_key_symbols_alloc(m_keymap));
    const std::unique_ptr<xcb_keycode_t, FreeMalloced> keycodes(
        symbols ? xcb_key_symbols_get_keycode(symbols.get(), key->keysym) : nullptr);
    if (!keycodes || *keycodes == XCB_NO_SYMBOL)
        return unusableMessage(shown);
    if (switchesScreens(symbols.get(), keycodes.get(), key->modifiers))
        return switchesScreensMessage(shown);

    const std::size_t firstGrab = m_grabs.size();
    g_requestFailed = false;
    g_requestTaken = false;
    const auto previousHandler = XSetErrorHandler(noteFailure);
    for (const xcb_keycode_t* code = keycodes.get(); *code != XCB_NO_SYMBOL; ++code) {
        m_grabs.push_back({button, *code, key->modifiers});
        for (const std::uint16_t locks : kLockVariants)
            XGrabKey(m_display, *code, key->modifiers | locks, m_root, False, GrabModeAsync,
                     GrabModeAsync);
    }
    XSync(m_display, False);
    XSetErrorHandler(previousHandler);
    if (!g_requestFailed)
        return std::nullopt;
    // Half a key is no key: what was taken of it is given back.
    for (std::size_t i = firstGrab; i < m_grabs.size(); ++i)
        for (const std::uint16_t locks : kLockVariants)
            XUngrabKey(m_display, m_grabs[i].keycode, m_grabs[i].modifiers | locks, m_root);
    XFlush(m_display);
    m_grabs.resize(firstGrab);
    return g_requestTaken ? takenMessage(shown) : unusableMessage(shown);
}

void GlobalKeys::ungrabAll() {
    for (const Grab& grab : m_grabs)
        for (const std::uint16_t locks : kLockVariants)
            XUngrabKey(m_display, grab.keycode, grab.modifiers | locks, m_root);
    m_grabs.clear();
    XFlush(m_display);
}

void GlobalKeys::releaseHeld() {
    for (const input::SwitchButton button : {input::SwitchButton::On, input::SwitchButton::Off}) {
        std::uint8_t& held = m_held[indexOf(button)];
        if (held != 0) {
            held = 0;
            m_onKey(button, false);
        }
    }
}

void GlobalKeys::readEvents() {
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (event.type == KeyPress || event.type == KeyRelease)
            keyEvent(event.type == KeyPress, static_cast<std::uint8_t>(event.xkey.keycode),
                     event.xkey.state);
    }
}

void GlobalKeys::keyEvent(bool pressed, std::uint8_t keycode, unsigned state) {
    if (pressed) {
        const auto modifiers = static_cast<std::uint16_t>(state & kBoundModifiers);
        for (const Grab& grab : m_grabs) {
            if (grab.keycode == keycode && grab.modifiers == modifiers) {
                m_held[indexOf(grab.button)] = keycode;
                m_onKey(grab.button, true);
                return;
            }
        }
        return;
    }
    for (const input::SwitchButton button : {input::SwitchButton::On, input::SwitchButton::Off}) {
        std::uint8_t& held = m_held[indexOf(button)];
        if (held != 0 && held == keycode) {
            held = 0;
            m_onKey(button, false);
            return;
        }
    }
}

void GlobalKeys::onChanged(std::function<void()> changed) {
    if (m_portal)
        m_portal->onChanged(std::move(changed));
}

QString GlobalKeys::note() const {
    QString noRoute = QCoreApplication::translate(
        "GlobalKeys",
        "このデスクトップには、システム全体のキーを割り当てる方法がありません（デスクトップ "
        "ポータルに GlobalShortcuts がありません）。代わりに、デスクトップの"
        "ショートカットで「playerctl -p tremolo play」を実行すると ON を押せます（押し続けには"
        "なりません）。");
    if (!m_portal) {
        if (!m_display)
            return noRoute;
        if (m_xwayland)
            return QCoreApplication::translate(
                "GlobalKeys", "ほかのウィンドウが手前にあっても働くキーです。ただし XWayland "
                              "では、X11 のウィンドウにフォーカスがあるときだけ働きます。");
        return QCoreApplication::translate("GlobalKeys",
                                           "ほかのウィンドウが手前にあっても働くキーです。");
    }
    switch (m_portal->state()) {
    case PortalShortcuts::State::Asking:
        return QCoreApplication::translate("GlobalKeys", "デスクトップにキーを求めています…");
    case PortalShortcuts::State::Refused:
        return QCoreApplication::translate("GlobalKeys",
                                           "デスクトップがキーの割り当てを断りました。");
    case PortalShortcuts::State::Unavailable:
        return noRoute;
    case PortalShortcuts::State::Bound:
        break;
    }
    const QString none = QCoreApplication::translate("GlobalKeys", "なし");
    const QString on = m_portal->granted(input::SwitchButton::On);
    const QString off = m_portal->granted(input::SwitchButton::Off);
    return QCoreApplication::translate("GlobalKeys", "デスクトップが割り当てたキー: ON %1、OFF %2")
        .arg(on.isEmpty() ? none : on, off.isEmpty() ? none : off);
}

std::string GlobalKeys::missingRoute() const {
    const bool none =
        m_portal ? m_portal->state() == PortalShortcuts::State::Unavailable : !m_display;
    if (!m_keysSet || !none)
        return {};
    return "system-wide keys are set in [Input], but this desktop offers no way to bind them "
           "(no org.freedesktop.portal.GlobalShortcuts); a desktop shortcut running "
           "`playerctl -p tremolo play` presses ON instead";
}

} // namespace tremlo
