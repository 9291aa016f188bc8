#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "core/CProgrammer.h"
#include "core/CoreTestSupport.h"
#include "image/HexConverter.h"
#include "image/HexText.h"
#include "image/ImageFile.h"
#include "platform/FailureReason.h"
#include "platform/MessageBox.h"
#include "support/TempDir.h"

namespace {

using image::LoadStatus;
using image::SaveStatus;

// A Buffer 1 of full size in a temporary folder; message boxes are recorded.
class ImageLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetMessageBoxHandler([this](const std::string& text, const std::string&,
                                              platform::MessageIcon) { messages.push_back(text); });
        std::fill_n(buffer.get(), kImageBufferSize, 0x00);
        g_nLoadedLength = -1;
    }
    void TearDown() override { platform::SetMessageBoxHandler({}); }

    image::LoadResult Load(const std::string& path) {
        return image::LoadImage(path, image::UpperExtension(path), buffer.get());
    }
    bool BufferIs(std::uint8_t value, int from, int to) const {
        return std::all_of(buffer.get() + from, buffer.get() + to,
                           [value](std::uint8_t b) { return b == value; });
    }

    TempDir dir;
    std::unique_ptr<std::uint8_t[]> buffer = std::make_unique<std::uint8_t[]>(kImageBufferSize);
    std::vector<std::string> messages;
};

TEST_F(ImageLoadTest, RawFileFillsTheRestOfBuffer1WithFF) {
    const std::string path = dir.Write("a.bin", "0123456789");
    const image::LoadResult result = Load(path);
    EXPECT_EQ(result.status, LoadStatus::Loaded);
    EXPECT_EQ(result.length, 10);
    EXPECT_EQ(g_nLoadedLength, 10);
    EXPECT_EQ(std::string(buffer.get(), buffer.get() + 10), "0123456789");
    EXPECT_TRUE(BufferIs(0xFF, 10, kImageBufferSize));
    EXPECT_EQ(image::LoadedLine(path, result.length), "读入文件 " + path + " 到缓冲1(10字节).");
}

TEST_F(ImageLoadTest, RawFileIsCappedAtOneMebibyte) {
    std::string bytes(kImageBufferSize + 5, '\x01');
    bytes[kImageBufferSize - 1] = '\x02';
    const image::LoadResult result = Load(dir.Write("big.img", bytes));
    EXPECT_EQ(result.status, LoadStatus::Loaded);
    EXPECT_EQ(result.length, kImageBufferSize);
    EXPECT_EQ(g_nLoadedLength, kImageBufferSize);
    EXPECT_EQ(buffer[kImageBufferSize - 1], 0x02);
}

// HEX is known by the .hex name (any case) or by a text made only of records (sdcc's .ihx, .a51,
// no extension); any other content is raw whatever the name.
TEST_F(ImageLoadTest, HexByNameOrByContentConvertsAndOtherTextsReadRaw) {
    const std::string text = HexRecord(0x100, 0, {0xC3, 0x00}) + kHexEnd;
    std::filesystem::create_directories(dir.File("x.hex"));
    for (const char* name : {"prog.HEX", "prog.ihx", "prog", "x.hex/prog.a51"}) {
        SCOPED_TRACE(name);
        std::fill_n(buffer.get(), kImageBufferSize, 0x00);
        const image::LoadResult hex = Load(dir.Write(name, text));
        EXPECT_EQ(hex.status, LoadStatus::Loaded);
        EXPECT_EQ(hex.length, static_cast<int>(text.size()));  // the text's length
        EXPECT_EQ(buffer[0x100], 0xC3);
        EXPECT_EQ(buffer[0], 0xFF);
    }
    const std::string notHex = "; " + text;
    const image::LoadResult raw = Load(dir.Write("notes.ihx", notHex));
    EXPECT_EQ(raw.status, LoadStatus::Loaded);
    EXPECT_EQ(std::string(buffer.get(), buffer.get() + notHex.size()), notHex);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ImageLoadTest, UpperExtensionLooksOnlyAtTheFileName) {
    EXPECT_EQ(image::UpperExtension("/home/u/Prog.Hex"), "HEX");
    EXPECT_EQ(image::UpperExtension("/home/u/a.tar.gz"), "GZ");
    EXPECT_EQ(image::UpperExtension("/home/u.v/prog"), "");
    EXPECT_EQ(image::UpperExtension("prog."), "");
    EXPECT_EQ(image::UpperExtension("/d/程序.hex"), "HEX");
    EXPECT_EQ(image::UpperExtension("/d/a.Ä"), "Ä");  // only ASCII letters change
}

