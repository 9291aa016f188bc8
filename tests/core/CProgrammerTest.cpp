#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/CEventQueue.h"
#include "core/CProgrammer.h"
#include "core/CoreTestSupport.h"

namespace {

// A backend that records the calls it receives.
class RecordingBackend : public IProgrammerBackend {
public:
    explicit RecordingBackend(std::vector<std::string>& log) : m_log(log) {}
    void CheckReady(std::uint8_t code) override { Note("ready", code); }
    void DetectChip(std::uint8_t code) override { Note("detect", code); }
    void EraseChip(std::uint8_t code) override { Note("erase", code); }
    void WriteChip(std::uint8_t code) override { Note("write", code); }
    void ReadChip(std::uint8_t code) override { Note("read", code); }
    void WriteLockBits(std::uint8_t code, int level) override {
        Note("lock" + std::to_string(level), code);
    }

private:
    void Note(const std::string& what, std::uint8_t code) {
        m_log.push_back(what + ":" + std::to_string(code));
    }
    std::vector<std::string>& m_log;
};

// An owner that records selections and events in the order they happen.
class OrderOwner : public IProgrammerOwner {
public:
    void PostProgrammerEvent(int code) override { order.push_back("event" + std::to_string(code)); }
    void InsertChipItem(int, const std::string&) override {}
    void SelectChipItem(int index) override { order.push_back("select" + std::to_string(index)); }
    std::vector<std::string> order;
};

class CProgrammerTest : public ::testing::Test {
protected:
    CProgrammerTest()
        : programmer(
              BackendFactory{[this](CProgrammer&, int port, int baud) {
                                 factoryCalls.push_back("serial " + std::to_string(port) + " " +
                                                        std::to_string(baud));
                                 return BackendStart{std::make_unique<RecordingBackend>(calls), 1};
                             },
                             [this](CProgrammer&, int type, int speed) {
                                 factoryCalls.push_back("parallel " + std::to_string(type) + " " +
                                                        std::to_string(speed));
                                 return BackendStart{std::make_unique<RecordingBackend>(calls), 1};
                             }}) {}

    void UseChips(std::vector<ChipInfo> chips) { programmer.m_ChipList = std::move(chips); }

