#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/HexConverter.h"
#include "platform/MessageBox.h"

// Feeds arbitrary bytes to ConvertHexToImage as a file's text. The destination has exactly the
// documented minimum size, so any write past it is a heap overflow the sanitizer reports.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = [] {
        platform::SetMessageBoxHandler(
            [](const std::string&, const std::string&, platform::MessageIcon) {});
        return true;
    }();
    (void)quiet;

    // The loader hands over the file's bytes followed by a NUL.
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::uint8_t> image(image::kHexImageMinSize);
    const int total = image::ConvertHexToImage(text.c_str(), image.data());

    // Each data byte placed costs two hex digits of the text.
    if (total < -1 || (total > 0 && static_cast<std::size_t>(total) * 2 > size)) std::abort();
    return 0;
}
