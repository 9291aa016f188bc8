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

TEST_F(ImageLoadTest, HexExtensionOfAnyCaseConvertsAndOthersReadRaw) {
    const std::string text = HexRecord(0x100, 0, {0xC3, 0x00}) + kHexEnd;
    const image::LoadResult hex = Load(dir.Write("prog.hex", text));
    EXPECT_EQ(hex.status, LoadStatus::Loaded);
    EXPECT_EQ(hex.length, static_cast<int>(text.size()));  // the text's length, not the image's
    EXPECT_EQ(buffer[0x100], 0xC3);
    EXPECT_EQ(buffer[0], 0xFF);

    for (const char* name : {"prog", "prog.hex.bin", "x.hex/prog"}) {
        SCOPED_TRACE(name);
        std::filesystem::create_directories(dir.File("x.hex"));
        const image::LoadResult raw = Load(dir.Write(name, text));
        EXPECT_EQ(raw.status, LoadStatus::Loaded);
        EXPECT_EQ(std::string(buffer.get(), buffer.get() + text.size()), text);
    }
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

// A folder opens for reading but every read fails: a short read must fail the load rather than
// pass a half-read image on.
TEST_F(ImageLoadTest, ShortReadFailsTheLoad) {
    struct stat info {};
    ASSERT_EQ(::stat(dir.path().c_str(), &info), 0);
    if (info.st_size == 0) GTEST_SKIP() << "folders report no size on this file system";
    EXPECT_EQ(image::LoadImage(dir.path(), "", buffer.get()).status, LoadStatus::OpenFailed);
    EXPECT_EQ(image::LoadImage(dir.path(), "HEX", buffer.get()).status, LoadStatus::OpenFailed);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ImageLoadTest, HexTextThatDoesNotConvertFailsTheLoad) {
    const std::string bad = HexRecord(0, 4, {0, 0}) + kHexEnd;
    const image::LoadResult result = Load(dir.Write("ext.HEX", bad));
    EXPECT_EQ(result.status, LoadStatus::ConvertFailed);
    EXPECT_EQ(g_nLoadedLength, static_cast<int>(bad.size()));
    EXPECT_EQ(messages, std::vector<std::string>{image::kHexOver64kText});
    EXPECT_STREQ(image::LoadFailureText(LoadStatus::ConvertFailed), "转换HEX文件失败.");

    // Digits before the first record fail without a message box, but still fail the load.
    messages.clear();
    EXPECT_EQ(Load(dir.Write("lead.hex", "00" + kHexEnd)).status, LoadStatus::ConvertFailed);
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

TEST_F(ImageSaveTest, FullDiskIsAFailureNotASave) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    buffer2[10] = 0x00;
    EXPECT_EQ(Save("/dev/full").status, SaveStatus::WriteFailed);
    EXPECT_EQ(image::SaveFailedLine("/dev/full"), "缓冲2保存到文件 /dev/full 失败.");
}

TEST_F(ImageSaveTest, FileThatCannotBeCreatedWritesNothing) {
    EXPECT_EQ(Save(dir.File("no/such/folder.bin")).status, SaveStatus::CreateFailed);
    EXPECT_EQ(Save(dir.path()).status, SaveStatus::CreateFailed);  // a folder, not a file
}

TEST_F(ImageSaveTest, ReadOnlyFolderWritesNothing) {
    const std::string locked = dir.File("locked");
    ASSERT_EQ(::mkdir(locked.c_str(), 0555), 0);
    if (::access(locked.c_str(), W_OK) == 0) GTEST_SKIP() << "running with rights over any folder";
    EXPECT_EQ(Save(locked + "/r.bin").status, SaveStatus::CreateFailed);
}

}  // namespace
