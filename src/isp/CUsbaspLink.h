#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/IIspLink.h"
#include "isp/IUsbTransfer.h"
#include "isp/IspSelection.h"

// A USBasp as an ISP link: every instruction is one FUNC_TRANSMIT control request, whose four
// reply bytes are what the chip shifted out during the four instruction bytes. The device is
// the selection's: the only one plugged in, the one with a serial number, or BUS:DEVICE. The
// firmware drives RST while connected; the 51-series parts need it high, which the stock
// firmware does not do (it holds RST low, as AVR parts want), so a failed programming enable
// names the reset polarity. Made and opened on the owner's thread, then driven by one worker at a
// time.
class CUsbaspLink : public IIspLink {
public:
    // USB requests of the USBasp firmware (vendor type, device to host).
    static constexpr std::uint8_t kFuncConnect = 1;
    static constexpr std::uint8_t kFuncDisconnect = 2;
    static constexpr std::uint8_t kFuncTransmit = 3;
    static constexpr std::uint8_t kFuncSetIspSck = 10;
    static constexpr std::uint8_t kFuncGetCapabilities = 127;
    // The firmware's SCK choice 9, 187.5 kHz. The chips need SCK below a sixteenth of the crystal;
    // this clock suits every crystal from 3 MHz up (12 MHz and 11.0592 MHz with four times the
    // margin), and a faster one would gain little: each instruction costs a USB round trip of
    // about a millisecond, against 0.17 ms for its 32 bits at this clock.
    static constexpr std::uint16_t kSckOption = 9;
    // A control request that takes longer than this counts as failed: the firmware answers in
    // well under a millisecond, and a stop request is then never kept waiting long.
    static constexpr int kTransferTimeoutMs = 50;
    // Time given to the chip after RST is driven, before programming enable.
    static constexpr int kResetSettleMs = 20;

    // selection: a Kind::Usbasp selection. stopping: the backend's stop test, asked between
    // requests. An empty transfer uses libusb.
    CUsbaspLink(const IspSelection& selection, std::function<bool()> stopping,
                std::unique_ptr<IUsbTransfer> transfer = nullptr);
    ~CUsbaspLink() override;
    CUsbaspLink(const CUsbaspLink&) = delete;
    CUsbaspLink& operator=(const CUsbaspLink&) = delete;

    bool Open() override;
    int Enter(const IspInstruction& enable) override;
    bool Transact(std::span<const IspInstruction> in, std::span<std::uint8_t> answers) override;
    void Leave() override;
    std::string Reason() const override { return m_strReason; }
    // After a programming enable without 0x69: names the reset polarity, the usual cause here.
    std::string EnableHint() const override { return m_strEnableHint; }

    // The device opened ("001:004"), empty before Open succeeds.
    std::string DeviceName() const { return m_strDevice; }

private:
    bool Choose(const std::vector<UsbaspDevice>& found, UsbaspDevice& chosen);
    // One request with its reply expected to be `expect` bytes long (-1: any length).
    bool Request(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                 std::uint8_t* reply, int expect);

    IspSelection m_selection;
    std::function<bool()> m_stopping;
    std::unique_ptr<IUsbTransfer> m_pTransfer;
    std::string m_strDevice;
    bool m_bOpen = false;
    bool m_bConnected = false;
    std::string m_strReason;
    std::string m_strEnableHint;
};
