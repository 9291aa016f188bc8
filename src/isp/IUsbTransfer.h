#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One USBasp on the bus, as the transfer layer found it.
struct UsbaspDevice {
    int nBus = 0;
    int nAddress = 0;
    std::string strSerial;   // empty when the device has none
    std::string strProblem;  // why it could not be opened to check it, else empty

    // "001:004": bus and device number, as lsusb prints them.
    std::string Name() const {
        char text[16];
        std::snprintf(text, sizeof text, "%03d:%03d", nBus, nAddress);
        return text;
    }
};

// The USB calls the USBasp link needs, so the link runs over libusb on the machine and over a fake
// device in the tests. Owned by one link and called from one thread at a time.
class IUsbTransfer {
public:
    static constexpr std::uint16_t kVendorId = 0x16C0;
    static constexpr std::uint16_t kProductId = 0x05DC;
    static constexpr const char* kVendorName = "www.fischl.de";

    virtual ~IUsbTransfer() = default;

    // The devices with the USBasp's vendor and product ids and its vendor string. A device that
    // cannot be opened to read its strings is listed with strProblem set, so that a permission
    // problem is reported instead of "none found". False (and reason) when the bus itself could
    // not be listed.
    virtual bool Find(std::vector<UsbaspDevice>& found, std::string& reason) = 0;

    // Opens the device for control transfers. False and reason when it cannot be opened.
    virtual bool Open(const UsbaspDevice& device, std::string& reason) = 0;

    // A vendor request to the device, data from device to host: up to length bytes into data.
    // Returns the bytes received, or -1 and reason when the transfer failed or timed out after
    // timeoutMs.
    virtual int ControlIn(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                          std::uint8_t* data, int length, int timeoutMs, std::string& reason) = 0;

    // Closes the open device; harmless when none is open.
    virtual void Close() = 0;
};
