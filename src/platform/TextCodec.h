#pragma once

#include <string>
#include <string_view>

// Conversions between the UTF-8 used in the code and the GBK code page of files made on Windows.
namespace platform {

// True when the bytes form valid UTF-8 (plain ASCII included).
bool IsValidUtf8(std::string_view bytes);

// GBK bytes to UTF-8. Bytes that are not valid GBK become U+FFFD, so the result is always valid.
std::string GbkToUtf8(std::string_view gbk);

// UTF-8 to GBK. Returns false (and leaves out empty) when a character has no GBK form.
bool Utf8ToGbk(std::string_view utf8, std::string& out);

// The text as UTF-8: unchanged when it is valid UTF-8, else decoded as GBK.
std::string ToUtf8Lenient(std::string_view bytes);

}  // namespace platform
