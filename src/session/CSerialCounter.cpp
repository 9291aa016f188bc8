#include "session/CSerialCounter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

#include "platform/FailureReason.h"
#include "platform/FileUtil.h"

CSerialCounter::CSerialCounter(std::string path, std::uint64_t start)
    : m_strPath(std::move(path)), m_nStart(start) {}

CSerialCounter::~CSerialCounter() {
    Release();
}

bool CSerialCounter::Take(std::uint64_t& value) {
    Release();
    const std::string lockPath = m_strPath + ".lock";
    m_nLockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_nLockFd < 0) {
        platform::ReportFailureReason(platform::ErrnoReason(lockPath, errno));
        return false;
    }
    int result = 0;
    do {
        result = ::flock(m_nLockFd, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (!ReadNext(m_nTaken)) {
        Release();
        return false;
    }
    value = m_nTaken;
    return true;
}

bool CSerialCounter::ReadNext(std::uint64_t& value) const {
    std::string text;
    if (::access(m_strPath.c_str(), F_OK) != 0) {
        value = m_nStart;
        return true;
    }
    if (!platform::ReadWholeFile(m_strPath, text)) {
        platform::ReportFailureReason(platform::ErrnoReason(m_strPath, errno));
        return false;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const char* end = text.data() + text.size();
    const auto parsed = std::from_chars(text.data(), end, value);
    if (text.empty() || parsed.ec != std::errc() || parsed.ptr != end) {
        platform::ReportFailureReason(m_strPath + ": holds no serial number");
        return false;
    }
    return true;
}

bool CSerialCounter::Commit() {
    if (m_nLockFd < 0) return false;
    const bool ok = platform::WriteFileSafely(m_strPath, std::to_string(m_nTaken + 1) + "\n");
    if (!ok) platform::ReportFailureReason(platform::ErrnoReason(m_strPath, errno));
    Release();
    return ok;
}

void CSerialCounter::Release() {
    if (m_nLockFd < 0) return;
    ::close(m_nLockFd);  // closing the only descriptor ends the lock
    m_nLockFd = -1;
}
