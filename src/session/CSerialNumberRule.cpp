#include "session/CSerialNumberRule.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/NumberText.h"
#include "platform/Translate.h"

namespace {

using platform::Printf;
using platform::Tr;

// A whole number by the programs' one rule (decimal, or 0x and hex digits), as unsigned.
bool ParseNumber(const std::string& text, std::uint64_t& value) {
    long long parsed = 0;
    if (!platform::ParseNumber(text, 0, std::numeric_limits<long long>::max(), parsed))
        return false;
    value = static_cast<std::uint64_t>(parsed);
    return true;
}

// The number after a form's prefix, within [low, high].
bool FormDigits(const std::string& text, const char* prefix, int low, int high, int& digits) {
    const size_t length = std::strlen(prefix);
    if (text.compare(0, length, prefix) != 0) return false;
    std::uint64_t n = 0;
    if (!ParseNumber(text.substr(length), n) || n < std::uint64_t(low) || n > std::uint64_t(high))
        return false;
    digits = static_cast<int>(n);
    return true;
}

std::uint64_t PowerOfTen(int n) {
    std::uint64_t value = 1;
    for (int i = 0; i < n; ++i) value *= 10;
    return value;
}

}  // namespace

bool CSerialNumberRule::ParseForm(const std::string& text) {
    int n = 0;
    if (FormDigits(text, "le", 8, 32, n) || FormDigits(text, "be", 8, 32, n)) {
        if (n % 8 != 0) return false;
        m_form = text[0] == 'l' ? Form::LittleEndian : Form::BigEndian;
        m_nWidth = n / 8;
        m_nMax = (std::uint64_t{1} << n) - 1;
    } else if (FormDigits(text, "bcd", 1, 19, n)) {
        m_form = Form::Bcd;
        m_nWidth = (n + 1) / 2;
        m_nMax = PowerOfTen(n) - 1;
    } else if (FormDigits(text, "dec", 1, 19, n)) {
        m_form = Form::Decimal;
        m_nWidth = n;
        m_nMax = PowerOfTen(n) - 1;
    } else {
        return false;
    }
    m_nDigits = n;
    return true;
}

bool CSerialNumberRule::Parse(const std::string& text, std::string& error) {
    const size_t first = text.find(':');
    const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
    std::uint64_t address = 0;
    if (second == std::string::npos || !ParseNumber(text.substr(0, first), address) ||
        !ParseForm(text.substr(first + 1, second - first - 1)) ||
        !ParseNumber(text.substr(second + 1), m_nStart)) {
        error = Printf(Tr("option --serial takes ADDR:FORM:START (FORM le8..le32, be8..be32, "
                          "bcdN or decN), not '%s'"),
                       text.c_str());
        return false;
    }
    if (address > 0xFFFF) {
        error =
            Printf(Tr("--serial: address %s lies outside the chip"), text.substr(0, first).c_str());
        return false;
    }
    m_nAddress = static_cast<int>(address);
    if (m_nStart > m_nMax) {
        error = Printf(Tr("--serial: %llu does not fit its field (at most %llu)"),
                       static_cast<unsigned long long>(m_nStart),
                       static_cast<unsigned long long>(m_nMax));
        return false;
    }
    return true;
}

std::vector<std::uint8_t> CSerialNumberRule::Encode(std::uint64_t value) const {
    std::vector<std::uint8_t> bytes(static_cast<size_t>(m_nWidth), 0);
    // Filled from the last byte, the least significant one in every form but little-endian.
    for (int i = m_nWidth - 1; i >= 0; --i) {
        std::uint8_t byte = 0;
        if (m_form == Form::Decimal) {
            byte = static_cast<std::uint8_t>('0' + value % 10);
            value /= 10;
        } else if (m_form == Form::Bcd) {
            byte = static_cast<std::uint8_t>(value % 10 | (value / 10 % 10) << 4);
            value /= 100;
        } else {
            byte = static_cast<std::uint8_t>(value & 0xFF);
            value >>= 8;
        }
        bytes[static_cast<size_t>(i)] = byte;
    }
    if (m_form == Form::LittleEndian) std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

void CSerialNumberRule::Patch(std::uint8_t* image, std::uint64_t value) const {
    const std::vector<std::uint8_t> bytes = Encode(value);
    std::memcpy(image + m_nAddress, bytes.data(), bytes.size());
}

std::string CSerialNumberRule::Refusal(const std::uint8_t* image, int romBytes,
                                       bool overwrite) const {
    if (m_nAddress + m_nWidth > romBytes) {
        return Printf(Tr("--serial: the number at 0x%04X..0x%04X lies outside the chip's %d bytes"),
                      m_nAddress, m_nAddress + m_nWidth - 1, romBytes);
    }
    if (overwrite) return {};
    for (int i = m_nAddress; i < m_nAddress + m_nWidth; ++i) {
        if (image[i] != 0xFF) {
            return Printf(Tr("--serial: the image uses byte 0x%04X; give --serial-overwrite to "
                             "write the number over it"),
                          i);
        }
    }
    return {};
}