    std::vector<std::string> calls;
    std::vector<std::string> factoryCalls;
    CEventQueue queue;
    CProgrammer programmer;
};

TEST_F(CProgrammerTest, DataLengthEndsAtTheLastByteOtherThanFFAndIsCappedByTheRom) {
    std::uint8_t* b1 = programmer.m_pBuffer1.get();
    EXPECT_EQ(programmer.GetDataLength(b1, kChipSpaceSize), 0);  // all 0xFF, no chip

    b1[0x07FF] = 0x00;
    EXPECT_EQ(programmer.GetDataLength(b1, kChipSpaceSize), 2048);
    EXPECT_EQ(programmer.m_nDataLen, 2048);

    b1[0xFFFF] = 0x12;
    EXPECT_EQ(programmer.GetDataLength(b1, kChipSpaceSize), 0x10000);  // no chip: 64 KiB
    UseChips({MakeChip("AT89S51", 2, 4, 0x1E, 0x51, 0x06)});
    EXPECT_EQ(programmer.GetDataLength(b1, kChipSpaceSize), 4096);
    UseChips({MakeChip("Huge", 2, 1 << 30, 0, 0, 0), MakeChip("Neg", 2, -8, 0, 0, 0)});
    EXPECT_EQ(programmer.GetDataLength(b1, kChipSpaceSize), 0x10000);  // clamped to 1024 KB
    programmer.SelectChip(1);
    EXPECT_EQ(programmer.GetDataLength(b1, kChipSpaceSize), 0);
    EXPECT_EQ(programmer.GetDataLength(b1, 0), 0);
}

TEST_F(CProgrammerTest, SignatureMatchSelectsTheFirstRecordBeforePostingTheEvent) {
    OrderOwner owner;
    programmer.Init(&owner, 9, 0);
    UseChips({MakeChip("Other", 2, 4, 1, 2, 3), MakeChip("First", 2, 4, 0x1E, 0x52, 0x06),
              MakeChip("Second", 3, 8, 0x1E, 0x52, 0x06)});
    programmer.m_Signature[0] = 0x1E;
    programmer.m_Signature[1] = 0x52;
    programmer.m_Signature[2] = 0x06;
    EXPECT_EQ(programmer.MatchSignature(), 1);
    EXPECT_EQ(programmer.m_nSelChip, 1);
    EXPECT_EQ(owner.order, (std::vector<std::string>{"select1", "event19"}));

    programmer.m_Signature[2] = 0x07;
    EXPECT_EQ(programmer.MatchSignature(), 0);
    EXPECT_EQ(programmer.m_nSelChip, 1);
    EXPECT_EQ(owner.order.back(), "event20");
}

TEST_F(CProgrammerTest, OperationsReachTheBackendOfTheTypeWithTheChipsCode) {
    programmer.Init(&queue, 2, 1);
    EXPECT_EQ(factoryCalls, (std::vector<std::string>{"parallel 2 1"}));
    UseChips({MakeChip("A", 2, 4, 0, 0, 0), MakeChip("B", 3, 4, 0, 0, 0)});
    programmer.m_nSelChip = 1;
    programmer.CheckReady(-1);  // a negative index is taken as 0
    EXPECT_EQ(programmer.m_nSelChip, 0);
    programmer.m_pBuffer2[5] = 0;
    programmer.ReadChip(1);
    EXPECT_EQ(programmer.m_pBuffer2[5], 0xFF);
    programmer.WriteLockBits(1, 3);
    programmer.DetectChip(0);
    programmer.EraseChip(0);
    programmer.WriteChip(1);
    EXPECT_EQ(calls, (std::vector<std::string>{"ready:2", "read:3", "lock3:3", "detect:2",
                                               "erase:2", "write:3"}));
    EXPECT_TRUE(queue.TakeAll().empty());
}

TEST_F(CProgrammerTest, EmptyListOrIndexPastTheEndIsRefused) {
    programmer.Init(&queue, 1, 0);
    EXPECT_EQ(programmer.GetSelectedChip(), nullptr);
    programmer.DetectChip(0);
    UseChips({MakeChip("A", 2, 4, 0, 0, 0)});
    programmer.WriteChip(1);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(queue.TakeAll(), (std::vector<int>{PE_INVALID_OPERATION, PE_INVALID_OPERATION}));
    // A refused index is not stored: the selection stays on the last valid row.
    EXPECT_EQ(programmer.m_nSelChip, 0);
    EXPECT_EQ(programmer.GetSelectedChip(), &programmer.GetChip(0));
}

TEST_F(CProgrammerTest, UnknownTypeAndBadBaudIndexCreateNothingUsable) {
    EXPECT_EQ(programmer.Init(&queue, 5, 0), 0);
    UseChips({MakeChip("A", 2, 4, 0, 0, 0)});
    programmer.CheckReady(0);
    programmer.WriteChip(0);
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(queue.TakeAll().empty());
    EXPECT_TRUE(factoryCalls.empty());

    programmer.m_nComPort = 2;
    programmer.m_nBaudIndex = 4;
    EXPECT_EQ(programmer.Init(&queue, 0, 0), 0);
    programmer.m_nBaudIndex = 3;
    EXPECT_EQ(programmer.Init(&queue, 0, 0), 1);
    EXPECT_EQ(factoryCalls, (std::vector<std::string>{"serial 2 0", "serial 2 57600"}));
}

TEST(CProgrammerWithoutBackends, TypesWithoutAFactoryIgnoreOperations) {
    CEventQueue queue;
    CProgrammer programmer;
    EXPECT_EQ(programmer.Init(&queue, 1, 0), 0);
    programmer.m_ChipList = {MakeChip("A", 2, 4, 0, 0, 0)};
    programmer.DetectChip(0);
    EXPECT_TRUE(queue.TakeAll().empty());
    EXPECT_EQ(programmer.m_pBuffer1[0], 0xFF);
    EXPECT_EQ(programmer.m_pBuffer2[kImageBufferSize - 1], 0xFF);
}

}  // namespace
