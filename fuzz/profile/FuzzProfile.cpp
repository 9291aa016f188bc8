// Feeds arbitrary bytes to the profile functions as the contents of a settings file: every read
// must return without touching memory it does not own, and a write must read back as written.
// In a UTF-8 file the write must also leave the other keys' values as they were. A GBK file is
// only recognised by its bytes that are not valid UTF-8, so a write that replaces the line holding
// the last of them turns the file into UTF-8 and changes how its other lines (and GBK text
// written there) decode; there only an ASCII value is checked.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/FileUtil.h"
#include "platform/Profile.h"
#include "platform/TextCodec.h"

namespace {

// A private file on a memory file system when there is one, so the writes stay cheap.
const std::string& ScratchPath() {
    static const std::string path = [] {
        const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(dir) + "/olstrin-fuzz-profile-" + std::to_string(::getpid()) + ".ini";
    }();
    return path;
}

struct Snapshot {
    bool structOk = false;
    std::uint8_t record[56] = {};
    int count = 0;
    std::string pin;
    std::string other;
};

Snapshot Read(const std::string& path) {
    Snapshot s;
    s.structOk =
        platform::GetProfileStruct("InfoSave", "m_InfoSave", s.record, sizeof s.record, path);
    s.count = platform::GetProfileInt("LastFile", "File Number", -7, path);
    s.pin = platform::GetProfileString("引脚控制", "MOSI", "<none>", path);
    s.other = platform::GetProfileString("lastfile", "FILE 1", "<none>", path);
    return s;
}

bool Same(const Snapshot& a, const Snapshot& b) {
    if (a.structOk != b.structOk || a.count != b.count || a.pin != b.pin || a.other != b.other)
        return false;
    return !a.structOk || std::char_traits<char>::compare(reinterpret_cast<const char*>(a.record),
                                                          reinterpret_cast<const char*>(b.record),
                                                          sizeof a.record) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = ScratchPath();
    if (!platform::WriteFileSafely(path,
                                   std::string_view(reinterpret_cast<const char*>(data), size)))
        std::abort();
    const Snapshot before = Read(path);

    const bool utf8 =
        platform::IsValidUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string value = utf8 ? "芯片 image.hex" : "image.hex";
    if (platform::WriteProfileString("LastFile", "File 0", value, path)) {
        if (platform::GetProfileString("LastFile", "File 0", "", path) != value) std::abort();
        if (utf8 && !Same(before, Read(path))) std::abort();
    }
    ::unlink(path.c_str());
    return 0;
}
