#include <gtest/gtest.h>

#include "LptTestSupport.h"
#include "lpt/CDirectPortIo.h"
#include "lpt/CPpdevPortIo.h"
#include "lpt/PortSelection.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "sim/SimSettings.h"

namespace {

// Registers a test sets and reads back, recording every write.
class CFakePortIo : public IPortIo {
public:
    explicit CFakePortIo(bool opens) : m_bOpens(opens) {}
    bool Open() override { return m_bOpens; }
    std::uint8_t ReadData() override { return data; }
    std::uint8_t ReadStatus() override { return status; }
    std::uint8_t ReadControl() override { return control; }
    void WriteData(std::uint8_t value) override { writes.push_back({'d', data = value}); }
    void WriteControl(std::uint8_t value) override { writes.push_back({'c', control = value}); }

    std::uint8_t data = 0, status = 0, control = 0;
    std::vector<PortOp> writes;

private:
    bool m_bOpens;
};

// Each test gets an empty settings folder, no device override and recorded message boxes.
class PortTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetSettingsDir(m_settings.path());
        platform::SetMessageBoxHandler([this](const std::string& text, const std::string&,
                                              platform::MessageIcon) { messages.push_back(text); });
    }
    void TearDown() override {
        SetLptDeviceOverride("");
        platform::SetMessageBoxHandler({});
        platform::SetSettingsDir("");
    }
    void WriteIni(const char* section, const char* key, const char* value) {
        platform::WriteProfileString(section, key, value, m_settings.File("Dranvik.ini"));
    }

    // A factory that records the specs asked for; those listed open, the fake kept in fake.
    CLptPort::PortIoFactory Factory(std::vector<std::string> opening) {
        return [this, opening](const std::string& device) {
            asked.push_back(device);
            const bool opens = std::find(opening.begin(), opening.end(), device) != opening.end();
            auto io = std::make_unique<CFakePortIo>(opens);
            if (opens) fake = io.get();
            return io;
        };
    }

    TempDir m_settings;
    std::vector<std::string> messages;
    std::vector<std::string> asked;
    CFakePortIo* fake = nullptr;
};

TEST_F(PortTest, PinsMapToRegisterBitsWithThePortsInversions) {
    CLptPort port(Factory({kDefaultPpdevPath}));
    ASSERT_EQ(port.InitPortIo(0x378), 1);
    EXPECT_EQ(port.PinHigh(1), 1);
    EXPECT_EQ(fake->control & 0x01, 0);  // pin 1 is inverted
    EXPECT_EQ(port.PinLow(1), 1);
    EXPECT_EQ(fake->control & 0x01, 0x01);
    EXPECT_EQ(port.PinHigh(16), 1);
    EXPECT_EQ(fake->control & 0x04, 0x04);
    EXPECT_EQ(port.SetPin(9, 7), 1);
    EXPECT_EQ(fake->data, 0x80);
    EXPECT_EQ(port.SetPin(14, 0), 1);
    EXPECT_EQ(port.SetPin(17, 0), 1);
    EXPECT_EQ(fake->control, 0x01 | 0x02 | 0x04 | 0x08);

    fake->writes.clear();
    for (int pin : {0, 10, 11, 12, 13, 15, 18, 25, -1}) EXPECT_EQ(port.PinHigh(pin), 0) << pin;
    EXPECT_TRUE(fake->writes.empty());

    fake->status = 0x00;
    EXPECT_EQ(port.GetPin(11), 1);  // inverted: bit 7 clear reads high
    EXPECT_EQ(port.GetPin(10), 0);
    fake->status = 0xFF;
    EXPECT_EQ(port.GetPin(11), 0);
    EXPECT_EQ(port.GetPin(10), 0x40);
    EXPECT_EQ(port.GetPin(13), 0x10);
    EXPECT_EQ(port.GetPin(0), 0);
    fake->control = 0x00;
    EXPECT_EQ(port.GetPin(17), 1);
}

TEST_F(PortTest, ReadingAPinRefreshesTheShadowThatLaterWritesSend) {
    CLptPort port(Factory({kDefaultPpdevPath}));
    ASSERT_EQ(port.InitPortIo(0x378), 1);
    port.PinHigh(3);  // shadow 0x02
    fake->data = 0xF0;
    EXPECT_EQ(port.GetPin(5), 0);  // pin 5 is bit 3 of 0xF0
    port.PinHigh(2);
    EXPECT_EQ(fake->writes.back().value, 0xF1);
}

TEST_F(PortTest, WithoutASettingPpdevIsTriedThenDirectIo) {
    CLptPort port(Factory({"io:0x378"}));
    EXPECT_EQ(port.InitPortIo(0x378), 1);
    EXPECT_EQ(asked, (std::vector<std::string>{kDefaultPpdevPath, "io:0x378"}));
    EXPECT_EQ(messages, std::vector<std::string>{"初始化驱动程序失败!"});

    CLptPort dead(Factory({}));
    messages.clear();
    EXPECT_EQ(dead.InitPortIo(0x378), 0);
    EXPECT_EQ(messages, (std::vector<std::string>{"初始化驱动程序失败!", "初始化并口I/O失败!"}));
    EXPECT_EQ(dead.ReadStatus(), 0xFF);  // a dead port reads as floating lines
    EXPECT_EQ(dead.PinHigh(2), 1);
}

