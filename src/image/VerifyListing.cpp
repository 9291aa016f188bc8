#include "image/VerifyListing.h"

#include <cstdio>

namespace image {
namespace {

constexpr int kComparedBytes = 0x10000;

// The listing shows hexadecimal digits in upper case; nothing else in the line has a letter that
// case changes, so upper-case conversions give the listed text directly.
std::string DifferenceLine(int number, int address, std::uint8_t written, std::uint8_t read) {
    char line[64];
    const int n = std::snprintf(line, sizeof line, "    %05d - 地址:%04X  写:%02X  读:%02X", number,
                                address, written, read);
    return std::string(line, static_cast<std::size_t>(n));
}

std::string CountLine(int count) {
    char line[64];
    const int n = std::snprintf(line, sizeof line, "共发现%5d个单元不对!", count);
    return std::string(line, static_cast<std::size_t>(n));
}

}  // namespace

VerifyListing CompareBuffers(const std::uint8_t* buffer1, const std::uint8_t* buffer2) {
    VerifyListing listing{kVerifyHeader, {}, {}, kVerifyFooter, true};
    int differences = 0;
    for (int a = 0; a < kComparedBytes; ++a) {
        if (buffer1[a] != buffer2[a]) ++differences;
    }
    listing.lines.reserve(static_cast<std::size_t>(differences));
    int number = 0;
    for (int a = 0; a < kComparedBytes; ++a) {
        if (buffer1[a] == buffer2[a]) continue;
        listing.lines.push_back(DifferenceLine(++number, a, buffer1[a], buffer2[a]));
    }
    listing.countLine = CountLine(differences);
    listing.equal = differences == 0;
    return listing;
}

}  // namespace image
