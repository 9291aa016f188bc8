#pragma once

#include <memory>
#include <optional>
#include <string>

#include "lpt/CGpioPortIo.h"
#include "lpt/IPortIo.h"

// Which access reaches the parallel port. A device name is "sim" or "sim:at89s51" /
// "sim:at89s52" (the simulated cable of the cable type in use, with a simulated chip, default
// AT89S52), "io:0x378" (direct I/O at that base), "gpio:/dev/gpiochipN" (a port made of that GPIO
// chip's lines, mapped in Dranvik.ini [GPIO]), or a ppdev device path.

// When non-empty, replaces Dranvik.ini [Devices] LPT for this process. Any thread; set it before
// the backend is created.
void SetLptDeviceOverride(const std::string& device);

// The device name in force: the override, else Dranvik.ini [Devices] LPT, else empty (the
// default: ppdev on /dev/parport0, then direct I/O). Any thread.
std::string LptDeviceSetting();

// Why the device name is malformed ("sim:" without a model or with an unknown one, "io:" without
// a valid address, "gpio:" without a chip path), naming it; empty when it is well formed.
std::string LptDeviceProblem(const std::string& device);

// The (unopened) access the device name stands for, for the cable type; null, with the reason
// reported through platform::ReportFailureReason, when the device name or its [GPIO] map is
// malformed. A simulated chip takes the simulated-chip settings in force now.
std::unique_ptr<IPortIo> CreatePortIo(const std::string& device, int cableType);

// The GPIO map of the settings file's [GPIO] section: Preset=rpi starts from the Raspberry Pi
// header lines for the ByteBlaster's pin roles (pin 2 MOSI on GPIO10, pin 10 MISO on GPIO9, pin 1
// SCK on GPIO11, pin 17 RST on GPIO25); then PinN=offset maps DB-25 pin N (1 to 17) to a line,
// and a negative offset unmaps it (a "; comment" after the value is allowed). An unknown preset is
// reported and ignored; a value that is no number, or a line past 65535, is reported with its key
// and gives no map. Any thread.
std::optional<GpioPinMap> ReadGpioPinMap(const std::string& settingsFile);

// The ppdev device tried when no device is configured.
constexpr const char* kDefaultPpdevPath = "/dev/parport0";
