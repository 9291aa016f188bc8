#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/AppPaths.h"
#include "serial/CSerialPort.h"
#include "serial/LineSpeed.h"
#include "serial/PortNames.h"
#include "serial/SerialTestSupport.h"
#include "support/TempDir.h"

namespace {

using namespace std::chrono_literals;

constexpr int kPort = 7;

// A port that records every block handed to it and every hang-up.
class RecordingPort : public CSerialPort {
public:
    ~RecordingPort() override { StopCommThread(); }

    bool Open(int baud = 57600, char parity = 'N') {
        return OpenPort(kPort, baud, parity, 8, 1, kEvRxChar | kEvCts);
    }

    // Waits until n blocks have arrived (at most 10 s) and returns all of them.
    std::vector<std::vector<std::uint8_t>> WaitBlocks(size_t n) {
        std::unique_lock lock(m_mutex);
        m_cv.wait_for(lock, 10s, [&] { return m_blocks.size() >= n; });
        return m_blocks;
    }

    bool WaitHangUp() {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, 10s, [&] { return m_nHangUps > 0; });
    }
    int HangUps() {
        std::lock_guard lock(m_mutex);
        return m_nHangUps;
    }

protected:
    void OnReceive(const std::uint8_t* data, int count) override {
        std::lock_guard lock(m_mutex);
        m_blocks.emplace_back(data, data + count);
        m_cv.notify_all();
    }
    void OnHangUp() override {
        std::lock_guard lock(m_mutex);
        ++m_nHangUps;
        m_cv.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::vector<std::uint8_t>> m_blocks;
    int m_nHangUps = 0;
};

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(pty.SlavePath().empty());
        // The test's own descriptor on the line, opened before the port takes it exclusively.
        observer = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(observer, 0);
        SetComDeviceOverride(kPort, pty.SlavePath());
    }
    void TearDown() override {
        SetComDeviceOverride(kPort, "");
        ::close(observer);
    }

    int QueuedAtPort() const {
        int queued = 0;
        ioctl(observer, FIONREAD, &queued);
        return queued;
    }

    MessageBoxRecorder boxes;
    TestPty pty;
    int observer = -1;
};

TEST(PortNamesTest, SettingsFileMapsPortsAndTheOverrideWins) {
    TempDir dir;
    dir.Write("Dranvik.ini", "[devices]\r\ncom2 = /dev/ttyUSB0\r\nCOM3=sim\r\n");
    platform::SetSettingsDir(dir.path());
    EXPECT_EQ(ComDeviceName(2), "/dev/ttyUSB0");
    EXPECT_EQ(ComDeviceName(3), "sim");
    EXPECT_EQ(ComDeviceName(4), "/dev/ttyS3");
    SetComDeviceOverride(2, "/dev/ttyACM1");
    EXPECT_EQ(ComDeviceName(2), "/dev/ttyACM1");
    SetComDeviceOverride(2, "");
    EXPECT_EQ(ComDeviceName(2), "/dev/ttyUSB0");
    SetComDeviceOverride(2, "sim:at89c99");
    EXPECT_TRUE(ResolveComDevice(2).path.empty());  // no such chip in the box
    SetComDeviceOverride(2, "");
    platform::SetSettingsDir("");
}

TEST_F(SerialPortTest, OpensRawWithTheRequestedRateIncludingNonStandardOnes) {
    for (int baud : {57600, 28800, 9600}) {
        RecordingPort port;
        ASSERT_TRUE(port.Open(baud));
        EXPECT_EQ(serial::ReadLineSpeed(observer), baud);
        termios tio{};
        ASSERT_EQ(tcgetattr(observer, &tio), 0);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
        EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    }
    EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(SerialPortTest, MissingOrBusyDeviceFailsWithoutABoxButWithItsReason) {
    FailureReasonRecorder reasons;
    RecordingPort first;
    ASSERT_TRUE(first.Open());
    RecordingPort second;
    EXPECT_FALSE(second.Open());  // in use
    SetComDeviceOverride(kPort, "/nonexistent/ttyS9");
    RecordingPort missing;
    EXPECT_FALSE(missing.Open());
    SetComDeviceOverride(kPort, "sim:at89c99");
    RecordingPort unknownModel;
    EXPECT_FALSE(unknownModel.Open());
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(reasons.Lines(),
              (std::vector<std::string>{
                  pty.SlavePath() + ": Device or resource busy (another program holds it)",
                  "/nonexistent/ttyS9: No such file or directory",
                  "sim:at89c99: No such device",
              }));
}

TEST_F(SerialPortTest, OnlyATerminalIsOpenedAndEveryRefusalSaysWhy) {
    FailureReasonRecorder reasons;
    TempDir dir;
    const std::string victim = dir.Write("victim.bin", std::string(32, 'v'));
    for (const std::string& path : {victim, std::string("/dev/null"), dir.path()}) {
        SetComDeviceOverride(kPort, path);
        RecordingPort port;
        EXPECT_FALSE(port.Open()) << path;
        const std::uint8_t frame[18] = {};
        EXPECT_EQ(port.Send(frame, 18), 0);  // nothing is open to write to
    }
    std::ifstream file(victim, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), std::string(32, 'v'));
    EXPECT_EQ(reasons.Lines(), (std::vector<std::string>{
                                   victim + ": Inappropriate ioctl for device",
                                   "/dev/null: Inappropriate ioctl for device",
                                   dir.path() + ": Inappropriate ioctl for device",
                               }));
}

