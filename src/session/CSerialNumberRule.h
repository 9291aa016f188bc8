#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Where and how a per-chip number is placed in the image before it is written: ADDR:FORM:START,
// with FORM le8/le16/le24/le32 or be8..be32 (binary, least or most significant byte first),
// bcdN (N BCD digits, two to a byte, most significant first, a leading zero nibble for odd N)
// or decN (N ASCII digits, zero-padded). ADDR and START are decimal or 0x-prefixed hex.
class CSerialNumberRule {
public:
    // False with a one-line reason when text is not a valid rule.
    bool Parse(const std::string& text, std::string& error);

    int Address() const { return m_nAddress; }
    std::uint64_t Start() const { return m_nStart; }
    // The field's length in bytes and the largest number it holds.
    int Width() const { return m_nWidth; }
    std::uint64_t MaxValue() const { return m_nMax; }

    // The field's bytes for value (which must not exceed MaxValue).
    std::vector<std::uint8_t> Encode(std::uint64_t value) const;
    // Writes the field for value into the image at Address().
    void Patch(std::uint8_t* image, std::uint64_t value) const;

    // Why the rule cannot be applied to this image on a chip of romBytes, empty when it can: the
    // field lies outside the chip, or on bytes the image uses (other than 0xFF) unless overwrite.
    std::string Refusal(const std::uint8_t* image, int romBytes, bool overwrite) const;

private:
    enum class Form { LittleEndian, BigEndian, Bcd, Decimal };
    bool ParseForm(const std::string& text);

    int m_nAddress = 0;
    Form m_form = Form::LittleEndian;
    int m_nDigits = 0;  // bits for the binary forms, digits for bcd and dec
    int m_nWidth = 0;
    std::uint64_t m_nMax = 0;
    std::uint64_t m_nStart = 0;
};
