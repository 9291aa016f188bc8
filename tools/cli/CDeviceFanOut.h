#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Programs one chip on each of several programmers at once: one olstrin-cli process per
// programmer (the same arguments and --device N), so each has its own backend, threads and
// session, and one that fails or crashes never stops or corrupts the others. Their standard
// output comes back through pipes a whole line at a time, marked with the device: "[N] " before
// a log line, "device":N first in a JSON object. Standard error is shared as it is. A signal the
// group gets reaches every child itself; one sent to this process alone is passed on.
class CDeviceFanOut {
public:
    // args: the command line after the program name, without --device.
    CDeviceFanOut(std::vector<std::string> args, int deviceCount, bool json, bool quiet);

    // Runs them all to their end; 0 when every device succeeded, else the highest exit status.
    int Run();

private:
    struct Child {
        int device = 0;
        pid_t pid = -1;
        int fd = -1;          // the read end of its standard output, -1 once it closed
        std::string pending;  // a line not yet complete
        int status = 0;
    };

    bool Spawn(Child& child);
    // Reads what the child wrote and forwards its complete lines; false at its end.
    bool Drain(Child& child);
    void Forward(const Child& child, const std::string& line) const;
    void Reap(Child& child);
    void PassOnSignals();
    void PrintTotals(int status) const;

    std::vector<std::string> m_args;
    std::vector<Child> m_children;
    bool m_bJson;
    bool m_bQuiet;
};
