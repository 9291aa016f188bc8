#include "ChipTable.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace chiptable {

namespace {

bool ParseLong(const std::string& text, long lo, long hi, long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    out = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && out >= lo && out <= hi;
}

bool ParseSignature(const std::string& text, std::uint8_t (&sig)[3]) {
    std::istringstream in(text);
    std::string part;
    int n = 0;
    while (in >> part) {
        if (n == 3 || part.size() != 2) return false;
        char* end = nullptr;
        const long v = std::strtol(part.c_str(), &end, 16);
        if (*end != '\0') return false;
        sig[n++] = static_cast<std::uint8_t>(v);
    }
    return n == 3;
}

}  // namespace

bool MakeRecord(const std::string& name, const std::string& code, const std::string& romKb,
                const std::string& voltage, const std::string& signature, ChipInfo& out,
                std::string& error) {
    ChipInfo chip{};
    long value = 0;
    if (name.empty() || name.size() > 19) {
        error = "name must be 1 to 19 bytes";
        return false;
    }
    std::memcpy(chip.szName, name.data(), name.size());
    if (!ParseLong(code, 0, 255, value)) {
        error = "algorithm code must be 0..255";
        return false;
    }
    chip.bAlgorithm = static_cast<std::uint8_t>(value);
    if (!ParseLong(romKb, 0, 1024, value)) {
        error = "ROM KB must be 0..1024";
        return false;
    }
    chip.nRomKB = static_cast<std::int32_t>(value);
    char* end = nullptr;
    const double volts = std::strtod(voltage.c_str(), &end);
    if (voltage.empty() || *end != '\0' || volts < 0.0 || volts > 25.0) {
        error = "voltage must be 0..25";
        return false;
    }
    chip.fVoltage = static_cast<float>(volts);
    if (!ParseSignature(signature, chip.Signature)) {
        error = "signature must be three hex bytes such as 1E 51 06";
        return false;
    }
    out = chip;
    return true;
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
        std::string why = "expected 5 tab-separated fields";
        if (fields.size() != 5 ||
            !MakeRecord(fields[0], fields[1], fields[2], fields[3], fields[4], chip, why)) {
            error = "line " + std::to_string(lineNo) + ": " + why;
            return false;
        }
        out.push_back(chip);
    }
    return true;
}

std::string SignatureText(const ChipInfo& chip) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02X %02X %02X", chip.Signature[0], chip.Signature[1],
                  chip.Signature[2]);
    return buf;
}

std::string FormatTable(const std::vector<ChipInfo>& chips) {
    std::string out = "#   name                 code  ROM KB  voltage  signature\n";
    char buf[128];
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
