#include "isp/CUsbaspLink.h"

#include <chrono>
#include <thread>

#include "isp/CLibusbTransfer.h"
#include "platform/Translate.h"

namespace {

// "001:004 (serial 0042), 001:007" for a failure that lists the devices.
std::string DeviceList(const std::vector<UsbaspDevice>& devices) {
    std::string list;
    for (const UsbaspDevice& device : devices) {
        if (!list.empty()) list += ", ";
        list += device.Name();
        if (!device.strSerial.empty()) list += " (serial " + device.strSerial + ")";
        if (!device.strProblem.empty()) list += " (" + device.strProblem + ")";
    }
    return list;
}

}  // namespace

CUsbaspLink::CUsbaspLink(const IspSelection& selection, std::function<bool()> stopping,
                         std::unique_ptr<IUsbTransfer> transfer)
    : m_selection(selection),
      m_stopping(std::move(stopping)),
      m_pTransfer(transfer ? std::move(transfer) : std::make_unique<CLibusbTransfer>()) {}

CUsbaspLink::~CUsbaspLink() {
    ForgetIspLink(this);
    Leave();
    m_pTransfer->Close();
}

bool CUsbaspLink::Choose(const std::vector<UsbaspDevice>& found, UsbaspDevice& chosen) {
    std::vector<UsbaspDevice> matches;
    const bool byBus = m_selection.usbBus >= 0;
    const std::string& serial = m_selection.device;
    for (const UsbaspDevice& device : found) {
        if (byBus ? device.nBus == m_selection.usbBus && device.nAddress == m_selection.usbAddress
                  : serial.empty() || device.strSerial == serial)
            matches.push_back(device);
    }
    if (matches.size() == 1) {
        chosen = matches.front();
        return true;
    }
    if (matches.empty()) {
        const std::string wanted =
            byBus ? UsbaspDevice{m_selection.usbBus, m_selection.usbAddress, "", ""}.Name()
                  : serial;
        if (wanted.empty())
            m_strReason = platform::Tr("no USBasp found (16c0:05dc)");
        else if (found.empty())
            m_strReason = platform::Printf(platform::Tr("no USBasp found (16c0:05dc) matching %s"),
                                           wanted.c_str());
        else
            m_strReason =
                platform::Printf(platform::Tr("no USBasp found (16c0:05dc) matching %s; found: %s"),
                                 wanted.c_str(), DeviceList(found).c_str());
        return false;
    }
    m_strReason = platform::Printf(
        platform::Tr("several USBasp devices found: %s; choose one with usbasp:SERIAL or "
                     "usbasp:BUS:DEVICE"),
        DeviceList(matches).c_str());
    return false;
}

bool CUsbaspLink::Open() {
    std::vector<UsbaspDevice> found;
    std::string problem;
    if (!m_pTransfer->Find(found, problem)) {
        m_strReason = platform::Tr("no USBasp found (16c0:05dc)") + (": " + problem);
        return false;
    }
    UsbaspDevice device;
    if (!Choose(found, device)) return false;
    m_strDevice = device.Name();
    if (!device.strProblem.empty()) {
        m_strReason = "USBasp " + m_strDevice + ": " + device.strProblem;
        return false;
    }
    if (!m_pTransfer->Open(device, m_strReason)) return false;
    m_bOpen = true;
    // Every firmware answers this request (old ones with no bytes): a device that does not is
    // not a working USBasp.
    std::uint8_t capabilities[4];
    if (!Request(kFuncGetCapabilities, 0, 0, capabilities, -1)) return false;
    NoteIspLink(this, platform::Printf(platform::Tr("使用USBasp(%s)."), m_strDevice.c_str()));
    return true;
}

bool CUsbaspLink::Request(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                          std::uint8_t* reply, int expect) {
    if (!m_bOpen) {
        m_strReason = platform::Tr("USBasp not open");
        return false;
    }
    std::string problem;
    const int n =
        m_pTransfer->ControlIn(request, value, index, reply, 4, kTransferTimeoutMs, problem);
    if (n < 0) {
        m_strReason = "USBasp " + m_strDevice + ": " + problem;
        return false;
    }
    if (expect >= 0 && n != expect) {
        m_strReason = platform::Printf(
            platform::Tr("USBasp %s: request %d answered with %d bytes instead of %d"),
            m_strDevice.c_str(), request, n, expect);
        return false;
    }
    return true;
}

int CUsbaspLink::Enter(const IspInstruction& enable) {
    std::uint8_t reply[4] = {};
    // The clock is taken when the firmware connects. Firmware without the request answers it
    // with no bytes and keeps its own clock.
    if (!Request(kFuncSetIspSck, kSckOption, 0, reply, -1)) return -1;
    if (!Request(kFuncConnect, 0, 0, reply, -1)) return -1;
    m_bConnected = true;
    // Let the chip see RST and its oscillator settle, in slices, so a stop is not kept waiting.
    for (int waited = 0; waited < kResetSettleMs; waited += 5) {
        if (m_stopping && m_stopping()) {
            m_strReason = platform::Tr("stopped");
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::uint8_t answer = 0;
    if (!Transact(std::span(&enable, 1), std::span(&answer, 1))) return -1;
    if (answer != 0x69) {
        m_strEnableHint = platform::Printf(
            platform::Tr("USBasp %s: the chip answered programming enable with 0x%02X, not "
                         "0x69: RST is likely held low (the stock firmware does that); use the "
                         "reversed-reset firmware or an inverter in the RST line, and check the "
                         "wiring and the crystal (docs/wiring.md)"),
            m_strDevice.c_str(), answer);
    }
    return answer;
}

bool CUsbaspLink::Transact(std::span<const IspInstruction> in, std::span<std::uint8_t> answers) {
    for (size_t i = 0; i < in.size(); ++i) {
        if (m_stopping && m_stopping()) {
            m_strReason = platform::Tr("stopped");
            return false;
        }
        const IspInstruction& b = in[i];
        std::uint8_t reply[4] = {};
        if (!Request(kFuncTransmit, static_cast<std::uint16_t>(b[1] << 8 | b[0]),
                     static_cast<std::uint16_t>(b[3] << 8 | b[2]), reply, 4))
            return false;
        answers[i] = reply[3];
    }
    return true;
}

void CUsbaspLink::Leave() {
    if (!m_bConnected) return;
    m_bConnected = false;
    std::uint8_t reply[4];
    // Releases RST and the ISP lines; a device already gone has nothing left to release.
    std::string ignored;
    m_pTransfer->ControlIn(kFuncDisconnect, 0, 0, reply, 4, kTransferTimeoutMs, ignored);
}
