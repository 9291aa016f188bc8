#include "platform/Profile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/FailureReason.h"
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

// A name as the look-ups compare it: ASCII letters in lower case, every other byte as it is.
std::string Folded(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return Folded(a) == Folded(b);
}

// A value whose first and last characters are the same quote (' or ") loses both, as Windows
// reads it: KEY="1" is the value 1.
std::string_view Unquoted(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// The UTF-8 byte-order mark that Windows editors put at the start of a file.
constexpr std::string_view kBom = "\xEF\xBB\xBF";

// The look-up view of a file: for the first section of each name, the first value of each key,
// both names folded, the values decoded to UTF-8 and unquoted.
using Section = std::unordered_map<std::string, std::string>;
using Index = std::unordered_map<std::string, Section>;

bool HasNonAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

// One INI file held in memory as lines, with the lookups and the single-line edits.
class IniText {
public:
    explicit IniText(std::string_view bytes) {
        m_bom = bytes.substr(0, kBom.size()) == kBom;
        if (m_bom) bytes.remove_prefix(kBom.size());
        m_gbk = !IsValidUtf8(bytes);
        size_t start = 0;
        while (start < bytes.size()) {
            const size_t nl = bytes.find('\n', start);
            Line line;
            if (nl == std::string::npos) {
                line.text = std::string(bytes.substr(start));
                start = bytes.size();
            } else {
                size_t end = nl;
                if (end > start && bytes[end - 1] == '\r') --end;
                line.text = std::string(bytes.substr(start, end - start));
                line.ending = std::string(bytes.substr(end, nl + 1 - end));
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

    Index Lookups() const {
        Index index;
        Section* current = nullptr;  // null in a later section of an earlier name
        std::string name;
        for (const Line& line : m_lines) {
            if (std::optional<std::string> header = SectionName(line.text)) {
                auto [at, added] = index.try_emplace(Folded(*header));
                current = added ? &at->second : nullptr;
            } else if (current && KeyOf(line.text, name)) {
                std::string_view text = line.text;
                current->try_emplace(Folded(name),
                                     Decode(Unquoted(Trim(text.substr(text.find('=') + 1)))));
            }
        }
        return index;
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
        if (m_gbk && IsValidUtf8(out) && HasNonAscii(out)) out = GbkToUtf8(out);
        return m_bom ? Joined({kBom, out}) : out;
    }

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
    bool m_bom = false;
};

// The files read for look-ups, each kept while its identity and change time stay the same, so a
// run of look-ups reads a file once. Small: it is emptied when full.
constexpr size_t kMaxCachedFiles = 8;

struct FileStamp {
    dev_t device;
    ino_t inode;
    off_t size;
    timespec modified;

    bool operator==(const FileStamp& o) const {
        return device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

struct CachedFile {
    FileStamp stamp;
    std::shared_ptr<const Index> index;
};

std::mutex g_cacheMutex;
std::unordered_map<std::string, CachedFile> g_cache;  // guarded by g_cacheMutex
std::size_t g_fileReads = 0;                          // guarded by g_cacheMutex
std::unordered_set<std::string> g_reported;           // guarded by g_cacheMutex

// Reports the reason a settings file could not be used, once per path for the process's life.
void ReportOnce(const std::string& path, int err) {
    bool first = false;
    {
        std::lock_guard lock(g_cacheMutex);
        first = g_reported.insert(path).second;
    }
    if (first) ReportFailureReason(ErrnoReason(path, err));
}

void Forget(const std::string& path) {
    std::lock_guard lock(g_cacheMutex);
    g_cache.erase(path);
}

// The look-up view of the file; empty when it is missing or cannot be read (reported once).
std::shared_ptr<const Index> LookupsOf(const std::string& path) {
    static const auto s_empty = std::make_shared<const Index>();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) ReportOnce(path, errno);
        return s_empty;
    }
    const FileStamp stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    {
        std::lock_guard lock(g_cacheMutex);
        auto found = g_cache.find(path);
        if (found != g_cache.end() && found->second.stamp == stamp) return found->second.index;
    }
    // Read outside the lock, so that other threads' look-ups of other files do not wait.
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        if (errno != ENOENT) ReportOnce(path, errno);
        return s_empty;
    }
    auto index = std::make_shared<const Index>(IniText(bytes).Lookups());
    std::lock_guard lock(g_cacheMutex);
    ++g_fileReads;
    if (g_cache.size() >= kMaxCachedFiles && !g_cache.contains(path)) g_cache.clear();
    g_cache[path] = {stamp, index};
    return index;
}

std::optional<std::string> Value(std::string_view section, std::string_view key,
                                 const std::string& path) {
    const std::shared_ptr<const Index> index = LookupsOf(path);
    auto s = index->find(Folded(section));
    if (s == index->end()) return std::nullopt;
    auto k = s->second.find(Folded(key));
    if (k == s->second.end()) return std::nullopt;
    return k->second;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

int GetProfileInt(std::string_view section, std::string_view key, int def,
                  const std::string& path) {
    std::optional<std::string> value = Value(section, key, path);
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
    std::optional<std::string> value = Value(section, key, path);
    return value ? *value : std::string(def);
}

bool GetProfileStruct(std::string_view section, std::string_view key, void* data, std::size_t size,
                      const std::string& path) {
    std::optional<std::string> value = Value(section, key, path);
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
    // A file that exists but cannot be read is never written over with only this key.
    std::string bytes;
    if (!ReadWholeFile(path, bytes) && errno != ENOENT) {
        ReportOnce(path, errno);
        return false;
    }
    IniText ini(bytes);
    if (!ini.Set(section, key, value)) return false;
    const bool written = WriteFileSafely(path, ini.Bytes());
    const int err = errno;
    Forget(path);
    if (!written) ReportOnce(path, err);
    return written;
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

std::size_t ProfileFileReads() {
    std::lock_guard lock(g_cacheMutex);
    return g_fileReads;
}

}  // namespace platform
