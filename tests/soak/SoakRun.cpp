#include "SoakRun.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string_view>

#include "platform/FileUtil.h"

namespace {

// No event for this long means the chain hangs; a healthy step posts far sooner.
constexpr auto kEventGuard = std::chrono::seconds(30);
// Trailing events of a cycle (a reply to an end frame) arrive within this.
constexpr auto kQuiet = std::chrono::milliseconds(20);

}  // namespace

SoakRun::SoakRun(ISoakTarget& target, std::string folder, std::string chipFile)
    : m_target(target), m_strFolder(std::move(folder)), m_strChipFile(std::move(chipFile)) {}

SoakRun::~SoakRun() {
    m_session.reset();
    m_queue.Close();
}

bool SoakRun::Run(int cycles, Result& result) {
    m_session = std::make_unique<CProgrammingSession>(m_view, m_target.Factory());
    m_target.Configure(m_session->Settings());
    m_session->Settings().nChipIndex = 1;
    for (SessionButton button :
         {SessionButton::Open, SessionButton::Erase, SessionButton::Write, SessionButton::Verify}) {
        m_view.SetAutoMark(button, true);
    }
    m_session->Start(&m_queue);
    m_session->m_programmer.LoadChipListFrom(m_strChipFile);
    const auto started = m_queue.WaitEvent(kEventGuard);
    if (!started || (*started != PE_PARALLEL_INIT_DONE && *started != PE_SERIAL_INIT_DONE)) {
        return false;
    }
    m_session->OnProgrammerEvent(*started);
    Drain();

    for (int cycle = 1; cycle <= cycles; ++cycle) {
        const int length = WriteImage(cycle);
        const CycleFault fault = m_target.Arrange(cycle, length);
        m_view.ends.clear();
        m_view.prompts.clear();
        if (!m_session->OnAutoComplete() || !RunUntilEnded()) {
            std::printf("%s cycle %d (%s): no ending\n", m_target.Name(), cycle,
                        fault.name.c_str());
            ++result.hangs;
            break;
        }
        Drain();
        // The prompt and the first end are the cycle's verdict. A reply that arrives after a
        // failure (the box's ready answer to the end frame of a rejected write) ends the already
        // ended sequence once more, without a prompt; that is counted, not failed.
        const bool ok = m_view.ends.front();
        const char* const expected = fault.succeeds ? "success" : "failure";
        if (ok != fault.succeeds || m_view.prompts.size() != 1 ||
            m_view.prompts.front() != expected) {
            std::printf("%s cycle %d (%s): ended %s with %zu prompt(s)\n", m_target.Name(), cycle,
                        fault.name.c_str(), ok ? "ok" : "failed", m_view.prompts.size());
            for (const std::string& line : m_view.log) std::printf("    %s\n", line.c_str());
            ++result.wrongEndings;
        }
        result.lateEnds += static_cast<int>(m_view.ends.size()) - 1;
        ++(ok ? result.successes : result.failures);
        result.cycles = cycle;
        Note(cycle, cycles, ProcessFigures::Sample(), result);
    }
    return true;
}

bool SoakRun::RunUntilEnded() {
    while (m_view.ends.empty()) {
        const auto code = m_queue.WaitEvent(kEventGuard);
        if (!code) return false;
        m_session->OnProgrammerEvent(*code);
    }
    return true;
}

void SoakRun::Drain() {
    while (const auto code = m_queue.WaitEvent(kQuiet)) m_session->OnProgrammerEvent(*code);
}

int SoakRun::WriteImage(int cycle) {
    const int length = 512 + (cycle % 4) * 256;
    std::string image(static_cast<size_t>(length), '\0');
    for (int i = 0; i < length; ++i) image[static_cast<size_t>(i)] = char((i * 7 + cycle) % 255);
    const std::string path = m_strFolder + "/image.bin";
    platform::WriteFileSafely(path, image);
    m_session->SetImageFile(path);
    return length;
}

void SoakRun::Note(int cycle, int cycles, const ProcessFigures& figures, Result& result) const {
    result.peakThreads = std::max(result.peakThreads, figures.threads);
    if (cycle <= kWindow) {
        result.firstPeakThreads = std::max(result.firstPeakThreads, figures.threads);
        result.firstPeakFds = std::max(result.firstPeakFds, figures.fds);
        if (cycle == kWindow) result.start = figures;
    }
    if (cycle > cycles - kWindow) {
        result.lastPeakThreads = std::max(result.lastPeakThreads, figures.threads);
        result.lastPeakFds = std::max(result.lastPeakFds, figures.fds);
    }
    result.end = figures;
}
