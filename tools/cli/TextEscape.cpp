#include "TextEscape.h"

#include <cstdio>

namespace {

// The length of the valid UTF-8 sequence that starts at text[at] (1 for ASCII), 0 when the byte
// there starts none: a stray continuation byte, an overlong form, a surrogate, a value past
// U+10FFFF or a sequence cut short.
size_t Utf8Length(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0U;
    };
    const unsigned lead = byte(at);
    if (lead < 0x80) return 1;
    size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    }
    return length;
}

std::string Hex(const char* format, unsigned char byte) {
    char text[8];
    std::snprintf(text, sizeof text, format, byte);
    return text;
}

}  // namespace

std::string EscapeControls(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const size_t length = Utf8Length(text, i);
        const bool c1 =
            byte == 0xC2 && length == 2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (byte == '\\') {
            out += "\\\\";
        } else if (length > 1 && !c1) {
            out.append(text, i, length);
            i += length;
            continue;
        } else if (length == 1 && byte >= 0x20 && byte != 0x7F) {
            out += text[i];
        } else {
            out += Hex("\\x%02X", byte);
        }
        ++i;
    }
    return out;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const size_t length = Utf8Length(text, i);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += text[i];
        } else if (length > 1) {
            out.append(text, i, length);
            i += length;
            continue;
        } else if (length == 0 || byte < 0x20) {
            out += Hex("\\u%04x", byte);
        } else {
            out += text[i];
        }
        ++i;
    }
    return out + "\"";
}
