#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "TimeLimit.h"
#include "platform/FailureReason.h"
#include "platform/Profile.h"
#include "support/TempDir.h"

namespace {

// Section names as a Windows machine with the Chinese code page stores them (GBK).
const std::string kPinSectionGbk = "\xD2\xFD\xBD\xC5\xBF\xD8\xD6\xC6";  // 引脚控制
const std::string kLatchSectionGbk =
    "\xCB\xF8\xB4\xE6\xBF\xD8\xD6\xC6\x28\x4C\x45\x29";  // 锁存控制(LE)

// Four bytes 01 02 0A FF with their checksum 0C.
const std::string kStructValue = "01020AFF0C";

std::string WindowsFile() {
    return "[InfoSave]\r\n"
           "m_InfoSave=" +
           kStructValue +
           "\r\n"
           "\r\n"
           "[" +
           kPinSectionGbk +
           "]\r\n"
           "MOSI = 14\r\n"
           "MISO=15\r\n"
           "\r\n"
           "[" +
           kLatchSectionGbk +
           "]\r\n"
           "Enable=1\r\n"
           "Disable=0\r\n";
}

class ProfileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string ini = dir.Write("Dranvik.ini", WindowsFile());
};

TEST_F(ProfileTest, ReadsAWindowsFileWithGbkSectionNames) {
    EXPECT_EQ(platform::GetProfileInt("引脚控制", "MOSI", 0, ini), 14);
    EXPECT_EQ(platform::GetProfileInt("引脚控制", "miso", 0, ini), 15);
    EXPECT_EQ(platform::GetProfileInt("锁存控制(LE)", "enable", 7, ini), 1);
    EXPECT_EQ(platform::GetProfileInt("infosave", "M_INFOSAVE", 3, ini), 1020);  // "01020A..."
    EXPECT_EQ(platform::GetProfileInt("引脚控制", "SCK", 99, ini), 99);
    EXPECT_EQ(platform::GetProfileInt("Missing", "MOSI", -4, ini), -4);
    EXPECT_EQ(platform::GetProfileInt("引脚控制", "MOSI", 5, dir.File("none.ini")), 5);
}

TEST_F(ProfileTest, WritingOneKeyKeepsEveryOtherByte) {
    ASSERT_TRUE(platform::WriteProfileString("引脚控制", "mosi", "7", ini));
    ASSERT_TRUE(platform::WriteProfileString("引脚控制", "SCK", "3", ini));
    ASSERT_TRUE(platform::WriteProfileString("Devices", "LPT", "sim", ini));
    std::string expected = WindowsFile();
    expected.replace(expected.find("MOSI = 14"), 9, "mosi=7");
    expected.insert(expected.find("MISO=15\r\n") + 9, "SCK=3\r\n");
    expected += "[Devices]\r\nLPT=sim\r\n";
    EXPECT_EQ(dir.Read("Dranvik.ini"), expected);
    EXPECT_EQ(platform::GetProfileString("引脚控制", "SCK", "", ini), "3");
}

TEST_F(ProfileTest, StructRoundTripAndRejections) {
    std::uint8_t bytes[4] = {};
    ASSERT_TRUE(platform::GetProfileStruct("InfoSave", "m_InfoSave", bytes, 4, ini));
    EXPECT_EQ(bytes[2], 0x0A);
    EXPECT_EQ(bytes[3], 0xFF);

    std::uint8_t untouched[4] = {9, 9, 9, 9};
    EXPECT_FALSE(platform::GetProfileStruct("InfoSave", "m_InfoSave", untouched, 3, ini));
    platform::WriteProfileString("InfoSave", "m_InfoSave", "01020AFF0D", ini);  // bad checksum
    EXPECT_FALSE(platform::GetProfileStruct("InfoSave", "m_InfoSave", untouched, 4, ini));
    platform::WriteProfileString("InfoSave", "m_InfoSave", "01020AFG0C", ini);  // bad digit
    EXPECT_FALSE(platform::GetProfileStruct("InfoSave", "m_InfoSave", untouched, 4, ini));
    EXPECT_EQ(untouched[0], 9);

    const std::uint8_t record[3] = {0xAB, 0x00, 0x7F};
    ASSERT_TRUE(platform::WriteProfileStruct("InfoSave", "m_InfoSave", record, 3, ini));
    EXPECT_EQ(platform::GetProfileString("InfoSave", "m_InfoSave", "", ini), "AB007F2A");
    std::uint8_t back[3] = {};
    ASSERT_TRUE(platform::GetProfileStruct("InfoSave", "m_InfoSave", back, 3, ini));
    EXPECT_EQ(back[0], 0xAB);
    EXPECT_EQ(back[2], 0x7F);
}

