#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "core/CEventQueue.h"
#include "core/CProgrammer.h"
#include "core/CoreTestSupport.h"
#include "lpt/CParallelIsp.h"
#include "lpt/CSimPortIo.h"
#include "lpt/ILptClock.h"
#include "platform/AppPaths.h"
#include "support/TempDir.h"

// A clock that never really sleeps: sleeps add to the time, and every reading moves it on by
// 1 ms so that bounded polls expire. Optionally every sleep blocks until the test opens the gate.
class CFakeClock : public ILptClock {
public:
    explicit CFakeClock(bool gated = false) : m_bOpen(!gated) {}

    void SleepMs(int ms) override {
        m_nSleptMs += ms;
        m_nNowMs += ms;
        std::unique_lock lock(m_mutex);
        m_bSleeping = true;
        m_cv.notify_all();
        m_cv.wait(lock, [this] { return m_bOpen; });
    }
    std::int64_t NowMs() override { return ++m_nNowMs; }

    // Returns once a worker has entered a sleep.
    void WaitUntilSleeping() {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return m_bSleeping; });
    }
    void Open() {
        std::lock_guard lock(m_mutex);
        m_bOpen = true;
        m_cv.notify_all();
    }
    std::int64_t SleptMs() const { return m_nSleptMs.load(); }
    // The time without moving it on.
    std::int64_t Peek() const { return m_nNowMs.load(); }

private:
    std::atomic<std::int64_t> m_nNowMs{0};
    std::atomic<std::int64_t> m_nSleptMs{0};
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bOpen;
    bool m_bSleeping = false;
};

// One register access seen at the port: 'd' and 'c' are data and control writes, 'D', 'S' and
// 'C' reads of data, status and control.
struct PortOp {
    char kind;
    std::uint8_t value;
};

// Passes every access to another port access and records it; an optional filter may change the
// values written (to inject cable faults).
class CRecordingPortIo : public IPortIo {
public:
    explicit CRecordingPortIo(std::unique_ptr<IPortIo> inner) : m_pInner(std::move(inner)) {}

    bool Open() override { return m_pInner->Open(); }
    std::uint8_t ReadData() override { return Note('D', m_pInner->ReadData()); }
    std::uint8_t ReadStatus() override { return Note('S', m_pInner->ReadStatus()); }
    std::uint8_t ReadControl() override { return Note('C', m_pInner->ReadControl()); }
    void WriteData(std::uint8_t value) override { m_pInner->WriteData(Note('d', value)); }
    void WriteControl(std::uint8_t value) override {
        if (m_controlFilter) value = m_controlFilter(value);
        m_pInner->WriteControl(Note('c', value));
    }

    bool recording = false;
    std::vector<PortOp> ops;
    std::uint64_t accesses = 0;  // every access, recorded or not
    std::function<std::uint8_t(std::uint8_t)> m_controlFilter;

private:
    std::uint8_t Note(char kind, std::uint8_t value) {
        ++accesses;
        if (recording) ops.push_back({kind, value});
        return value;
    }
    std::unique_ptr<IPortIo> m_pInner;
};

// A simulated cable of the cable type's own wiring with an AT89S52 on it.
inline std::unique_ptr<CSimCable> MakeSimCable(int cableType, int busyReads = 2) {
    auto cable = std::make_unique<CSimCable>(CSimCable::DefaultWiring(cableType));
    auto chip = std::make_unique<CTargetChip>(CTargetChip::Model::AT89S52);
    chip->SetBusyReads(busyReads);
    cable->AttachChip(std::move(chip));
    return cable;
}

