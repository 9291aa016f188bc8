#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "LptTestSupport.h"

namespace {

using Events = std::vector<int>;

int CountOf(const Events& events, int code) {
    return static_cast<int>(std::count(events.begin(), events.end(), code));
}

// Every operation end to end, for each cable type at each cable speed.
class EveryCableAndSpeed : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(EveryCableAndSpeed, DetectsErasesWritesReadsBackAndLocks) {
    const auto [type, speed] = GetParam();
    SimRig rig(type, speed);
    CProgrammer& p = *rig.programmer;
    EXPECT_EQ(rig.initEvents, Events{PE_PARALLEL_INIT_DONE});

    p.DetectChip(kChipS51);
    EXPECT_EQ(rig.Events(), Events{PE_DEVICE_DETECTED});
    EXPECT_EQ(p.m_nSelChip, kChipS52);
    EXPECT_EQ(rig.queue.SelectedItem(), kChipS52);

    p.EraseChip(kChipS52);
    EXPECT_EQ(rig.Events(), Events{PE_ERASE_DONE});

    const auto image = LoadRandomImage(p, 4096, static_cast<unsigned>(type * 10 + speed));
    p.WriteChip(kChipS52);
    const Events written = rig.Events();
    ASSERT_EQ(written.back(), PE_WRITE_DONE);
    EXPECT_EQ(CountOf(written, PE_WRITE_PROGRESS), 274);  // positions 0, 15, ..., 4095
    EXPECT_TRUE(std::equal(image.begin(), image.end(), rig.cable->Chip()->Flash().begin()));

    p.m_bReadWrittenLength = 1;
    p.ReadChip(kChipS52);
    const Events read = rig.Events();
    ASSERT_EQ(read.back(), PE_READ_DONE);
    EXPECT_EQ(CountOf(read, PE_READ_PROGRESS), 274);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), p.m_pBuffer2.get()));
    EXPECT_EQ(p.m_pBuffer2[4096], 0xFF);  // exactly the written length was read

    p.WriteLockBits(kChipS52, 3);
    EXPECT_EQ(rig.Events(), Events{PE_LOCK_DONE});
    EXPECT_EQ(rig.cable->Chip()->LockLevel(), 3);
    EXPECT_FALSE(rig.isp->IsBusy());
}

INSTANTIATE_TEST_SUITE_P(AllCables, EveryCableAndSpeed,
                         ::testing::Combine(::testing::Values(1, 2, 3, 4),
                                            ::testing::Values(0, 1, 2)),
                         [](const auto& info) {
                             return "Type" + std::to_string(std::get<0>(info.param)) + "Speed" +
                                    std::to_string(std::get<1>(info.param));
                         });

TEST(ParallelOperations, KestavoLatchGatesTheLinesWhenLeStrobesAreDropped) {
    SimRig rig(1, 0);
    // LE (pin 17, inverted control bit 3) held at its disable level: the latch never opens.
    rig.port->m_controlFilter = [](std::uint8_t value) {
        return static_cast<std::uint8_t>(value | 0x08);
    };
    // The chip never sees programming enable, so it never answers it.
    rig.programmer->DetectChip(kChipS52);
    EXPECT_EQ(rig.Events(), Events{PE_NO_CHIP_ANSWER});
    LoadRandomImage(*rig.programmer, 16, 1);
    rig.programmer->WriteChip(kChipS52);
    EXPECT_EQ(rig.Events(), Events{PE_NO_CHIP_ANSWER});
    EXPECT_EQ(rig.cable->Chip()->InstructionCount(), 0u);
}

TEST(ParallelOperations, WriteEventSequences) {
    SimRig rig(1, 0);
    CProgrammer& p = *rig.programmer;

    LoadRandomImage(p, 16, 2);
    p.WriteChip(kChipS52);
    EXPECT_EQ(rig.Events(), (Events{PE_WRITE_PROGRESS, PE_WRITE_PROGRESS, PE_WRITE_DONE}));

    std::fill_n(p.m_pBuffer1.get(), kImageBufferSize, 0xFF);  // length 0: nothing to program
    p.WriteChip(kChipS52);
    EXPECT_EQ(rig.Events(), Events{PE_WRITE_DONE});
    EXPECT_EQ(p.m_nDataLen, 0);
}

