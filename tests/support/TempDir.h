#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/FileUtil.h"

// A fresh folder under the system temp folder, removed with everything in it at destruction.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "olstrin-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

    // Writes the bytes to name and returns the full path.
    std::string Write(const std::string& name, std::string_view bytes) const {
        platform::WriteFileSafely(File(name), bytes);
        return File(name);
    }

    std::string Read(const std::string& name) const {
        std::string bytes;
        platform::ReadWholeFile(File(name), bytes);
        return bytes;
    }

private:
    std::string m_path;
};