TEST(ProfileValues, IntegerPrefixAndFirstMatchWins) {
    TempDir dir;
    const std::string ini = dir.Write("a.ini",
                                      "[S]\nA=12abc\nB=abc\nC= -5 \nA=99\n"
                                      "[s]\nD=1\n");
    EXPECT_EQ(platform::GetProfileInt("S", "A", 0, ini), 12);
    EXPECT_EQ(platform::GetProfileInt("S", "B", 7, ini), 0);
    EXPECT_EQ(platform::GetProfileInt("S", "C", 0, ini), -5);
    EXPECT_EQ(platform::GetProfileInt("S", "D", 42, ini), 42);  // only the first [S] is searched
}

TEST(ProfileFiles, NewFilesAndSectionsAreUtf8WithLf) {
    TempDir dir;
    const std::string ini = dir.File("new.ini");
    ASSERT_TRUE(platform::WriteProfileString("引脚控制", "MOSI", "14", ini));
    ASSERT_TRUE(platform::WriteProfileString("引脚控制", "MISO", "15", ini));
    EXPECT_EQ(dir.Read("new.ini"), "[引脚控制]\nMOSI=14\nMISO=15\n");

    const std::string noFinalEol = dir.Write("b.ini", "[A]\nx=1");
    ASSERT_TRUE(platform::WriteProfileString("A", "y", "2", noFinalEol));
    ASSERT_TRUE(platform::WriteProfileString("B", "z", "3", noFinalEol));
    EXPECT_EQ(dir.Read("b.ini"), "[A]\nx=1\ny=2\n[B]\nz=3\n");
}

// Records the failure reasons reported while it lives.
class RecordedReasons {
public:
    RecordedReasons() {
        platform::SetFailureReasonSink([this](const std::string& r) { lines.push_back(r); });
    }
    ~RecordedReasons() { platform::SetFailureReasonSink({}); }
    std::vector<std::string> lines;
};

TEST(ProfileFiles, FailedWriteReportsFailure) {
    TempDir dir;
    RecordedReasons reasons;
    const std::string ini = dir.File("no/such/dir/a.ini");
    EXPECT_FALSE(platform::WriteProfileString("A", "x", "1", ini));
    EXPECT_EQ(reasons.lines, std::vector<std::string>{platform::ErrnoReason(ini, ENOENT)});
}

TEST(ProfileFiles, NotepadFileWithBomAndQuotedValuesReadsAsOnWindows) {
    TempDir dir;
    const std::string ini =
        dir.Write("Dranvik.ini",
                  "\xEF\xBB\xBF[引脚控制]\r\nMOSI=\"1\"\r\nMISO=' 2 '\r\nSCK=\"3'\r\nE=\"\r\n");
    EXPECT_EQ(platform::GetProfileInt("引脚控制", "MOSI", 0, ini), 1);
    EXPECT_EQ(platform::GetProfileString("引脚控制", "MISO", "", ini), " 2 ");
    EXPECT_EQ(platform::GetProfileString("引脚控制", "SCK", "", ini), "\"3'");
    EXPECT_EQ(platform::GetProfileString("引脚控制", "E", "", ini), "\"");

    ASSERT_TRUE(platform::WriteProfileString("引脚控制", "MOSI", "4", ini));
    EXPECT_EQ(dir.Read("Dranvik.ini"),
              "\xEF\xBB\xBF[引脚控制]\r\nMOSI=4\r\nMISO=' 2 '\r\nSCK=\"3'\r\nE=\"\r\n");
}

