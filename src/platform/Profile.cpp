#include "platform/Profile.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/FileUtil.h"
#include "platform/TextCodec.h"

namespace platform {

namespace {

struct Line {
    std::string text;    // the line's bytes in the file's encoding, without its ending
    std::string ending;  // "\r\n", "\n" or "" for a last line without one
};

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && (blank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// Concatenation without operator+ chains (which trip a false -Wrestrict in GCC 12 at -O3).
std::string Joined(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view p : parts) out.append(p);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool HasNonAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

// One INI file held in memory as lines, with the lookups and the single-line edits.
class IniText {
public:
    explicit IniText(const std::string& path) {
        std::string bytes;
        m_exists = ReadWholeFile(path, bytes);
        m_gbk = !IsValidUtf8(bytes);
        size_t start = 0;
        while (start < bytes.size()) {
            size_t nl = bytes.find('\n', start);
            Line line;
            if (nl == std::string::npos) {
                line.text = bytes.substr(start);
                start = bytes.size();
            } else {
                size_t end = nl;
                if (end > start && bytes[end - 1] == '\r') --end;
                line.text = bytes.substr(start, end - start);
                line.ending = bytes.substr(end, nl + 1 - end);
                if (m_eol.empty()) m_eol = line.ending;
                start = nl + 1;
            }
            m_lines.push_back(std::move(line));
        }
        if (m_eol.empty()) m_eol = "\n";
    }

    // Index of the first header line of the section, if any.
    std::optional<size_t> FindSection(std::string_view section) const {
        for (size_t i = 0; i < m_lines.size(); ++i) {
            std::optional<std::string> name = SectionName(m_lines[i].text);
            if (name && EqualsNoCase(*name, section)) return i;
        }
        return std::nullopt;
    }

    // Index of the first key line of the key inside the section starting at header.
    std::optional<size_t> FindKey(size_t header, std::string_view key) const {
        for (size_t i = header + 1; i < m_lines.size() && !SectionName(m_lines[i].text); ++i) {
            std::string name;
            if (KeyOf(m_lines[i].text, name) && EqualsNoCase(name, key)) return i;
        }
        return std::nullopt;
    }

    std::optional<std::string> Value(std::string_view section, std::string_view key) const {
        std::optional<size_t> header = FindSection(section);
        if (!header) return std::nullopt;
        std::optional<size_t> line = FindKey(*header, key);
        if (!line) return std::nullopt;
        std::string_view text = m_lines[*line].text;
        return Decode(Trim(text.substr(text.find('=') + 1)));
    }

    bool Set(std::string_view section, std::string_view key, std::string_view value) {
        std::string fileSection, fileKey, fileValue;
        if (!Encode(section, fileSection) || !Encode(key, fileKey) || !Encode(value, fileValue))
            return false;
        const std::string keyLine = Joined({fileKey, "=", fileValue});
        std::optional<size_t> header = FindSection(section);
        if (!header) {
            if (!m_lines.empty() && m_lines.back().ending.empty()) m_lines.back().ending = m_eol;
            m_lines.push_back({Joined({"[", fileSection, "]"}), m_eol});
            m_lines.push_back({keyLine, m_eol});
            return true;
        }
        if (std::optional<size_t> line = FindKey(*header, key)) {
            m_lines[*line].text = keyLine;
            return true;
        }
        size_t after = *header;
        std::string name;
        for (size_t i = *header + 1; i < m_lines.size() && !SectionName(m_lines[i].text); ++i)
            if (KeyOf(m_lines[i].text, name)) after = i;
        if (m_lines[after].ending.empty()) m_lines[after].ending = m_eol;
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(after) + 1, {keyLine, m_eol});
        return true;
    }

    // The file's bytes. A GBK file whose text after an edit happens to form valid UTF-8 would be
    // read back as UTF-8 and its Chinese texts garbled, so such a file is stored as UTF-8.
    std::string Bytes() const {
        std::string out;
        for (const Line& l : m_lines) {
            out += l.text;
            out += l.ending;
        }
        if (m_gbk && IsValidUtf8(out) && HasNonAscii(out)) return GbkToUtf8(out);
        return out;
    }

    bool Exists() const { return m_exists; }

private:
    std::optional<std::string> SectionName(std::string_view text) const {
        std::string_view t = Trim(text);
        if (t.empty() || t.front() != '[') return std::nullopt;
        t.remove_prefix(1);
        size_t close = t.find(']');
        if (close != std::string_view::npos) t = t.substr(0, close);
        return Decode(Trim(t));
    }

    bool KeyOf(std::string_view text, std::string& name) const {
        std::string_view t = Trim(text);
        size_t eq = t.find('=');
        if (t.empty() || t.front() == ';' || eq == std::string_view::npos) return false;
        name = Decode(Trim(t.substr(0, eq)));
        return true;
    }

    std::string Decode(std::string_view fileText) const {
        return m_gbk ? GbkToUtf8(fileText) : std::string(fileText);
    }

    bool Encode(std::string_view utf8, std::string& fileText) const {
        if (!m_gbk) {
            fileText = std::string(utf8);
            return true;
        }
        return Utf8ToGbk(utf8, fileText);
    }

    std::vector<Line> m_lines;
    std::string m_eol;
    bool m_gbk = false;
    bool m_exists = false;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

int GetProfileInt(std::string_view section, std::string_view key, int def,
                  const std::string& path) {
    std::optional<std::string> value = IniText(path).Value(section, key);
    if (!value) return def;
    std::string_view v = *value;
    bool negative = false;
    if (!v.empty() && (v.front() == '-' || v.front() == '+')) {
        negative = v.front() == '-';
        v.remove_prefix(1);
    }
    long long n = 0;
    for (char c : v) {
        if (c < '0' || c > '9') break;
        n = n * 10 + (c - '0');
        if (n > 0x7FFFFFFFLL) n = 0x7FFFFFFFLL;
    }
    return static_cast<int>(negative ? -n : n);
}

std::string GetProfileString(std::string_view section, std::string_view key, std::string_view def,
                             const std::string& path) {
    std::optional<std::string> value = IniText(path).Value(section, key);
    return value ? *value : std::string(def);
}

bool GetProfileStruct(std::string_view section, std::string_view key, void* data, std::size_t size,
                      const std::string& path) {
    std::optional<std::string> value = IniText(path).Value(section, key);
    if (!value || value->size() != 2 * (size + 1)) return false;
    std::vector<std::uint8_t> bytes(size + 1);
    for (size_t i = 0; i <= size; ++i) {
        int hi = HexDigit((*value)[2 * i]), lo = HexDigit((*value)[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes[i] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
    unsigned sum = 0;
    for (size_t i = 0; i < size; ++i) sum += bytes[i];
    if ((sum & 0xFF) != bytes[size]) return false;
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size),
              static_cast<std::uint8_t*>(data));
    return true;
}

bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& path) {
    IniText ini(path);
    if (!ini.Set(section, key, value)) return false;
    return WriteFileSafely(path, ini.Bytes());
}

bool WriteProfileStruct(std::string_view section, std::string_view key, const void* data,
                        std::size_t size, const std::string& path) {
    static const char kDigits[] = "0123456789ABCDEF";
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::string text;
    text.reserve(2 * (size + 1));
    unsigned sum = 0;
    for (size_t i = 0; i <= size; ++i) {
        const std::uint8_t b = i < size ? bytes[i] : static_cast<std::uint8_t>(sum & 0xFF);
        if (i < size) sum += b;
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return WriteProfileString(section, key, text, path);
}

}  // namespace platform
