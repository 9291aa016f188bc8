#include "core/ChipInfo.h"

#include <algorithm>
#include <cstring>

#include "platform/TextCodec.h"

namespace chiplist {

std::vector<ChipInfo> Parse(const std::uint8_t* bytes, std::size_t size) {
    std::vector<ChipInfo> chips;
    if (size < kHeaderSize) return chips;
    std::int32_t count = 0;
    std::memcpy(&count, bytes + 4, sizeof count);
    if (count <= 0) return chips;
    const std::size_t complete = (size - kHeaderSize) / kRecordSize;
    const std::size_t n = std::min(static_cast<std::size_t>(count), complete);
    chips.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        std::memcpy(&chips[i], bytes + kHeaderSize + kRecordSize * i, kRecordSize);
    return chips;
}

std::vector<std::uint8_t> Serialize(const std::vector<ChipInfo>& chips,
                                    std::uint32_t headerReserved) {
    std::vector<std::uint8_t> out(kHeaderSize + kRecordSize * chips.size());
    const auto count = static_cast<std::int32_t>(chips.size());
    std::memcpy(out.data(), &headerReserved, 4);
    std::memcpy(out.data() + 4, &count, 4);
    for (std::size_t i = 0; i < chips.size(); ++i)
        std::memcpy(out.data() + kHeaderSize + kRecordSize * i, &chips[i], kRecordSize);
    return out;
}

std::string NameOf(const ChipInfo& chip) {
    const std::size_t len = strnlen(chip.szName, sizeof chip.szName);
    return platform::ToUtf8Lenient(std::string_view(chip.szName, len));
}

std::int32_t RomBytes(const ChipInfo& chip) {
    return std::clamp(chip.nRomKB, 0, 1024) * 1024;
}

}  // namespace chiplist
