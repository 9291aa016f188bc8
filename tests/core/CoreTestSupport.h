#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/CProgrammer.h"
#include "core/ChipInfo.h"

// A record with the given fields, for building chip lists in tests.
inline ChipInfo MakeChip(const std::string& name, std::uint8_t code, int romKb, std::uint8_t s0,
                         std::uint8_t s1, std::uint8_t s2, float volts = 5.0f) {
    ChipInfo chip{};
    std::memcpy(chip.szName, name.data(), std::min<size_t>(name.size(), 19));
    chip.bAlgorithm = code;
    chip.nRomKB = romKb;
    chip.fVoltage = volts;
    chip.Signature[0] = s0;
    chip.Signature[1] = s1;
    chip.Signature[2] = s2;
    return chip;
}

// The file bytes for the records, as a string for writing.
inline std::string ChipFileBytes(const std::vector<ChipInfo>& chips) {
    const std::vector<std::uint8_t> bytes = chiplist::Serialize(chips);
    return std::string(bytes.begin(), bytes.end());
}
