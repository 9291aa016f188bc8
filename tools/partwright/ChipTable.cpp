#include "ChipTable.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "platform/TextCodec.h"

namespace chiptable {

namespace {

constexpr std::size_t kMaxNameBytes = sizeof(ChipInfo::szName) - 1;

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// from_chars rather than strtol/strtod: no locale (the window runs under the user's), no
// leading sign or blanks, and the whole text must be the number.
template <typename T>
bool ParseWhole(std::string_view text, T& out) {
    text = TrimBlanks(text);
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return !text.empty() && ec == std::errc() && ptr == end;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Three blank-separated pairs of hex digits.
bool ParseSignature(std::string_view text, std::uint8_t (&sig)[3]) {
    std::uint8_t parsed[3] = {};
    int n = 0;
    text = TrimBlanks(text);
    while (!text.empty()) {
        if (n == 3 || text.size() < 2) return false;
        const int hi = HexDigit(text[0]), lo = HexDigit(text[1]);
        if (hi < 0 || lo < 0) return false;
        parsed[n++] = static_cast<std::uint8_t>(hi * 16 + lo);
        text.remove_prefix(2);
        if (!text.empty() && text.front() != ' ' && text.front() != '\t') return false;
        text = TrimBlanks(text);
    }
    if (n != 3) return false;
    std::memcpy(sig, parsed, sizeof parsed);
    return true;
}

// The name's bytes as they will stand in the file: 1..19 bytes without a zero byte.
FieldError StoreNameBytes(std::string_view bytes, ChipInfo& chip) {
    if (bytes.empty()) return FieldError::NameEmpty;
    if (bytes.size() > kMaxNameBytes) return FieldError::NameTooLong;
    if (bytes.find('\0') != std::string_view::npos) return FieldError::NameNotStorable;
    std::memset(chip.szName, 0, sizeof chip.szName);
    std::memcpy(chip.szName, bytes.data(), bytes.size());
    return FieldError::None;
}

// A typed name in the file's encoding. It must read back as typed: GBK bytes that happen to form
// valid UTF-8 would be shown as something else by every program reading the list.
FieldError StoreName(std::string_view utf8, bool gbk, ChipInfo& chip) {
    if (utf8.empty()) return FieldError::NameEmpty;
    std::string bytes(utf8);
    if (!platform::IsValidUtf8(utf8) || (gbk && !platform::Utf8ToGbk(utf8, bytes)))
        return FieldError::NameNotStorable;
    if (bytes.size() > kMaxNameBytes) return FieldError::NameTooLong;
    if (platform::ToUtf8Lenient(bytes) != utf8) return FieldError::NameNotStorable;
    return StoreNameBytes(bytes, chip);
}

FieldError StoreNumber(Column column, std::string_view text, ChipInfo& chip) {
    switch (column) {
        case Column::Algorithm: {
            unsigned code = 0;
            if (!ParseWhole(text, code) || code > 255) return FieldError::Algorithm;
            chip.bAlgorithm = static_cast<std::uint8_t>(code);
            return FieldError::None;
        }
        case Column::RomKb: {
            std::int32_t kb = 0;
            if (!ParseWhole(text, kb) || kb < 0 || kb > 1024) return FieldError::RomKb;
            chip.nRomKB = kb;
            return FieldError::None;
        }
        case Column::Voltage: {
            double volts = 0;
            // Written so that NaN fails too.
            if (!ParseWhole(text, volts) || !(volts >= 0.0 && volts <= 25.0))
                return FieldError::Voltage;
            chip.fVoltage = static_cast<float>(volts);
            return FieldError::None;
        }
        default:
            if (!ParseSignature(text, chip.Signature)) return FieldError::Signature;
            return FieldError::None;
    }
}

}  // namespace

const char* ErrorText(FieldError error) {
    switch (error) {
        case FieldError::None:
            return "ok";
        case FieldError::NameEmpty:
            return "name is empty";
        case FieldError::NameTooLong:
            return "name must be at most 19 bytes";
        case FieldError::NameNotStorable:
            return "name cannot be stored in the list's encoding";
        case FieldError::Algorithm:
            return "algorithm code must be 0..255";
        case FieldError::RomKb:
            return "ROM KB must be 0..1024";
        case FieldError::Voltage:
            return "voltage must be 0..25";
        case FieldError::Signature:
            return "signature must be three hex bytes such as 1E 51 06";
    }
    return "invalid field";
}

std::string SignatureText(const ChipInfo& chip) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02X %02X %02X", chip.Signature[0], chip.Signature[1],
                  chip.Signature[2]);
    return buf;
}

std::string FieldText(const ChipInfo& chip, Column column) {
    switch (column) {
        case Column::Name:
            return chiplist::NameOf(chip);
        case Column::Algorithm:
            return std::to_string(chip.bAlgorithm);
        case Column::RomKb:
            return std::to_string(chip.nRomKB);
        case Column::Voltage: {
            char buf[64];
            const auto result =
                std::to_chars(buf, buf + sizeof buf, static_cast<double>(chip.fVoltage),
                              std::chars_format::fixed, 2);
            return std::string(buf, result.ptr);
        }
        case Column::Signature:
            return SignatureText(chip);
    }
    return {};
}

FieldError SetField(ChipInfo& chip, Column column, std::string_view text, bool gbk) {
    if (column == Column::Name) return StoreName(text, gbk, chip);
    return StoreNumber(column, text, chip);
}

FieldError MakeRecord(const std::string& name, const std::string& code, const std::string& romKb,
                      const std::string& voltage, const std::string& signature, ChipInfo& out) {
    ChipInfo chip{};
    FieldError error = StoreNameBytes(name, chip);
    if (error == FieldError::None) error = StoreNumber(Column::Algorithm, code, chip);
    if (error == FieldError::None) error = StoreNumber(Column::RomKb, romKb, chip);
    if (error == FieldError::None) error = StoreNumber(Column::Voltage, voltage, chip);
    if (error == FieldError::None) error = StoreNumber(Column::Signature, signature, chip);
    if (error == FieldError::None) out = chip;
    return error;
}

bool ParseTsv(const std::string& text, std::vector<ChipInfo>& out, std::string& error) {
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    out.clear();
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::istringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, '\t')) fields.push_back(cell);
        ChipInfo chip{};
        const char* why = "expected 5 tab-separated fields";
        if (fields.size() == 5) {
            const FieldError e =
                MakeRecord(fields[0], fields[1], fields[2], fields[3], fields[4], chip);
            why = e == FieldError::None ? nullptr : ErrorText(e);
        }
        if (why) {
            error = "line " + std::to_string(lineNo) + ": " + why;
            return false;
        }
        out.push_back(chip);
    }
    return true;
}

std::string FormatTable(const std::vector<ChipInfo>& chips) {
    std::string out = "#   name                 code  ROM KB  voltage  signature\n";
    char buf[256];  // room for the widest name, count and float
    for (size_t i = 0; i < chips.size(); ++i) {
        const ChipInfo& c = chips[i];
        std::snprintf(buf, sizeof buf, "%-3zu %-20s %4u  %6d  %6.2fV  %s\n", i,
                      chiplist::NameOf(c).c_str(), c.bAlgorithm, c.nRomKB,
                      static_cast<double>(c.fVoltage), SignatureText(c).c_str());
        out += buf;
    }
    return out;
}

}  // namespace chiptable
