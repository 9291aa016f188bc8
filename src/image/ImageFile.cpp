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

namespace image {
namespace {

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
    // Closes now; false when the close reports an error (data that never reached the disk).
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

// Reads exactly count bytes; false on an error or an end of file before count bytes.
bool ReadFully(int fd, std::uint8_t* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(fd, buffer + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes count bytes and adds what reached the file to written; false on an error.
bool WriteFully(int fd, const std::uint8_t* data, std::size_t count, std::size_t& written) {
    while (written < count) {
        const ssize_t n = ::write(fd, data + written, count - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

// Reads the whole file as a NUL-terminated text and converts it into buffer1.
LoadStatus LoadHex(int fd, std::size_t length, std::uint8_t* buffer1) {
    std::unique_ptr<char, FreeDeleter> text(static_cast<char*>(std::calloc(length + 1, 1)));
    if (!text || !ReadFully(fd, reinterpret_cast<std::uint8_t*>(text.get()), length)) {
        return LoadStatus::OpenFailed;
    }
    return ConvertHexToImage(text.get(), buffer1) < 0 ? LoadStatus::ConvertFailed
                                                      : LoadStatus::Loaded;
}

// Reads up to a whole buffer of raw bytes into buffer1, the rest of it erased to 0xFF.
LoadStatus LoadRaw(int fd, std::size_t length, std::uint8_t* buffer1) {
    std::memset(buffer1, 0xFF, kImageBufferSize);
    return ReadFully(fd, buffer1, length) ? LoadStatus::Loaded : LoadStatus::OpenFailed;
}

}  // namespace

LoadResult LoadImage(const std::string& path, const std::string& upperExt, std::uint8_t* buffer1) {
    if (path.empty()) return {LoadStatus::NoFileChosen, 0};
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!file.IsOpen() || ::fstat(file.Get(), &info) != 0) return {LoadStatus::OpenFailed, 0};

    const bool hex = upperExt == "HEX";
    // The length is reported as an int; a text longer than that could not be held anyway.
    const off_t limit = hex ? INT_MAX - 1 : kImageBufferSize;
    if (hex && info.st_size > limit) return {LoadStatus::OpenFailed, 0};
    const int length = static_cast<int>(std::min<off_t>(std::max<off_t>(info.st_size, 0), limit));
    g_nLoadedLength = length;

    const std::size_t count = static_cast<std::size_t>(length);
    const LoadStatus status =
        hex ? LoadHex(file.Get(), count, buffer1) : LoadRaw(file.Get(), count, buffer1);
    return {status, length};
}

std::string LoadedLine(const std::string& path, int length) {
    return "读入文件 " + path + " 到缓冲1(" + std::to_string(length) + "字节).";
}

const char* LoadFailureText(LoadStatus status) {
    switch (status) {
        case LoadStatus::NoFileChosen:
            return "请先打开文件.";
        case LoadStatus::OpenFailed:
            return "打开文件失败.";
        case LoadStatus::ConvertFailed:
            return "转换HEX文件失败.";
        case LoadStatus::Loaded:
            break;
    }
    return "";
}

SaveResult SaveImage(const std::string& path, const std::uint8_t* data, int length) {
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!file.IsOpen()) return {SaveStatus::CreateFailed, 0};
    std::size_t written = 0;
    const bool wrote =
        WriteFully(file.Get(), data, static_cast<std::size_t>(std::max(length, 0)), written);
    const bool closed = file.Close();
    return {wrote && closed ? SaveStatus::Saved : SaveStatus::WriteFailed,
            static_cast<int>(written)};
}

std::string SavedLine(const std::string& path, int count) {
    return "缓冲2保存到文件 " + path + "(" + std::to_string(count) + "字节).";
}

std::string SaveFailedLine(const std::string& path) {
    return "缓冲2保存到文件 " + path + " 失败.";
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
