#pragma once

#include <string>
#include <vector>

// One device a programmer can be used through, as `olstrin-cli ports` and the settings page list
// it.
struct FoundPort {
    std::string strKind;     // "parallel", "gpio", "serial" or "usbasp"
    std::string strDevice;   // "/dev/ttyACM0"; for a USBasp its bus and device, "001:004"
    std::string strUsbId;    // "2341:0043" for a USB device, else empty
    std::string strProduct;  // the USB product name, empty when there is none
    std::string strSerial;   // the USB serial number, empty when there is none
    std::string strIsp;      // the ISP link word that uses it ("arduino:/dev/ttyACM0", "usbasp")
};

// The parallel ports (ppdev), GPIO chips, serial ports (UARTs that exist, USB serial adapters and
// boards) and USBasp programmers present, read from sysfs under sysRoot (a test gives a tree of
// its own), in that order and by device number within each kind. Any thread; reads files only.
std::vector<FoundPort> ListPorts(const std::string& sysRoot = "/sys");
