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
            Usbasp(selector), [] { return false; }, std::move(transfer));
    }
    std::uint8_t One(IspInstruction instruction) {
        std::uint8_t answer = 0;
        EXPECT_TRUE(link->Transact(std::span(&instruction, 1), std::span(&answer, 1)))
            << link->Reason();
        return answer;
    }
    CTargetChip chip;
    FakeUsbasp* fake;
    std::unique_ptr<CUsbaspLink> link;
};

}  // namespace

TEST(UsbaspLink, ProgramsAndReadsTheChipThroughTransmitRequests) {
    Rig rig;
    ASSERT_TRUE(rig.link->Open()) << rig.link->Reason();
    EXPECT_EQ(rig.link->DeviceName(), "001:004");
    EXPECT_EQ(IspLinkText(), "使用USBasp(001:004).");
    ASSERT_EQ(rig.link->Enter(kEnable), 0x69);
    // The clock is set before connecting, at 187.5 kHz; an instruction's bytes go out as
    // wValue = b1:b0 and wIndex = b3:b2.
    ASSERT_GE(rig.fake->sent.size(), 4u);
    EXPECT_EQ(rig.fake->sent[0].request, 127);
    EXPECT_EQ(rig.fake->sent[1].request, 10);
    EXPECT_EQ(rig.fake->sent[1].value, 9);
    EXPECT_EQ(rig.fake->sent[2].request, 1);
    EXPECT_EQ(rig.fake->sent[3].request, 3);
    EXPECT_EQ(rig.fake->sent[3].value, 0x53AC);
    EXPECT_EQ(rig.fake->sent[3].index, 0x0000);

    const IspInstruction signature[3] = {{0x28, 0, 0, 0}, {0x28, 1, 0, 0}, {0x28, 2, 0, 0}};
    std::uint8_t answers[3] = {};
    ASSERT_TRUE(rig.link->Transact(signature, answers));
    EXPECT_EQ(answers[0], 0x1E);
    EXPECT_EQ(answers[1], 0x52);
    EXPECT_EQ(answers[2], 0x06);

    rig.One({0x40, 0x12, 0x34, 0xA5});
    std::uint8_t read = 0;
    for (int poll = 0; poll < 10 && read != 0xA5; ++poll) read = rig.One({0x20, 0x12, 0x34, 0});
    EXPECT_EQ(read, 0xA5);
    EXPECT_EQ(rig.chip.Flash()[0x1234], 0xA5);

    rig.link->Leave();
    EXPECT_EQ(rig.fake->sent.back().request, 2);
    EXPECT_FALSE(rig.chip.InProgrammingMode());
    rig.link.reset();
    EXPECT_EQ(IspLinkText(), "");
}

TEST(UsbaspLink, StockFirmwareResetIsNamedAsTheLikelyCause) {
    Rig rig;
    rig.fake->bStockReset = true;
    ASSERT_TRUE(rig.link->Open());
    EXPECT_NE(rig.link->Enter(kEnable), 0x69);
    EXPECT_NE(rig.link->Reason().find("001:004"), std::string::npos);
    EXPECT_NE(rig.link->Reason().find("reversed-reset firmware or an inverter"), std::string::npos);
    rig.link.reset();  // leaving disconnects, so RST is released
    EXPECT_EQ(rig.fake->sent.back().request, 2);
}

TEST(UsbaspLink, ChoosesOneDeviceOrSaysWhichAreThere) {
    const std::vector<UsbaspDevice> two = {{1, 4, "0042", ""}, {3, 7, "", ""}};
    Rig both(two);
    EXPECT_FALSE(both.link->Open());
    EXPECT_EQ(both.link->Reason(),
              "several USBasp devices found: 001:004 (serial 0042), 003:007; choose one with "
              "usbasp:SERIAL or usbasp:BUS:DEVICE");
    for (const char* selector : {"0042", "001:004", "1:4"}) {
        Rig rig(two, selector);
        EXPECT_TRUE(rig.link->Open()) << selector;
        EXPECT_EQ(rig.link->DeviceName(), "001:004") << selector;
    }
    Rig byBus(two, "3:7");
    EXPECT_TRUE(byBus.link->Open());
    EXPECT_EQ(byBus.link->DeviceName(), "003:007");

    Rig none(std::vector<UsbaspDevice>{});
    EXPECT_FALSE(none.link->Open());
    EXPECT_EQ(none.link->Reason(), "no USBasp found (16c0:05dc)");
    Rig unmatched(two, "9999");
    EXPECT_FALSE(unmatched.link->Open());
    EXPECT_EQ(unmatched.link->Reason(),
              "no USBasp found (16c0:05dc) matching 9999; found: 001:004 (serial 0042), 003:007");
    Rig denied({{1, 4, "", "permission denied"}});
    EXPECT_FALSE(denied.link->Open());
    EXPECT_EQ(denied.link->Reason(), "USBasp 001:004: permission denied");
}

TEST(UsbaspLink, ADeviceLostOrAnsweringShortFailsTheTransfer) {
    Rig pulled;
    ASSERT_TRUE(pulled.link->Open());
    ASSERT_EQ(pulled.link->Enter(kEnable), 0x69);
    pulled.fake->nFailAfter = 2;
    const IspInstruction writes[4] = {
        {0x40, 0, 0, 1}, {0x40, 0, 1, 2}, {0x40, 0, 2, 3}, {0x40, 0, 3, 4}};
    std::uint8_t answers[4];
    EXPECT_FALSE(pulled.link->Transact(writes, answers));
    EXPECT_EQ(pulled.link->Reason(),
              "USBasp 001:004: No such device (it may have been disconnected)");

    Rig shortReply;
    ASSERT_TRUE(shortReply.link->Open());
    shortReply.fake->nTransmitBytes = 2;
    EXPECT_EQ(shortReply.link->Enter(kEnable), -1);
    EXPECT_EQ(shortReply.link->Reason(),
              "USBasp 001:004: request 3 answered with 2 bytes instead of 4");
}

TEST(UsbaspLink, StopsBetweenInstructions) {
    CTargetChip chip;
    bool stopping = false;
    auto transfer = std::make_unique<FakeUsbasp>(chip, std::vector<UsbaspDevice>{{1, 4, "", ""}});
    FakeUsbasp* fake = transfer.get();
    CUsbaspLink link(
        Usbasp(""), [&] { return stopping; }, std::move(transfer));
    ASSERT_TRUE(link.Open());
    ASSERT_EQ(link.Enter(kEnable), 0x69);
    stopping = true;
    const size_t before = fake->sent.size();
    const IspInstruction reads[2] = {{0x20, 0, 0, 0}, {0x20, 0, 1, 0}};
    std::uint8_t answers[2];
    EXPECT_FALSE(link.Transact(reads, answers));
    EXPECT_EQ(fake->sent.size(), before);
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
