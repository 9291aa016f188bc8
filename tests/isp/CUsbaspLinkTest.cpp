#include <gtest/gtest.h>

#include "isp/CUsbaspLink.h"
#include "isp/FakeUsbasp.h"
#include "platform/TimeLimit.h"

namespace {

const IspInstruction kEnable = {0xAC, 0x53, 0x00, 0x00};

// The selection of the words "usbasp" or "usbasp:CHOICE".
IspSelection Usbasp(const std::string& choice) {
    IspSelection selection;
    EXPECT_TRUE(ParseIspSelection(choice.empty() ? "usbasp" : "usbasp:" + choice, selection));
    return selection;
}

struct Rig {
    explicit Rig(std::vector<UsbaspDevice> devices = {{1, 4, "0042", ""}},
                 std::string selector = "") {
        auto transfer = std::make_unique<FakeUsbasp>(chip, std::move(devices));
        fake = transfer.get();
        link = std::make_unique<CUsbaspLink>(
            Usbasp(selector), [this] { return stopping; }, std::move(transfer));
    }
    // Opens, enters programming mode and returns Enter's answer.
    int Start() { return link->Open() ? link->Enter(kEnable) : -2; }
    std::uint8_t One(IspInstruction instruction) {
        std::uint8_t answer = 0;
        EXPECT_TRUE(link->Transact(std::span(&instruction, 1), std::span(&answer, 1)))
            << link->Reason();
        return answer;
    }
    CTargetChip chip;
    bool stopping = false;
    FakeUsbasp* fake;
    std::unique_ptr<CUsbaspLink> link;
};

}  // namespace

TEST(UsbaspLink, ProgramsAndReadsTheChipThroughTransmitRequests) {
    Rig rig;
    ASSERT_EQ(rig.Start(), 0x69) << rig.link->Reason();
    EXPECT_EQ(IspLinkText(), "使用USBasp(001:004).");
    // Capabilities, the clock (187.5 kHz) before connecting, then the instruction as
    // wValue = b1:b0, wIndex = b3:b2.
    std::vector<int> requests;
    for (const auto& sent : rig.fake->sent) requests.push_back(sent.request);
    EXPECT_EQ(requests, (std::vector<int>{127, 10, 1, 3}));
    EXPECT_EQ(rig.fake->sent[1].value, 9);
    EXPECT_EQ(rig.fake->sent[3].value, 0x53AC);

    const IspInstruction signature[3] = {{0x28, 0, 0, 0}, {0x28, 1, 0, 0}, {0x28, 2, 0, 0}};
    std::uint8_t answers[3] = {};
    ASSERT_TRUE(rig.link->Transact(signature, answers));
    EXPECT_EQ(answers[0], 0x1E);
    EXPECT_EQ(answers[1], 0x52);
    EXPECT_EQ(answers[2], 0x06);
    rig.One({0x40, 0x12, 0x34, 0xA5});
    std::uint8_t read = 0;
    for (int poll = 0; poll < 10 && read != 0xA5; ++poll) read = rig.One({0x20, 0x12, 0x34, 0});
    EXPECT_EQ(rig.chip.Flash()[0x1234], 0xA5);

    const auto log = rig.fake->log;
    rig.link.reset();  // leaving disconnects, so RST is released
    EXPECT_EQ(log->back().request, 2);
    EXPECT_FALSE(rig.chip.InProgrammingMode());
    EXPECT_EQ(IspLinkText(), "");
}

TEST(UsbaspLink, StockFirmwareResetIsNamedAsTheLikelyCause) {
    Rig rig;
    rig.fake->bStockReset = true;
    EXPECT_EQ(rig.Start(), 0xFF);
    EXPECT_NE(rig.link->EnableHint().find("USBasp 001:004: "), std::string::npos);
    EXPECT_NE(rig.link->EnableHint().find("reversed-reset firmware or an inverter"),
              std::string::npos);
}

TEST(UsbaspLink, ChoosesOneDeviceOrSaysWhichAreThere) {
    const std::vector<UsbaspDevice> two = {{1, 4, "0042", ""}, {3, 7, "", ""}};
    const auto reason = [](std::vector<UsbaspDevice> devices, const char* selector) {
        Rig rig(std::move(devices), selector);
        return rig.link->Open() ? "opened " + rig.link->DeviceName() : rig.link->Reason();
    };
    EXPECT_EQ(reason(two, ""),
              "several USBasp devices found: 001:004 (serial 0042), 003:007; choose one with "
              "usbasp:SERIAL or usbasp:BUS:DEVICE");
    EXPECT_EQ(reason(two, "0042"), "opened 001:004");
    EXPECT_EQ(reason(two, "001:004"), "opened 001:004");
    EXPECT_EQ(reason(two, "3:7"), "opened 003:007");
    EXPECT_EQ(reason({}, ""), "no USBasp found (16c0:05dc)");
    EXPECT_EQ(reason(two, "9999"),
              "no USBasp found (16c0:05dc) matching 9999; found: 001:004 (serial 0042), 003:007");
    EXPECT_EQ(reason({{1, 4, "", "permission denied"}}, ""), "USBasp 001:004: permission denied");
}

TEST(UsbaspLink, ALostDeviceAShortReplyOrAStopEndsTheTransfer) {
    const IspInstruction writes[3] = {{0x40, 0, 0, 1}, {0x40, 0, 1, 2}, {0x40, 0, 2, 3}};
    std::uint8_t answers[3];
    Rig pulled;
    ASSERT_EQ(pulled.Start(), 0x69);
    pulled.fake->nFailAfter = 1;
    EXPECT_FALSE(pulled.link->Transact(writes, answers));
    EXPECT_EQ(pulled.link->Reason(),
              "USBasp 001:004: No such device (it may have been disconnected)");

    Rig shortReply;
    shortReply.fake->nTransmitBytes = 2;
    EXPECT_EQ(shortReply.Start(), -1);
    EXPECT_EQ(shortReply.link->Reason(),
              "USBasp 001:004: request 3 answered with 2 bytes instead of 4");

    Rig stopped;
    ASSERT_EQ(stopped.Start(), 0x69);
    stopped.stopping = true;
    const size_t before = stopped.fake->sent.size();
    EXPECT_FALSE(stopped.link->Transact(writes, answers));
    EXPECT_EQ(stopped.fake->sent.size(), before);
}

// The real libusb path, on whatever bus this machine has: a serial no device carries is never
// found, in bounded time, whether or not USB exists here.
TEST(UsbaspLink, LibusbFindsNoSuchDevice) {
    const std::string reason = WithinTimeLimit([] {
        const auto link = CreateIspLink(Usbasp("olstrin-no-such-serial"), [] { return false; });
        return link && !link->Open() ? link->Reason() : std::string();
    });
    EXPECT_EQ(reason.rfind("no USBasp found (16c0:05dc)", 0), 0u) << reason;
}
