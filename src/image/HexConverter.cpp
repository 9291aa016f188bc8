#include "image/HexConverter.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

namespace image {
namespace {

constexpr std::string_view kEndRecord = ":00000001";
constexpr std::size_t kRecordHeaderSize = 4;  // count, address high, address low, type
constexpr std::size_t kMinRecordSize = kRecordHeaderSize + 1;
constexpr std::uint8_t kDataRecord = 0x00;
constexpr std::uint8_t kExtendedSegmentAddress = 0x02;
constexpr std::uint8_t kStartSegmentAddress = 0x03;
constexpr std::uint8_t kExtendedLinearAddress = 0x04;
constexpr std::uint8_t kStartLinearAddress = 0x05;
constexpr std::size_t kExtendedAddressCount = 2;  // the upper address bits
constexpr std::size_t kStartAddressCount = 4;     // CS:IP or EIP of the program's entry

// The records of one text in order: every decoded byte in one block, where each record's bytes
// begin and the text line it stands on, so a large file costs a few growing arrays instead of
// one per record.
struct RecordList {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> starts;
    std::vector<int> lines;

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
// the ':' of the end record), so an odd digit at the end pairs with it and fails. line counts
// the text's lines (LF, CR LF or a lone CR ends one) and is left on the line of a failure.
HexError DecodeRecords(const char* text, std::size_t length, RecordList& records, int& line) {
    records.bytes.reserve(length / 2);
    line = 1;
    for (std::size_t i = 0; i < length;) {
        const char c = text[i];
        if (c == ':') {
            records.starts.push_back(records.bytes.size());
            records.lines.push_back(line);
            ++i;
        } else if (c == '\r' || c == '\n') {
            if (c == '\n' || text[i + 1] != '\n') ++line;
            ++i;
        } else {
            std::uint8_t value = 0;
            if (!ParseHexByte(c, text[i + 1], value)) return HexError::BadCharacter;
            if (records.starts.empty()) return HexError::DigitsBeforeRecord;
            records.bytes.push_back(value);
            i += 2;
        }
    }
    return HexError::None;
}

// A record's bytes, its checksum included, add up to 0 modulo 256.
bool ChecksumHolds(std::span<const std::uint8_t> record) {
    unsigned sum = 0;
    for (const std::uint8_t b : record) sum += b;
    return (sum & 0xFF) == 0;
}

// Whether a record that is not data leaves the 16-bit addresses as they are: Over64k for an
// extended address that is not zero, BadRecord for any other type or a count its type never has.
HexError CheckAddressRecord(std::span<const std::uint8_t> record) {
    const std::uint8_t type = record[3];
    const std::size_t count = record[0];
    if (type == kExtendedSegmentAddress || type == kExtendedLinearAddress) {
        if (count != kExtendedAddressCount) return HexError::BadRecord;
        const bool zeroBase = record[4] == 0 && record[5] == 0;
        return zeroBase ? HexError::None : HexError::Over64k;
    }
    // A start address names where the program begins; it places nothing.
    if (type == kStartSegmentAddress || type == kStartLinearAddress) {
        return count == kStartAddressCount ? HexError::None : HexError::BadRecord;
    }
    return HexError::BadRecord;
}

// Copies one data record into the image and adds its count to total, or passes a record that
// changes no address. A record must carry exactly its count of data bytes and a checksum that
// holds: a damaged line is never written to a chip.
HexError PlaceRecord(std::span<const std::uint8_t> record, std::uint8_t* image, int& total) {
    if (record.size() < kMinRecordSize) return HexError::BadRecord;
    const std::size_t count = record[0];
    if (record.size() != count + kMinRecordSize || !ChecksumHolds(record)) {
        return HexError::BadRecord;
    }
    if (record[3] != kDataRecord) return CheckAddressRecord(record);
    const std::size_t address = record[1] * 256u + record[2];
    std::memcpy(image + address, record.data() + kRecordHeaderSize, count);
    total += static_cast<int>(count);
    return HexError::None;
}

// One line of a HEX file: ':' followed by at least a header and a checksum in hex digit pairs.
bool IsRecordLine(std::string_view row) {
    if (row.size() < 1 + 2 * kMinRecordSize || row[0] != ':' || row.size() % 2 == 0) return false;
    return std::all_of(row.begin() + 1, row.end(), [](char c) { return HexDigitValue(c) >= 0; });
}

}  // namespace

bool ParseHexByte(char high, char low, std::uint8_t& value) {
    const int h = HexDigitValue(high);
    const int l = HexDigitValue(low);
    if (h < 0 || l < 0) return false;
    value = static_cast<std::uint8_t>(h * 16 + l);
    return true;
}

HexConversion ConvertHexToImage(const char* text, std::uint8_t* image) {
    const std::string_view whole(text);
    const std::size_t end = whole.find(kEndRecord);
    if (end == std::string_view::npos) return {-1, HexError::NoEndRecord, 0};
    RecordList records;
    int line = 0;
    if (const HexError error = DecodeRecords(text, end, records, line); error != HexError::None) {
        return {-1, error, line};
    }
    std::memset(image, 0xFF, kHexAddressSpace);
    int total = 0;
    for (std::size_t i = 0; i < records.starts.size(); ++i) {
        const HexError error = PlaceRecord(records.Record(i), image, total);
        if (error != HexError::None) return {-1, error, records.lines[i]};
    }
    return {total, HexError::None, 0};
}

const char* HexErrorText(HexError error) {
    // In the order of HexError; a refusal without a box has no text.
    static constexpr const char* kTexts[] = {
        nullptr,           kHexNoEndRecordText, kHexBadCharacterText,
        kHexBadRecordText, kHexOver64kText,     nullptr};
    return kTexts[static_cast<int>(error)];
}

bool IsIntelHexText(std::string_view text) {
    if (text.find(kEndRecord) == std::string_view::npos) return false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view row = text.substr(start, end - start);
        if (!row.empty() && !IsRecordLine(row)) return false;
        start = end + 1;
    }
    return true;
}

std::string ImageToHexText(const std::uint8_t* data, int length) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    const auto put = [&](std::uint8_t b, unsigned& sum) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
        sum += b;
    };
    for (int address = 0; address < length; address += kHexRecordBytes) {
        const int count = std::min(kHexRecordBytes, length - address);
        const std::uint8_t* row = data + address;
        if (std::all_of(row, row + count, [](std::uint8_t b) { return b == 0xFF; })) continue;
        unsigned sum = 0;
        text += ':';
        put(static_cast<std::uint8_t>(count), sum);
        put(static_cast<std::uint8_t>(address >> 8), sum);
        put(static_cast<std::uint8_t>(address & 0xFF), sum);
        put(kDataRecord, sum);
        for (int i = 0; i < count; ++i) put(row[i], sum);
        unsigned ignored = 0;
        put(static_cast<std::uint8_t>(-sum & 0xFF), ignored);
        text += "\r\n";
    }
    return text + ":00000001FF\r\n";
}

}  // namespace image
