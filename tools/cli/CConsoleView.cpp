#include "CConsoleView.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "TextEscape.h"
#include "platform/Translate.h"

namespace {

// Index of a marked button in the marks array, -1 for a button without a mark.
int MarkIndex(SessionButton button) {
    switch (button) {
        case SessionButton::Open:
            return 0;
        case SessionButton::Erase:
            return 1;
        case SessionButton::Write:
            return 2;
        case SessionButton::Read:
            return 3;
        case SessionButton::Verify:
            return 4;
        default:
            return -1;
    }
}

}  // namespace

CConsoleView::CConsoleView(CEventQueue& queue, CRunReport& report, std::FILE* out, std::FILE* err,
                           bool quiet)
    : m_queue(queue),
      m_report(report),
      m_out(out),
      m_err(err),
      m_bQuiet(quiet),
      m_bProgressTty(!quiet && !report.Json() && ::isatty(::fileno(err)) == 1) {}

void CConsoleView::ClearProgressLine() {
    if (!m_bProgressDrawn) return;
    std::fputs("\r\033[K", m_err);
    std::fflush(m_err);
    m_bProgressDrawn = false;
}

void CConsoleView::Line(const std::string& text) {
    m_bTransferTimed = false;
    m_nLastJsonPercent = -1;
    if (m_report.Json()) {
        m_report.Log(text);
        return;
    }
    if (m_bQuiet) return;
    ClearProgressLine();
    std::fputs(EscapeControls(text).c_str(), m_out);
    std::fputc('\n', m_out);
    std::fflush(m_out);
}

void CConsoleView::AddLogLine(int, const std::string& text) {
    Line(text);
}

void CConsoleView::InsertVerifyLine(int, const std::string& text) {
    if (m_report.Json()) {
        m_report.VerifyLine(text);
        return;
    }
    Line(text);
}

std::string CConsoleView::RateText(int percent) {
    if (!m_pTransferPos) return {};
    const auto now = std::chrono::steady_clock::now();
    const int pos = m_pTransferPos->load();
    if (!m_bTransferTimed) {
        m_bTransferTimed = true;
        m_transferStart = now;
        m_nTransferStartPos = pos;
        return {};
    }
    const double seconds = std::chrono::duration<double>(now - m_transferStart).count();
    const int moved = pos - m_nTransferStartPos;
    if (seconds <= 0 || moved <= 0 || percent <= 0) return {};
    // The time left follows the percentage, which counts against the whole transfer.
    const double left = percent >= 100 ? 0 : seconds * (100 - percent) / percent;
    return platform::Printf(platform::Tr(", %.1f KB/s, %.0f s left"), moved / seconds / 1024, left);
}

void CConsoleView::SetProgress(int position, const std::string& text) {
    if (m_report.Json() && position != m_nLastJsonPercent) {
        m_nLastJsonPercent = position;
        m_report.Progress(position, text);
    }
    if (!m_bProgressTty) return;
    constexpr int kWidth = 30;
    const int filled = std::clamp(position, 0, 100) * kWidth / 100;
    std::fprintf(m_err, "\r\033[K[%s%s] %3d%% %s%s", std::string(size_t(filled), '#').c_str(),
                 std::string(size_t(kWidth - filled), '.').c_str(), position, text.c_str(),
                 RateText(position).c_str());
    std::fflush(m_err);
    m_bProgressDrawn = true;
}

void CConsoleView::ShowBuffer1(const std::uint8_t* data, int length) {
    m_buffer1 = {data, length};
}

void CConsoleView::ShowBuffer2(const std::uint8_t* data, int length) {
    m_buffer2 = {data, length};
}

int CConsoleView::CopyShown(const Shown& shown, std::uint8_t* dest, int maxLength) {
    const int count = std::min(shown.length, maxLength);
    if (count > 0 && shown.data != dest) {
        std::memmove(dest, shown.data, static_cast<size_t>(count));
    }
    return std::max(count, 0);
}

int CConsoleView::CopyBuffer1View(std::uint8_t* dest, int maxLength) {
    return CopyShown(m_buffer1, dest, maxLength);
}

int CConsoleView::CopyBuffer2View(std::uint8_t* dest, int maxLength) {
    return CopyShown(m_buffer2, dest, maxLength);
}

bool CConsoleView::AutoMark(SessionButton button) const {
    const int index = MarkIndex(button);
    return index >= 0 && m_marks[index];
}

void CConsoleView::SetAutoMark(SessionButton button, bool marked) {
    const int index = MarkIndex(button);
    if (index >= 0) m_marks[index] = marked;
}

void CConsoleView::SelectChip(int index) {
    const int count = static_cast<int>(m_queue.Items().size());
    m_queue.SelectChipItem(index >= 0 && index < count ? index : -1);
}

void CConsoleView::SignalSuccess() {
    ClearProgressLine();
}

void CConsoleView::SignalFailure() {
    ClearProgressLine();
}

void CConsoleView::CloseWith(const char* word) {
    ClearProgressLine();
    if (!m_bQuiet) std::fprintf(m_err, "olstrin-cli: %s\n", word);
}

void CConsoleView::SequenceEnded(bool ok) {
    ClearProgressLine();
    m_bEnded = true;
    m_bEndedOk = ok;
}
