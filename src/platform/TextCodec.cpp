#include "platform/TextCodec.h"

#include <iconv.h>

#include <cerrno>

namespace platform {

namespace {

// Runs iconv over the whole input. With skipInvalid the undecodable byte is replaced by U+FFFD
// and skipped; otherwise the conversion stops and reports failure.
bool Convert(const char* to, const char* from, std::string_view in, std::string& out,
             bool skipInvalid) {
    out.clear();
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char chunk[256];
    bool ok = true;
    while (srcLeft > 0) {
        char* dst = chunk;
        size_t dstLeft = sizeof chunk;
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(chunk, static_cast<size_t>(dst - chunk));
        if (r != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        if (!skipInvalid) {
            ok = false;
            break;
        }
        out += "\xEF\xBF\xBD";
        ++src;
        --srcLeft;
    }
    iconv_close(cd);
    if (!ok) out.clear();
    return ok;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        size_t extra = 0;
        unsigned int cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= bytes.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(bytes[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        const unsigned int minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

std::string GbkToUtf8(std::string_view gbk) {
    std::string out;
    Convert("UTF-8", "GBK", gbk, out, true);
    return out;
}

bool Utf8ToGbk(std::string_view utf8, std::string& out) {
    return Convert("GBK", "UTF-8", utf8, out, false);
}

std::string ToUtf8Lenient(std::string_view bytes) {
    return IsValidUtf8(bytes) ? std::string(bytes) : GbkToUtf8(bytes);
}

}  // namespace platform