// The chips the tests select among: 0 AT89S51, 1 AT89S52 (code 2), 2 a code-1 part, 3 a part
// for the shift write (code 3, signature 08 1F FF).
inline std::vector<ChipInfo> TestChipList() {
    return {MakeChip("AT89S51", 2, 4, 0x1E, 0x51, 0x06),
            MakeChip("AT89S52", 2, 8, 0x1E, 0x52, 0x06), MakeChip("OLD1", 1, 2, 0x1E, 0x21, 0x06),
            MakeChip("SHIFT", 3, 4, 0x08, 0x1F, 0xFF)};
}
constexpr int kChipS51 = 0;
constexpr int kChipS52 = 1;
constexpr int kChipCode1 = 2;
constexpr int kChipShift = 3;

// The events up to and including the first that ends an operation (progress and notices do
// not); -1 last when none came within 20 seconds.
inline std::vector<int> OperationEvents(CEventQueue& queue) {
    std::vector<int> seen;
    while (auto code = queue.WaitEvent(std::chrono::seconds(20))) {
        seen.push_back(*code);
        if (*code != PE_WRITE_PROGRESS && *code != PE_READ_PROGRESS && *code != PE_PAGE_READ_OFF) {
            return seen;
        }
    }
    seen.push_back(-1);  // timed out
    return seen;
}

// A controller on a simulated parallel port, owned by a CEventQueue, with the settings folder in
// a fresh temp folder. The cable and the recorder belong to the backend; the pointers stay
// valid while the controller lives and may be inspected whenever no worker is running.
struct SimRig {
    // Makes the port access that reaches the cable (default: the simulated port's registers).
    using PortOnCable = std::function<std::unique_ptr<IPortIo>(std::unique_ptr<CSimCable>)>;

    // The settings text, when given, is the Dranvik.ini the backend starts with.
    explicit SimRig(int cableType, int cableSpeed, std::unique_ptr<CSimCable> simCable = nullptr,
                    bool gatedClock = false, const std::string& ini = {},
                    const PortOnCable& portOnCable = {})
        : clock(gatedClock) {
        platform::SetSettingsDir(settings.path());
        if (!ini.empty()) settings.Write("Dranvik.ini", ini);
        if (!simCable) simCable = MakeSimCable(cableType);
        cable = simCable.get();
        auto recorder = std::make_unique<CRecordingPortIo>(
            portOnCable ? portOnCable(std::move(simCable))
                        : std::make_unique<CSimPortIo>(std::move(simCable)));
        port = recorder.get();
        auto pending = std::make_shared<std::unique_ptr<IPortIo>>(std::move(recorder));
        BackendFactory factory;
        factory.createParallel = [this, pending](CProgrammer& p, int type, int speed) {
            auto backend = std::make_unique<CParallelIsp>(
                [pending](const std::string&) { return std::move(*pending); }, &clock);
            isp = backend.get();
            const int result = backend->Init(&p, 0x378, type, speed);
            return BackendStart{std::move(backend), result};
        };
        programmer = std::make_unique<CProgrammer>(std::move(factory));
        programmer->m_ChipList = TestChipList();
        programmer->Init(&queue, cableType, cableSpeed);
        initEvents = queue.TakeAll();
    }
    ~SimRig() {
        programmer.reset();
        platform::SetSettingsDir("");
    }

    // The events up to and including the first that ends an operation.
    std::vector<int> Events() { return OperationEvents(queue); }

    TempDir settings;
    CFakeClock clock;
    CEventQueue queue;
    CSimCable* cable = nullptr;
    CRecordingPortIo* port = nullptr;
    CParallelIsp* isp = nullptr;
    std::unique_ptr<CProgrammer> programmer;
    std::vector<int> initEvents;
};

// Puts a random image of the length (its last byte never 0xFF) into Buffer 1 and returns it.
inline std::vector<std::uint8_t> LoadRandomImage(CProgrammer& programmer, int length,
                                                 unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> image(static_cast<size_t>(length));
    for (auto& byte : image) byte = static_cast<std::uint8_t>(random());
    if (length > 0 && image.back() == 0xFF) image.back() = 0x5A;
    std::copy(image.begin(), image.end(), programmer.m_pBuffer1.get());
    return image;
}