TEST_F(SerialPortTest, FailedSetUpStepShowsOneBoxAndThePortCountsAsOpen) {
    RecordingPort badParity;
    EXPECT_TRUE(badParity.Open(57600, 'X'));
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0],
              "WARNING:  BuildCommDCB() Failed with the following error: \n"
              "Invalid argument\nPort: 7\n");
    EXPECT_EQ(boxes.Captions()[0], "Application Error");
}

TEST_F(SerialPortTest, ErrorTextIsCutToItsBuffer) {
    RecordingPort port;
    port.ReportError(std::string(300, 'x').c_str(), EIO);
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0], "WARNING:  " + std::string(189, 'x'));
}

TEST_F(SerialPortTest, ReplyWithShortGapsArrivesAsOneBlock) {
    RecordingPort port;
    ASSERT_TRUE(port.Open());
    port.SetReceiveSize(18);
    ASSERT_TRUE(port.StartCommThread());
    std::vector<std::uint8_t> reply(18);
    for (int i = 0; i < 18; ++i) reply[static_cast<size_t>(i)] = static_cast<std::uint8_t>(i);
    pty.Write({reply.begin(), reply.begin() + 5});
    std::this_thread::sleep_for(2ms);
    pty.Write({reply.begin() + 5, reply.begin() + 12});
    std::this_thread::sleep_for(2ms);
    pty.Write({reply.begin() + 12, reply.end()});
    const auto blocks = port.WaitBlocks(1);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], reply);
}

TEST_F(SerialPortTest, GapLongerThanTheIntervalSplitsTheBlock) {
    RecordingPort port;
    port.SetReadTimeouts({100, 1000, 1000});
    ASSERT_TRUE(port.Open());
    port.SetReceiveSize(18);
    ASSERT_TRUE(port.StartCommThread());
    pty.Write(std::vector<std::uint8_t>(10, 0xA5));
    // The first part can only be handed over once the interval has run out.
    auto blocks = port.WaitBlocks(1);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].size(), 10u);
    pty.Write(std::vector<std::uint8_t>(8, 0x5A));
    blocks = port.WaitBlocks(2);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[1], std::vector<std::uint8_t>(8, 0x5A));
}

TEST_F(SerialPortTest, BlockSizeOneHandsOverEveryByteByItself) {
    RecordingPort port;
    ASSERT_TRUE(port.Open());
    port.SetReceiveSize(1);
    ASSERT_TRUE(port.StartCommThread());
    pty.Write({1, 2, 3, 4, 5});
    const auto blocks = port.WaitBlocks(5);
    ASSERT_EQ(blocks.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(blocks[i], std::vector<std::uint8_t>{static_cast<std::uint8_t>(i + 1)});
    }
}

TEST_F(SerialPortTest, SendDiscardsUnreadInputButNothingSentBefore) {
    RecordingPort port;
    ASSERT_TRUE(port.Open());
    pty.Write({9, 9, 9, 9});
    for (int i = 0; i < 1000 && QueuedAtPort() < 4; ++i) std::this_thread::sleep_for(1ms);
    ASSERT_EQ(QueuedAtPort(), 4);

    const std::vector<std::uint8_t> first(18, 0x11), second(18, 0x22);
    EXPECT_EQ(port.Send(first.data(), 18), 18);
    EXPECT_EQ(QueuedAtPort(), 0);
    // The second send must not throw away the first frame the box has not read yet.
    EXPECT_EQ(port.Send(second.data(), 18), 18);
    std::vector<std::uint8_t> both(36, 0x11);
    std::fill(both.begin() + 18, both.end(), 0x22);
    EXPECT_EQ(pty.Read(36), both);
}

TEST_F(SerialPortTest, PulledDeviceEndsReadingAndTheNextSendReportsIt) {
    RecordingPort port;
    ASSERT_TRUE(port.Open());
    port.SetReceiveSize(18);
    ASSERT_TRUE(port.StartCommThread());
    pty.CloseMaster();
    ASSERT_TRUE(port.WaitHangUp());
    EXPECT_TRUE(port.IsHungUp());
    const std::uint8_t frame[18] = {};
    EXPECT_EQ(port.Send(frame, 18), 0);
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0].rfind("WARNING:  WriteFile() Failed", 0), 0u);
    EXPECT_EQ(port.HangUps(), 1);
    EXPECT_TRUE(port.WaitBlocks(0).empty());
}

TEST_F(SerialPortTest, DestructionDoesNotWaitForAHalfReceivedBlock) {
    auto port = std::make_unique<RecordingPort>();
    port->SetReadTimeouts({3'600'000, 1000, 1000});  // a stuck read would hang the test
    ASSERT_TRUE(port->Open());
    port->SetReceiveSize(18);
    ASSERT_TRUE(port->StartCommThread());
    pty.Write({1, 2, 3});
    for (int i = 0; i < 1000 && QueuedAtPort() > 0; ++i) std::this_thread::sleep_for(1ms);
    port.reset();
    EXPECT_TRUE(boxes.Texts().empty());
}

}  // namespace
