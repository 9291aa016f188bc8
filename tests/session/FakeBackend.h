#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/CProgrammer.h"

// A backend with a chip inside that answers every operation at once on the caller's thread, the
// way a parallel cable or the serial box reports it (serial adds the started events and the
// ready answer after a write). Tests can hold an operation's answer back, replace it, or make one
// address read back wrong. Records the operations it was asked for.
class FakeBackend : public IProgrammerBackend {
public:
    FakeBackend(CProgrammer& programmer, bool serial) : m_programmer(programmer), m_serial(serial) {
        flash.assign(8192, 0xFF);
    }

    void CheckReady(std::uint8_t) override { Answer("ready", {PE_READY}); }
    void DetectChip(std::uint8_t) override {
        calls.push_back("detect");
        if (Overridden("detect")) return;
        for (int i = 0; i < 3; ++i) m_programmer.m_Signature[i] = signature[i];
        m_programmer.MatchSignature();
    }
    void EraseChip(std::uint8_t) override {
        std::fill(flash.begin(), flash.end(), 0xFF);
        Answer("erase", {PE_ERASE_DONE});
    }
    void WriteChip(std::uint8_t) override {
        calls.push_back("write");
        if (Overridden("write")) return;
        const int length = m_programmer.GetDataLength(m_programmer.m_pBuffer1.get(), 0x10000);
        if (m_serial) Post(PE_WRITE_STARTED);
        for (int i = 0; i < length; ++i) flash[size_t(i)] = m_programmer.m_pBuffer1[size_t(i)];
        if (badAddress >= 0) flash[size_t(badAddress)] ^= 0x01;
        m_programmer.m_nPos = length;
        Post(PE_WRITE_PROGRESS);
        Post(PE_WRITE_DONE);
        if (m_serial) Post(PE_READY);
    }
    void ReadChip(std::uint8_t) override {
        calls.push_back("read");
        readWrittenLength.push_back(m_programmer.m_bReadWrittenLength != 0);
        if (Overridden("read")) return;
        if (!m_programmer.m_bReadWrittenLength) m_programmer.m_nDataLen = int(flash.size());
        const int length = m_programmer.m_nDataLen;
        std::memcpy(m_programmer.m_pBuffer2.get(), flash.data(), size_t(length));
        if (m_serial) Post(PE_READ_STARTED);
        m_programmer.m_nPos = length;
        Post(PE_READ_PROGRESS);
        Post(PE_READ_DONE);
    }
    void WriteLockBits(std::uint8_t, int level) override {
        Answer("lock " + std::to_string(level), {PE_LOCK_DONE});
    }

    // Events an operation ("ready", "detect", "erase", "write", "read") answers with instead of
    // its normal ones; an empty list holds the answer back.
    std::map<std::string, std::vector<int>> overrides;
    std::vector<std::string> calls;
    std::vector<bool> readWrittenLength;
    std::vector<std::uint8_t> flash;
    std::uint8_t signature[3] = {0x1E, 0x52, 0x06};
    int badAddress = -1;

private:
    void Post(int code) { m_programmer.PostEvent(code); }
    bool Overridden(const std::string& op) {
        const auto it = overrides.find(op);
        if (it == overrides.end()) return false;
        for (int code : it->second) Post(code);
        return true;
    }
    void Answer(const std::string& op, std::vector<int> codes) {
        calls.push_back(op);
        if (Overridden(op.substr(0, op.find(' ')))) return;
        for (int code : codes) Post(code);
    }

    CProgrammer& m_programmer;
    bool m_serial;
};
