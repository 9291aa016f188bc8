#include "lpt/CLptPort.h"

#include <cstdio>

#include "lpt/PortPins.h"
#include "lpt/PortSelection.h"
#include "platform/MessageBox.h"

namespace {

using lptpins::LookUpPin;
using lptpins::PinBit;
using lptpins::Reg;

std::uint8_t WithBit(std::uint8_t value, std::uint8_t mask, bool set) {
    return static_cast<std::uint8_t>(set ? value | mask : value & ~mask);
}

}  // namespace

CLptPort::CLptPort(PortIoFactory factory) : m_portIoFactory(std::move(factory)) {}

CLptPort::~CLptPort() = default;

int CLptPort::InitPortIo(std::uint16_t base) {
    m_wDataPort = base;
    m_wStatusPort = static_cast<std::uint16_t>(base + 1);
    m_wControlPort = static_cast<std::uint16_t>(base + 2);
    const std::string configured = LptDeviceSetting();
    if (configured.empty()) {
        if (OpenAccess(kDefaultPpdevPath)) return 1;
        platform::ShowMessageBox("初始化驱动程序失败!");
        char direct[16];
        std::snprintf(direct, sizeof direct, "io:0x%x", static_cast<unsigned>(base));
        if (OpenAccess(direct)) return 1;
    } else if (OpenAccess(configured)) {
        return 1;
    }
    platform::ShowMessageBox("初始化并口I/O失败!");
    return 0;
}

bool CLptPort::OpenAccess(const std::string& device) {
    std::unique_ptr<IPortIo> io = m_portIoFactory ? m_portIoFactory(device) : nullptr;
    if (!io || !io->Open()) return false;
    m_pPortIo = std::move(io);
    m_strDevice = device;
    m_bDirectIo = device.rfind("io:", 0) == 0;
    return true;
}

std::uint8_t CLptPort::ReadData() {
    return m_pPortIo ? m_pPortIo->ReadData() : 0xFF;
}
std::uint8_t CLptPort::ReadStatus() {
    return m_pPortIo ? m_pPortIo->ReadStatus() : 0xFF;
}
std::uint8_t CLptPort::ReadControl() {
    return m_pPortIo ? m_pPortIo->ReadControl() : 0xFF;
}

void CLptPort::WriteData(std::uint8_t value) {
    if (m_pPortIo) m_pPortIo->WriteData(value);
}

void CLptPort::WriteControl(std::uint8_t value) {
    if (m_pPortIo) m_pPortIo->WriteControl(value);
}

int CLptPort::Drive(int pin, bool high) {
    const PinBit bit = LookUpPin(pin);
    if (!bit.output) return 0;
    const bool set = high != bit.inverted;
    if (bit.reg == Reg::Data) {
        m_byData = WithBit(m_byData, bit.mask, set);
        WriteData(m_byData);
    } else {
        m_byControl = WithBit(m_byControl, bit.mask, set);
        WriteControl(m_byControl);
    }
    return 1;
}

int CLptPort::PinHigh(int pin) {
    return Drive(pin, true);
}
int CLptPort::PinLow(int pin) {
    return Drive(pin, false);
}
int CLptPort::SetPin(int pin, int level) {
    return level ? PinHigh(pin) : PinLow(pin);
}

int CLptPort::GetPin(int pin) {
    const PinBit bit = LookUpPin(pin);
    std::uint8_t value = 0;
    switch (bit.reg) {
        case Reg::Data:
            value = m_byData = ReadData();
            break;
        case Reg::Status:
            value = m_byStatus = ReadStatus();
            break;
        case Reg::Control:
            value = m_byControl = ReadControl();
            break;
        case Reg::None:
            return 0;
    }
    const int masked = value & bit.mask;
    if (bit.inverted) return masked ? 0 : 1;
    return masked;
}
