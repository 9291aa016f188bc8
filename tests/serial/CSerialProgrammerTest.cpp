#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <thread>

#include "core/CEventQueue.h"
#include "core/CProgrammer.h"
#include "serial/CSerialProgrammer.h"
#include "serial/PortNames.h"
#include "serial/SerialBackend.h"
#include "serial/SerialTestSupport.h"
#include "sim/CBoxEmulator.h"
#include "support/TempDir.h"

namespace {

using namespace std::chrono_literals;
using Units = std::vector<std::vector<std::uint8_t>>;

constexpr int kPort = 3;
enum ChipIndex { kS51, kS52, kNoRom, kOddAlgorithm };

ChipInfo MakeChip(const char* name, std::uint8_t algorithm, int kb, std::uint8_t s1) {
    ChipInfo chip{};
    std::strncpy(chip.szName, name, sizeof chip.szName - 1);
    chip.bAlgorithm = algorithm;
    chip.nRomKB = kb;
    chip.fVoltage = 5.0f;
    chip.Signature[0] = 0x1E;
    chip.Signature[1] = s1;
    chip.Signature[2] = 0x06;
    return chip;
}

// Polls the condition (what another thread has done) for up to 10 s.
template <class Condition>
bool Eventually(Condition condition) {
    for (int i = 0; i < 10000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return condition();
}

std::vector<int> Repeat(std::vector<int> head, int code, int times, std::vector<int> tail) {
    head.insert(head.end(), static_cast<size_t>(times), code);
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// The data frames (code 0x07) and read request bytes among the units the box took.
Units DataFrames(const Units& units) {
    Units out;
    for (const auto& u : units) {
        if (u.size() == 18 && u[0] == 0x07) out.push_back(u);
    }
    return out;
}
std::vector<std::uint8_t> Requests(const Units& units) {
    std::vector<std::uint8_t> out;
    for (const auto& u : units) {
        if (u.size() == 1) out.push_back(u[0]);
    }
    return out;
}

// A controller whose serial backend talks to an emulated box over a real pseudo-terminal.
class SerialProgrammerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(box.Start());
        SetComDeviceOverride(kPort, box.SlavePath());
        const std::vector<ChipInfo> chips = {
            MakeChip("AT89S51", 2, 4, 0x51), MakeChip("AT89S52", 2, 8, 0x52),
            MakeChip("NOROM", 2, 0, 0x00), MakeChip("ODDALG", 9, 8, 0x33)};
        const auto bytes = chiplist::Serialize(chips);
        chipList =
            dir.Write("ChipList.chip", {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    }
    void TearDown() override {
        programmer.reset();
        SetComDeviceOverride(kPort, "");
    }

    // Creates the controller on COM kPort at the baud index and initialises its serial backend.
    void Init(int baudIndex = 3, bool realFactory = false) {
        BackendFactory factory;
        if (realFactory) {
            factory.createSerial = CreateSerialBackend;
        } else {
            factory.createSerial = [this](CProgrammer& p, int port, int baud) {
                auto backend = std::make_unique<CSerialProgrammer>(p, clock);
                backend->SetTimings(timings);
                backend->SetReadTimeouts(readTimeouts);
                serial = backend.get();
                BackendStart start;
                if (baud != 0) start.result = backend->Init(&p, port, baud);
                start.backend = std::move(backend);
                return start;
            };
        }
        programmer = std::make_unique<CProgrammer>(std::move(factory));
        programmer->m_nComPort = kPort;
        programmer->m_nBaudIndex = baudIndex;
        initResult = programmer->Init(&queue, 0, 0);
        programmer->LoadChipListFrom(chipList);
    }

    // Events up to and including the first `last`, or everything that came within 10 s.
    std::vector<int> EventsUntil(int last) {
        std::vector<int> events;
        while (auto code = queue.WaitEvent(10s)) {
            events.push_back(*code);
            if (*code == last) break;
        }
        return events;
    }

    // Init as the window does it: the first ready query follows the init event.
    void InitReady() {
        Init();
        ASSERT_EQ(EventsUntil(PE_SERIAL_INIT_DONE), std::vector<int>{PE_SERIAL_INIT_DONE});
        Ready();
    }

    void Ready() {
        programmer->CheckReady(kS52);
        ASSERT_EQ(EventsUntil(PE_READY), std::vector<int>{PE_READY});
    }

    void LoadImage(const std::vector<std::uint8_t>& image) {
        std::memcpy(programmer->m_pBuffer1.get(), image.data(), image.size());
    }

    // Verify-read of the length the last write left.
    std::vector<int> VerifyRead() {
        programmer->m_bReadWrittenLength = 1;
        programmer->ReadChip(kS52);
        return EventsUntil(PE_READ_DONE);
    }

    bool Buffer2Holds(const std::vector<std::uint8_t>& image) const {
        return std::memcmp(programmer->m_pBuffer2.get(), image.data(), image.size()) == 0;
    }

    MessageBoxRecorder boxes;
    TempDir dir;
    std::string chipList;
    CBoxEmulator box;
    CEventQueue queue;
    CSerialProgrammer::Timings timings;
    CSerialPort::ReadTimeouts readTimeouts;
    platform::IClock* clock = nullptr;  // the system's when none
    std::unique_ptr<CProgrammer> programmer;
    CSerialProgrammer* serial = nullptr;
    int initResult = 0;
};

class SerialProgrammerBaudTest : public SerialProgrammerTest,
                                 public ::testing::WithParamInterface<int> {};

TEST_P(SerialProgrammerBaudTest, EveryOperationEndToEnd) {
    Init(GetParam());
    EXPECT_EQ(initResult, 1);
    EXPECT_EQ(EventsUntil(PE_SERIAL_INIT_DONE), std::vector<int>{PE_SERIAL_INIT_DONE});
    Ready();

    programmer->DetectChip(kS51);
    EXPECT_EQ(EventsUntil(PE_DEVICE_DETECTED), std::vector<int>{PE_DEVICE_DETECTED});
    EXPECT_EQ(programmer->m_nSelChip, kS52);
    EXPECT_EQ(queue.SelectedItem(), kS52);
    EXPECT_EQ(programmer->m_Signature[1], 0x52);

    programmer->EraseChip(kS52);
    EXPECT_EQ(EventsUntil(PE_ERASE_DONE), std::vector<int>{PE_ERASE_DONE});

    // 17 bytes: two blocks, the second carrying bytes 16..31; the box answers the end frame.
    std::vector<std::uint8_t> image(17);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 1);
    LoadImage(image);
    programmer->WriteChip(kS52);
    EXPECT_EQ(EventsUntil(PE_READY),
              (std::vector<int>{PE_WRITE_STARTED, PE_WRITE_PROGRESS, PE_WRITE_PROGRESS,
                                PE_WRITE_DONE, PE_READY}));
    EXPECT_EQ(programmer->m_nPos, 32);
    EXPECT_EQ(programmer->m_nDataLen, 17);
    const Units data = DataFrames(box.Received());
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(data[1][1], 2);  // the algorithm code rides along in every frame
    EXPECT_EQ(data[1][2], image[16]);
    EXPECT_EQ(std::vector<std::uint8_t>(data[1].begin() + 3, data[1].end()),
              std::vector<std::uint8_t>(15, 0xFF));
    EXPECT_EQ(box.Received().back()[0], 0x00);  // the end frame
    EXPECT_TRUE(std::equal(image.begin(), image.end(), box.Flash().begin()));

    // The verify-read asks for ceil(17 / 16) blocks.
    EXPECT_EQ(VerifyRead(), Repeat({PE_READ_STARTED}, PE_READ_PROGRESS, 2, {PE_READ_DONE}));
    EXPECT_TRUE(Buffer2Holds(image));
    EXPECT_TRUE(Eventually([&] {
        return Requests(box.Received()) == std::vector<std::uint8_t>{0x01, 0x01, 0x00};
    }));

    programmer->WriteLockBits(kS52, 2);
    EXPECT_EQ(EventsUntil(PE_LOCK_DONE), std::vector<int>{PE_LOCK_DONE});
    EXPECT_EQ(box.LockLevel(), 2);
    EXPECT_TRUE(queue.TakeAll().empty());
    EXPECT_TRUE(boxes.Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(Bauds, SerialProgrammerBaudTest, ::testing::Values(3, 2));

TEST_F(SerialProgrammerTest, FourKilobytesWrittenAndVerifiedAndAWholeChipRead) {
    InitReady();
    std::vector<std::uint8_t> image(4096);
    std::mt19937 random(51);
    for (auto& b : image) b = static_cast<std::uint8_t>(random() % 255);  // never 0xFF
    LoadImage(image);
    programmer->WriteChip(kS52);
    EXPECT_EQ(EventsUntil(PE_READY),
              Repeat({PE_WRITE_STARTED}, PE_WRITE_PROGRESS, 256, {PE_WRITE_DONE, PE_READY}));
    EXPECT_EQ(VerifyRead(), Repeat({PE_READ_STARTED}, PE_READ_PROGRESS, 256, {PE_READ_DONE}));
    EXPECT_TRUE(Buffer2Holds(image));

    std::vector<std::uint8_t> whole(8192);
    for (auto& b : whole) b = static_cast<std::uint8_t>(random());
    box.LoadFlash(whole);
    programmer->m_bReadWrittenLength = 0;
    programmer->ReadChip(kS52);
    EXPECT_EQ(EventsUntil(PE_READ_DONE),
              Repeat({PE_READ_STARTED}, PE_READ_PROGRESS, 512, {PE_READ_DONE}));
    EXPECT_TRUE(Buffer2Holds(whole));
    EXPECT_EQ(programmer->m_nPos, 8192);
}

TEST_F(SerialProgrammerTest, AllErasedImageEndsAtOnceAndWaitsForTheBox) {
    InitReady();
    box.SetFaults({.silentCommand = 0x00});
    programmer->WriteChip(kS52);
    EXPECT_EQ(EventsUntil(PE_WRITE_DONE), (std::vector<int>{PE_WRITE_STARTED, PE_WRITE_DONE}));
    // The end frame goes out, and no data frame.
    EXPECT_TRUE(Eventually([&] { return box.Received().back()[0] == 0x00; }));
    EXPECT_TRUE(DataFrames(box.Received()).empty());
    // Not ready until the box answers the end frame.
    EXPECT_FALSE(serial->IsReady());
    programmer->DetectChip(kS52);
    EXPECT_EQ(EventsUntil(PE_UNAVAILABLE), std::vector<int>{PE_UNAVAILABLE});
    box.SetFaults({});
    Ready();
}

TEST_F(SerialProgrammerTest, ChipWithoutRomReadsNothingAndStaysUsable) {
    InitReady();
    programmer->m_bReadWrittenLength = 0;
    programmer->ReadChip(kNoRom);
    EXPECT_EQ(EventsUntil(PE_READ_DONE), (std::vector<int>{PE_READ_STARTED, PE_READ_DONE}));
    EXPECT_TRUE(
        Eventually([&] { return Requests(box.Received()) == std::vector<std::uint8_t>{0x00}; }));
    programmer->DetectChip(kS52);
    EXPECT_EQ(EventsUntil(PE_DEVICE_DETECTED), std::vector<int>{PE_DEVICE_DETECTED});
}

TEST_F(SerialProgrammerTest, UnknownAlgorithmIsAnInvalidOperation) {
    InitReady();
    programmer->EraseChip(kOddAlgorithm);
    EXPECT_EQ(EventsUntil(PE_INVALID_OPERATION), std::vector<int>{PE_INVALID_OPERATION});
    programmer->EraseChip(kS52);
    EXPECT_EQ(EventsUntil(PE_ERASE_DONE), std::vector<int>{PE_ERASE_DONE});
}

TEST_F(SerialProgrammerTest, UnansweredCommandRefusesOthersButCheckReadySends) {
    InitReady();
    box.SetFaults({.delayCommand = 0x02, .delayMs = 50});
    programmer->EraseChip(kS52);
    EXPECT_EQ(EventsUntil(PE_ERASE_DONE), std::vector<int>{PE_ERASE_DONE});

    box.SetFaults({.silentCommand = 0x02});
    const size_t before = box.Received().size();
    programmer->EraseChip(kS52);
    ASSERT_TRUE(Eventually([&] { return box.Received().size() == before + 1; }));
    for (int i = 0; i < 2; ++i) programmer->DetectChip(kS52);
    programmer->WriteLockBits(kS52, 1);
    EXPECT_EQ(queue.TakeAll(), (std::vector<int>{PE_UNAVAILABLE, PE_UNAVAILABLE, PE_UNAVAILABLE}));
    programmer->CheckReady(kS52);
    EXPECT_EQ(EventsUntil(PE_READY), std::vector<int>{PE_READY});
    EXPECT_EQ(box.Received().size(), before + 2);  // only the ready query went out
}

TEST_F(SerialProgrammerTest, UnansweredCommandTimesOutAsAReceiveErrorAndFreesTheBackend) {
    timings.replyTimeout = 200ms;
    InitReady();
    box.SetFaults({.silentCommand = 0x02});
    programmer->EraseChip(kS52);
    EXPECT_EQ(EventsUntil(PE_RECEIVE_ERROR), std::vector<int>{PE_RECEIVE_ERROR});
    EXPECT_TRUE(serial->IsReady());
    box.SetFaults({});
    programmer->DetectChip(kS52);
    EXPECT_EQ(EventsUntil(PE_DEVICE_DETECTED), std::vector<int>{PE_DEVICE_DETECTED});

    // A write's end frame left unanswered: whoever waits for its ready reply gets the error.
    box.SetFaults({.silentCommand = 0x00});
    LoadImage(std::vector<std::uint8_t>(5, 0x42));
    programmer->WriteChip(kS52);
    EXPECT_EQ(EventsUntil(PE_RECEIVE_ERROR), (std::vector<int>{PE_WRITE_STARTED, PE_WRITE_PROGRESS,
                                                               PE_WRITE_DONE, PE_RECEIVE_ERROR}));
    EXPECT_TRUE(serial->IsReady());
}

TEST_F(SerialProgrammerTest, WriteFaultsEndWithTheirEventAndCheckReadyRecovers) {
    timings.ackTimeout = 200ms;
    InitReady();
    LoadImage(std::vector<std::uint8_t>(48, 0x3C));
    const std::vector<int> lostOrBad = {PE_WRITE_STARTED, PE_WRITE_PROGRESS, PE_RECEIVE_ERROR};
    for (const auto& faults : {CBoxEmulator::Faults{.dropAck = 2},
                               CBoxEmulator::Faults{.ackFaultBlock = 2, .ackFaultValue = 0x55}}) {
        box.SetFaults(faults);
        programmer->WriteChip(kS52);
        EXPECT_EQ(EventsUntil(PE_RECEIVE_ERROR), lostOrBad);
        EXPECT_EQ(programmer->m_nPos, 16);
        EXPECT_EQ(box.Received().back()[0], 0x07);  // no end frame
        box.SetFaults({});
        Ready();
    }

    // A rejected third block: end frame, then the error, then the box's answer to the frame.
    box.SetFaults({.ackFaultBlock = 3});
    programmer->WriteChip(kS52);
    EXPECT_EQ(EventsUntil(PE_READY),
              (std::vector<int>{PE_WRITE_STARTED, PE_WRITE_PROGRESS, PE_WRITE_PROGRESS,
                                PE_WRITE_ERROR, PE_READY}));
    EXPECT_EQ(programmer->m_nPos, 32);

    box.SetFaults({});
    programmer->WriteChip(kS52);
    EXPECT_EQ(EventsUntil(PE_READY),
              Repeat({PE_WRITE_STARTED}, PE_WRITE_PROGRESS, 3, {PE_WRITE_DONE, PE_READY}));
}

TEST_F(SerialProgrammerTest, LostReadBlockIsAskedForOnceMore) {
    timings.blockTimeout = 200ms;
    InitReady();
    std::vector<std::uint8_t> image(48);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i);
    box.LoadFlash(image);
    programmer->m_nDataLen = 48;

    box.SetFaults({.dropReadBlock = 2});
    EXPECT_EQ(VerifyRead(), Repeat({PE_READ_STARTED}, PE_READ_PROGRESS, 3, {PE_READ_DONE}));
    EXPECT_TRUE(Buffer2Holds(image));
    EXPECT_TRUE(Eventually([&] {
        return Requests(box.Received()) == std::vector<std::uint8_t>{1, 1, 0xFF, 1, 0};
    }));

    // In erased space the block after the lost one equals it: it is asked for again, not refused.
    box.LoadFlash({});
    box.SetFaults({.dropReadBlock = 2});
    EXPECT_EQ(VerifyRead(), Repeat({PE_READ_STARTED}, PE_READ_PROGRESS, 3, {PE_READ_DONE}));
    EXPECT_TRUE(Buffer2Holds(std::vector<std::uint8_t>(48, 0xFF)));
    EXPECT_TRUE(Eventually([&] {
        return Requests(box.Received()) ==
               std::vector<std::uint8_t>{1, 1, 0xFF, 1, 0, 1, 1, 0xFF, 1, 0xFF, 0};
    }));

    box.SetFaults({.dropReadBlock = 2, .dropReadTimes = 2});
    programmer->ReadChip(kS52);
    EXPECT_EQ(EventsUntil(PE_RECEIVE_ERROR),
              (std::vector<int>{PE_READ_STARTED, PE_READ_PROGRESS, PE_RECEIVE_ERROR}));
    EXPECT_TRUE(Eventually([&] {
        return Requests(box.Received()) ==
               std::vector<std::uint8_t>{1, 1, 0xFF, 1, 0, 1, 1, 0xFF, 1, 0xFF, 0, 1, 1, 0xFF, 0};
    }));
    box.SetFaults({});
    Ready();
}

TEST_F(SerialProgrammerTest, ShortReplyIsOneReceiveErrorAndTheNextCommandWorks) {
    readTimeouts.intervalMs = 100;
    InitReady();
    box.SetFaults({.shortReplyCommand = 0x01});
    programmer->DetectChip(kS52);
    EXPECT_EQ(EventsUntil(PE_RECEIVE_ERROR), std::vector<int>{PE_RECEIVE_ERROR});
    box.SetFaults({});
    programmer->EraseChip(kS52);
    EXPECT_EQ(EventsUntil(PE_ERASE_DONE), std::vector<int>{PE_ERASE_DONE});
}

// Replies that belong to no command, or to another one, end the command waiting for its own.
TEST_F(SerialProgrammerTest, WrongUnknownOrEchoedRepliesEndEachCommandWithOneReceiveError) {
    timings.replyTimeout = 3600s;  // every failure below comes from the reply itself
    readTimeouts.intervalMs = 100;
    InitReady();
    LoadImage(std::vector<std::uint8_t>(32, 0x11));
    const auto before = box.Flash();
    const std::vector<std::function<void()>> commands = {
        [&] { programmer->CheckReady(kS52); }, [&] { programmer->DetectChip(kS52); },
        [&] { programmer->EraseChip(kS52); },  [&] { programmer->WriteChip(kS52); },
        [&] { programmer->ReadChip(kS52); },   [&] { programmer->WriteLockBits(kS52, 3); }};
    const std::vector<std::uint8_t> codes = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05};
    for (size_t i = 0; i < commands.size(); ++i) {
        const int code = codes[i];
        const auto other = static_cast<std::uint8_t>((code + 1) % 6);
        // A zero line, the reply of another command, a code nobody knows, garbage, an echo.
        for (const auto& fault :
             {CBoxEmulator::Faults{.wrongCodeCommand = code, .wrongCode = 0},
              CBoxEmulator::Faults{.wrongCodeCommand = code, .wrongCode = other},
              CBoxEmulator::Faults{.wrongCodeCommand = code, .wrongCode = 0x09},
              CBoxEmulator::Faults{.garbageCommand = code}, CBoxEmulator::Faults{.echo = true}}) {
            if (fault.wrongCodeCommand == code && fault.wrongCode == code) continue;
            box.SetFaults(fault);
            commands[i]();
            EXPECT_EQ(EventsUntil(PE_RECEIVE_ERROR), std::vector<int>{PE_RECEIVE_ERROR})
                << "command " << code << " fault code " << int(fault.wrongCode);
            // The next command needs no ready query, and sees nothing of the failed one.
            box.SetFaults({});
            programmer->DetectChip(kS52);
            EXPECT_EQ(EventsUntil(PE_DEVICE_DETECTED), std::vector<int>{PE_DEVICE_DETECTED});
        }
    }
    EXPECT_EQ(box.Flash(), before);  // no write ever started
}

TEST_F(SerialProgrammerTest, LateReplyAfterTheWatchdogStartsAndPostsNothing) {
    // The late reply comes after the write's watchdog but within the erase's that follows.
    timings.replyTimeout = 400ms;
    InitReady();
    LoadImage(std::vector<std::uint8_t>(16, 0x22));
    box.SetFaults({.delayCommand = 0x03, .delayMs = 600});
    programmer->WriteChip(kS52);
    EXPECT_EQ(EventsUntil(PE_RECEIVE_ERROR), std::vector<int>{PE_RECEIVE_ERROR});
    // The late 0x03 comes while an erase waits for its own reply: it is dropped, not taken.
    programmer->EraseChip(kS52);
    EXPECT_EQ(EventsUntil(PE_ERASE_DONE), std::vector<int>{PE_ERASE_DONE});
    EXPECT_TRUE(DataFrames(box.Received()).empty());

    box.SetFaults({.delayCommand = 0x02, .delayMs = 500});
    programmer->EraseChip(kS52);
    EXPECT_EQ(EventsUntil(PE_RECEIVE_ERROR), std::vector<int>{PE_RECEIVE_ERROR});
    std::this_thread::sleep_for(500ms);  // the late 0x02 arrives with nothing awaiting it
    EXPECT_TRUE(queue.TakeAll().empty());
    EXPECT_TRUE(serial->IsReady());
}

TEST_F(SerialProgrammerTest, LateAcknowledgeIsOneReceiveErrorAndTheNextCommandWorks) {
    timings.ackTimeout = 200ms;
    InitReady();
    LoadImage(std::vector<std::uint8_t>(48, 0x33));
    box.SetFaults({.delayMs = 400, .lateAck = 2});
    programmer->WriteChip(kS52);
    EXPECT_EQ(EventsUntil(PE_RECEIVE_ERROR),
              (std::vector<int>{PE_WRITE_STARTED, PE_WRITE_PROGRESS, PE_RECEIVE_ERROR}));
    std::this_thread::sleep_for(400ms);  // the late acknowledge arrives with nothing awaiting it
    EXPECT_TRUE(queue.TakeAll().empty());
    box.SetFaults({});
    programmer->EraseChip(kS52);
    EXPECT_EQ(EventsUntil(PE_ERASE_DONE), std::vector<int>{PE_ERASE_DONE});
}

TEST_F(SerialProgrammerTest, LateReadBlockAndItsRepeatAreTakenOnce) {
    timings.blockTimeout = 200ms;
    InitReady();
    std::vector<std::uint8_t> image(64);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i);
    box.LoadFlash(image);
    programmer->m_nDataLen = 64;
    box.SetFaults({.delayMs = 300, .lateReadBlock = 2});
    EXPECT_EQ(VerifyRead(), Repeat({PE_READ_STARTED}, PE_READ_PROGRESS, 4, {PE_READ_DONE}));
    EXPECT_TRUE(Buffer2Holds(image));
    EXPECT_TRUE(Eventually([&] {
        return Requests(box.Received()) == std::vector<std::uint8_t>{1, 1, 0xFF, 1, 1, 0};
    }));

    // The copy comes only after the next block was asked for: it is not taken as that block, and
    // in erased space the equal blocks after it are asked for again, not refused.
    box.SetFaults({.delayMs = 300, .lateReadBlock = 2, .lateRepeat = true});
    EXPECT_EQ(VerifyRead(), Repeat({PE_READ_STARTED}, PE_READ_PROGRESS, 4, {PE_READ_DONE}));
    EXPECT_TRUE(Buffer2Holds(image));
    // The box answers in order: once it has the read's end, every late reply of it is on the line,
    // where the next read's first request drops it.
    EXPECT_TRUE(Eventually([&] {
        const std::vector<std::uint8_t> requests = Requests(box.Received());
        return std::count(requests.begin(), requests.end(), 0) == 2;
    }));
    box.LoadFlash({});
    EXPECT_EQ(VerifyRead(), Repeat({PE_READ_STARTED}, PE_READ_PROGRESS, 4, {PE_READ_DONE}));
    EXPECT_TRUE(Buffer2Holds(std::vector<std::uint8_t>(64, 0xFF)));
}

TEST_F(SerialProgrammerTest, UnopenablePortRefusesEveryOperation) {
    SetComDeviceOverride(kPort, "/nonexistent/ttyS2");
    Init(3, true);
    EXPECT_EQ(initResult, 0);
    EXPECT_EQ(EventsUntil(PE_SERIAL_INIT_FAILED), std::vector<int>{PE_SERIAL_INIT_FAILED});
    programmer->CheckReady(kS52);
    programmer->DetectChip(kS52);
    programmer->EraseChip(kS52);
    programmer->WriteChip(kS52);
    programmer->ReadChip(kS52);
    programmer->WriteLockBits(kS52, 3);
    EXPECT_EQ(queue.TakeAll(), std::vector<int>(6, PE_SERIAL_NOT_INITIALIZED));
    EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(SerialProgrammerTest, BaudIndexOutsideTheTableLeavesThePortClosed) {
    Init(4, true);
    EXPECT_EQ(initResult, 0);
    EXPECT_TRUE(queue.TakeAll().empty());
    programmer->DetectChip(kS52);
    EXPECT_EQ(queue.TakeAll(), std::vector<int>{PE_SERIAL_NOT_INITIALIZED});
    EXPECT_TRUE(box.Received().empty());
}

TEST_F(SerialProgrammerTest, SimDeviceStartsABoxInProcess) {
    SetComDeviceOverride(kPort, "sim:at89s51");
    Init(3, true);
    EXPECT_EQ(EventsUntil(PE_SERIAL_INIT_DONE), std::vector<int>{PE_SERIAL_INIT_DONE});
    Ready();
    programmer->DetectChip(kS52);
    EXPECT_EQ(EventsUntil(PE_DEVICE_DETECTED), std::vector<int>{PE_DEVICE_DETECTED});
    EXPECT_EQ(programmer->m_nSelChip, kS51);
}

TEST_F(SerialProgrammerTest, PulledDeviceEndsTheRunningExchange) {
    timings.ackTimeout = 3600s;  // only the hang-up can end the wait
    InitReady();
    box.SetFaults({.dropAck = 1});
    LoadImage(std::vector<std::uint8_t>(16, 0));
    programmer->WriteChip(kS52);
    EXPECT_EQ(EventsUntil(PE_WRITE_STARTED), std::vector<int>{PE_WRITE_STARTED});
    ASSERT_TRUE(Eventually([&] { return DataFrames(box.Received()).size() == 1; }));
    box.Stop();
    EXPECT_EQ(EventsUntil(PE_RECEIVE_ERROR), std::vector<int>{PE_RECEIVE_ERROR});
    // The next operation reports the missing device. (The data frame's own drain may also have
    // failed when the line went away under it.)
    const size_t before = boxes.Texts().size();
    programmer->CheckReady(kS52);
    const auto texts = boxes.Texts();
    ASSERT_EQ(texts.size(), before + 1);
    EXPECT_EQ(texts.back().rfind("WARNING:  WriteFile() Failed", 0), 0u);
    EXPECT_TRUE(queue.TakeAll().empty());
}

TEST_F(SerialProgrammerTest, PulledDeviceEndsAnAwaitedCommand) {
    InitReady();
    box.SetFaults({.silentCommand = 0x02});
    programmer->EraseChip(kS52);
    box.Stop();
    EXPECT_EQ(EventsUntil(PE_RECEIVE_ERROR), std::vector<int>{PE_RECEIVE_ERROR});
}

TEST_F(SerialProgrammerTest, DestructionStopsARunningTransferSilently) {
    timings.ackTimeout = 3600s;
    InitReady();
    box.SetFaults({.dropAck = 1});
    LoadImage(std::vector<std::uint8_t>(16, 0));
    programmer->WriteChip(kS52);
    EXPECT_EQ(EventsUntil(PE_WRITE_STARTED), std::vector<int>{PE_WRITE_STARTED});
    programmer.reset();
    EXPECT_TRUE(queue.TakeAll().empty());
}

// The host side against a box the test plays by hand, for replies the emulator never sends.
class ScriptedBoxTest : public SerialProgrammerTest {
protected:
    void SetUp() override {
        SerialProgrammerTest::SetUp();
        SetComDeviceOverride(kPort, pty.SlavePath());
        readTimeouts.intervalMs = 100;
        Init();
        EventsUntil(PE_SERIAL_INIT_DONE);
    }
    static std::vector<std::uint8_t> Frame(std::uint8_t code) {
        std::vector<std::uint8_t> frame(18, 0);
        frame[0] = code;
        return frame;
    }
    // Takes the next command frame (a ready query when none is pending) and answers it with code.
    void Answer(std::uint8_t code) {
        if (code == 0x00) programmer->CheckReady(kS52);
        ASSERT_EQ(pty.Read(18).at(0), code);
        pty.Write(Frame(code));
    }
    // Makes the backend ready and starts a read of length bytes that the box accepts.
    void StartRead(int length) {
        Answer(0x00);
        EventsUntil(PE_READY);
        programmer->m_bReadWrittenLength = 1;
        programmer->m_nDataLen = length;
        programmer->ReadChip(kS52);
        Answer(0x04);
    }
    TestPty pty;
};

TEST_F(ScriptedBoxTest, StrayRepliesAreDroppedAndTheSignatureIsMatchedWhenReady) {
    programmer->CheckReady(kS52);
    ASSERT_EQ(pty.Read(18)[0], 0x00);  // the ready query
    pty.Write(Frame(0x00));
    EXPECT_EQ(EventsUntil(PE_READY), std::vector<int>{PE_READY});
    // Nothing awaits a reply: none of these starts or posts anything.
    for (std::uint8_t code : {0x00, 0x02, 0x03, 0x04, 0x06, 0x42}) pty.Write(Frame(code));
    pty.Write({0x01});
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(queue.TakeAll().empty());
    EXPECT_FALSE(serial->IsTransferRunning());

    // A signature reply: the backend is ready before the match posts its event.
    programmer->DetectChip(kS52);
    pty.Read(18);
    auto signature = Frame(0x01);
    signature[2] = 0x1E, signature[3] = 0x51, signature[4] = 0x06;
    pty.Write(signature);
    EXPECT_EQ(EventsUntil(PE_DEVICE_DETECTED), std::vector<int>{PE_DEVICE_DETECTED});
    EXPECT_TRUE(serial->IsReady());
    EXPECT_EQ(programmer->m_nSelChip, kS51);
}

TEST_F(ScriptedBoxTest, SecondStartDuringATransferEndsItAndCheckReadyIsRefused) {
    StartRead(32);
    EXPECT_EQ(EventsUntil(PE_READ_STARTED), std::vector<int>{PE_READ_STARTED});
    ASSERT_EQ(pty.Read(1), std::vector<std::uint8_t>{0x01});
    programmer->CheckReady(kS52);
    EXPECT_EQ(EventsUntil(PE_UNAVAILABLE), std::vector<int>{PE_UNAVAILABLE});
    auto block = Frame(0x06);
    block[2] = 0xAB;
    pty.Write(block);
    EXPECT_EQ(EventsUntil(PE_READ_PROGRESS), std::vector<int>{PE_READ_PROGRESS});
    ASSERT_EQ(pty.Read(1), std::vector<std::uint8_t>{0x01});
    pty.Write(Frame(0x04));  // not a block: the read ends, and the box is told so
    EXPECT_EQ(EventsUntil(PE_RECEIVE_ERROR), std::vector<int>{PE_RECEIVE_ERROR});
    EXPECT_EQ(pty.Read(1), std::vector<std::uint8_t>{0x00});
    EXPECT_EQ(programmer->m_pBuffer2[0], 0xAB);
    EXPECT_TRUE(serial->IsReady());
}

// After a repeat request the block just taken may still come once more. A block equal to it while
// that copy is due may be the copy: it is asked for again, and the answer to that is the block.
TEST_F(ScriptedBoxTest, BlockThatCouldBeTheLateCopyIsAskedForAgain) {
    timings.blockTimeout = 100ms;
    serial->SetTimings(timings);
    StartRead(48);
    auto first = Frame(0x06);
    first[2] = 0x5C;
    auto second = first;
    second[3] = 0x5D;
    EXPECT_EQ(pty.Read(1), std::vector<std::uint8_t>{0x01});
    EXPECT_EQ(pty.Read(1), std::vector<std::uint8_t>{0xFF});  // the first block wait ran out
    pty.Write(first);  // one copy only: the line stays quiet for a block wait
    EXPECT_EQ(pty.Read(1), std::vector<std::uint8_t>{0x01});
    pty.Write(first);  // the copy of the first block, very late: never taken as the second
    EXPECT_EQ(pty.Read(1), std::vector<std::uint8_t>{0xFF});
    pty.Write(second);
    EXPECT_EQ(pty.Read(1), std::vector<std::uint8_t>{0x01});
    pty.Write(second);  // may be the second block's copy again
    EXPECT_EQ(pty.Read(1), std::vector<std::uint8_t>{0xFF});
    pty.Write(second);  // the third block holds the same bytes
    EXPECT_EQ(EventsUntil(PE_READ_DONE),
              Repeat({PE_READ_STARTED}, PE_READ_PROGRESS, 3, {PE_READ_DONE}));
    EXPECT_EQ(pty.Read(1), std::vector<std::uint8_t>{0x00});
    EXPECT_EQ(programmer->m_pBuffer2[16], 0x5C);
    EXPECT_EQ(programmer->m_pBuffer2[17], 0x5D);
    EXPECT_EQ(programmer->m_pBuffer2[33], 0x5D);
    EXPECT_EQ(programmer->m_pBuffer2[1], 0x00);
}

TEST_F(ScriptedBoxTest, DevicePulledInTheMiddleOfAReadBlockIsOneReceiveError) {
    StartRead(32);
    ASSERT_EQ(pty.Read(1), std::vector<std::uint8_t>{0x01});
    pty.Write({0x06, 0x02, 1, 2, 3, 4, 5, 6});
    std::this_thread::sleep_for(20ms);
    pty.CloseMaster();
    EXPECT_EQ(EventsUntil(PE_RECEIVE_ERROR), (std::vector<int>{PE_READ_STARTED, PE_RECEIVE_ERROR}));
    ASSERT_TRUE(Eventually([&] { return serial->IsHungUp() && !serial->IsTransferRunning(); }));
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(queue.TakeAll().empty());
}

// The shipped time constants, each at its edge on a clock the test moves: one millisecond short
// of a limit nothing happens, at the limit the wait ends.
class SteppedBoxTest : public ScriptedBoxTest {
protected:
    void SetUp() override {
        clock = &stepped;
        ScriptedBoxTest::SetUp();
    }
    CSteppedClock stepped;
};

TEST_F(SteppedBoxTest, UnansweredCommandEndsAfterTenSeconds) {
    programmer->CheckReady(kS52);
    ASSERT_EQ(pty.Read(18).at(0), 0x00);
    ASSERT_TRUE(stepped.AwaitDeadline(10000));
    stepped.Advance(9999);
    EXPECT_TRUE(queue.TakeAll().empty());
    stepped.Advance(1);
    EXPECT_EQ(EventsUntil(PE_RECEIVE_ERROR), std::vector<int>{PE_RECEIVE_ERROR});
}

TEST_F(SteppedBoxTest, FirstDataBlockFollowsAFiveMillisecondPauseAndItsAckIsAwaitedOneSecond) {
    Answer(0x00);
    EventsUntil(PE_READY);
    LoadImage(std::vector<std::uint8_t>(16, 0x44));
    programmer->WriteChip(kS52);
    ASSERT_EQ(pty.Read(18).at(0), 0x03);
    pty.Write(Frame(0x03));
    ASSERT_TRUE(stepped.AwaitDeadline(5));
    stepped.Advance(4);
    EXPECT_FALSE(pty.Pending());
    stepped.Advance(1);
    ASSERT_EQ(pty.Read(18).at(0), 0x07);
    ASSERT_TRUE(stepped.AwaitDeadline(1005));
    stepped.Advance(999);
    EXPECT_EQ(queue.TakeAll(), std::vector<int>{PE_WRITE_STARTED});
    stepped.Advance(1);
    EXPECT_EQ(EventsUntil(PE_RECEIVE_ERROR), std::vector<int>{PE_RECEIVE_ERROR});
}

TEST_F(SteppedBoxTest, ReadBlockIsAskedForAgainAfterHalfASecond) {
    StartRead(16);
    ASSERT_EQ(pty.Read(1), std::vector<std::uint8_t>{0x01});
    ASSERT_TRUE(stepped.AwaitDeadline(500));
    stepped.Advance(499);
    EXPECT_FALSE(pty.Pending());
    stepped.Advance(1);
    ASSERT_EQ(pty.Read(1), std::vector<std::uint8_t>{0xFF});
    pty.Write(Frame(0x06));
    ASSERT_EQ(EventsUntil(PE_READ_PROGRESS), (std::vector<int>{PE_READ_STARTED, PE_READ_PROGRESS}));
    // The copy of a repeated block is awaited for one more block wait before the read ends.
    ASSERT_TRUE(stepped.AwaitDeadline(1000));
    stepped.Advance(499);
    EXPECT_FALSE(pty.Pending());
    stepped.Advance(1);
    EXPECT_EQ(pty.Read(1), std::vector<std::uint8_t>{0x00});
    EXPECT_EQ(EventsUntil(PE_READ_DONE), std::vector<int>{PE_READ_DONE});
}

}  // namespace
