#pragma once

#include "isp/IUsbTransfer.h"

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

// The USBasp's USB calls through libusb-1.0: its own libusb context for its lifetime, one open
// device at a time. One thread at a time.
class CLibusbTransfer : public IUsbTransfer {
public:
    CLibusbTransfer();
    ~CLibusbTransfer() override;
    CLibusbTransfer(const CLibusbTransfer&) = delete;
    CLibusbTransfer& operator=(const CLibusbTransfer&) = delete;

    bool Find(std::vector<UsbaspDevice>& found, std::string& reason) override;
    bool Open(const UsbaspDevice& device, std::string& reason) override;
    int ControlIn(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                  std::uint8_t* data, int length, int timeoutMs, std::string& reason) override;
    void Close() override;

private:
    // The devices on the bus (free the list with libusb_free_device_list), or -1 and reason.
    long DeviceList(libusb_device**& list, std::string& reason);

    libusb_context* m_pContext = nullptr;
    int m_nInitError = 0;  // libusb_init's error, 0 when the context is there
    libusb_device_handle* m_hDevice = nullptr;
};
