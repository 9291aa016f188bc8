#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The byte-by-byte comparison of the image written (Buffer 1) with the image read back
// (Buffer 2) over the chip address space, as the status log lists it.
namespace image {

// The lines that open and close every verify listing.
inline constexpr const char* kVerifyHeader = "-------------------效验开始------------------";
inline constexpr const char* kVerifyFooter = "-------------------效验结束------------------";

// The lines of one comparison, in the order the log shows them: header, one line per differing
// address, count line, footer. equal is true when no byte differs.
struct VerifyListing {
    std::string header;
    std::vector<std::string> lines;
    std::string countLine;
    std::string footer;
    bool equal;
};

// Compares the first 65,536 bytes of the two buffers (owned by the caller, read only). Each
// difference gives a line "    NNNNN - 地址:AAAA  写:WW  读:RR" numbered from 00001, with the
// hexadecimal digits in upper case. Any thread, as long as no one writes the buffers meanwhile.
VerifyListing CompareBuffers(const std::uint8_t* buffer1, const std::uint8_t* buffer2);

}  // namespace image
