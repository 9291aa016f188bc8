#pragma once

#include <string_view>

namespace platform {

// The one rule by which the programs read a number from a text (an option, a device name, a
// settings value): decimal digits without a leading zero ("0" itself is fine), or "0x" and hex
// digits; a '-' first only where low is negative; no blanks, no '+', nothing after the digits.
// False, value untouched, for any other text and for a number outside [low, high].
bool ParseNumber(std::string_view text, long long low, long long high, long long& value);

}  // namespace platform
