// Feeds arbitrary bytes to the chip list loaders as the contents of ChipList.chip, and to the
// editor's source parser as text. The programs' loader must never reach past the bytes it read
// and must hand out names that are valid UTF-8 and ROM sizes within 1 MiB; the editor must load
// the same records, give them back byte for byte, and take a field's shown text from one record
// into another with the same text shown afterwards.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ChipListDocument.h"
#include "ChipTable.h"
#include "core/CProgrammer.h"
#include "platform/TextCodec.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

const std::string& ScratchPath() {
    static const std::string path = [] {
        const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(dir) + "/olstrin-fuzz-chiplist-" + std::to_string(::getpid()) + ".chip";
    }();
    return path;
}

void LoadInProgrammer(std::string_view bytes) {
    static CProgrammer programmer;
    std::FILE* file = std::fopen(ScratchPath().c_str(), "wb");
    Check(file != nullptr);
    Check(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
    std::fclose(file);
    programmer.LoadChipListFrom(ScratchPath());
    ::unlink(ScratchPath().c_str());

    const int count = programmer.GetChipCount();
    Check(count >= 0 && static_cast<std::size_t>(count) <= bytes.size() / chiplist::kRecordSize);
    for (int i = 0; i < count; ++i) {
        Check(platform::IsValidUtf8(programmer.GetChipName(i)));
        const ChipInfo* chip = programmer.SelectChip(i);
        Check(chip != nullptr);
        const std::int32_t rom = chiplist::RomBytes(*chip);
        Check(rom >= 0 && rom <= 1024 * 1024);
    }
    Check(programmer.SelectChip(count) == nullptr);
}

void EditInDocument(std::string_view bytes) {
    ChipListDocument doc;
    doc.Load(bytes);
    const int rows = doc.RowCount();
    const std::string out = doc.Bytes();
    const std::size_t body = chiplist::kRecordSize * static_cast<std::size_t>(rows);
    Check(out.size() == chiplist::kHeaderSize + body);
    if (rows > 0) {
        Check(out.compare(0, 4, bytes.substr(0, 4)) == 0);
        Check(out.compare(chiplist::kHeaderSize, body, bytes.substr(chiplist::kHeaderSize, body)) ==
              0);
    }
    for (int c = 0; c < chiptable::kColumnCount; ++c) {
        const auto column = static_cast<chiptable::Column>(c);
        for (int r = 1; r < rows && r < 4; ++r) {
            const ChipInfo before = doc.Record(0);
            const std::string text = doc.Text(r, column);
            if (doc.SetText(0, column, text) == chiptable::FieldError::None)
                Check(doc.Text(0, column) == text);
            else
                Check(std::char_traits<char>::compare(reinterpret_cast<const char*>(&before),
                                                      reinterpret_cast<const char*>(&doc.Record(0)),
                                                      sizeof before) == 0);
        }
    }
}

void ParseAsSource(std::string_view bytes) {
    std::vector<ChipInfo> chips;
    std::string error;
    if (chiptable::ParseTsv(std::string(bytes), chips, error))
        Check(!chiptable::FormatTable(chips).empty());
    else
        Check(error.rfind("line ", 0) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    LoadInProgrammer(bytes);
    EditInDocument(bytes);
    ParseAsSource(bytes);
    return 0;
}
