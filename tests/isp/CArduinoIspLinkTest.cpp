#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <vector>

#include "isp/CArduinoIspLink.h"
#include "isp/IspSelection.h"
#include "platform/TimeLimit.h"
#include "sim/CArduinoIspEmulator.h"
#include "support/TempDir.h"

namespace {

constexpr IspInstruction kEnable = {0xAC, 0x53, 0x00, 0x00};

// A link on an emulated board; the boot-loader wait is recorded, not slept.
struct Bench {
    explicit Bench(CArduinoIspEmulator::Faults faults = {}, int inFlight = 10) {
        EXPECT_TRUE(board.Start());
        board.SetFaults(faults);
        CArduinoIspLink::Options options;
        options.sleep = [this](int ms) { waitedMs += ms; };
        options.syncReplyMs = 20;
        options.replyTimeoutMs = 200;
        options.maxInFlight = inFlight;
        link = std::make_unique<CArduinoIspLink>(board.SlavePath(), 19200, nullptr, options);
    }
    CArduinoIspEmulator board;
    std::unique_ptr<CArduinoIspLink> link;
    int waitedMs = 0;
};

CArduinoIspEmulator::Faults Fault(int CArduinoIspEmulator::Faults::*count, int value) {
    CArduinoIspEmulator::Faults faults;
    faults.*count = value;
    return faults;
}

CArduinoIspEmulator::Faults Fault(bool CArduinoIspEmulator::Faults::*flag) {
    CArduinoIspEmulator::Faults faults;
    faults.*flag = true;
    return faults;
}

std::vector<IspInstruction> Writes(int count) {
    std::vector<IspInstruction> in;
    for (int a = 0; a < count; ++a)
        in.push_back({0x40, static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a),
                      static_cast<std::uint8_t>(a * 7)});
    return in;
}

}  // namespace

TEST(CArduinoIspLink, ProgramsTheChipThroughTheSketch) {
    EXPECT_EQ(ArduinoIspOptions{}.bootWaitMs, 1500);
    EXPECT_EQ(ArduinoIspOptions{}.maxInFlight, 10);
    Bench b;
    ASSERT_TRUE(b.link->Open()) << b.link->Reason();
    EXPECT_EQ(b.waitedMs, 1500);
    EXPECT_EQ(b.link->SketchVersion(), "ArduinoISP 1.18");
    EXPECT_EQ(IspLinkText(), "使用Arduino ISP(" + b.board.SlavePath() + ").");
    EXPECT_EQ(b.link->Enter(kEnable), 0x69);
    EXPECT_EQ(b.board.DeviceCode(), 0xE1);
    EXPECT_TRUE(b.board.HoldsReset());

    const std::vector<IspInstruction> erase = {{0xAC, 0x80, 0, 0}};
    std::uint8_t one = 0;
    ASSERT_TRUE(b.link->Transact(erase, {&one, 1}));
    // More instructions than fit into the board's buffer at once, in one call.
    const auto writes = Writes(700);
    std::vector<std::uint8_t> answers(writes.size());
    ASSERT_TRUE(b.link->Transact(writes, answers)) << b.link->Reason();
    std::vector<IspInstruction> reads;
    for (const auto& w : writes) reads.push_back({0x20, w[1], w[2], 0});
    reads.push_back({0x28, 0x01, 0x00, 0x00});  // signature byte 1 comes last, in order
    std::vector<std::uint8_t> read(reads.size());
    ASSERT_TRUE(b.link->Transact(reads, read));
    for (std::size_t a = 0; a + 1 < writes.size(); ++a) ASSERT_EQ(read[a], writes[a][3]) << a;
    // The byte written last is still being programmed: data polling shows bit 7 inverted.
    EXPECT_EQ(read[699], writes[699][3] ^ 0x80);
    EXPECT_EQ(read.back(), 0x52);
    EXPECT_EQ(b.board.LostBytes(), 0);

    b.link->Leave();
    EXPECT_FALSE(b.board.HoldsReset());
    b.link.reset();
    EXPECT_EQ(IspLinkText(), "");
}

