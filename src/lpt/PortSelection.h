#pragma once

#include <memory>
#include <string>

#include "lpt/IPortIo.h"

// Which access reaches the parallel port. A device name is "sim" or "sim:at89s51" /
// "sim:at89s52" (the simulated cable of the cable type in use, with a simulated chip, default
// AT89S52), "io:0x378" (direct I/O at that base), or a ppdev device path.

// When non-empty, replaces Dranvik.ini [Devices] LPT for this process. Any thread; set it before
// the backend is created.
void SetLptDeviceOverride(const std::string& device);

// The device name in force: the override, else Dranvik.ini [Devices] LPT, else empty (the
// default: ppdev on /dev/parport0, then direct I/O). Any thread.
std::string LptDeviceSetting();

// The (unopened) access the device name stands for, for the cable type; null when the device name
// is malformed. A simulated chip takes the simulated-chip settings in force now.
std::unique_ptr<IPortIo> CreatePortIo(const std::string& device, int cableType);

// The ppdev device tried when no device is configured.
constexpr const char* kDefaultPpdevPath = "/dev/parport0";