TEST(ParallelOperations, ByteThatNeverProgramsStopsTheWriteThere) {
    SimRig rig(1, 0);
    rig.cable->Chip()->SetStuckAddress(4);
    LoadRandomImage(*rig.programmer, 16, 3);
    rig.programmer->WriteChip(kChipS52);
    EXPECT_EQ(rig.Events(), (Events{PE_WRITE_PROGRESS, PE_WRITE_ERROR}));
    EXPECT_EQ(rig.programmer->m_nPos, 4);
    EXPECT_FALSE(rig.isp->IsBusy());
    EXPECT_EQ(rig.cable->ReadData() & 0x01, 0);  // OE (pin 2) left at its enable level, low
    EXPECT_FALSE(rig.cable->Chip()->InProgrammingMode());
}

TEST(ParallelOperations, ReadLengths) {
    SimRig rig(2, 2);
    CProgrammer& p = *rig.programmer;

    p.m_bReadWrittenLength = 1;
    p.m_nDataLen = 0;
    p.ReadChip(kChipS52);
    EXPECT_EQ(rig.Events(), Events{PE_READ_DONE});
    EXPECT_FALSE(rig.isp->IsBusy());
    EXPECT_EQ(p.m_pBuffer2[0], 0xFF);

    p.m_bReadWrittenLength = 0;  // a plain read takes the chip's ROM size
    p.ReadChip(kChipS51);
    EXPECT_EQ(rig.Events().back(), PE_READ_DONE);
    EXPECT_EQ(p.m_nDataLen, 4096);
}

TEST(ParallelOperations, RefusalsAndReadyChecks) {
    SimRig rig(1, 2, nullptr, /*gatedClock=*/true);
    CProgrammer& p = *rig.programmer;

    p.DetectChip(kChipCode1);
    EXPECT_EQ(rig.queue.TakeAll(), Events{PE_INVALID_OPERATION});
    EXPECT_FALSE(rig.isp->IsBusy());

    p.DetectChip(kChipS51);
    p.EraseChip(kChipS51);  // refused whether or not the first worker has begun
    rig.clock.WaitUntilSleeping();
    p.WriteChip(kChipS51);
    p.CheckReady(kChipS51);  // a running write does not make the programmer unready
    p.CheckReady(kChipCode1);
    EXPECT_EQ(rig.queue.TakeAll(),
              (Events{PE_UNAVAILABLE, PE_UNAVAILABLE, PE_READY, PE_UNAVAILABLE}));
    rig.clock.Open();
    EXPECT_EQ(rig.Events(), Events{PE_DEVICE_DETECTED});
}

TEST(ParallelOperations, CommandSetWaits) {
    SimRig rig(1, 2);
    CProgrammer& p = *rig.programmer;
    const std::int64_t start = rig.clock.SleptMs();
    p.EraseChip(kChipS52);
    EXPECT_EQ(rig.Events(), Events{PE_ERASE_DONE});
    EXPECT_EQ(rig.clock.SleptMs() - start, 20 + 500);
    p.WriteLockBits(kChipS52, 2);  // programming mode is entered again before the second bit
    EXPECT_EQ(rig.Events(), Events{PE_LOCK_DONE});
    EXPECT_EQ(rig.clock.SleptMs() - start, 520 + 20 + 1 + 20 + 1);
    EXPECT_EQ(rig.cable->Chip()->LockLevel(), 2);
}

// The simulated port of a rig that notes, as the backend releases it, whether the chip was still
// in programming mode.
class CModeAtRelease : public CSimPortIo {
public:
    CModeAtRelease(std::unique_ptr<CSimCable> cable, std::shared_ptr<int> inMode)
        : CSimPortIo(std::move(cable)), m_pInMode(std::move(inMode)) {}
    ~CModeAtRelease() override { *m_pInMode = Cable().Chip()->InProgrammingMode() ? 1 : 0; }

private:
    std::shared_ptr<int> m_pInMode;
};