TEST(CArduinoIspLink, FaultsFailWithAReasonNamingTheDevice) {
    {
        Bench b(Fault(&CArduinoIspEmulator::Faults::noSync));
        EXPECT_FALSE(WithinTimeLimit([&] { return b.link->Open(); }));
        EXPECT_NE(b.link->Reason().find(b.board.SlavePath() + ": no answer to STK500 sync"),
                  std::string::npos);
    }
    {
        Bench b(Fault(&CArduinoIspEmulator::Faults::noChip));
        ASSERT_TRUE(b.link->Open());
        EXPECT_NE(b.link->Enter(kEnable), 0x69);
    }
    // Replies counted: sync, two parameters, set device, enter, enable, then the writes.
    for (const auto faults : {Fault(&CArduinoIspEmulator::Faults::dropReplyByte, 40),
                              Fault(&CArduinoIspEmulator::Faults::stopAfter, 40)}) {
        Bench b(faults);
        ASSERT_TRUE(b.link->Open());
        ASSERT_EQ(b.link->Enter(kEnable), 0x69);
        const auto writes = Writes(100);
        std::vector<std::uint8_t> answers(writes.size());
        EXPECT_FALSE(WithinTimeLimit([&] { return b.link->Transact(writes, answers); }));
        EXPECT_EQ(b.link->Reason().rfind(b.board.SlavePath() + ": ", 0), 0u) << b.link->Reason();
        b.link->Leave();
        EXPECT_FALSE(b.board.HoldsReset());
    }
}

// A board that has stopped answering holds a worker only until the backend asks it to stop, not
// for the whole reply time-out.
TEST(CArduinoIspLink, AStopRequestEndsAWaitForAReply) {
    CArduinoIspEmulator board;
    ASSERT_TRUE(board.Start());
    std::atomic<bool> stopping{false};
    ArduinoIspOptions options;
    options.bootWaitMs = 0;
    options.replyTimeoutMs = 60'000;
    CArduinoIspLink link(
        board.SlavePath(), 19200, [&] { return stopping.load(); }, options);
    ASSERT_TRUE(link.Open());
    board.SetFaults(Fault(&CArduinoIspEmulator::Faults::stopAfter, 1));
    std::vector<std::uint8_t> answers(5);
    stopping = true;
    EXPECT_FALSE(WithinTimeLimit([&] { return link.Transact(Writes(5), answers); }));
    EXPECT_EQ(link.Reason(), board.SlavePath() + ": stopped");
}

TEST(CArduinoIspLink, OnlyATerminalIsOpened) {
    TempDir dir;
    const std::string file = dir.Write("flash.bin", "keep");
    ArduinoIspOptions options;
    options.bootWaitMs = 0;
    CArduinoIspLink link(file, 19200, nullptr, options);
    EXPECT_FALSE(link.Open());
    EXPECT_EQ(link.Reason().rfind(file, 0), 0u);
    std::string bytes;
    ASSERT_TRUE(platform::ReadWholeFile(file, bytes));
    EXPECT_EQ(bytes, "keep");
}

// Sixty-six bytes sent without waiting for a reply: the board keeps 64 and loses the rest,
// which is why the link never has more than ten UNIVERSAL commands in flight.
TEST(CArduinoIspEmulator, LosesWhatItsReceiveBufferCannotHold) {
    CArduinoIspEmulator board;
    ASSERT_TRUE(board.Start());
    const int fd = ::open(board.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 11; ++i) bytes.insert(bytes.end(), {0x56, 0x20, 0, 0, 0, 0x20});
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), 66);
    std::uint8_t reply[64];
    int got = 0;
    while (got < 30) {
        const ssize_t n = WithinTimeLimit([&] { return ::read(fd, reply, sizeof reply); });
        ASSERT_GT(n, 0);
        got += static_cast<int>(n);
    }
    EXPECT_EQ(board.LostBytes(), 2);
    ::close(fd);
}
