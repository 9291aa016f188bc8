#include "CInterruptWatch.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/Translate.h"

namespace {

constexpr int kPollMs = 50;

}  // namespace

CInterruptWatch::CInterruptWatch(IProgrammerOwner& owner) : m_owner(owner) {
    sigemptyset(&m_set);
    sigaddset(&m_set, SIGINT);
    sigaddset(&m_set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &m_set, nullptr);
    m_thread = std::thread([this] { Run(); });
}

CInterruptWatch::~CInterruptWatch() {
    m_bDone = true;
    m_thread.join();
    pthread_sigmask(SIG_UNBLOCK, &m_set, nullptr);
}

bool CInterruptWatch::WaitForSignal(int& signal) {
    const timespec poll{0, kPollMs * 1000000L};
    while (!m_bDone) {
        signal = sigtimedwait(&m_set, nullptr, &poll);
        if (signal > 0) return true;
    }
    return false;
}

void CInterruptWatch::Run() {
    int signal = 0;
    if (!WaitForSignal(signal)) return;
    m_nSignal = signal;
    m_owner.PostProgrammerEvent(kInterruptEvent);
    for (int waited = 0; waited < kGraceMs && !m_bDone; waited += kPollMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    if (!m_bDone) ::_exit(Finish());
}

int CInterruptWatch::Finish() {
    const int signal = m_nSignal.load();
    if (!m_bLinePrinted.exchange(true)) {
        std::fprintf(stderr,
                     platform::Tr("olstrin-cli: interrupted by %s; the programmer was stopped\n"),
                     signal == SIGINT ? "SIGINT" : "SIGTERM");
        std::fflush(stderr);
    }
    return 128 + signal;
}