// Closing stops the worker at its next byte: nothing more is posted, and the chip has left
// programming mode before the port is released, so the target runs again.
TEST(ParallelOperations, ClosingDuringAnOperationPostsNothingMore) {
    auto inMode = std::make_shared<int>(-1);
    SimRig rig(1, 0, nullptr, /*gatedClock=*/true, {}, [inMode](std::unique_ptr<CSimCable> cable) {
        return std::make_unique<CModeAtRelease>(std::move(cable), inMode);
    });
    LoadRandomImage(*rig.programmer, 4096, 4);
    rig.programmer->WriteChip(kChipS52);
    rig.clock.WaitUntilSleeping();
    CParallelIsp* isp = rig.isp;
    std::thread opener([&] {
        while (!isp->Stopping()) std::this_thread::yield();
        rig.clock.Open();
    });
    rig.programmer.reset();  // raises the stop request and joins the worker
    opener.join();
    EXPECT_TRUE(rig.queue.TakeAll().empty());
    EXPECT_EQ(*inMode, 0);
}

TEST(ShiftOut, DetectionSendsNothingToTheChip) {
    SimRig rig(1, 0);
    rig.port->recording = true;
    rig.programmer->DetectChip(kChipShift);
    EXPECT_EQ(rig.Events(), Events{PE_DEVICE_DETECTED});
    EXPECT_EQ(rig.programmer->m_nSelChip, kChipShift);
    EXPECT_EQ(rig.cable->Chip()->InstructionCount(), 0u);
    // Only OE (pin 2, data bit 0) moves: enabled, then released.
    ASSERT_EQ(rig.port->ops.size(), 2u);
    EXPECT_EQ(rig.port->ops[0].kind, 'd');
    EXPECT_EQ(rig.port->ops[0].value & 0x01, 0);
    EXPECT_EQ(rig.port->ops[1].value & 0x01, 1);
}

TEST(ShiftOut, ReadFillsTheBufferWithOnes) {
    SimRig rig(3, 2);
    rig.programmer->ReadChip(kChipShift);
    EXPECT_EQ(rig.Events().back(), PE_READ_DONE);
    EXPECT_TRUE(std::all_of(rig.programmer->m_pBuffer2.get(),
                            rig.programmer->m_pBuffer2.get() + 4096,
                            [](std::uint8_t b) { return b == 0x01; }));
}

class ShiftWrite : public ::testing::TestWithParam<int> {
protected:
    void TearDown() override { g_nLoadedLength = 0; }
};

TEST_P(ShiftWrite, SendsTheLoadedLengthLsbFirstAfterTheHandshake) {
    auto cable = MakeSimCable(GetParam());
    cable->AttachShiftAdapter(std::make_unique<CShiftWriteAdapter>());
    SimRig rig(GetParam(), 0, std::move(cable));
    const auto image = LoadRandomImage(*rig.programmer, 20, 5);
    g_nLoadedLength = 20;
    rig.programmer->WriteChip(kChipShift);
    EXPECT_EQ(rig.Events(), (Events{PE_WRITE_PROGRESS, PE_WRITE_PROGRESS, PE_WRITE_DONE}));
    EXPECT_EQ(rig.cable->ShiftAdapter()->Bytes(), image);
    EXPECT_FALSE(rig.isp->IsBusy());
}

INSTANTIATE_TEST_SUITE_P(AllCables, ShiftWrite, ::testing::Values(1, 2, 3, 4));

TEST(ShiftWriteWithoutAdapter, EndsWithWriteErrorAfterTheBoundedWait) {
    SimRig rig(1, 2);
    g_nLoadedLength = 20;
    rig.programmer->WriteChip(kChipShift);
    EXPECT_EQ(rig.Events(), Events{PE_WRITE_ERROR});
    g_nLoadedLength = 0;
    EXPECT_FALSE(rig.isp->IsBusy());
    EXPECT_GE(rig.clock.NowMs(), 2000);
    EXPECT_EQ(rig.cable->ReadData() & 0x01, 1);  // OE (pin 2) released
}

