// The soak test: the auto-complete chain run 200 times (or as often as the first argument says) on
// the simulated parallel cable and 200 times on the emulated serial programmer box, with faults
// mixed in. Every cycle must end with the prompt its fault calls for, and the process must hold no
// more threads or descriptors at the last cycles than at the first, nor much more memory. Prints
// the figures; exits 1 on any failed check.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ParallelSoakTarget.h"
#include "SerialSoakTarget.h"
#include "SoakRun.h"
#include "core/CoreTestSupport.h"
#include "platform/AppPaths.h"
#include "platform/MessageBox.h"
#include "sim/SimSettings.h"
#include "support/TempDir.h"

namespace {

// Cycles per backend; the command line may ask for another count.
constexpr int kDefaultCycles = 200;
// Resident memory may still grow after the first cycles by what fills up to a bound: the box
// emulator keeps the last 8192 units it took (about 400 KiB, full after some 100 serial cycles).
// A leak of a few kilobytes per cycle exceeds this over 200 cycles.
constexpr long kRssGrowthLimitKiB = 1024;

// Sanitizer runtimes hold freed memory back in quarantine, so resident memory says nothing
// about leaks there; LeakSanitizer checks them at exit instead.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kCheckRss = false;
#else
constexpr bool kCheckRss = true;
#endif

bool Report(const char* name, int cycles, const SoakRun::Result& r) {
    std::printf(
        "%-8s cycles %d (success %d, failure %d), peak threads %d (first %d, last %d cycles), "
        "fds %d -> %d, RSS %ld KiB -> %ld KiB, late ends %d\n",
        name, r.cycles, r.successes, r.failures, r.peakThreads, r.firstPeakThreads,
        r.lastPeakThreads, r.start.fds, r.end.fds, r.start.rssKiB, r.end.rssKiB, r.lateEnds);
    bool ok = true;
    auto check = [&](bool good, const char* what) {
        if (!good) std::printf("%-8s FAILED: %s\n", name, what);
        ok = ok && good;
    };
    check(r.cycles == cycles && r.hangs == 0, "a cycle never ended");
    check(r.wrongEndings == 0, "a cycle ended with the wrong prompt");
    check(r.lastPeakThreads <= r.firstPeakThreads, "threads grew");
    check(r.lastPeakFds <= r.firstPeakFds, "file descriptors grew");
    check(!kCheckRss || r.end.rssKiB - r.start.rssKiB <= kRssGrowthLimitKiB, "memory grew");
    return ok;
}

bool Soak(ISoakTarget& target, int cycles, const TempDir& dir, const std::string& chipFile) {
    SoakRun::Result result;
    SoakRun run(target, dir.path(), chipFile);
    if (!run.Run(cycles, result)) {
        std::printf("%s: the session did not start\n", target.Name());
        return false;
    }
    return Report(target.Name(), cycles, result);
}

}  // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::atoi(argv[1]) : kDefaultCycles;
    if (cycles <= 2 * SoakRun::kWindow) {
        std::printf("usage: soak_test [CYCLES > %d]\n", 2 * SoakRun::kWindow);
        return 2;
    }
    TempDir dir;
    platform::SetSettingsDir(dir.path());
    int messages = 0;
    platform::SetMessageBoxHandler(
        [&messages](const std::string&, const std::string&, platform::MessageIcon) { ++messages; });
    // The box answers an erase after a short while, so the host really awaits the reply.
    SetSimEraseMs(5);
    const std::string chipFile =
        dir.Write("chips.chip", ChipFileBytes({MakeChip("AT89S51", 2, 4, 0x1E, 0x51, 0x06),
                                               MakeChip("AT89S52", 2, 8, 0x1E, 0x52, 0x06)}));
    const ProcessFigures before = ProcessFigures::Sample();
    std::printf("before   threads %d, fds %d, RSS %ld KiB\n", before.threads, before.fds,
                before.rssKiB);

    ParallelSoakTarget parallel;
    bool ok = Soak(parallel, cycles, dir, chipFile);
    SerialSoakTarget serial;
    if (serial.Started()) {
        ok = Soak(serial, cycles, dir, chipFile) && ok;
    } else {
        std::printf("serial: no pseudo-terminal for the box emulator\n");
        ok = false;
    }

    const ProcessFigures after = ProcessFigures::Sample();
    std::printf("after    threads %d, fds %d, RSS %ld KiB; message boxes %d\n", after.threads,
                after.fds, after.rssKiB, messages);
    platform::SetMessageBoxHandler({});
    platform::SetSettingsDir("");
    return ok ? 0 : 1;
}
