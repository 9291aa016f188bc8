#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/FailureReason.h"

namespace {

// A device's permission error names the group that owns it; other errors and other paths get
// their own advice or none; a caller's hint wins.
TEST(FailureReason, DevicePathsGetAdviceForTheirError) {
    struct stat info {};
    ASSERT_EQ(::stat("/dev/null", &info), 0);
    const group* owner = ::getgrgid(info.st_gid);
    ASSERT_NE(owner, nullptr);
    EXPECT_EQ(platform::ErrnoReason("/dev/null", EACCES),
              std::string("/dev/null: Permission denied (add yourself to the ") + owner->gr_name +
                  " group, which may use it)");
    EXPECT_EQ(platform::ErrnoReason("/dev/ttyUSB7", EBUSY),
              "/dev/ttyUSB7: Device or resource busy (another program holds it)");
    EXPECT_NE(platform::ErrnoReason("/dev/parport9", ENOENT).find("plugged in"), std::string::npos);
    EXPECT_EQ(platform::ErrnoReason("/tmp/a.bin", EACCES), "/tmp/a.bin: Permission denied");
    EXPECT_EQ(platform::ErrnoReason("/dev/null", EACCES, "mine"),
              "/dev/null: Permission denied (mine)");
}

TEST(FailureReason, ReasonsGoToTheInstalledSink) {
    std::vector<std::string> reasons;
    platform::SetFailureReasonSink([&](const std::string& r) { reasons.push_back(r); });
    platform::ReportFailureReason("x: y");
    platform::SetFailureReasonSink({});
    EXPECT_EQ(reasons, std::vector<std::string>{"x: y"});
}

}  // namespace
