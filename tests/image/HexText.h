#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Intel HEX texts for tests and benchmarks: records with correct checksums, CR LF line ends.

// One record ":CCAAAATT<data>SS" for the address, type and data bytes.
inline std::string HexRecord(int address, int type, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> bytes = {
        static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(address >> 8),
        static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(type)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    std::uint8_t sum = 0;
    for (std::uint8_t b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    bytes.push_back(static_cast<std::uint8_t>(0x100 - sum));
    std::string line = ":";
    char pair[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        line += pair;
    }
    return line + "\r\n";
}

inline const std::string kHexEnd = ":00000001FF\r\n";

// The whole image as data records of 16 bytes, then the end record.
inline std::string HexTextOf(const std::uint8_t* image, int size) {
    std::string text;
    for (int address = 0; address < size; address += 16) {
        text +=
            HexRecord(address, 0, std::vector<std::uint8_t>(image + address, image + address + 16));
    }
    return text + kHexEnd;
}
