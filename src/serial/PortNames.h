#pragma once

#include <memory>
#include <string>

#include "sim/CBoxEmulator.h"

// Which device a COM port number names. COMn is Dranvik.ini [Devices] COMn when present (a tty
// path, or "sim" / "sim:<chip model>" for the emulated programmer box on a pseudo-terminal), else
// /dev/ttyS(n-1). A process-wide override (the command line, tests) replaces the file's entry.

// Replaces the Dranvik.ini entry of COM comPort for this process; an empty device removes the
// override. Any thread.
void SetComDeviceOverride(int comPort, const std::string& device);

// What COM comPort names: the override, the settings file's entry, or the default path.
std::string ComDeviceName(int comPort);

// A device ready to be opened: its path and, for "sim", the running box emulator serving it,
// which must outlive every descriptor opened on the path.
struct ComDevice {
    std::string path;
    std::unique_ptr<CBoxEmulator> box;
};

// Resolves COM comPort; for "sim" starts a box emulator, which answers as fast as it can (the
// simulation is for trying the program out, not for waiting on it). An empty path when the device
// names an unknown chip model or the emulator cannot start.
ComDevice ResolveComDevice(int comPort);
