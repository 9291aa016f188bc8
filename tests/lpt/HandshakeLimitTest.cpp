#include <gtest/gtest.h>

#include "LptTestSupport.h"
#include "lpt/PortPins.h"
#include "sim/CShiftWriteAdapter.h"

namespace {

// The simulated port, but the shift-write target answers the rise of RST on pin 13 only delayMs
// after the handshake wait first reads the pin, as the rig's fake clock counts.
class CLateHandshakePort : public IPortIo {
public:
    CLateHandshakePort(std::unique_ptr<CSimCable> cable, std::int64_t delayMs)
        : m_inner(std::move(cable)), m_nDelayMs(delayMs) {}

    bool Open() override { return m_inner.Open(); }
    std::uint8_t ReadData() override { return m_inner.ReadData(); }
    std::uint8_t ReadControl() override { return m_inner.ReadControl(); }
    void WriteData(std::uint8_t value) override { m_inner.WriteData(value); }
    void WriteControl(std::uint8_t value) override { m_inner.WriteControl(value); }
    std::uint8_t ReadStatus() override {
        const std::uint8_t mask = lptpins::LookUpPin(13).mask;
        const std::uint8_t status = m_inner.ReadStatus();
        if ((status & mask) == 0) {
            m_bSeenLow = true;
            return status;
        }
        if (!m_bSeenLow) return status;
        if (m_nRiseMs < 0) m_nRiseMs = clock->Peek();
        return clock->Peek() - m_nRiseMs >= m_nDelayMs ? status : status & ~mask;
    }

    CFakeClock* clock = nullptr;

private:
    CSimPortIo m_inner;
    std::int64_t m_nDelayMs;
    bool m_bSeenLow = false;
    std::int64_t m_nRiseMs = -1;
};

// The pin-13 wait of the shift write gives up after 2000 ms: an answer at 1999 ms is in time.
TEST(HandshakeLimit, AnswerAtTheLastMillisecondPassesAndAtTheLimitFails) {
    for (const auto& [delayMs, expected] :
         {std::pair{1999, std::vector<int>{PE_WRITE_PROGRESS, PE_WRITE_PROGRESS, PE_WRITE_DONE}},
          std::pair{2000, std::vector<int>{PE_WRITE_ERROR}}}) {
        auto cable = MakeSimCable(1);
        cable->AttachShiftAdapter(std::make_unique<CShiftWriteAdapter>());
        CLateHandshakePort* port = nullptr;
        SimRig rig(1, 0, std::move(cable), false, {}, [&](std::unique_ptr<CSimCable> c) {
            auto late = std::make_unique<CLateHandshakePort>(std::move(c), delayMs);
            port = late.get();
            return late;
        });
        port->clock = &rig.clock;
        LoadRandomImage(*rig.programmer, 20, 7);
        g_nLoadedLength = 20;
        rig.programmer->WriteChip(kChipShift);
        EXPECT_EQ(rig.Events(), expected) << "answer after " << delayMs << " ms";
        g_nLoadedLength = 0;
    }
}

}  // namespace
