#pragma once

#include <memory>
#include <string>

#include "ProcessFigures.h"
#include "SoakTarget.h"
#include "core/CEventQueue.h"
#include "session/CProgrammingSession.h"
#include "session/RecordingView.h"

// Drives one session on one soak target through many auto-complete cycles, the way the window
// does (every event handed to the session on this thread, in posting order), and checks each
// cycle's ending and the process figures of the first cycles against the last. Single thread.
class SoakRun {
public:
    struct Result {
        int cycles = 0;
        int successes = 0;
        int failures = 0;
        int wrongEndings = 0;  // cycles that ended otherwise than their fault calls for
        int hangs = 0;         // cycles that stopped posting events before their end
        int lateEnds = 0;      // prompt-less ends after a cycle's own end
        ProcessFigures start;  // after the first cycles
        ProcessFigures end;    // after the last
        int firstPeakThreads = 0;
        int lastPeakThreads = 0;
        int firstPeakFds = 0;
        int lastPeakFds = 0;
        int peakThreads = 0;
    };

    // The folder holds the image file; chipFile is the chip list the session loads.
    SoakRun(ISoakTarget& target, std::string folder, std::string chipFile);
    ~SoakRun();

    // Starts the session and runs the cycles; false when the session did not start.
    bool Run(int cycles, Result& result);

    // Cycles at each end whose figures are compared.
    static constexpr int kWindow = 20;

private:
    // Hands events to the session until the cycle's sequence ends; false when none came for a
    // long time.
    bool RunUntilEnded();
    // Hands over whatever arrives until the line has been quiet for a moment.
    void Drain();
    // Writes the cycle's image (no 0xFF bytes, so every byte is programmed) and returns its length.
    int WriteImage(int cycle);
    void Note(int cycle, int cycles, const ProcessFigures& figures, Result& result) const;

    ISoakTarget& m_target;
    std::string m_strFolder;
    std::string m_strChipFile;
    CEventQueue m_queue;
    RecordingView m_view{m_queue};
    std::unique_ptr<CProgrammingSession> m_session;
};