TEST_F(PortTest, ANamedDeviceIsTheOnlyOneTried) {
    WriteIni("Devices", "LPT", "/dev/parport3");
    CLptPort port(Factory({kDefaultPpdevPath, "io:0x378"}));
    EXPECT_EQ(port.InitPortIo(0x378), 0);
    EXPECT_EQ(asked, std::vector<std::string>{"/dev/parport3"});
    EXPECT_EQ(messages, std::vector<std::string>{"初始化并口I/O失败!"});

    SetLptDeviceOverride("sim:at89s51");  // the override replaces the file's entry
    EXPECT_EQ(LptDeviceSetting(), "sim:at89s51");
}

TEST_F(PortTest, DeviceSpecsNameTheirAccess) {
    EXPECT_NE(dynamic_cast<CPpdevPortIo*>(CreatePortIo("/dev/parport1", 1).get()), nullptr);
    EXPECT_NE(dynamic_cast<CDirectPortIo*>(CreatePortIo("io:0x278", 1).get()), nullptr);
    for (const char* bad :
         {"", "io:", "io:0x37z", "io:0x10000", "io:0378", "sim:", "sim:at89c51", "gpio:"})
        EXPECT_EQ(CreatePortIo(bad, 1), nullptr) << bad;

    auto io = CreatePortIo("sim:AT89S51", 2);
    auto* sim = dynamic_cast<CSimPortIo*>(io.get());
    ASSERT_NE(sim, nullptr);
    EXPECT_EQ(sim->Cable().Chip()->FlashSize(), 4096);
    EXPECT_EQ(dynamic_cast<CSimPortIo&>(*CreatePortIo("sim", 1)).Cable().Chip()->FlashSize(), 8192);
}

TEST_F(PortTest, SimulatedChipsTakeTheSimulatorSettings) {
    const std::string flash = m_settings.File("flash.bin");
    SetSimFlashFile(flash);
    SetSimBusyReads(0);
    {
        auto io = CreatePortIo("sim", 1);
        CTargetChip& chip = *dynamic_cast<CSimPortIo&>(*io).Cable().Chip();
        chip.SetReset(true);
        chip.Execute({0xAC, 0x53, 0, 0});
        chip.Execute({0x40, 0x00, 0x10, 0x42});
        EXPECT_EQ(chip.Execute({0x20, 0x00, 0x10, 0}), 0x42);  // no busy reads
    }
    SetSimFlashFile("");
    SetSimBusyReads(2);
    EXPECT_EQ(static_cast<std::uint8_t>(m_settings.Read("flash.bin").at(0x10)), 0x42);
}

// The cable roles after Init for each cable type, with and without the settings file.
struct Roles {
    int mosi, miso, sck, rst, le, oe, r1, r2, leEnable, leDisable, oeEnable, oeDisable;
    bool operator==(const Roles&) const = default;
};

Roles RolesAfterInit(int cableType) {
    CProgrammer programmer;
    CParallelIsp isp([](const std::string&) { return std::make_unique<CFakePortIo>(true); });
    isp.Init(&programmer, 0x378, cableType, 2);
    return {isp.m_nPinMOSI,  isp.m_nPinMISO,   isp.m_nPinSCK,   isp.m_nPinRST,
            isp.m_nPinLE,    isp.m_nPinOE,     isp.m_nPinR1,    isp.m_nPinR2,
            isp.m_nLEEnable, isp.m_nLEDisable, isp.m_nOEEnable, isp.m_nOEDisable};
}

TEST_F(PortTest, CableRolesDefaults) {
    EXPECT_EQ(RolesAfterInit(1), (Roles{14, 15, 1, 16, 17, 2, 3, 4, 1, 0, 0, 1}));
    EXPECT_EQ(RolesAfterInit(2), (Roles{2, 10, 1, 17, 4, 0, 14, 16, 0, 0, 0, 0}));
    EXPECT_EQ(RolesAfterInit(3), (Roles{8, 11, 2, 3, 14, 2, 3, 4, 0, 0, 0, 0}));
    EXPECT_EQ(RolesAfterInit(4), (Roles{8, 11, 2, 3, 14, 2, 3, 4, 1, 1, 1, 0}));
}

TEST_F(PortTest, CableRolesFromTheSettingsFile) {
    for (const char* key : {"MOSI", "MISO", "SCK", "RST", "LE", "OE", "R1", "R2"})
        WriteIni("引脚控制", key, "5");
    WriteIni("锁存控制(LE)", "Enable", "0");
    WriteIni("锁存控制(LE)", "Disable", "1");
    WriteIni("输出控制(OE)", "Enable", "1");
    WriteIni("输出控制(OE)", "Disable", "0");
    EXPECT_EQ(RolesAfterInit(1), (Roles{5, 5, 5, 5, 5, 5, 5, 5, 0, 1, 1, 0}));
    EXPECT_EQ(RolesAfterInit(2), (Roles{2, 10, 1, 17, 4, 0, 14, 16, 0, 0, 0, 0}));
    EXPECT_EQ(RolesAfterInit(3), (Roles{8, 11, 2, 3, 5, 5, 5, 5, 0, 1, 1, 0}));
}

TEST_F(PortTest, InitReportsThePortAndCheckReadyFollowsIt) {
    CEventQueue queue;
    CProgrammer programmer;
    programmer.Init(&queue, 9, 0);  // the owner only; no backend of its own
    CParallelIsp dead([](const std::string&) { return nullptr; });
    EXPECT_EQ(dead.Init(&programmer, 0x378, 1, 2), 0);
    dead.CheckReady(2);
    EXPECT_EQ(queue.TakeAll(), (std::vector<int>{PE_PARALLEL_INIT_FAILED, PE_UNAVAILABLE}));
    EXPECT_EQ(dead.m_nPinMOSI, 14);  // the roles are mapped all the same
}

}  // namespace
