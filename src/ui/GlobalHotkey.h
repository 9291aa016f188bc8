#pragma once

#include <QEvent>
#include <cstdint>

class QWidget;

// A key combination that works anywhere on the desktop: while it is registered for a window,
// pressing it posts a CHotkeyEvent to that window. Realised with passive key grabs on the X11
// root windows; where Qt does not run on X11 (Wayland, offscreen) nothing can be registered.
// UI thread only.

// The hotkey message and the lParam it carries when a registered hotkey was pressed.
constexpr int WM_HOTKEY = 0x0312;
constexpr long kHotkeyPressed = 0x100;

// Modifier bits of a hotkey, as stored with the settings.
constexpr std::uint8_t kHotkeyShift = 0x01;
constexpr std::uint8_t kHotkeyAlt = 0x02;
constexpr std::uint8_t kHotkeyCtrl = 0x04;

// The hotkey message as a posted Qt event.
class CHotkeyEvent : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(QEvent::User + WM_HOTKEY);
    CHotkeyEvent(long wParam, long lParam) : QEvent(kType), m_wParam(wParam), m_lParam(lParam) {}
    long wParam() const { return m_wParam; }
    long lParam() const { return m_lParam; }

private:
    long m_wParam;
    long m_lParam;
};

// Registers key (a character code, letters in upper case) with the modifier bits for the window.
// Non-zero when the combination is now grabbed, with and without CapsLock and NumLock. Returns 0
// and registers nothing when key is 0 or no key of the keyboard produces it, when another program
// holds the combination, or when Qt does not run on X11.
int AddHotkey(QWidget* window, std::uint8_t key, std::uint8_t modifiers);

// Removes the registration made with the same three values; afterwards the event no longer comes.
void DeleteHotkey(QWidget* window, std::uint8_t key, std::uint8_t modifiers);

// The main window's check before normal event handling: true for a hotkey event whose lParam is
// exactly kHotkeyPressed, which starts auto-complete. Every event still goes on to normal handling.
bool IsAutoCompleteHotkey(const QEvent* event);
