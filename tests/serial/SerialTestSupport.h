#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/FailureReason.h"
#include "platform/IClock.h"
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

    // True when bytes from the host wait on the master side.
    bool Pending() const {
        pollfd fd = {m_master, POLLIN, 0};
        return poll(&fd, 1, 0) > 0;
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

// A clock that moves only when the test advances it. Its waits look at the time in short real
// slices; Advance returns once every wait under way has seen the new time, so after it a wait
// whose deadline passed has ended and every other one is still waiting.
class CSteppedClock : public platform::IClock {
public:
    void SleepMs(int ms) override {
        std::mutex mutex;
        std::condition_variable cv;
        std::unique_lock lock(mutex);
        WaitUntil(cv, lock, NowMs() + ms, [] { return false; });
    }
    std::int64_t NowMs() override { return m_nNowMs.load(); }

    bool WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                   std::int64_t deadlineMs, const std::function<bool()>& done) override {
        const int id = Enter(deadlineMs);
        bool result = false;
        for (;;) {
            if (done()) {
                result = true;
                break;
            }
            const std::int64_t now = NowMs();
            if (now >= deadlineMs) break;
            Seen(id, now);
            cv.wait_for(lock, std::chrono::milliseconds(1));
        }
        std::lock_guard guard(m_mutex);
        m_waits.erase(id);
        return result;
    }

    // True once a wait with this deadline is under way; false when none comes within 5 s.
    bool AwaitDeadline(std::int64_t deadlineMs) {
        return Within5s([&] {
            for (const auto& [id, wait] : m_waits) {
                if (wait.deadline == deadlineMs) return true;
            }
            return false;
        });
    }

    void Advance(int ms) {
        const std::int64_t now = m_nNowMs += ms;
        Within5s([&] {
            for (const auto& [id, wait] : m_waits) {
                if (wait.seen < now) return false;
            }
            return true;
        });
    }

private:
    struct Wait {
        std::int64_t deadline;
        std::int64_t seen;
    };
    int Enter(std::int64_t deadline) {
        std::lock_guard guard(m_mutex);
        m_waits[++m_nLastId] = {deadline, -1};
        return m_nLastId;
    }
    void Seen(int id, std::int64_t now) {
        std::lock_guard guard(m_mutex);
        m_waits[id].seen = now;
    }
    // Polls the condition under the clock's lock for up to 5 s of real time.
    template <class Condition>
    bool Within5s(Condition condition) {
        for (int i = 0; i < 5000; ++i) {
            {
                std::lock_guard guard(m_mutex);
                if (condition()) return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    std::atomic<std::int64_t> m_nNowMs{0};
    std::mutex m_mutex;
    std::map<int, Wait> m_waits;
    int m_nLastId = 0;
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
