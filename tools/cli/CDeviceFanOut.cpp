#include "CDeviceFanOut.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/Translate.h"

namespace {

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

CDeviceFanOut::CDeviceFanOut(std::vector<std::string> args, int deviceCount, bool json, bool quiet)
    : m_args(std::move(args)),
      m_children(static_cast<size_t>(deviceCount)),
      m_bJson(json),
      m_bQuiet(quiet) {
    for (size_t i = 0; i < m_children.size(); ++i) m_children[i].device = static_cast<int>(i) + 1;
}

int CDeviceFanOut::Run() {
    // Blocked here and so in every child, whose own watch takes the signals from there.
    const sigset_t stops = StopSignals();
    ::pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    std::fflush(nullptr);
    for (Child& child : m_children) {
        if (!Spawn(child)) child.status = 1;
    }
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<Child*> owners;
        for (Child& child : m_children) {
            if (child.fd < 0) continue;
            fds.push_back({child.fd, POLLIN, 0});
            owners.push_back(&child);
        }
        if (fds.empty()) break;
        // A calm timeout, so that a signal sent to this process alone is passed on soon.
        if (::poll(fds.data(), fds.size(), 200) < 0 && errno != EINTR) break;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents != 0 && !Drain(*owners[i])) Reap(*owners[i]);
        }
        PassOnSignals();
    }
    int status = 0;
    for (const Child& child : m_children) status = std::max(status, child.status);
    PrintTotals(status);
    return status;
}

bool CDeviceFanOut::Spawn(Child& child) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return false;
    std::vector<std::string> args = m_args;
    // First, so that a "--" among the arguments cannot make it a file name.
    args.insert(args.begin(), {"--device", std::to_string(child.device)});
    std::vector<char*> argv{const_cast<char*>("olstrin-cli")};
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    child.pid = ::fork();
    if (child.pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::execv("/proc/self/exe", argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    if (child.pid < 0) {
        ::close(out[0]);
        return false;
    }
    child.fd = out[0];
    return true;
}

bool CDeviceFanOut::Drain(Child& child) {
    char buffer[4096];
    const ssize_t got = ::read(child.fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) return true;
    if (got <= 0) {
        if (!child.pending.empty()) Forward(child, child.pending);
        return false;
    }
    child.pending.append(buffer, static_cast<size_t>(got));
    for (size_t end; (end = child.pending.find('\n')) != std::string::npos;) {
        Forward(child, child.pending.substr(0, end));
        child.pending.erase(0, end + 1);
    }
    return true;
}

void CDeviceFanOut::Forward(const Child& child, const std::string& line) const {
    if (m_bJson && !line.empty() && line[0] == '{') {
        std::printf("{\"device\":%d%s%s\n", child.device, line.size() > 2 ? "," : "",
                    line.c_str() + 1);
    } else {
        std::printf("[%d] %s\n", child.device, line.c_str());
    }
    std::fflush(stdout);
}

void CDeviceFanOut::Reap(Child& child) {
    ::close(child.fd);
    child.fd = -1;
    int wstatus = 0;
    while (::waitpid(child.pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    child.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
}

void CDeviceFanOut::PassOnSignals() {
    const sigset_t stops = StopSignals();
    const timespec now{0, 0};
    siginfo_t info{};
    const int signal = ::sigtimedwait(&stops, &info, &now);
    // The terminal's Ctrl+C already reached the whole group, children included.
    if (signal <= 0 || info.si_code == SI_KERNEL) return;
    for (const Child& child : m_children) {
        if (child.fd >= 0) ::kill(child.pid, signal);
    }
}

void CDeviceFanOut::PrintTotals(int status) const {
    const auto passed = std::count_if(m_children.begin(), m_children.end(),
                                      [](const Child& child) { return child.status == 0; });
    const int failed = static_cast<int>(m_children.size()) - static_cast<int>(passed);
    if (m_bJson) {
        std::printf(
            "{\"type\":\"devices\",\"devices\":%zu,\"succeeded\":%d,\"failed\":%d,"
            "\"exit_status\":%d}\n",
            m_children.size(), static_cast<int>(passed), failed, status);
    } else if (!m_bQuiet) {
        std::printf(platform::Tr("编程器%d台:成功%d台,失败%d台."),
                    static_cast<int>(m_children.size()), static_cast<int>(passed), failed);
        std::fputc('\n', stdout);
    }
    std::fflush(stdout);
}
