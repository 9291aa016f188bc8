#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "ChipListDocument.h"
#include "core/CoreTestSupport.h"
#include "platform/AppPaths.h"
#include "support/TempDir.h"

using chiptable::Column;
using chiptable::FieldError;

namespace {

std::string FileBytes(const std::vector<ChipInfo>& chips, std::uint32_t headerReserved = 0) {
    const auto bytes = chiplist::Serialize(chips, headerReserved);
    return std::string(bytes.begin(), bytes.end());
}

// Records as files made by other writers have them: bytes in every reserved place, a GBK name,
// junk after a name's terminating zero, and a voltage that only shows rounded.
std::vector<ChipInfo> WornRecords() {
    ChipInfo a = MakeChip("AT89S51", 2, 4, 0x1E, 0x51, 0x06, 5.0f);
    a.reserved1[0] = 0xAA;
    a.reserved1[2] = 0x55;
    a.reserved2 = 0x7F;
    std::memcpy(a.szName + 8, "junk", 4);
    ChipInfo b = MakeChip(
        "\xb1\xe0\xb3\xcc"
        "89C52",
        3, 8, 0x1E, 0x52, 0x06, 4.999f);  // GBK 编程
    b.reserved1[1] = 0x01;
    ChipInfo c = MakeChip("AT89LS52", 2, 8, 0x1E, 0x62, 0x06, 3.3f);
    c.reserved2 = 0xFF;
    return {a, b, c};
}

const std::uint32_t kHeaderJunk = 0xDEADBEEF;

std::string RecordBytes(const std::string& file, int i) {
    return file.substr(chiplist::kHeaderSize + chiplist::kRecordSize * static_cast<size_t>(i),
                       chiplist::kRecordSize);
}

class ChipListDocumentTest : public ::testing::Test {
protected:
    void TearDown() override { platform::SetSettingsDir(""); }