TEST_F(ImageLoadTest, FailuresLeaveBuffer1AndReportTheirLine) {
    EXPECT_EQ(Load("").status, LoadStatus::NoFileChosen);
    EXPECT_STREQ(image::LoadFailureText(LoadStatus::NoFileChosen), "请先打开文件.");
    EXPECT_EQ(Load(dir.File("missing.bin")).status, LoadStatus::OpenFailed);
    EXPECT_STREQ(image::LoadFailureText(LoadStatus::OpenFailed), "打开文件失败.");
    EXPECT_TRUE(BufferIs(0x00, 0, kImageBufferSize));
    EXPECT_EQ(g_nLoadedLength, -1);
}

// Devices, folders, and streams where streams are not read (the window), fail with a reason and
// leave Buffer 1 and the loaded length as they were: /dev/zero would load a blank image.
TEST_F(ImageLoadTest, DevicesFoldersAndUnwantedStreamsAreRefused) {
    std::vector<std::string> reasons;
    platform::SetFailureReasonSink([&](const std::string& r) { reasons.push_back(r); });
    const std::string zero = dir.File("zero.bin");
    ASSERT_EQ(::symlink("/dev/zero", zero.c_str()), 0);
    const std::string fifo = dir.File("fifo.bin");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {zero, dir.path(), fifo}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(image::LoadImage(path, "", buffer.get()).status, LoadStatus::OpenFailed);
        EXPECT_EQ(image::LoadImage(path, "HEX", buffer.get()).status, LoadStatus::OpenFailed);
    }
    EXPECT_EQ(image::LoadImage(zero, "", buffer.get(), true).status, LoadStatus::OpenFailed);
    platform::SetFailureReasonSink({});
    EXPECT_TRUE(BufferIs(0x00, 0, kImageBufferSize));
    EXPECT_EQ(g_nLoadedLength, -1);
    ASSERT_EQ(reasons.size(), 7u);
    EXPECT_EQ(reasons[0].rfind(zero + ": ", 0), 0u) << reasons[0];
}

// A pipe (standard input, a FIFO) is read to its end when streams are allowed: a raw image of
// up to 64 KiB, or a HEX text; a longer stream fails instead of losing its tail.
TEST_F(ImageLoadTest, StreamsAreReadToTheirEnd) {
    const auto throughPipe = [&](const std::string& bytes) {
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        // Room for the whole stream, so the writer never waits on the reader.
        EXPECT_GE(::fcntl(fds[1], F_SETPIPE_SZ, 1 << 20), static_cast<int>(bytes.size()));
        EXPECT_EQ(::write(fds[1], bytes.data(), bytes.size()), ssize_t(bytes.size()));
        ::close(fds[1]);
        const std::string path = "/proc/self/fd/" + std::to_string(fds[0]);
        const image::LoadResult result = image::LoadImage(path, "", buffer.get(), true);
        ::close(fds[0]);
        return result;
    };
    std::string raw(kChipSpaceSize, '\x5A');
    EXPECT_EQ(throughPipe(raw).length, kChipSpaceSize);
    EXPECT_EQ(buffer[kChipSpaceSize - 1], 0x5A);
    EXPECT_EQ(buffer[kChipSpaceSize], 0xFF);

    const std::string text = HexRecord(0x20, 0, {0x12}) + kHexEnd;
    EXPECT_EQ(throughPipe(text).status, LoadStatus::Loaded);
    EXPECT_EQ(buffer[0x20], 0x12);
    EXPECT_EQ(buffer[0], 0xFF);

    platform::SetFailureReasonSink([](const std::string&) {});
    EXPECT_EQ(throughPipe(raw + "x").status, LoadStatus::OpenFailed);
    platform::SetFailureReasonSink({});
    EXPECT_EQ(g_nLoadedLength, static_cast<int>(text.size()));
}

TEST_F(ImageLoadTest, HexTextThatDoesNotConvertFailsTheLoad) {
    const std::string bad = HexRecord(0, 0, {1}) + HexRecord(0, 4, {0, 1}) + kHexEnd;
    const image::LoadResult result = Load(dir.Write("ext.HEX", bad));
    EXPECT_EQ(result.status, LoadStatus::ConvertFailed);
    EXPECT_EQ(result.failedLine, 2);
    EXPECT_EQ(result.hexError, image::HexError::Over64k);
    EXPECT_EQ(g_nLoadedLength, static_cast<int>(bad.size()));
    EXPECT_STREQ(image::LoadFailureText(LoadStatus::ConvertFailed), "转换HEX文件失败.");

    // Digits before the first record fail without a reason to show, but still fail the load.
    const image::LoadResult lead = Load(dir.Write("lead.hex", "00" + kHexEnd));
    EXPECT_EQ(lead.status, LoadStatus::ConvertFailed);
    EXPECT_EQ(lead.hexError, image::HexError::DigitsBeforeRecord);
    // The image layer reports; it never shows a box itself.
    EXPECT_TRUE(messages.empty());
}