// Reads back a 600-byte image (two whole pages and an 88-byte tail); returns the chip's count
// of page-mode and byte-mode read instructions during the read.
std::pair<std::uint64_t, std::uint64_t> ReadBack600(SimRig& rig) {
    CProgrammer& p = *rig.programmer;
    const auto image = LoadRandomImage(p, 600, 11);
    p.WriteChip(kChipS52);
    EXPECT_EQ(rig.Events().back(), PE_WRITE_DONE);
    const CTargetChip& chip = *rig.cable->Chip();
    const std::uint64_t pages = chip.InstructionCount(0x30);
    const std::uint64_t bytes = chip.InstructionCount(0x20);
    p.m_bReadWrittenLength = 1;
    p.ReadChip(kChipS52);
    const Events read = rig.Events();
    EXPECT_EQ(read.back(), PE_READ_DONE);
    EXPECT_EQ(CountOf(read, PE_READ_PROGRESS), 40);  // every fifteenth byte, pages or not
    EXPECT_TRUE(std::equal(image.begin(), image.end(), p.m_pBuffer2.get()));
    EXPECT_EQ(p.m_nPos, 600);
    return {chip.InstructionCount(0x30) - pages, chip.InstructionCount(0x20) - bytes};
}

TEST(PageRead, WholePagesInPageModeAndTheTailByteByByte) {
    SimRig rig(3, 2);
    // The backend's first page is also read byte by byte, to see that the chip performs page
    // reads; the next read trusts them.
    EXPECT_EQ(ReadBack600(rig), std::make_pair(std::uint64_t{2}, std::uint64_t{256 + 88}));
    EXPECT_EQ(ReadBack600(rig), std::make_pair(std::uint64_t{2}, std::uint64_t{88}));

    SimRig off(3, 2, nullptr, false, "[Options]\nPageRead=0\n");
    EXPECT_EQ(ReadBack600(off), std::make_pair(std::uint64_t{0}, std::uint64_t{600}));
}

TEST(LockReadBack, LockDoneOnlyWhenTheLevelReadsBack) {
    SimRig rig(2, 2);
    rig.programmer->WriteLockBits(kChipS52, 1);
    EXPECT_EQ(rig.Events(), Events{PE_LOCK_DONE});
    rig.programmer->WriteLockBits(kChipS52, 3);
    EXPECT_EQ(rig.Events(), Events{PE_LOCK_DONE});
    rig.programmer->WriteLockBits(kChipS52, 2);  // the chip stays at level 3
    EXPECT_EQ(rig.Events(), Events{PE_LOCK_ERROR});

    // Without a chip MISO floats high: programming enable is not answered, nothing is locked.
    SimRig empty(2, 2, std::make_unique<CSimCable>(CSimCable::DefaultWiring(2)));
    for (int level : {1, 3}) {
        empty.programmer->WriteLockBits(kChipS52, level);
        EXPECT_EQ(empty.Events(), Events{PE_NO_CHIP_ANSWER});
    }
}

TEST(LockReadBack, AReadProtectedChipIsNotReadOut) {
    SimRig rig(4, 2);
    CProgrammer& p = *rig.programmer;
    LoadRandomImage(p, 32, 12);
    p.WriteChip(kChipS52);
    ASSERT_EQ(rig.Events().back(), PE_WRITE_DONE);
    p.WriteLockBits(kChipS52, 1);  // level 1 forbids writing only
    ASSERT_EQ(rig.Events(), Events{PE_LOCK_DONE});
    p.ReadChip(kChipS52);
    EXPECT_EQ(rig.Events().back(), PE_READ_DONE);

    std::fill_n(p.m_pBuffer2.get(), 64, 0xFF);
    p.WriteLockBits(kChipS52, 2);
    ASSERT_EQ(rig.Events(), Events{PE_LOCK_DONE});
    p.ReadChip(kChipS52);
    EXPECT_EQ(rig.Events(), Events{PE_READ_LOCKED});
    EXPECT_EQ(p.m_pBuffer2[0], 0xFF);
    EXPECT_FALSE(rig.isp->IsBusy());
    EXPECT_FALSE(rig.cable->Chip()->InProgrammingMode());
}

}  // namespace
