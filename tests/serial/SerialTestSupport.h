#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/FailureReason.h"
#include "platform/MessageBox.h"

// A pseudo-terminal whose master side the test holds, playing the device.
class TestPty {
public:
    TestPty() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0 &&
            ptsname_r(m_master, name, sizeof name) == 0) {
            m_strSlave = name;
        }
    }
    ~TestPty() { CloseMaster(); }
    TestPty(const TestPty&) = delete;
    TestPty& operator=(const TestPty&) = delete;

    const std::string& SlavePath() const { return m_strSlave; }
    int Master() const { return m_master; }

    void Write(const std::vector<std::uint8_t>& bytes) const {
        (void)!::write(m_master, bytes.data(), bytes.size());
    }

    // Reads exactly n bytes from the master side; fewer when nothing comes for 5 s.
    std::vector<std::uint8_t> Read(size_t n) const {
        std::vector<std::uint8_t> out;
        while (out.size() < n) {
            pollfd fd = {m_master, POLLIN, 0};
            if (poll(&fd, 1, 5000) <= 0) break;
            std::uint8_t buf[64];
            const ssize_t got = ::read(m_master, buf, std::min(sizeof buf, n - out.size()));
            if (got <= 0) break;
            out.insert(out.end(), buf, buf + got);
        }
        return out;
    }

    // Closes the master: the device disappears for whoever has the slave open.
    void CloseMaster() {
        if (m_master >= 0) ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    std::string m_strSlave;
};

// Records the message boxes shown while it lives instead of printing them.
class MessageBoxRecorder {
public:
    MessageBoxRecorder() {
        platform::SetMessageBoxHandler(
            [this](const std::string& text, const std::string& caption, platform::MessageIcon) {
                std::lock_guard lock(m_mutex);
                m_texts.push_back(text);
                m_captions.push_back(caption);
            });
    }
    ~MessageBoxRecorder() { platform::SetMessageBoxHandler({}); }

    std::vector<std::string> Texts() const {
        std::lock_guard lock(m_mutex);
        return m_texts;
    }
    std::vector<std::string> Captions() const {
        std::lock_guard lock(m_mutex);
        return m_captions;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;
    std::vector<std::string> m_captions;
};

// Records the failure reasons reported while it lives instead of printing them.
class FailureReasonRecorder {
public:
    FailureReasonRecorder() {
        platform::SetFailureReasonSink([this](const std::string& reason) {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(reason);
        });
    }
    ~FailureReasonRecorder() { platform::SetFailureReasonSink({}); }

    std::vector<std::string> Lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};
