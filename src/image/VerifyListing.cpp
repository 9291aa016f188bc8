#include "image/VerifyListing.h"

#include <algorithm>
#include <cstdio>

#include "platform/Translate.h"

namespace image {
namespace {

constexpr int kComparedBytes = 0x10000;

// The listing shows hexadecimal digits in upper case; nothing else in the line has a letter that
// case changes, so upper-case conversions give the listed text directly. The format, looked up
// once per listing, has room enough in a line of 128 bytes in every language.
std::string DifferenceLine(const char* format, int number, int address, std::uint8_t written,
                           std::uint8_t read) {
    char line[128];
    const int n = std::snprintf(line, sizeof line, format, number, address, written, read);
    return std::string(line, static_cast<std::size_t>(std::clamp(n, 0, int(sizeof line) - 1)));
}

std::string CountLine(int count) {
    return platform::Printf(platform::Tr("共发现%5d个单元不对!"), count);
}

}  // namespace

VerifyListing CompareBuffers(const std::uint8_t* buffer1, const std::uint8_t* buffer2) {
    VerifyListing listing{platform::Tr(kVerifyHeader), {}, {}, platform::Tr(kVerifyFooter), true};
    int differences = 0;
    for (int a = 0; a < kComparedBytes; ++a) {
        if (buffer1[a] != buffer2[a]) ++differences;
    }
    listing.lines.reserve(static_cast<std::size_t>(differences));
    const char* format = platform::Tr("    %05d - 地址:%04X  写:%02X  读:%02X");
    int number = 0;
    for (int a = 0; a < kComparedBytes; ++a) {
        if (buffer1[a] == buffer2[a]) continue;
        listing.lines.push_back(DifferenceLine(format, ++number, a, buffer1[a], buffer2[a]));
    }
    listing.countLine = CountLine(differences);
    listing.equal = differences == 0;
    return listing;
}

}  // namespace image