    TempDir dir;
    ChipListDocument doc;
};

TEST_F(ChipListDocumentTest, SaveKeepsEveryByteOfRecordsNotEdited) {
    const std::string original = FileBytes(WornRecords(), kHeaderJunk);
    const std::string path = dir.Write("ChipList.chip", original);
    ASSERT_TRUE(doc.Open(path));
    EXPECT_TRUE(doc.IsGbk());
    EXPECT_EQ(doc.Text(1, Column::Name), "编程89C52");

    // Opening a cell and leaving it as shown changes nothing, even where the text is lossy.
    EXPECT_EQ(doc.SetText(1, Column::Voltage, "5.00"), FieldError::None);
    EXPECT_EQ(doc.SetText(1, Column::Name, "编程89C52"), FieldError::None);
    EXPECT_FALSE(doc.IsModified());
    ASSERT_TRUE(doc.Save().ok);
    EXPECT_EQ(dir.Read("ChipList.chip"), original);

    // Edit one field of record 0, add a row at the top, move the last row up, delete nothing.
    ASSERT_EQ(doc.SetText(0, Column::RomKb, "64"), FieldError::None);
    ASSERT_TRUE(doc.InsertRow(0));
    ASSERT_TRUE(doc.MoveRow(3, 1));  // AT89LS52 now second
    const SaveResult saved = doc.Save();
    ASSERT_TRUE(saved.ok);
    EXPECT_FALSE(saved.redirected);
    EXPECT_FALSE(doc.IsModified());

    const std::string file = dir.Read("ChipList.chip");
    ASSERT_EQ(file.size(), chiplist::kHeaderSize + 4 * chiplist::kRecordSize);
    EXPECT_EQ(file.substr(0, 4), original.substr(0, 4));
    EXPECT_EQ(RecordBytes(file, 1), RecordBytes(original, 2));
    EXPECT_EQ(RecordBytes(file, 3), RecordBytes(original, 1));
    ChipInfo edited = WornRecords()[0];
    edited.nRomKB = 64;
    EXPECT_EQ(RecordBytes(file, 2), FileBytes({edited}).substr(chiplist::kHeaderSize));
    // The new row's name is stored in the list's encoding: GBK here.
    EXPECT_EQ(std::string(RecordBytes(file, 0).c_str()), "\xd0\xc2\xc6\xf7\xbc\xfe");
}

TEST_F(ChipListDocumentTest, EditedNameIsZeroPaddedInTheFileEncoding) {
    ASSERT_TRUE(doc.Open(dir.Write("ChipList.chip", FileBytes(WornRecords()))));
    ASSERT_EQ(doc.SetText(0, Column::Name, "编程器"), FieldError::None);
    const ChipInfo& chip = doc.Record(0);
    EXPECT_EQ(std::string(chip.szName, 20),
              std::string("\xb1\xe0\xb3\xcc\xc6\xf7", 6) + std::string(14, '\0'));
    EXPECT_EQ(chip.reserved1[0], 0xAA);  // the rest of the record is untouched
    EXPECT_EQ(chip.reserved2, 0x7F);
}

TEST_F(ChipListDocumentTest, RefusedEditsLeaveTheRecordAsItWas) {
    ASSERT_TRUE(doc.Open(dir.Write("ChipList.chip", FileBytes(WornRecords()))));
    ASSERT_TRUE(doc.IsGbk());
    const std::string before = doc.Bytes();
    const struct {
        Column column;
        const char* text;
        FieldError error;
    } refusals[] = {
        {Column::Name, "", FieldError::NameEmpty},
        {Column::Name, "ABCDEFGHIJKLMNOPQRST", FieldError::NameTooLong},
        {Column::Name, "一二三四五六七八九十", FieldError::NameTooLong},    // 20 GBK bytes
        {Column::Name, "AT\xf0\x9f\x98\x80", FieldError::NameNotStorable},  // no GBK form
        // GBK bytes of 芯片 are also valid UTF-8 and would read back as other characters.
        {Column::Name, "芯片", FieldError::NameNotStorable},
        {Column::Algorithm, "256", FieldError::Algorithm},
        {Column::Algorithm, "-1", FieldError::Algorithm},
        {Column::Algorithm, "0x10", FieldError::Algorithm},
        {Column::RomKb, "1025", FieldError::RomKb},
        {Column::RomKb, "4K", FieldError::RomKb},
        {Column::Voltage, "25.01", FieldError::Voltage},
        {Column::Voltage, "-0.5", FieldError::Voltage},
        {Column::Voltage, "nan", FieldError::Voltage},
        {Column::Voltage, "5,00", FieldError::Voltage},
        {Column::Signature, "1E 51", FieldError::Signature},
        {Column::Signature, "1E 51 06 07", FieldError::Signature},
        {Column::Signature, "1E5106", FieldError::Signature},
        {Column::Signature, "1G 51 06", FieldError::Signature},
        {Column::Signature, "+1 51 06", FieldError::Signature},
    };
    for (const auto& r : refusals) {
        EXPECT_EQ(doc.SetText(0, r.column, r.text), r.error) << r.text;
    }
    EXPECT_EQ(doc.Bytes(), before);
    EXPECT_FALSE(doc.IsModified());
}

TEST_F(ChipListDocumentTest, AcceptsTheLimitsAndBlanksAroundNumbers) {
    ASSERT_TRUE(doc.Open(dir.File("new.chip")));  // missing: an empty list to create
    EXPECT_FALSE(doc.IsGbk());
    ASSERT_TRUE(doc.InsertRow(0));
    EXPECT_EQ(doc.SetText(0, Column::Name, "ABCDEFGHIJKLMNOPQRS"), FieldError::None);
    EXPECT_EQ(doc.SetText(0, Column::Algorithm, " 255 "), FieldError::None);
    EXPECT_EQ(doc.SetText(0, Column::RomKb, "1024"), FieldError::None);
    EXPECT_EQ(doc.SetText(0, Column::Voltage, "25"), FieldError::None);
    EXPECT_EQ(doc.SetText(0, Column::Signature, "1e 5a  ff"), FieldError::None);
    EXPECT_EQ(doc.Text(0, Column::Signature), "1E 5A FF");
    EXPECT_EQ(doc.Text(0, Column::Voltage), "25.00");
    // In a UTF-8 list a Chinese character takes three bytes: six fit, seven do not.
    EXPECT_EQ(doc.SetText(0, Column::Name, "一二三四五六"), FieldError::None);
    EXPECT_EQ(doc.SetText(0, Column::Name, "一二三四五六七"), FieldError::NameTooLong);
    ASSERT_TRUE(doc.Save().ok);
    const std::string file = dir.Read("new.chip");
    EXPECT_EQ(std::string(RecordBytes(file, 0).c_str()), "一二三四五六");
}

TEST_F(ChipListDocumentTest, RowCommandsCheckTheirRows) {
    ASSERT_TRUE(doc.Open(dir.Write("ChipList.chip", FileBytes(WornRecords()))));
    EXPECT_FALSE(doc.InsertRow(4));
    EXPECT_FALSE(doc.RemoveRow(3));
    EXPECT_FALSE(doc.MoveRow(0, 3));
    EXPECT_FALSE(doc.MoveRow(-1, 0));
    EXPECT_EQ(doc.SetText(5, Column::Name, "X"), FieldError::None);  // nothing to edit
    EXPECT_FALSE(doc.IsModified());
    ASSERT_TRUE(doc.MoveRow(0, 2));
    EXPECT_EQ(doc.Text(0, Column::RomKb), "8");
    EXPECT_EQ(doc.Text(2, Column::Name), "AT89S51");
    ASSERT_TRUE(doc.RemoveRow(0));
    EXPECT_EQ(doc.RowCount(), 2);
}

TEST_F(ChipListDocumentTest, ShortFileLoadsItsCompleteRecordsAndSavesTheirCount) {
    std::string bytes = FileBytes(WornRecords());
    const std::int32_t claimed = 9;
    std::memcpy(bytes.data() + 4, &claimed, 4);
    bytes.resize(bytes.size() - 10);  // the third record is cut short
    ASSERT_TRUE(doc.Open(dir.Write("ChipList.chip", bytes)));
    EXPECT_EQ(doc.RowCount(), 2);
    EXPECT_TRUE(doc.WasTruncated());
    ASSERT_TRUE(doc.Save().ok);
    ASSERT_TRUE(doc.Open(dir.File("ChipList.chip")));
    EXPECT_EQ(doc.RowCount(), 2);
    EXPECT_FALSE(doc.WasTruncated());
}

TEST_F(ChipListDocumentTest, SaveReplacesTheFileWholeWithoutLeftovers) {
    const std::string original = FileBytes(WornRecords());
    const std::string path = dir.Write("ChipList.chip", original);
    ::chmod(path.c_str(), 0640);
    const int reader = ::open(path.c_str(), O_RDONLY);  // a program reading the old list
    ASSERT_GE(reader, 0);
    ASSERT_TRUE(doc.Open(path));
    ASSERT_TRUE(doc.RemoveRow(0));
    ASSERT_TRUE(doc.Save().ok);

    // The old file was not rewritten in place: its reader still sees all of it.
    std::string seen(original.size() + 1, '\0');
    EXPECT_EQ(::pread(reader, seen.data(), seen.size(), 0), static_cast<ssize_t>(original.size()));
    ::close(reader);
    EXPECT_EQ(seen.substr(0, original.size()), original);

    EXPECT_EQ(dir.Read("ChipList.chip").size(), chiplist::kHeaderSize + 2 * chiplist::kRecordSize);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(ChipListDocumentTest, SaveThroughASymlinkReplacesItsTargetAndKeepsTheLink) {
    std::filesystem::create_directory(dir.File("lists"));
    dir.Write("lists/ChipList.chip", FileBytes(WornRecords()));
    std::filesystem::create_symlink("lists/ChipList.chip", dir.File("ChipList.chip"));
    ASSERT_TRUE(doc.Open(dir.File("ChipList.chip")));
    ASSERT_TRUE(doc.RemoveRow(0));
    const SaveResult saved = doc.Save();
    EXPECT_TRUE(saved.ok);
    EXPECT_FALSE(saved.redirected);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("ChipList.chip")));
    EXPECT_EQ(dir.Read("lists/ChipList.chip"), doc.Bytes());
}

