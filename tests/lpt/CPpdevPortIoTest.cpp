#include <gtest/gtest.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <map>

#include "lpt/CPpdevPortIo.h"
#include "platform/FailureReason.h"
#include "support/TempDir.h"

namespace {

// A ppdev device in memory: remembers the registers, records every request and fails those it
// is told to fail (each with its errno, once or always).
struct FakePpdev {
    int Ioctl(int fd, unsigned long request, void* arg) {
        EXPECT_GE(fd, 0);
        calls.push_back(request);
        if (auto it = failures.find(request); it != failures.end()) {
            errno = it->second.first;
            if (it->second.second) failures.erase(it);
            return -1;
        }
        auto* value = static_cast<unsigned char*>(arg);
        if (request == PPRDATA) *value = data;
        if (request == PPRCONTROL) *value = control;
        if (request == PPRSTATUS) *value = 0x78;
        if (request == PPWDATA) data = *value;
        if (request == PPWCONTROL) control = *value;
        return 0;
    }
    CPpdevPortIo::IoctlFunction Function() {
        return [this](int fd, unsigned long request, void* arg) { return Ioctl(fd, request, arg); };
    }

    std::vector<unsigned long> calls;
    std::map<unsigned long, std::pair<int, bool>> failures;  // request -> errno, once
    unsigned char data = 0x11;
    unsigned char control = 0x0C;
};

class PpdevTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string device = dir.Write("parport0", "");
    FakePpdev fake;
};

TEST_F(PpdevTest, ClaimsBeforeTheFirstRegisterAccessAndRestoresOnClose) {
    {
        CPpdevPortIo io(device, fake.Function());
        ASSERT_TRUE(io.Open());
        io.WriteData(0x55);
        io.WriteControl(0x00);
        EXPECT_EQ(io.ReadStatus(), 0x78);
        EXPECT_EQ(io.ReadData(), 0x55);
        EXPECT_EQ(io.FailedCalls(), 0);
    }
    EXPECT_EQ(fake.calls,
              (std::vector<unsigned long>{PPEXCL, PPCLAIM, PPRDATA, PPRCONTROL, PPWDATA, PPWCONTROL,
                                          PPRSTATUS, PPRDATA, PPWDATA, PPWCONTROL, PPRELEASE}));
    EXPECT_EQ(fake.data, 0x11);
    EXPECT_EQ(fake.control, 0x0C);
}

TEST_F(PpdevTest, SharesThePortWhenAnExclusiveClaimIsRefused) {
    fake.failures[PPEXCL] = {ENXIO, true};
    {
        CPpdevPortIo io(device, fake.Function());
        EXPECT_TRUE(io.Open());
    }
    EXPECT_EQ(fake.calls[1], PPCLAIM);

    // The refusal may also come from the claim after an accepted PPEXCL.
    fake.calls.clear();
    fake.failures[PPCLAIM] = {ENXIO, true};
    CPpdevPortIo io(device, fake.Function());
    EXPECT_TRUE(io.Open());
    EXPECT_EQ(fake.calls,
              (std::vector<unsigned long>{PPEXCL, PPCLAIM, PPCLAIM, PPRDATA, PPRCONTROL}));
}

// Each refusal says why: the claim's error for a busy port, the open's for a missing device.
TEST_F(PpdevTest, FailsToOpenWithoutAClaimOrADevice) {
    std::vector<std::string> reasons;
    platform::SetFailureReasonSink([&](const std::string& r) { reasons.push_back(r); });
    fake.failures[PPCLAIM] = {EBUSY, false};
    CPpdevPortIo busy(device, fake.Function());
    EXPECT_FALSE(busy.Open());
    for (unsigned long call : fake.calls) EXPECT_TRUE(call == PPEXCL || call == PPCLAIM);

    CPpdevPortIo missing(device + ".absent", fake.Function());
    EXPECT_FALSE(missing.Open());
    platform::SetFailureReasonSink({});
    EXPECT_EQ(reasons, (std::vector<std::string>{device + ": Device or resource busy",
                                                 device + ".absent: No such file or directory"}));
}

TEST_F(PpdevTest, FailingCallsAfterAGoodStartAreCountedAndReadAsNoAnswer) {
    CPpdevPortIo io(device, fake.Function());
    ASSERT_TRUE(io.Open());
    fake.failures[PPRSTATUS] = {EIO, false};
    fake.failures[PPWDATA] = {EIO, false};
    EXPECT_EQ(io.ReadStatus(), 0xFF);
    EXPECT_EQ(io.ReadStatus(), 0xFF);
    io.WriteData(0x01);
    EXPECT_EQ(io.FailedCalls(), 3);
    EXPECT_EQ(io.ReadData(), 0x11);
}

}  // namespace
