#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "CRunReport.h"
#include "TextEscape.h"
#include "core/CEventQueue.h"
#include "session/ISessionView.h"

// The session's view on a terminal: log lines go to stdout as the window's status log shows
// them, the progress bar is drawn on stderr when that is a terminal, the chip combo box is the
// event queue's chip list, and the marks and lock-bit choice are plain values the command line
// sets. It remembers when a sequence has ended and how. Main thread only.
class CConsoleView : public ISessionView {
public:
    // The queue and the report, owned by the caller, must outlive the view. out and err are where
    // the log and the progress bar go; quiet prints neither. When the report prints JSON, the log
    // lines and progress steps go to it instead.
    CConsoleView(CEventQueue& queue, CRunReport& report, std::FILE* out, std::FILE* err,
                 bool quiet);

    void AddLogLine(int index, const std::string& text) override;
    void InsertVerifyLine(int index, const std::string& text) override;
    void ClearLog() override {}

    void ShowProgress() override {}
    // On a terminal the bar, the session's text, the rate and the time left; in JSON one event
    // per percentage, the repeats of a short transfer left out.
    void SetProgress(int position, const std::string& text) override;
    // The byte position of the transfer in progress (the programmer's m_nPos, written by its
    // workers), from which the terminal's bar tells the rate. It must outlive the view.
    void FollowTransfer(const std::atomic<int>* position) { m_pTransferPos = position; }

    void ShowBuffer1(const std::uint8_t* data, int length) override;
    void ShowBuffer2(const std::uint8_t* data, int length) override;
    int CopyBuffer1View(std::uint8_t* dest, int maxLength) override;
    int CopyBuffer2View(std::uint8_t* dest, int maxLength) override;

    void EnableButtons(bool) override {}
    void ShowBusyIcon(SessionButton) override {}

    bool AutoMark(SessionButton button) const override;
    void SetAutoMark(SessionButton button, bool marked) override;

    int ChipSelection() const override { return m_queue.SelectedItem(); }
    void SelectChip(int index) override;
    int LockBitSelection() const override { return m_nLockBit; }
    void SetLockBitSelection(int index) { m_nLockBit = index; }

    // The window's prompts have no console form: the command's closing line (CloseWith) says how
    // the whole command, saves included, ended.
    void SignalSuccess() override;
    void SignalFailure() override;
    // Prints "olstrin-cli: <word>" on the error stream, once the command is over.
    void CloseWith(const char* word);
    void SequenceEnded(bool ok) override;

    // Whether a sequence has ended since the last ResetEnded, and whether it succeeded.
    bool Ended() const { return m_bEnded; }
    bool EndedOk() const { return m_bEndedOk; }
    void ResetEnded() { m_bEnded = m_bEndedOk = false; }

private:
    // What a hex view shows: the bytes it was given last (the programmer's buffers, which the
    // command line never edits).
    struct Shown {
        const std::uint8_t* data = nullptr;
        int length = 0;
    };
    static int CopyShown(const Shown& shown, std::uint8_t* dest, int maxLength);
    void Line(const std::string& text);
    void ClearProgressLine();
    // ", 12.3 KB/s, 4 s left" for the transfer since its first progress step; empty until bytes
    // have moved.
    std::string RateText(int percent);

    CEventQueue& m_queue;
    CRunReport& m_report;
    std::FILE* m_out;
    std::FILE* m_err;
    bool m_bQuiet;
    bool m_bProgressTty;
    bool m_bProgressDrawn = false;
    // A transfer runs from its first progress step to the next log line.
    bool m_bTransferTimed = false;
    std::chrono::steady_clock::time_point m_transferStart;
    int m_nTransferStartPos = 0;
    const std::atomic<int>* m_pTransferPos = nullptr;
    int m_nLastJsonPercent = -1;
    Shown m_buffer1;
    Shown m_buffer2;
    bool m_marks[5] = {};
    int m_nLockBit = 0;
    bool m_bEnded = false;
    bool m_bEndedOk = false;
};
