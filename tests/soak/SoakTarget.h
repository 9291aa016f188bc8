#pragma once

#include <string>

#include "core/CProgrammer.h"
#include "session/SettingsRecord.h"

// What a cycle is run with: the name of the fault put in place and whether the auto-complete
// chain still ends in success with it.
struct CycleFault {
    std::string name;
    bool succeeds = true;
};

// One simulated backend under soak: the settings and the backend factory a session is started
// with, and the fault of each cycle. All calls come from the soak's thread, Arrange only between
// cycles, when no worker of the backend touches the simulated hardware.
class ISoakTarget {
public:
    virtual ~ISoakTarget() = default;

    virtual const char* Name() const = 0;
    // Chooses the backend in the session's working settings.
    virtual void Configure(SettingsRecord& settings) = 0;
    // The factory the session creates its backend with. The target must outlive the session.
    virtual BackendFactory Factory() = 0;
    // Clears the last cycle's fault and puts this cycle's in place (the image is imageLength
    // bytes, none of them 0xFF).
    virtual CycleFault Arrange(int cycle, int imageLength) = 0;
};