TEST_F(ChipListDocumentTest, ListThatCannotBeWrittenIsSavedToTheSettingsFolder) {
    TempDir settings;
    platform::SetSettingsDir(settings.path());
    const std::string installed = dir.path() + "/share/ChipList.chip";
    std::filesystem::create_directory(dir.path() + "/share");
    platform::WriteFileSafely(installed, FileBytes(WornRecords(), kHeaderJunk));
    ASSERT_TRUE(doc.Open(installed));
    ASSERT_EQ(doc.SetText(2, Column::Algorithm, "3"), FieldError::None);

    // The installed copy's folder is gone (root may write anywhere, so a mode alone would not
    // make the list unwritable in every test run); read-only permission is tried below.
    std::filesystem::remove_all(dir.path() + "/share");
    SaveResult saved = doc.Save();
    ASSERT_TRUE(saved.ok);
    EXPECT_TRUE(saved.redirected);
    EXPECT_EQ(saved.path, settings.File("ChipList.chip"));
    EXPECT_EQ(doc.Path(), saved.path);
    ChipListDocument reread;
    ASSERT_TRUE(reread.Open(saved.path));
    EXPECT_EQ(reread.Bytes(), doc.Bytes());
    EXPECT_EQ(reread.Text(2, Column::Algorithm), "3");

    // From now on the copy in the settings folder is the list being edited.
    ASSERT_TRUE(doc.RemoveRow(0));
    saved = doc.Save();
    EXPECT_TRUE(saved.ok);
    EXPECT_FALSE(saved.redirected);
}

TEST_F(ChipListDocumentTest, ReadOnlyFileIsNotOverwritten) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes to read-only files";
    TempDir settings;
    platform::SetSettingsDir(settings.path());
    const std::string original = FileBytes(WornRecords());
    const std::string path = dir.Write("ChipList.chip", original);
    ::chmod(path.c_str(), 0444);
    ASSERT_TRUE(doc.Open(path));
    ASSERT_TRUE(doc.RemoveRow(0));
    const SaveResult saved = doc.Save();
    EXPECT_TRUE(saved.ok);
    EXPECT_TRUE(saved.redirected);
    EXPECT_EQ(dir.Read("ChipList.chip"), original);
}

TEST_F(ChipListDocumentTest, UnreadableListIsNeverSavedOver) {
    TempDir settings;
    platform::SetSettingsDir(settings.path());
    // A folder where the list should be: it exists but cannot be read as a file.
    std::filesystem::create_directory(dir.File("ChipList.chip"));
    EXPECT_FALSE(doc.Open(dir.File("ChipList.chip")));
    EXPECT_TRUE(doc.Path().empty());
    ASSERT_TRUE(doc.InsertRow(0));
    const SaveResult saved = doc.Save();
    EXPECT_TRUE(saved.ok);
    EXPECT_EQ(saved.path, settings.File("ChipList.chip"));
}

}  // namespace
