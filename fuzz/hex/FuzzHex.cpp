#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/HexConverter.h"

// Feeds arbitrary bytes to ConvertHexToImage as a file's text. The destination has exactly the
// documented minimum size, so any write past it is a heap overflow the sanitizer reports.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The loader hands over the file's bytes followed by a NUL.
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::uint8_t> image(image::kHexImageMinSize);
    const image::HexConversion result = image::ConvertHexToImage(text.c_str(), image.data());
    const int total = result.total;

    // Each data byte placed costs two hex digits of the text; a failure always says why.
    if (total < -1 || (total > 0 && static_cast<std::size_t>(total) * 2 > size)) std::abort();
    if ((total < 0) != (result.error != image::HexError::None)) std::abort();
    return 0;
}
