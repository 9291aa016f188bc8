#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One 36-byte record of ChipList.chip, laid out as in the file (little-endian).
struct ChipInfo {
    char szName[20];          // zero-terminated display name (UTF-8 or GBK)
    std::uint8_t bAlgorithm;  // command set the backend uses for this chip
    std::uint8_t reserved1[3];
    std::int32_t nRomKB;        // ROM size in units of 1024 bytes
    float fVoltage;             // programming voltage in volts
    std::uint8_t Signature[3];  // signature bytes 0, 1, 2
    std::uint8_t reserved2;
};
static_assert(sizeof(ChipInfo) == 36, "ChipInfo must match the 36-byte file record");

// The ChipList.chip layout: an 8-byte header (4 reserved bytes, then a signed record count)
// followed by the records.
namespace chiplist {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kRecordSize = sizeof(ChipInfo);

// The records a file's bytes hold: at most the header's count and never more than the bytes
// cover; none for a count of 0 or less or a file shorter than its header.
std::vector<ChipInfo> Parse(const std::uint8_t* bytes, std::size_t size);

// The file bytes for the records, with the given 4 reserved header bytes.
std::vector<std::uint8_t> Serialize(const std::vector<ChipInfo>& chips,
                                    std::uint32_t headerReserved = 0);

// The record's name as UTF-8 (GBK names are decoded), cut at its terminating zero or 20 bytes.
std::string NameOf(const ChipInfo& chip);

// ROM size in bytes with nRomKB clamped to 0..1024 first, so no size passes 1 MiB.
std::int32_t RomBytes(const ChipInfo& chip);

}  // namespace chiplist
