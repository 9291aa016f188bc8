#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>

#include "TimeLimit.h"
#include "platform/FileUtil.h"
#include "support/TempDir.h"

namespace {

bool IsLink(const std::string& path, const std::string& target) {
    std::error_code ec;
    return std::filesystem::is_symlink(path, ec) &&
           std::filesystem::read_symlink(path, ec).string() == target;
}

int Entries(const std::string& folder) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++n;
    return n;
}

TEST(FileUtil, WriteThatFailsPartWayLeavesTheOldFileWholeAndNoLeftovers) {
    TempDir dir;
    const std::string path = dir.Write("image.bin", "old contents");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

    // A file size limit makes the write fail after a few bytes, whatever the user (root too).
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 4;
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = platform::WriteFileSafely(path, std::string(100, 'N'));
    const int err = errno;
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(err, EFBIG);
    EXPECT_EQ(dir.Read("image.bin"), "old contents");
    EXPECT_EQ(Entries(dir.path()), 1);

    ASSERT_TRUE(platform::WriteFileSafely(path, "new"));
    EXPECT_EQ(dir.Read("image.bin"), "new");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(FileUtil, SymlinksAreFollowedToTheirTargetAndStayLinks) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("real"));
    dir.Write("real/flash.bin", "old");
    // outer -> (absolute) inner -> (relative to inner's folder) real/flash.bin
    std::filesystem::create_symlink("real/flash.bin", dir.File("inner"));
    std::filesystem::create_symlink(dir.File("inner"), dir.File("outer"));
    ASSERT_TRUE(platform::WriteFileSafely(dir.File("outer"), "new"));
    EXPECT_TRUE(IsLink(dir.File("outer"), dir.File("inner")));
    EXPECT_TRUE(IsLink(dir.File("inner"), "real/flash.bin"));
    EXPECT_EQ(dir.Read("real/flash.bin"), "new");

    // A dangling link creates its target.
    std::filesystem::create_symlink("real/created.bin", dir.File("dangling"));
    ASSERT_TRUE(platform::WriteFileSafely(dir.File("dangling"), "made"));
    EXPECT_TRUE(IsLink(dir.File("dangling"), "real/created.bin"));
    EXPECT_EQ(dir.Read("real/created.bin"), "made");

    std::filesystem::create_symlink("loop", dir.File("loop"));
    EXPECT_FALSE(platform::WriteFileSafely(dir.File("loop"), "x"));
    EXPECT_EQ(errno, ELOOP);
}

TEST(FileUtil, DevicesAreWrittenStraightThroughAndNeverRead) {
    TempDir dir;
    // Only links in the temp folder are passed: the real device paths are never a target.
    std::filesystem::create_symlink("/dev/null", dir.File("null"));
    std::filesystem::create_symlink("/dev/full", dir.File("full"));
    ASSERT_TRUE(platform::WriteFileSafely(dir.File("null"), "discarded"));
    EXPECT_TRUE(IsLink(dir.File("null"), "/dev/null"));
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    EXPECT_FALSE(platform::WriteFileSafely(dir.File("full"), "x"));
    EXPECT_EQ(errno, ENOSPC);
    ASSERT_EQ(::stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    std::string bytes;
    EXPECT_FALSE(platform::ReadWholeFile(dir.File("null"), bytes));
    EXPECT_EQ(errno, EOPNOTSUPP);
    EXPECT_FALSE(platform::ReadWholeFile(dir.path(), bytes));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_FALSE(platform::WriteFileSafely(dir.path(), "x"));
    EXPECT_EQ(errno, EISDIR);
}

TEST(FileUtil, FifoIsWrittenToItsReaderAndNeverWaitedFor) {
    TempDir dir;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    EXPECT_EQ(WithinTimeLimit([&] { return platform::WriteFileSafely(fifo, "x") ? 0 : errno; }),
              ENXIO);
    EXPECT_EQ(WithinTimeLimit([&] {
                  std::string bytes;
                  return platform::ReadWholeFile(fifo, bytes) ? 0 : errno;
              }),
              EOPNOTSUPP);

    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(WithinTimeLimit([&] { return platform::WriteFileSafely(fifo, "hello"); }));
    char got[16] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), 5);
    ::close(reader);
    EXPECT_STREQ(got, "hello");
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(FileUtil, DashIsStandardOutput) {
    TempDir dir;
    const std::string captured = dir.File("stdout");
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    const int file = ::open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    ::dup2(file, STDOUT_FILENO);
    ::close(file);
    const bool written = platform::WriteFileSafely("-", "to stdout");
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    EXPECT_TRUE(written);
    EXPECT_EQ(dir.Read("stdout"), "to stdout");
    EXPECT_FALSE(std::filesystem::exists("-"));
}

}  // namespace