// Saving the read-back buffer the way the session does: its data length, then the file.
class ImageSaveTest : public ::testing::Test {
protected:
    void SetUp() override { std::fill_n(buffer2.get(), kImageBufferSize, 0xFF); }

    image::SaveResult Save(const std::string& path) {
        return image::SaveImage(path, buffer2.get(),
                                programmer.GetDataLength(buffer2.get(), 0x10000));
    }

    TempDir dir;
    CProgrammer programmer;
    std::unique_ptr<std::uint8_t[]> buffer2 = std::make_unique<std::uint8_t[]>(kImageBufferSize);
};

TEST_F(ImageSaveTest, SavesUpToTheLastNonErasedByteAndEmptiesOldFiles) {
    const std::string path = dir.Write("r.bin", std::string(5000, 'x'));
    image::SaveResult result = Save(path);
    EXPECT_EQ(result.status, SaveStatus::Saved);
    EXPECT_EQ(result.count, 0);
    EXPECT_EQ(dir.Read("r.bin"), "");
    EXPECT_EQ(image::SavedLine(path, 0), "缓冲2保存到文件 " + path + "(0字节).");

    buffer2[0] = 0x00;
    buffer2[99] = 0x12;
    result = Save(path);
    EXPECT_EQ(result.status, SaveStatus::Saved);
    EXPECT_EQ(result.count, 100);
    EXPECT_EQ(dir.Read("r.bin"), std::string(buffer2.get(), buffer2.get() + 100));
}

TEST_F(ImageSaveTest, SelectedChipsRomSizeCapsTheSave) {
    programmer.m_ChipList = {MakeChip("AT89S51", 2, 4, 0x1E, 0x51, 0x06)};
    buffer2[0x2000] = 0x00;
    EXPECT_EQ(Save(dir.File("cap.bin")).count, 4096);
    EXPECT_EQ(dir.Read("cap.bin").size(), 4096u);
}

// /dev/full through a link: the device is written straight through and its "disk full" is a
// failure, not a save; the link and the device stay what they were.
TEST_F(ImageSaveTest, FullDiskIsAFailureNotASave) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    const std::string full = dir.File("full.bin");
    ASSERT_EQ(::symlink("/dev/full", full.c_str()), 0);
    buffer2[10] = 0x00;
    platform::SetFailureReasonSink([](const std::string&) {});
    EXPECT_EQ(Save(full).status, SaveStatus::WriteFailed);
    platform::SetFailureReasonSink({});
    EXPECT_EQ(std::filesystem::read_symlink(full), "/dev/full");
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
    EXPECT_EQ(image::SaveFailedLine("/dev/full"), "缓冲2保存到文件 /dev/full 失败.");
}

TEST_F(ImageSaveTest, FileThatCannotBeCreatedWritesNothing) {
    platform::SetFailureReasonSink([](const std::string&) {});
    EXPECT_EQ(Save(dir.File("no/such/folder.bin")).status, SaveStatus::WriteFailed);
    EXPECT_EQ(Save(dir.path()).status, SaveStatus::WriteFailed);  // a folder, not a file
    platform::SetFailureReasonSink({});
}

// Names ending in .hex or .ihx get Intel HEX (checked against records written by hand), so a
// read saved as x.hex verifies against x.hex; other names stay raw.
TEST_F(ImageSaveTest, HexNamesGetIntelHex) {
    buffer2[0] = 0x02;
    buffer2[2] = 0x03;
    EXPECT_EQ(Save(dir.File("r.Hex")).count, 3);
    EXPECT_EQ(dir.Read("r.Hex"), ":0300000002FF03F9\r\n:00000001FF\r\n");
    Save(dir.File("r.ihx"));
    EXPECT_EQ(dir.Read("r.ihx"), dir.Read("r.Hex"));
    Save(dir.File("r.hexdump"));
    EXPECT_EQ(dir.Read("r.hexdump"), std::string("\x02\xFF\x03", 3));
}

TEST_F(ImageSaveTest, ReadOnlyFolderWritesNothing) {
    const std::string locked = dir.File("locked");
    ASSERT_EQ(::mkdir(locked.c_str(), 0555), 0);
    if (::access(locked.c_str(), W_OK) == 0) GTEST_SKIP() << "running with rights over any folder";
    platform::SetFailureReasonSink([](const std::string&) {});
    EXPECT_EQ(Save(locked + "/r.bin").status, SaveStatus::WriteFailed);
    platform::SetFailureReasonSink({});
}

}  // namespace
