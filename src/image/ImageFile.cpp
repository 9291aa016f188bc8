#include "image/ImageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/CProgrammer.h"
#include "image/HexConverter.h"
#include "platform/FailureReason.h"
#include "platform/FileUtil.h"
#include "platform/Translate.h"

namespace image {
namespace {

// The longest HEX text read: a full 64 KiB image takes about 180 KiB of text; anything far
// beyond is not an image of this address space.
constexpr std::size_t kMaxHexText = 64u << 20;

// Owns an open file descriptor and closes it when the scope ends.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }

private:
    int m_fd;
};

// Reads until the end of the file or until more than limit bytes have come; false on an error.
bool ReadToEnd(int fd, std::size_t limit, std::string& out) {
    char chunk[65536];
    while (out.size() <= limit) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
}

// The reason for a failed load, on the failure-reason channel (never in the log).
LoadResult Refuse(const std::string& path, int err, const std::string& hint = {}) {
    platform::ReportFailureReason(platform::ErrnoReason(path, err, hint));
    return {LoadStatus::OpenFailed, 0, 0};
}

// The bytes of the file: a regular file, or a pipe, FIFO or socket when streams are allowed, read
// to its end or until more than limit bytes have come. Devices, folders and other special files
// are refused: reading them would load whatever the device gives, or never end.
LoadStatus ReadImageBytes(const std::string& path, bool allowStreams, std::size_t limit,
                          std::string& bytes, bool& regular) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return Refuse(path, errno).status;
    regular = S_ISREG(info.st_mode);
    const bool stream = S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode);
    if (S_ISDIR(info.st_mode)) return Refuse(path, EISDIR).status;
    if (!regular && !(stream && allowStreams)) {
        platform::ReportFailureReason(platform::Printf(
            platform::Tr("%s: not a regular file (a device, pipe or socket)"), path.c_str()));
        return LoadStatus::OpenFailed;
    }
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
    if (!file.IsOpen() || ::fstat(file.Get(), &info) != 0) return Refuse(path, errno).status;
    if (S_ISREG(info.st_mode) != regular)
        return Refuse(path, EAGAIN, platform::Tr("replaced while opened")).status;
    if (!ReadToEnd(file.Get(), limit, bytes)) return Refuse(path, errno).status;
    // A file that shrank while it was read gives fewer bytes than it announced.
    const auto announced = static_cast<std::size_t>(std::max<off_t>(info.st_size, 0));
    if (regular && bytes.size() < std::min(announced, limit)) return Refuse(path, EIO).status;
    return LoadStatus::Loaded;
}

LoadResult TooLarge(const std::string& path, std::size_t limit) {
    return Refuse(path, EFBIG, platform::Printf(platform::Tr("more than %zu bytes"), limit));
}

// Converts the HEX text into buffer1; g_nLoadedLength is the text's length.
LoadResult LoadHex(const std::string& text, std::uint8_t* buffer1) {
    const int length = static_cast<int>(text.size());
    g_nLoadedLength = length;
    // The converter reads up to the first NUL, as a C string.
    const HexConversion conversion = ConvertHexToImage(text.c_str(), buffer1);
    if (conversion.total < 0) {
        return {LoadStatus::ConvertFailed, length, conversion.line, kChipSpaceSize,
                conversion.error};
    }
    return {LoadStatus::Loaded, length, 0, kChipSpaceSize};
}

// Places the raw bytes at the start of buffer1, the rest of it erased to 0xFF.
LoadResult LoadRaw(const std::string& bytes, std::uint8_t* buffer1) {
    std::memset(buffer1, 0xFF, kImageBufferSize);
    std::memcpy(buffer1, bytes.data(), bytes.size());
    const int length = static_cast<int>(bytes.size());
    g_nLoadedLength = length;
    return {LoadStatus::Loaded, length, 0, kImageBufferSize};
}

}  // namespace

LoadResult LoadImage(const std::string& path, const std::string& upperExt, std::uint8_t* buffer1,
                     bool allowStreams) {
    if (path.empty()) return {LoadStatus::NoFileChosen, 0, 0};
    const bool hexByName = upperExt == "HEX";
    std::string bytes;
    bool regular = false;
    const std::size_t limit = hexByName ? kMaxHexText : kImageBufferSize;
    const LoadStatus read = ReadImageBytes(path, allowStreams, limit, bytes, regular);
    if (read != LoadStatus::Loaded) return {read, 0, 0};
    if (hexByName) return bytes.size() > limit ? TooLarge(path, limit) : LoadHex(bytes, buffer1);
    if (bytes.size() <= limit && IsIntelHexText(bytes)) return LoadHex(bytes, buffer1);
    if (regular) {
        // Only the first megabyte of a larger raw file fits Buffer 1.
        bytes.resize(std::min(bytes.size(), limit));
        return LoadRaw(bytes, buffer1);
    }
    // A stream carries one chip image at most: past that, data would be lost unseen.
    const auto chipSpace = static_cast<std::size_t>(kChipSpaceSize);
    return bytes.size() > chipSpace ? TooLarge(path, chipSpace) : LoadRaw(bytes, buffer1);
}

std::string LoadedLine(const std::string& path, int length) {
    return platform::Printf(platform::Tr("读入文件 %s 到缓冲1(%d字节)."), path.c_str(), length);
}

const char* LoadFailureText(LoadStatus status) {
    switch (status) {
        case LoadStatus::NoFileChosen:
            return platform::Tr("请先打开文件.");
        case LoadStatus::OpenFailed:
            return platform::Tr("打开文件失败.");
        case LoadStatus::ConvertFailed:
            return platform::Tr("转换HEX文件失败.");
        case LoadStatus::Loaded:
            break;
    }
    return "";
}

SaveResult SaveImage(const std::string& path, const std::uint8_t* data, int length,
                     SaveFormat format) {
    const int count = std::max(length, 0);
    const std::string ext = UpperExtension(path);
    const bool hex = format == SaveFormat::Hex ||
                     (format == SaveFormat::ByName && (ext == "HEX" || ext == "IHX"));
    const std::string text =
        hex ? ImageToHexText(data, count)
            : std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(count));
    if (!platform::WriteFileSafely(path, text)) {
        platform::ReportFailureReason(platform::ErrnoReason(path, errno));
        return {SaveStatus::WriteFailed, 0};
    }
    return {SaveStatus::Saved, count};
}

std::string SavedLine(const std::string& path, int count) {
    return platform::Printf(platform::Tr("缓冲2保存到文件 %s(%d字节)."), path.c_str(), count);
}

std::string SaveFailedLine(const std::string& path) {
    return platform::Printf(platform::Tr("缓冲2保存到文件 %s 失败."), path.c_str());
}

std::string UpperExtension(const std::string& path) {
    const std::size_t nameStart = path.find_last_of('/') + 1;  // npos + 1 == 0
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return ext;
}

}  // namespace image
