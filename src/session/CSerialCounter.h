#pragma once

#include <cstdint>
#include <string>

// The file that keeps the next per-chip number (one decimal number and a newline). Take locks it
// (flock on PATH.lock, waiting for another run that holds it) and reads the number, or start
// while the file does not exist yet; the lock is held until the chip is done, so two runs never
// hand out one number. Commit makes the number used (the file is replaced atomically with the
// one after it), Release gives it back. Either ends the lock.
class CSerialCounter {
public:
    CSerialCounter(std::string path, std::uint64_t start);
    ~CSerialCounter();
    CSerialCounter(const CSerialCounter&) = delete;
    CSerialCounter& operator=(const CSerialCounter&) = delete;

    // False, with the reason reported through platform::ReportFailureReason, when the lock file
    // cannot be made or the counter file is unreadable or holds no number.
    bool Take(std::uint64_t& value);
    bool Commit();
    void Release();
    // The number the next Take would give, read without the lock (for showing it).
    bool Peek(std::uint64_t& value) const { return ReadNext(value); }

private:
    bool ReadNext(std::uint64_t& value) const;

    std::string m_strPath;
    std::uint64_t m_nStart;
    std::uint64_t m_nTaken = 0;
    int m_nLockFd = -1;
};
