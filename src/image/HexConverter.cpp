#include "image/HexConverter.h"

#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "platform/MessageBox.h"

namespace image {
namespace {

constexpr std::string_view kEndRecord = ":00000001";
constexpr std::size_t kRecordHeaderSize = 4;  // count, address high, address low, type
constexpr std::size_t kMinRecordSize = kRecordHeaderSize + 1;
constexpr std::uint8_t kDataRecord = 0x00;
constexpr std::uint8_t kExtendedSegmentAddress = 0x02;
constexpr std::uint8_t kExtendedLinearAddress = 0x04;

// The records of one text in order: every decoded byte in one block, and where each record's
// bytes begin, so a large file costs two growing arrays instead of one per record.
struct RecordList {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> starts;

    std::span<const std::uint8_t> Record(std::size_t i) const {
        const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : bytes.size();
        return {bytes.data() + starts[i], end - starts[i]};
    }
};

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Splits the first length characters of text into records. text[length] must be readable (it is
// the ':' of the end record), so an odd digit at the end pairs with it and fails.
bool DecodeRecords(const char* text, std::size_t length, RecordList& records) {
    records.bytes.reserve(length / 2);
    for (std::size_t i = 0; i < length;) {
        const char c = text[i];
        if (c == ':') {
            records.starts.push_back(records.bytes.size());
            ++i;
        } else if (c == '\r' || c == '\n') {
            ++i;
        } else {
            std::uint8_t value = 0;
            if (!ParseHexByte(c, text[i + 1], value)) {
                platform::ShowMessageBox(kHexBadCharacterText);
                return false;
            }
            if (records.starts.empty()) return false;  // digits before the first record
            records.bytes.push_back(value);
            i += 2;
        }
    }
    return true;
}

// Copies one data record into the image and adds its count to total; false after the message
// when the record is refused.
bool PlaceRecord(std::span<const std::uint8_t> record, std::uint8_t* image, int& total) {
    if (record.size() < kMinRecordSize) {
        platform::ShowMessageBox(kHexBadRecordText);
        return false;
    }
    const std::uint8_t type = record[3];
    if (type != kDataRecord) {
        const bool extended = type == kExtendedSegmentAddress || type == kExtendedLinearAddress;
        platform::ShowMessageBox(extended ? kHexOver64kText : kHexBadRecordText);
        return false;
    }
    const std::size_t count = record[0];
    if (count > record.size() - kRecordHeaderSize) {
        platform::ShowMessageBox(kHexBadRecordText);
        return false;
    }
    const std::size_t address = record[1] * 256u + record[2];
    std::memcpy(image + address, record.data() + kRecordHeaderSize, count);
    total += static_cast<int>(count);
    return true;
}

}  // namespace

bool ParseHexByte(char high, char low, std::uint8_t& value) {
    const int h = HexDigitValue(high);
    const int l = HexDigitValue(low);
    if (h < 0 || l < 0) return false;
    value = static_cast<std::uint8_t>(h * 16 + l);
    return true;
}

int ConvertHexToImage(const char* text, std::uint8_t* image) {
    const std::string_view whole(text);
    const std::size_t end = whole.find(kEndRecord);
    if (end == std::string_view::npos) {
        platform::ShowMessageBox(kHexNoEndRecordText);
        return -1;
    }
    RecordList records;
    if (!DecodeRecords(text, end, records)) return -1;

    std::memset(image, 0xFF, kHexAddressSpace);
    int total = 0;
    for (std::size_t i = 0; i < records.starts.size(); ++i) {
        if (!PlaceRecord(records.Record(i), image, total)) return -1;
    }
    return total;
}

}  // namespace image
