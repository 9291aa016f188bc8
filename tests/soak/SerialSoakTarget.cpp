#include "SerialSoakTarget.h"

#include <memory>

#include "serial/CSerialProgrammer.h"
#include "serial/PortNames.h"

namespace {

constexpr int kComPort = 1;
constexpr int kBaudIndex57600 = 3;
constexpr int kEraseCommand = 0x02;

}  // namespace

SerialSoakTarget::SerialSoakTarget() {
    m_bStarted = m_box.Start();
    if (m_bStarted) SetComDeviceOverride(kComPort, m_box.SlavePath());
}

SerialSoakTarget::~SerialSoakTarget() {
    SetComDeviceOverride(kComPort, "");
}

void SerialSoakTarget::Configure(SettingsRecord& settings) {
    settings.nProgrammerType = 0;
    settings.nComPort = kComPort;
    settings.nBaudIndex = kBaudIndex57600;
}

BackendFactory SerialSoakTarget::Factory() {
    BackendFactory factory;
    factory.createSerial = [](CProgrammer& programmer, int comPort, int baud) {
        auto backend = std::make_unique<CSerialProgrammer>(programmer);
        backend->SetTimings({std::chrono::milliseconds(200), std::chrono::milliseconds(100),
                             std::chrono::milliseconds(5)});
        backend->SetReadTimeouts({200, 200, 200});
        BackendStart start;
        start.result = backend->Init(&programmer, comPort, baud) ? 1 : 0;
        start.backend = std::move(backend);
        return start;
    };
    return factory;
}

CycleFault SerialSoakTarget::Arrange(int cycle, int imageLength) {
    const int blocks = imageLength / CSerialProgrammer::kBlockSize;
    CBoxEmulator::Faults faults;
    CycleFault fault{"none", true};
    switch (cycle % 10) {
        case 1:
            faults.ackFaultBlock = 1 + cycle % blocks;
            fault = {"rejected block", false};
            break;
        case 3:
            faults.dropAck = 1 + cycle % blocks;
            fault = {"lost acknowledge", false};
            break;
        case 5:
            faults.dropReadBlock = 1 + cycle % blocks;
            fault = {"read block lost once", true};
            break;
        case 7:
            faults.dropReadBlock = 1 + cycle % blocks;
            faults.dropReadTimes = 2;
            fault = {"read block lost twice", false};
            break;
        case 9:
            faults.shortReplyCommand = kEraseCommand;
            fault = {"erase reply cut short", false};
            break;
        default:
            break;
    }
    m_box.SetFaults(faults);
    return fault;
}
