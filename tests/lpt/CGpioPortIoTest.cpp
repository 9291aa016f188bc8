#include <gtest/gtest.h>

#include <algorithm>

#include "GpioTestSupport.h"
#include "LptTestSupport.h"
#include "lpt/PortSelection.h"
#include "platform/FailureReason.h"

namespace {

// Every DB-25 pin mapped, to line 40 - pin.
GpioPinMap FullMap() {
    GpioPinMap map = EmptyGpioPinMap();
    for (int pin = 1; pin <= 17; ++pin) map[static_cast<size_t>(pin)] = 40 - pin;
    return map;
}

// Records the failure reasons reported while it lives.
struct ReasonRecorder {
    ReasonRecorder() {
        platform::SetFailureReasonSink([this](const std::string& r) { reasons.push_back(r); });
    }
    ~ReasonRecorder() { platform::SetFailureReasonSink({}); }
    std::vector<std::string> reasons;
};

struct GpioTest : ::testing::Test {
    std::unique_ptr<CGpioPortIo> Port(const GpioPinMap& map,
                                      const std::string& path = "/dev/gpiochip0") {
        return std::make_unique<CGpioPortIo>(path, map, fake.Calls());
    }
    bool Line(int pin) { return fake.level[static_cast<unsigned>(40 - pin)]; }
    void SetLine(int pin, bool high) { fake.level[static_cast<unsigned>(40 - pin)] = high; }

