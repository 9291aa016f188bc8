#include "platform/NumberText.h"

#include <charconv>

namespace platform {

bool ParseNumber(std::string_view text, long long low, long long high, long long& value) {
    const bool negative = !text.empty() && text.front() == '-' && low < 0;
    if (negative) text.remove_prefix(1);
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.size() > 1 && text[0] == '0') {
        return false;
    }
    // from_chars takes no sign here: the text must start with a digit of the base.
    if (text.empty() || text.front() == '-' || text.front() == '+') return false;
    unsigned long long magnitude = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, magnitude, base);
    if (result.ec != std::errc() || result.ptr != end) return false;
    // Beyond every range the callers use; keeps the negation below in range.
    if (magnitude > 0x7FFFFFFFFFFFFFFFULL) return false;
    const long long parsed =
        negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    if (parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

}  // namespace platform
