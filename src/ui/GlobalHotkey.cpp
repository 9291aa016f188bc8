#include "ui/GlobalHotkey.h"

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr xcb_keysym_t kNumLockKeysym = 0xff7f;
// The modifiers a hotkey is made of; CapsLock, NumLock and the others never decide a match.
constexpr std::uint16_t kHotkeyMods = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

// One registered hotkey: the keycode and modifier mask grabbed on every root window, once for
// each combination of the lock masks.
struct Registration {
    const QWidget* window;  // identifies the registration, never dereferenced
    QPointer<QWidget> target;
    std::uint8_t key;
    std::uint8_t modifiers;
    xcb_keycode_t keycode;
    std::uint16_t mask;
    std::vector<std::uint16_t> grabbedMasks;
    std::vector<xcb_window_t> roots;
};

// Watches the X11 events Qt reads for the grabbed key presses and posts the hotkey event to
// the registered window instead of letting Qt deliver the key.
class CHotkeyFilter : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_KEY_PRESS) return false;
        const auto* press = static_cast<const xcb_key_press_event_t*>(message);
        for (const Registration& r : m_registrations) {
            if (r.keycode == press->detail && (press->state & kHotkeyMods) == r.mask &&
                r.target != nullptr) {
                QCoreApplication::postEvent(r.target, new CHotkeyEvent(r.key, kHotkeyPressed));
                return true;
            }
        }
        return false;
    }

    std::vector<Registration> m_registrations;
};

CHotkeyFilter& Filter() {
    // Lives until the process ends: Qt may hold it in its filter list up to then.
    static auto* filter = new CHotkeyFilter;
    return *filter;
}

xcb_connection_t* Connection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 == nullptr ? nullptr : x11->connection();
}

// The first keycode that produces the keysym at any shift level, 0 when none does.
xcb_keycode_t KeycodeOf(xcb_connection_t* c, xcb_keysym_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int first = setup->min_keycode;
    const int count = setup->max_keycode - first + 1;
    XcbReply<xcb_get_keyboard_mapping_reply_t> map(xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, static_cast<std::uint8_t>(count)),
        nullptr));
    if (!map || map->keysyms_per_keycode == 0) return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
    const int length = xcb_get_keyboard_mapping_keysyms_length(map.get());
    for (int i = 0; i < length; ++i) {
        if (syms[i] == keysym)
            return static_cast<xcb_keycode_t>(first + i / map->keysyms_per_keycode);
    }
    return 0;
}

// The modifier mask NumLock sets in key events, 0 when no modifier carries it.
std::uint16_t NumLockMask(xcb_connection_t* c) {
    const xcb_keycode_t numLock = KeycodeOf(c, kNumLockKeysym);
    if (numLock == 0) return 0;
    XcbReply<xcb_get_modifier_mapping_reply_t> map(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
    if (!map) return 0;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(map.get());
    const int perModifier = map->keycodes_per_modifier;
    for (int mod = 0; mod < 8; ++mod) {
        for (int k = 0; k < perModifier; ++k) {
            if (codes[mod * perModifier + k] == numLock)
                return static_cast<std::uint16_t>(1u << mod);
        }
    }
    return 0;
}

// A key character's keycode: letters by their unshifted (lower-case) keysym, everything else by
// its Latin-1 code, which is its keysym.
xcb_keycode_t KeycodeOfKey(xcb_connection_t* c, std::uint8_t key) {
    if (key >= 'A' && key <= 'Z') {
        const xcb_keycode_t lower = KeycodeOf(c, static_cast<xcb_keysym_t>(key - 'A' + 'a'));
        if (lower != 0) return lower;
    }
    return KeycodeOf(c, key);
}

std::uint16_t MaskOf(std::uint8_t modifiers) {
    std::uint16_t mask = 0;
    if (modifiers & kHotkeyShift) mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & kHotkeyAlt) mask |= XCB_MOD_MASK_1;
    if (modifiers & kHotkeyCtrl) mask |= XCB_MOD_MASK_CONTROL;
    return mask;
}

void Ungrab(xcb_connection_t* c, const Registration& r) {
    for (xcb_window_t root : r.roots) {
        for (std::uint16_t m : r.grabbedMasks) xcb_ungrab_key(c, r.keycode, root, m);
    }
    xcb_flush(c);
}

// Grabs every combination; false (with every grab released) when any of them fails.
bool Grab(xcb_connection_t* c, const Registration& r) {
    std::vector<xcb_void_cookie_t> cookies;
    for (xcb_window_t root : r.roots) {
        for (std::uint16_t m : r.grabbedMasks) {
            cookies.push_back(xcb_grab_key_checked(c, 1, root, m, r.keycode, XCB_GRAB_MODE_ASYNC,
                                                   XCB_GRAB_MODE_ASYNC));
        }
    }
    bool ok = true;
    for (xcb_void_cookie_t cookie : cookies) {
        XcbReply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
        if (error) ok = false;
    }
    if (!ok) Ungrab(c, r);
    return ok;
}

}  // namespace

int AddHotkey(QWidget* window, std::uint8_t key, std::uint8_t modifiers) {
    xcb_connection_t* c = Connection();
    if (c == nullptr || window == nullptr || key == 0) return 0;
    Registration r{window, window, key, modifiers, KeycodeOfKey(c, key), MaskOf(modifiers), {}, {}};
    if (r.keycode == 0) return 0;
    const std::uint16_t numLock = NumLockMask(c);
    r.grabbedMasks = {r.mask, static_cast<std::uint16_t>(r.mask | XCB_MOD_MASK_LOCK)};
    if (numLock != 0 && (r.mask & numLock) == 0) {
        r.grabbedMasks.push_back(r.mask | numLock);
        r.grabbedMasks.push_back(r.mask | numLock | XCB_MOD_MASK_LOCK);
    }
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem > 0; xcb_screen_next(&it)) {
        r.roots.push_back(it.data->root);
    }
    if (!Grab(c, r)) return 0;
    qGuiApp->installNativeEventFilter(&Filter());
    Filter().m_registrations.push_back(std::move(r));
    return 1;
}

void DeleteHotkey(QWidget* window, std::uint8_t key, std::uint8_t modifiers) {
    auto& regs = Filter().m_registrations;
    for (auto it = regs.begin(); it != regs.end(); ++it) {
        if (it->window == window && it->key == key && it->modifiers == modifiers) {
            if (xcb_connection_t* c = Connection()) Ungrab(c, *it);
            regs.erase(it);
            return;
        }
    }
}

bool IsAutoCompleteHotkey(const QEvent* event) {
    return event->type() == CHotkeyEvent::kType &&
           static_cast<const CHotkeyEvent*>(event)->lParam() == kHotkeyPressed;
}
