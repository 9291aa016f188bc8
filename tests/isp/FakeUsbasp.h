#pragma once

#include <cstring>
#include <memory>
#include <vector>

#include "isp/IUsbTransfer.h"
#include "sim/CTargetChip.h"

// A USBasp on a simulated chip, behind the USB transfer seam: the firmware's connect,
// disconnect, transmit, clock and capability requests. It keeps the requests it was sent, and can
// be told to hold RST low (stock firmware), to lose the device after some requests, or to answer
// instructions short.
class FakeUsbasp : public IUsbTransfer {
public:
    struct Sent {
        std::uint8_t request;
        std::uint16_t value;
        std::uint16_t index;
    };

    FakeUsbasp(CTargetChip& chip, std::vector<UsbaspDevice> devices)
        : m_chip(chip), m_devices(std::move(devices)) {}

    bool bStockReset = false;  // RST held low while connected, as the stock firmware does
    int nFailAfter = -1;       // requests answered before the device is gone (-1: never)
    int nTransmitBytes = 4;    // reply length of a transmit request
    // The requests, kept where a test can still read them after the link that owns the fake is
    // gone.
    std::shared_ptr<std::vector<Sent>> log = std::make_shared<std::vector<Sent>>();
    std::vector<Sent>& sent = *log;
    bool bOpen = false;

    bool Find(std::vector<UsbaspDevice>& found, std::string&) override {
        found = m_devices;
        return true;
    }
    bool Open(const UsbaspDevice&, std::string&) override { return bOpen = true; }
    void Close() override { bOpen = false; }

    int ControlIn(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                  std::uint8_t* data, int length, int, std::string& reason) override {
        if (nFailAfter == 0) {
            reason = "No such device (it may have been disconnected)";
            return -1;
        }
        if (nFailAfter > 0) --nFailAfter;
        sent.push_back({request, value, index});
        std::memset(data, 0, static_cast<size_t>(length));
        switch (request) {
            case 1:
                m_chip.SetReset(!bStockReset);
                return 1;
            case 2:
                m_chip.SetReset(false);
                return 1;
            case 10:
                return 1;
            case 127:
                return 4;
            case 3: {
                const std::array<std::uint8_t, 4> b = {
                    static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                    static_cast<std::uint8_t>(index), static_cast<std::uint8_t>(index >> 8)};
                data[3] = m_chip.Execute(b);
                return nTransmitBytes;
            }
            default:
                return 0;
        }
    }

private:
    CTargetChip& m_chip;
    std::vector<UsbaspDevice> m_devices;
};
