#include <gtest/gtest.h>

#include "LptTestSupport.h"

namespace {

// The trace of the recorded accesses: 'R' a read, 'E' a control write that changes only the
// Kestavo LE bit (control bit 3), 'W' any other write.
std::string Trace(const std::vector<PortOp>& ops, std::uint8_t control) {
    std::string trace;
    for (const PortOp& op : ops) {
        if (op.kind == 'c') {
            trace += (op.value ^ control) == 0x08 ? 'E' : 'W';
            control = op.value;
        } else {
            trace += op.kind == 'd' ? 'W' : 'R';
        }
    }
    return trace;
}

int Count(const std::string& trace, char c) {
    return static_cast<int>(std::count(trace.begin(), trace.end(), c));
}

TEST(Transfer, PortOperationsAtEachCableSpeed) {
    struct Case {
        int speed;
        int writes;
        int leWrites;
    };
    for (const Case c : {Case{2, 100, 0}, Case{1, 232, 0}, Case{0, 364, 264}}) {
        SCOPED_TRACE(c.speed);
        SimRig rig(1, c.speed);
        rig.isp->LatchPulse();  // LE at its resting level, as after any line change
        const std::uint8_t control = rig.cable->ReadControl();
        rig.port->recording = true;
        rig.isp->Transfer(4);
        const std::string trace = Trace(rig.port->ops, control);
        EXPECT_EQ(Count(trace, 'R'), 32);
        EXPECT_EQ(Count(trace, 'W') + Count(trace, 'E'), c.writes);
        EXPECT_EQ(Count(trace, 'E'), c.leWrites);
    }
}

TEST(Transfer, AtSpeedZeroEveryChangeIsFollowedAndEverySamplePrecededByTwoLeWrites) {
    SimRig rig(1, 0);
    rig.isp->LatchPulse();
    const std::uint8_t control = rig.cable->ReadControl();
    rig.port->recording = true;
    rig.isp->Transfer(1);
    std::string expected = "WEE";  // SCK low
    for (int bit = 0; bit < 8; ++bit)
        expected +=
            "WEE"
            "WEE"
            "EER"
            "WEE";
    EXPECT_EQ(Trace(rig.port->ops, control), expected);
}

TEST(Transfer, ExchangesBytesMsbFirstWithTheChip) {
    SimRig rig(3, 2);
    CParallelIsp& isp = *rig.isp;
    CChipAlgorithm* spi = isp.FindAlgorithm(2);
    spi->Begin();
    EXPECT_TRUE(rig.cable->Chip()->InProgrammingMode());
    EXPECT_EQ(isp.m_RxBuf[3], 0x69);  // the enable instruction's echo
    std::uint8_t signature[3] = {};
    spi->ReadSignature(signature);
    EXPECT_EQ(signature[0], 0x1E);
    EXPECT_EQ(signature[1], 0x52);
    EXPECT_EQ(signature[2], 0x06);
}

TEST(SpiByteAlgorithm, ByteVerifiedAtTheFirstPollCostsTwoInstructions) {
    auto cable = MakeSimCable(1, /*busyReads=*/0);
    SimRig rig(1, 2, std::move(cable));
    CChipAlgorithm* spi = rig.isp->FindAlgorithm(2);
    spi->Begin();
    const std::uint64_t instructions = rig.cable->Chip()->InstructionCount();
    const std::uint64_t writes = rig.cable->PortWrites();
    const std::uint64_t reads = rig.cable->PortReads();
    EXPECT_EQ(spi->WriteByte(0x5A, 0x1234), 1);
    EXPECT_EQ(rig.cable->Chip()->InstructionCount() - instructions, 2u);
    EXPECT_EQ(rig.cable->PortWrites() - writes, 200u);
    EXPECT_EQ(rig.cable->PortReads() - reads, 64u);
    EXPECT_EQ(rig.cable->Chip()->Flash()[0x1234], 0x5A);
    EXPECT_EQ(spi->ReadByte(0x1234), 0x5A);
}

TEST(SpiByteAlgorithm, WriteFailsOnlyAfterAThousandUnequalReads) {
    SimRig rig(1, 2);
    rig.cable->Chip()->SetStuckAddress(7);
    CChipAlgorithm* spi = rig.isp->FindAlgorithm(2);
    spi->Begin();
    const std::uint64_t instructions = rig.cable->Chip()->InstructionCount();
    EXPECT_EQ(spi->WriteByte(0x00, 7), 0);
    EXPECT_EQ(rig.cable->Chip()->InstructionCount() - instructions, 1001u);
}

TEST(SpiByteAlgorithm, BusyReadsArePolledThrough) {
    SimRig rig(2, 1);
    CChipAlgorithm* spi = rig.isp->FindAlgorithm(2);
    spi->Begin();
    const std::uint64_t instructions = rig.cable->Chip()->InstructionCount();
    EXPECT_EQ(spi->WriteByte(0x12, 0x0100), 1);
    EXPECT_EQ(rig.cable->Chip()->InstructionCount() - instructions, 4u);  // 2 busy reads
    spi->End();
    EXPECT_FALSE(rig.cable->Chip()->InProgrammingMode());
}

TEST(ShiftOutLsbFirst, ClocksEightBitsLeastSignificantFirstAndLeavesSckHigh) {
    auto cable = std::make_unique<CSimCable>(CSimCable::DefaultWiring(1));
    cable->AttachShiftAdapter(std::make_unique<CShiftWriteAdapter>());
    SimRig rig(1, 0, std::move(cable));
    rig.isp->SetRST(1);
    rig.isp->ShiftOutLsbFirst(0xA5);
    rig.isp->ShiftOutLsbFirst(0x01);
    EXPECT_EQ(rig.cable->ShiftAdapter()->Bytes(), (std::vector<std::uint8_t>{0xA5, 0x01}));
    EXPECT_NE(rig.isp->GetPin(rig.isp->m_nPinSCK), 0);
}

}  // namespace