TEST(ProfileFiles, SettingsFileThatIsNotRegularGivesDefaultsReportedOnce) {
    TempDir dir;
    RecordedReasons reasons;
    const std::string fifo = dir.File("LastFile.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(
        WithinTimeLimit([&] { return platform::GetProfileInt("File Number", "n", -1, fifo); }), -1);
    EXPECT_EQ(WithinTimeLimit(
                  [&] { return platform::GetProfileString("LastFile", "File 0", "d", fifo); }),
              "d");
    // Nothing is written into the FIFO in place of the unread file.
    EXPECT_FALSE(
        WithinTimeLimit([&] { return platform::WriteProfileString("A", "x", "1", fifo); }));
    EXPECT_EQ(reasons.lines, std::vector<std::string>{platform::ErrnoReason(fifo, EOPNOTSUPP)});
}

TEST(ProfileFiles, LookUpsReadAnUnchangedFileOnce) {
    TempDir dir;
    std::string text = "[File Number]\nn=300\n[LastFile]\n";
    for (int i = 0; i < 300; ++i)
        text += "File " + std::to_string(i) + "=f" + std::to_string(i) + "\n";
    const std::string ini = dir.Write("LastFile.ini", text);

    const std::size_t before = platform::ProfileFileReads();
    EXPECT_EQ(platform::GetProfileInt("File Number", "n", 0, ini), 300);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(platform::GetProfileString("LastFile", "File " + std::to_string(i), "", ini),
                  "f" + std::to_string(i));
    EXPECT_EQ(platform::ProfileFileReads(), before + 1);

    // A write, or another program replacing the file, is seen by the next look-up.
    ASSERT_TRUE(platform::WriteProfileString("LastFile", "File 7", "new", ini));
    EXPECT_EQ(platform::GetProfileString("LastFile", "File 7", "", ini), "new");
    dir.Write("LastFile.ini", "[LastFile]\nFile 7=other\n");
    EXPECT_EQ(platform::GetProfileString("LastFile", "File 7", "", ini), "other");
    EXPECT_EQ(platform::ProfileFileReads(), before + 3);
}

}  // namespace

namespace {

TEST(ProfileFiles, LookUpsFromSeveralThreadsWhileAWriterReplacesTheFile) {
    TempDir dir;
    const std::string ini = dir.Write("Dranvik.ini", "[Devices]\nLPT=sim\n");
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    const auto lookUp = [&] {
        while (!stop)
            if (platform::GetProfileString("Devices", "LPT", "", ini) != "sim") ++wrong;
    };
    std::thread a(lookUp), b(lookUp);
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(platform::WriteProfileString("Other", "n", std::to_string(i), ini));
    stop = true;
    a.join();
    b.join();
    EXPECT_EQ(wrong, 0);
}

TEST(ProfileFiles, GbkFileThatWouldReadAsUtf8AfterAWriteIsStoredAsUtf8) {
    TempDir dir;
    // The file's only GBK text is on the line the write replaces; the GBK bytes of 芯片 are also
    // valid UTF-8, so keeping GBK would make the file read back as UTF-8 with a garbled value.
    const std::string ini = dir.Write("LastFile.ini", "[LastFile]\r\nFile 0=\xC4\xE3\r\n");
    ASSERT_TRUE(platform::WriteProfileString("LastFile", "File 0", "芯片 image.hex", ini));
    EXPECT_EQ(platform::GetProfileString("LastFile", "File 0", "", ini), "芯片 image.hex");
    EXPECT_EQ(dir.Read("LastFile.ini"), "[LastFile]\r\nFile 0=芯片 image.hex\r\n");
}

}  // namespace