    FakeGpioChip fake;
    ReasonRecorder recorder;
};

TEST_F(GpioTest, SettingsMapThePresetAndPinKeys) {
    TempDir dir;
    const std::string ini = dir.Write("Dranvik.ini", "[GPIO]\nPreset=rpi\nPin17=-1\nPin11=4\n");
    GpioPinMap expected = EmptyGpioPinMap();
    expected[2] = 10;  // MOSI
    expected[10] = 9;  // MISO
    expected[1] = 11;  // SCK
    expected[11] = 4;  // added
    EXPECT_EQ(ReadGpioPinMap(ini), expected);
    expected[17] = 25;  // RST, from the preset alone
    expected[11] = -1;
    EXPECT_EQ(ReadGpioPinMap(dir.Write("Dranvik.ini", "[GPIO]\nPreset=RPi\n")), expected);

    EXPECT_EQ(ReadGpioPinMap(dir.Write("Dranvik.ini", "[GPIO]\nPreset=bbb\n")), EmptyGpioPinMap());
    EXPECT_EQ(recorder.reasons.size(), 1u);

    // A comment after the value is fine; a value that is no line fails the map, naming itself.
    expected = EmptyGpioPinMap();
    expected[3] = 7;
    EXPECT_EQ(ReadGpioPinMap(dir.Write("Dranvik.ini", "[GPIO]\nPin3=7  ; SCK\n")), expected);
    for (const char* bad : {"abc", "65536", "99999999999", "07", "1 2"}) {
        const std::string ini = dir.Write("Dranvik.ini", std::string("[GPIO]\nPin2=") + bad + "\n");
        EXPECT_EQ(ReadGpioPinMap(ini), std::nullopt) << bad;
        EXPECT_NE(recorder.reasons.back().find(std::string("[GPIO] Pin2=") + bad),
                  std::string::npos)
            << bad;
    }
}

TEST_F(GpioTest, LinesCarryTheConnectorLevelsOfTheRegisters) {
    auto port = Port(FullMap());
    ASSERT_TRUE(port->Open());
    ASSERT_EQ(fake.requests.size(), 2u);
    const auto& out = fake.requests[0];
    EXPECT_EQ(out.offsets, (std::vector<unsigned>{39, 38, 37, 36, 35, 34, 33, 32, 31, 26, 24, 23}));
    EXPECT_EQ(out.flags, GPIO_V2_LINE_FLAG_OUTPUT);
    EXPECT_EQ(fake.requests[1].offsets, (std::vector<unsigned>{30, 29, 28, 27, 25}));
    EXPECT_EQ(fake.requests[1].flags, GPIO_V2_LINE_FLAG_INPUT);
    // Registers at 0: strobe, autofeed and select-in are high at the connector from the start.
    EXPECT_EQ(out.initialValues, 0b101000000001u);

    fake.setCalls = 0;
    port->WriteControl(0x00);
    EXPECT_TRUE(Line(1) && Line(14) && !Line(16) && Line(17));
    port->WriteControl(0x0F);
    EXPECT_TRUE(!Line(1) && !Line(14) && Line(16) && !Line(17));
    port->WriteData(0xA5);
    for (int pin = 2; pin <= 9; ++pin) EXPECT_EQ(Line(pin), (0xA5 >> (pin - 2)) & 1) << pin;
    EXPECT_TRUE(!Line(1) && Line(16));  // a data write leaves the control lines alone
    EXPECT_EQ(fake.setCalls, 3);        // one call per register write
    EXPECT_EQ(port->ReadData(), 0xA5);
    EXPECT_EQ(port->ReadControl(), 0x0F);

    for (int pin : {10, 11, 12, 13, 15}) SetLine(pin, false);
    EXPECT_EQ(port->ReadStatus(), 0x80);  // busy (pin 11) reads inverted
    for (int pin : {10, 11, 12, 13, 15}) SetLine(pin, true);
    EXPECT_EQ(port->ReadStatus(), 0x78);
    EXPECT_EQ(fake.getCalls, 2);

    port.reset();  // closing leaves the outputs as inputs and releases both requests
    EXPECT_EQ(fake.requests[0].flags, GPIO_V2_LINE_FLAG_INPUT);
    EXPECT_EQ(fake.closed, (std::set<int>{100, 101}));
    EXPECT_EQ(fake.chipOpens, 0);  // the chip itself was closed once the lines were held
}

TEST_F(GpioTest, UnmappedOutputsAreDroppedAndUnmappedInputsReadHigh) {
    GpioPinMap map = EmptyGpioPinMap();
    map[1] = 11;
    map[17] = 25;
    map[10] = 9;
    auto port = Port(map);
    ASSERT_TRUE(port->Open());
    port->WriteData(0xFF);  // no data pin has a line: nothing is called
    EXPECT_EQ(fake.setCalls, 0);
    fake.level[9] = false;
    EXPECT_EQ(CGpioPortIo::kUnmappedInputLevel, true);
    EXPECT_EQ(port->ReadStatus(), 0x38);  // pins 12, 13, 15 high, busy high reads 0, pin 10 low

    map[10] = -1;
    FakeGpioChip outputsOnly;
    CGpioPortIo noInputs("/dev/gpiochip0", map, outputsOnly.Calls());
    ASSERT_TRUE(noInputs.Open());
    EXPECT_EQ(outputsOnly.requests.size(), 1u);
    EXPECT_EQ(noInputs.ReadStatus(), 0x78);
    EXPECT_EQ(outputsOnly.getCalls, 0);
}

TEST_F(GpioTest, OpenFailsWithAReasonAndHoldsNothing) {
    fake.openError = ENOENT;
    EXPECT_FALSE(Port(FullMap(), "/nonexistent/gpiochip9")->Open());
    fake.openError = 0;
    EXPECT_FALSE(Port(EmptyGpioPinMap())->Open());
    GpioPinMap twice = FullMap();
    twice[15] = twice[3];
    EXPECT_FALSE(Port(twice)->Open());
    EXPECT_TRUE(fake.requests.empty());  // none of these reached the chip
    fake.busy = {28};                    // pin 12, an input: the outputs are given back
    EXPECT_FALSE(Port(FullMap())->Open());
    EXPECT_EQ(fake.requests.size(), 1u);
    EXPECT_EQ(fake.requests[0].flags, GPIO_V2_LINE_FLAG_INPUT);
    EXPECT_EQ(fake.closed, std::set<int>{100});
    fake.busy.clear();
    fake.failing = {GPIO_V2_GET_LINE_IOCTL};
    EXPECT_FALSE(Port(FullMap())->Open());

    EXPECT_EQ(fake.chipOpens, 0);
    ASSERT_EQ(recorder.reasons.size(), 5u);
    EXPECT_NE(recorder.reasons[0].find("/nonexistent/gpiochip9: "), std::string::npos);
    EXPECT_NE(recorder.reasons[1].find("no DB-25 pin"), std::string::npos);
    EXPECT_NE(recorder.reasons[2].find("line 37 is mapped to pins 3 and 15"), std::string::npos);
    EXPECT_NE(recorder.reasons[3].find("in use by another program"), std::string::npos);
}

TEST_F(GpioTest, FailingCallsAfterAGoodStartAreCountedAndReadAsNoAnswer) {
    auto port = Port(FullMap());
    ASSERT_TRUE(port->Open());
    fake.failing = {GPIO_V2_LINE_SET_VALUES_IOCTL, GPIO_V2_LINE_GET_VALUES_IOCTL};
    port->WriteControl(0x01);
    EXPECT_EQ(port->ReadStatus(), 0xFF);
    EXPECT_EQ(port->FailedCalls(), 2);
    EXPECT_EQ(recorder.reasons.size(), 1u);  // the first failure only
}

// Every operation through a GPIO map onto the simulated cable and chip, for each cable type:
// the cable sees at its pins what a parallel port would have put there.
void DetectWriteReadLock(int type, const GpioPinMap& map) {
    SimRig rig(type, 2, nullptr, false, {}, [&map](std::unique_ptr<CSimCable> cable) {
        return std::make_unique<CGpioOnSimCable>(std::move(cable), map);
    });
    CProgrammer& p = *rig.programmer;
    ASSERT_EQ(rig.initEvents, std::vector<int>{PE_PARALLEL_INIT_DONE});
    p.DetectChip(kChipS51);
    EXPECT_EQ(rig.Events(), std::vector<int>{PE_DEVICE_DETECTED});
    const auto image = LoadRandomImage(p, 700, static_cast<unsigned>(type));
    p.WriteChip(kChipS52);
    EXPECT_EQ(rig.Events().back(), PE_WRITE_DONE);
    p.m_bReadWrittenLength = 1;
    p.ReadChip(kChipS52);
    EXPECT_EQ(rig.Events().back(), PE_READ_DONE);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), p.m_pBuffer2.get()));
    EXPECT_EQ(rig.cable->Chip()->InstructionCount(0x30), 2u);
    p.WriteLockBits(kChipS52, 3);
    EXPECT_EQ(rig.Events(), std::vector<int>{PE_LOCK_DONE});
}

TEST(GpioCable, EveryCableTypeProgramsReadsAndLocksThroughTheLines) {
    for (int type : {1, 2, 3, 4}) {
        SCOPED_TRACE(type);
        DetectWriteReadLock(type, FullMap());
    }
    TempDir dir;  // the Raspberry Pi preset serves the ByteBlaster's roles
    DetectWriteReadLock(2, *ReadGpioPinMap(dir.Write("Dranvik.ini", "[GPIO]\nPreset=rpi\n")));
}

}  // namespace
