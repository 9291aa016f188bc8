#pragma once

#include <cstdint>
#include <string>

// The nine operation buttons of the window, as the session names them to its view.
enum class SessionButton {
    Detect,
    Open,
    Save,
    Erase,
    Write,
    Read,
    Verify,
    Auto,
    WriteLock,
};

// Everything a programming session asks of the widgets that show it: the status log, the
// progress bar, the two hex views, the buttons and combo boxes, and the success and failure
// prompts. The Qt window implements it with widgets; the command line and the tests implement it
// for the console and for recording. Every call comes from the session's thread (the UI thread or
// the command line's loop), one at a time; the view never calls back into the session from
// inside one of these calls. Texts are UTF-8.
class ISessionView {
public:
    // Status log. AddLogLine inserts a line at the index (always the line count so far), selects
    // it so that it scrolls into view, and brings the status page to the front.
    virtual void AddLogLine(int index, const std::string& text) = 0;
    // Inserts a line of the verify listing at the index without selecting it or switching pages.
    virtual void InsertVerifyLine(int index, const std::string& text) = 0;
    // Empties the log (auto-complete starts on an empty log).
    virtual void ClearLog() = 0;

    // Progress bar: hidden from start-up until the first ShowProgress, visible afterwards.
    virtual void ShowProgress() = 0;
    // Sets the position (0..100) and the caption and repaints the bar, shown or not.
    virtual void SetProgress(int position, const std::string& text) = 0;

    // Hex views. The view copies the bytes it is given (length bytes from data, which belongs to
    // the session's programmer) and shows them from address 0.
    virtual void ShowBuffer1(const std::uint8_t* data, int length) = 0;
    virtual void ShowBuffer2(const std::uint8_t* data, int length) = 0;
    // Copies the view's current bytes, edits included, into dest: at most maxLength bytes, and
    // never more than the view holds. Returns the count copied.
    virtual int CopyBuffer1View(std::uint8_t* dest, int maxLength) = 0;
    virtual int CopyBuffer2View(std::uint8_t* dest, int maxLength) = 0;

    // Shows the idle icon on all nine buttons; enable true makes the buttons accept clicks and
    // enables the chip and lock-bit combo boxes, false stops both. The session itself tracks
    // whether commands are accepted (CProgrammingSession::ButtonsEnabled).
    virtual void EnableButtons(bool enable) = 0;
    // Shows the busy icon on one button (Erase, Write, Read or Verify).
    virtual void ShowBusyIcon(SessionButton button) = 0;

    // Auto-complete marks of Open, Erase, Write, Read and Verify (false for the other buttons).
    virtual bool AutoMark(SessionButton button) const = 0;
    virtual void SetAutoMark(SessionButton button, bool marked) = 0;

    // The chip combo box's current selection index, -1 when nothing is selected.
    virtual int ChipSelection() const = 0;
    // Selects a row of the chip combo box (-1 or a row past the end selects nothing).
    virtual void SelectChip(int index) = 0;
    // The lock-bit combo box's current selection index (0..2 for "Lock Bit-1".."Lock Bit-3").
    virtual int LockBitSelection() const = 0;

    // The prompts that end a sequence: sound (when the sound option is on) and, for failure, one
    // window flash.
    virtual void SignalSuccess() = 0;
    virtual void SignalFailure() = 0;

    // A sequence of steps has ended, ok false when it failed; called after the buttons are ready
    // again and after any prompt. Also called when a sequence ends without a prompt (a plain file
    // load, the ready check of a serial start-up). The window needs nothing here; the command line
    // uses it to know when its command is over.
    virtual void SequenceEnded(bool ok) { (void)ok; }

protected:
    ~ISessionView() = default;
};
