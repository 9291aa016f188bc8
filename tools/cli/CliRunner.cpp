#include "CliRunner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <optional>

#include "CChipLoop.h"
#include "CConsoleView.h"
#include "CDeviceFanOut.h"
#include "CInterruptWatch.h"
#include "CRunReport.h"
#include "CliOptions.h"
#include "SettingsReport.h"
#include "Sha256.h"
#include "core/CEventQueue.h"
#include "image/ImageFile.h"
#include "isp/IspSelection.h"
#include "isp/PortListing.h"
#include "platform/AppPaths.h"
#include "platform/FailureReason.h"
#include "platform/FileUtil.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/Translate.h"
#include "platform/Version.h"
#include "session/Backends.h"
#include "session/CProgrammingSession.h"
#include "session/CRunLog.h"
#include "session/CSerialCounter.h"
#include "sim/SimSettings.h"
#ifdef OLSTRIN_HAVE_LPT
#include "lpt/PortSelection.h"
#endif
#ifdef OLSTRIN_HAVE_SERIAL
#include "serial/PortNames.h"
#endif

namespace {

constexpr int kExitOk = 0;
// How often a repeated run looks for a chip being put in or taken out: calm for the programmer.
constexpr int kProbeIntervalMs = 250;
// While it looks, a missing chip is the expected answer, not a failure worth a line.
std::atomic<bool> g_bProbing{false};
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Set once at start: standard output was closed, so all printed there is lost.
bool g_bStdoutClosed = false;

// Whether what the run printed on standard output reached it; false, with the reason on standard
// error, after a failed write or when it was closed at start and the run printed there.
bool OutputReached(bool printed) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout) && !(g_bStdoutClosed && printed)) {
        return true;
    }
    std::fputs(platform::Tr("olstrin-cli: standard output could not be written\n"), stderr);
    return false;
}

void PrintError(const std::string& text) {
    std::fprintf(stderr, "error: %s\n", EscapeControls(text).c_str());
}

// The file argument as a path: "-" is standard input.
std::string InputPath(const std::string& argument) {
    return argument == "-" ? "/dev/stdin" : argument;
}

void PrintVersion(bool json) {
    if (json) {
        std::printf("{\"type\":\"version\",\"program\":\"olstrin-cli\",\"version\":%s}\n",
                    JsonString(platform::VersionText()).c_str());
    } else {
        std::printf("olstrin-cli %s\n", platform::VersionText());
    }
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// One run of the command line: the session, its console view and the event loop that feeds the
// programmer's events to the session until its sequence ends.
class CCliRun {
public:
    // The queue and the watch must outlive the run.
    CCliRun(const CliOptions& options, CEventQueue& queue, const CInterruptWatch& interrupts)
        : m_options(options),
          m_queue(queue),
          m_interrupts(interrupts),
          m_report(options.json ? LogStream(options) : nullptr, options.verbose ? stderr : nullptr),
          m_view(m_queue, m_report, LogStream(options), stderr, options.quiet),
          m_session(m_view, DefaultBackends()) {
        m_session.m_bReadStreams = true;
        m_view.FollowTransfer(&m_session.m_programmer.m_nPos);
    }

    int Execute() {
        if (m_options.command == "ports") return ListFoundPorts();
        m_session.LoadSettings();
        ApplySettingOverrides();
        // The chip list is read early so that --chip can be checked before any hardware starts.
        m_session.m_programmer.LoadChipList();
        if (m_options.command == "chips") return ListChips();
        if (!m_options.chip.empty() && !ResolveChip()) return kExitUsage;
        const std::string assumed = AssumeSimulatedChip();
        if (!SelectDevices()) return Close(kExitFailed);
        if (m_options.command == "settings") {
            PrintSettings(m_session.Settings(), stdout, m_options.json);
            return OutputReached(true) ? kExitOk : kExitFailed;
        }
        NoteDevice();
        if (!m_options.projectFile.empty() && !CheckProjectImage()) return kExitUsage;
        if (m_options.serial && !m_options.repeat && !TakeSerialNumber()) return kExitUsage;
        m_session.Start(&m_queue);
        if (!AwaitStartUp()) return Close(kExitFailed);
        if (!assumed.empty()) {
            m_session.AddLog(
                platform::Printf(platform::Tr("未检测器件,假定为%s."), assumed.c_str()));
        }
        if (m_options.repeat) return RepeatChips();
        return Close(UseUpSerialNumber(RunCommand()));
    }

private:
    // Standard output, unless that carries the image a read saves ("read -").
    static std::FILE* LogStream(const CliOptions& options) {
        return options.command == "read" && options.argument == "-" ? stderr : stdout;
    }

    // -v: the device, the programmer and its speed in use.
    void NoteDevice() {
        const SettingsRecord& settings = m_session.Settings();
        if (settings.nProgrammerType == 0) {
            m_report.Note("programmer: serial box on COM" + std::to_string(settings.nComPort) +
                          " (" + ComDeviceLine(settings.nComPort) + "), baud index " +
                          std::to_string(settings.nBaudIndex));
        } else {
            m_report.Note("programmer: cable type " + std::to_string(settings.nProgrammerType) +
                          " on " + LptDeviceLine() + ", speed " +
                          std::to_string(settings.nSpeedIndex));
        }
    }

    // The project's image file as it is now: its SHA-256 goes in the run log, and a file that
    // no longer matches the SHA-256 the project pins is refused before the chip is touched.
    bool CheckProjectImage() {
        std::string bytes;
        if (platform::ReadWholeFile(m_options.argument, bytes)) {
            m_strProjectSha256 =
                Sha256Hex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        }
        if (m_options.projectSha256.empty() || m_options.projectSha256 == m_strProjectSha256)
            return true;
        std::fprintf(stderr,
                     platform::Tr("olstrin-cli: %s is not the image the project pins (SHA-256 "
                                  "%s)\n"),
                     EscapeControls(m_options.argument).c_str(),
                     EscapeControls(m_options.projectSha256).c_str());
        return false;
    }

    // Checks the number's place against the image and the chip, takes the next number from the
    // counter file (waiting while another run holds it) and has the session place it in Buffer 1
    // before the write. False after a usage error line.
    bool TakeSerialNumber() {
        const CSerialNumberRule& rule = *m_options.serial;
        CProgrammer& programmer = m_session.m_programmer;
        const int row = m_session.Settings().nChipIndex;
        const int rom = row >= 0 && row < programmer.GetChipCount()
                            ? chiplist::RomBytes(programmer.GetChip(row))
                            : kChipSpaceSize;
        std::vector<std::uint8_t> image(kImageBufferSize, 0xFF);
        const std::string path = InputPath(m_options.argument);
        // An image that does not load is left to the chain, which reports it the usual way.
        const bool loaded =
            image::LoadImage(path, image::UpperExtension(path), image.data()).status ==
            image::LoadStatus::Loaded;
        std::string refusal =
            loaded ? rule.Refusal(image.data(), rom, m_options.serialOverwrite) : std::string();
        if (refusal.empty()) {
            m_counter = std::make_unique<CSerialCounter>(m_options.serialFile, rule.Start());
            if (!m_counter->Take(m_nSerial)) {
                refusal = platform::Tr("--serial-file: the counter file cannot be used");
            } else if (m_nSerial > rule.MaxValue()) {
                refusal = platform::Printf(
                    platform::Tr("--serial: %llu does not fit its field (at most %llu)"),
                    static_cast<unsigned long long>(m_nSerial),
                    static_cast<unsigned long long>(rule.MaxValue()));
            }
        }
        if (!refusal.empty()) {
            std::fprintf(stderr, "olstrin-cli: %s\n", EscapeControls(refusal).c_str());
            return false;
        }
        m_report.Note("serial number: " + std::to_string(m_nSerial));
        m_session.m_fnPatchImage = [this](std::uint8_t* buffer1) {
            m_options.serial->Patch(buffer1, m_nSerial);
        };
        return true;
    }

    // The number is used up only when its chip verified; otherwise the next run gets it again.
    int UseUpSerialNumber(int status) {
        if (!m_counter) return status;
        if (status != kExitOk) {
            m_counter->Release();
            return status;
        }
        return m_counter->Commit() ? status : kExitFailed;
    }

    // Appends the run's line to --log; a line that could not be written fails the run.
    int AppendRunLog(CRunReport::Summary& summary) {
        const SettingsRecord& settings = m_session.Settings();
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
        char time[32];
        std::strftime(time, sizeof time, "%Y-%m-%dT%H:%M:%SZ", ::gmtime_r(&now, &utc));
        summary.time = time;
        const bool serial = settings.nProgrammerType == 0;
        summary.programmer =
            serial ? "serial box" : "cable type " + std::to_string(settings.nProgrammerType);
        summary.port = serial ? ComDeviceLine(settings.nComPort) : LptDeviceLine();
        summary.chipRow = m_session.m_programmer.m_nSelChip;
        const CProgrammer& programmer = m_session.m_programmer;
        summary.signatureRead =
            platform::Printf("%02X %02X %02X", programmer.m_Signature[0].load(),
                             programmer.m_Signature[1].load(), programmer.m_Signature[2].load());
        if (m_counter) summary.serial = std::to_string(m_nSerial);
        summary.project = m_options.projectFile;
        summary.projectImageSha256 = m_strProjectSha256;
        if (CRunLog::Append(m_options.logFile, m_report.Record(summary))) return summary.exitStatus;
        summary.ok = false;
        return summary.exitStatus = kExitFailed;
    }

    // The closing line: success only when every step, a save included, succeeded and the log
    // reached standard output whole. Nothing is printed for an interrupted run; its line comes
    // once the backend has stopped.
    int Close(int status) {
        if (m_interrupts.Signal() != 0) return kExitFailed;
        status = ReportChip(status);
        m_view.CloseWith(status == kExitOk ? platform::Tr("success") : platform::Tr("failed"));
        return status;
    }

    // One chip's summary and run log line.
    int ReportChip(int status) {
        const bool printed = m_options.json || !m_options.quiet || LogStream(m_options) != stdout;
        if (status == kExitOk && !OutputReached(printed)) status = kExitFailed;
        CRunReport::Summary summary = Summary(status);
        if (!m_options.logFile.empty()) status = AppendRunLog(summary);
        m_report.Finish(summary);
        return status;
    }

    // --repeat: chip after chip on the open programmer until --count chips passed or a signal
    // came; the totals close the run, which succeeded when no chip failed.
    int RepeatChips() {
        int usage = kExitOk;
        CChipLoop::Hooks hooks;
        hooks.probe = [this] { return Probe(); };
        hooks.program = [this, &usage] { return ProgramChip(usage); };
        hooks.pause = [this] { return Pause(); };
        hooks.awaitingChip = [this] { m_session.AddLog(platform::Tr("请放入器件.")); };
        hooks.result = [this](bool passed, int passedCount, int failedCount) {
            ShowChipResult(passed, passedCount, failedCount);
        };
        CChipLoop loop(std::move(hooks), m_options.goodChips);
        loop.Run();
        m_session.AddLog(
            platform::Printf(platform::Tr("共合格%d片,不合格%d片."), loop.Passed(), loop.Failed()));
        if (m_interrupts.Signal() != 0) return kExitFailed;
        if (usage != kExitOk) return usage;
        const int status = loop.Failed() == 0 ? kExitOk : kExitFailed;
        m_view.CloseWith(status == kExitOk ? platform::Tr("success") : platform::Tr("failed"));
        return status;
    }

    // A detect with its lines and failure reasons kept back: is a chip in the socket?
    CChipLoop::Presence Probe() {
        g_bProbing = true;
        m_view.SetMuted(true);
        const bool found = Run([&] { return m_session.OnDetect(); });
        m_view.SetMuted(false);
        g_bProbing = false;
        if (m_interrupts.Signal() != 0) return CChipLoop::Presence::Stopped;
        return found ? CChipLoop::Presence::Present : CChipLoop::Presence::Absent;
    }

    // Waits between probes; a signal ends the wait at once.
    bool Pause() {
        const auto code = m_queue.WaitEvent(std::chrono::milliseconds(kProbeIntervalMs));
        if (code && *code != CInterruptWatch::kInterruptEvent) m_session.OnProgrammerEvent(*code);
        return m_interrupts.Signal() == 0;
    }

    // One chip's chain with its own serial number, summary and log line. A number that may not
    // be used (usage) ends the loop, as does a signal.
    std::optional<bool> ProgramChip(int& usage) {
        m_report.NextChip();
        if (m_options.serial && !TakeSerialNumber()) {
            usage = kExitUsage;
            return std::nullopt;
        }
        const int status = UseUpSerialNumber(RunCommand());
        if (m_interrupts.Signal() != 0) return std::nullopt;
        return ReportChip(status) == kExitOk;
    }

    // The chip's line with the counts so far; the bell when a person watches the terminal.
    void ShowChipResult(bool passed, int passedCount, int failedCount) {
        const char* form = passed ? platform::Tr("本片合格,合格%d片,不合格%d片.")
                                  : platform::Tr("本片不合格,合格%d片,不合格%d片.");
        m_session.AddLog(platform::Printf(form, passedCount, failedCount));
        if (!m_options.json && !m_options.quiet && ::isatty(::fileno(stdout)) == 1) {
            std::fputc('\a', stdout);
            std::fflush(stdout);
        }
    }

    // The chip in use and the image written, for the JSON summary: only what this run read. The
    // signature is the one a detection of this run read, the image the one its last load placed.
    CRunReport::Summary Summary(int status) {
        CProgrammer& programmer = m_session.m_programmer;
        CRunReport::Summary summary;
        summary.command = m_options.command;
        summary.ok = status == kExitOk;
        summary.exitStatus = status;
        // The detected chip, else the row this run works with (a run that ended before its step
        // has not selected it in the programmer yet).
        const int row = m_detectedSignature.empty() ? m_session.Settings().nChipIndex
                                                    : programmer.m_nSelChip.load();
        if (row >= 0 && row < programmer.GetChipCount()) {
            summary.chipName = programmer.GetChipName(row);
            summary.chipSignature = m_detectedSignature;
        }
        if (m_session.m_nImageLength >= 0) {
            const std::uint8_t* image = programmer.m_pBuffer1.get();
            summary.imagePath = m_session.m_strFilePath;
            summary.imageFileBytes = m_session.m_nImageLength;
            summary.imageDataBytes = programmer.GetDataLength(image, kChipSpaceSize);
            summary.imageSha256 =
                Sha256Hex(image, static_cast<std::size_t>(summary.imageDataBytes));
        }
        return summary;
    }

    void ApplySettingOverrides() {
        SettingsRecord& settings = m_session.Settings();
        if (m_options.type) settings.nProgrammerType = *m_options.type;
        if (m_options.port) settings.nComPort = *m_options.port;
        if (m_options.baudIndex) settings.nBaudIndex = *m_options.baudIndex;
        if (m_options.speed) settings.nSpeedIndex = *m_options.speed;
        // The command line's auto detects unless told not to, whatever the window stored; with
        // --marks it runs the window's chain as stored.
        if (!m_options.marks) settings.bAutoDetect = 1;
        if (m_options.noDetect) settings.bAutoDetect = 0;
        const bool parallel = settings.nProgrammerType >= 1 && settings.nProgrammerType <= 4;
        const bool cable = !m_options.simulateModel.empty() || !m_options.ispLink.empty();
        if (cable && !parallel) settings.nProgrammerType = 1;
    }

    // One line per device found: kind, device, then the USB id, name and serial when known and
    // the ISP link word that uses it; with --json one object per line.
    int ListFoundPorts() {
        for (const FoundPort& port : ListPorts()) {
            if (m_options.json) {
                const auto field = [](const char* name, const std::string& value) {
                    return std::string(",\"") + name +
                           "\":" + (value.empty() ? "null" : JsonString(value));
                };
                std::printf(
                    "{\"type\":\"port\"%s%s%s%s%s%s}\n", field("kind", port.strKind).c_str(),
                    field("device", port.strDevice).c_str(), field("usb", port.strUsbId).c_str(),
                    field("product", port.strProduct).c_str(),
                    field("serial", port.strSerial).c_str(), field("isp", port.strIsp).c_str());
                continue;
            }
            std::string line = port.strKind;
            line.resize(10, ' ');
            line += port.strDevice;
            if (!port.strUsbId.empty()) line += "  " + port.strUsbId;
            if (!port.strProduct.empty()) line += "  " + port.strProduct;
            if (!port.strSerial.empty()) line += "  serial " + port.strSerial;
            if (!port.strIsp.empty()) line += "  (ISP=" + port.strIsp + ")";
            std::printf("%s\n", EscapeControls(line).c_str());
        }
        return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
    }

    int ListChips() {
        const CProgrammer& programmer = m_session.m_programmer;
        if (programmer.GetChipCount() == 0) {
            PrintError(
                platform::Printf(platform::Tr("no chips in %s"), platform::ChipListPath().c_str()));
            return kExitFailed;
        }
        for (int i = 0; i < programmer.GetChipCount(); ++i) {
            const ChipInfo& chip = programmer.GetChip(i);
            const double voltage = chip.fVoltage;
            const std::string& name = programmer.GetChipName(i);
            if (!m_options.json) {
                std::printf("%2d  %-12s %4dK  %.2fV  %02X %02X %02X\n", i,
                            EscapeControls(name).c_str(), chip.nRomKB, voltage, chip.Signature[0],
                            chip.Signature[1], chip.Signature[2]);
                continue;
            }
            // A voltage a chip file holds as NaN or infinity has no JSON number.
            const std::string volts =
                std::isfinite(voltage) ? platform::Printf("%.2f", voltage) : "null";
            std::printf(
                "{\"type\":\"chip\",\"row\":%d,\"name\":%s,\"rom_kb\":%d,\"voltage\":%s,"
                "\"signature\":\"%02X %02X %02X\"}\n",
                i, JsonString(name).c_str(), chip.nRomKB, volts.c_str(), chip.Signature[0],
                chip.Signature[1], chip.Signature[2]);
        }
        return OutputReached(true) ? kExitOk : kExitFailed;
    }

    // --chip as a row number or a name of the chip list.
    bool ResolveChip() {
        const CProgrammer& programmer = m_session.m_programmer;
        const std::string& chip = m_options.chip;
        long long index = -1;
        if (!platform::ParseNumber(chip, 0, programmer.GetChipCount() - 1, index)) {
            index = -1;
            for (int i = 0; i < programmer.GetChipCount() && index < 0; ++i) {
                if (SameNameIgnoringCase(programmer.GetChipName(i), chip)) index = i;
            }
        }
        if (index < 0 || index >= programmer.GetChipCount()) {
            std::fprintf(stderr,
                         platform::Tr("olstrin-cli: no chip '%s' in the chip list (see 'chips')\n"),
                         EscapeControls(chip).c_str());
            return false;
        }
        m_session.Settings().nChipIndex = static_cast<int>(index);
        return true;
    }

    // With --simulate and no --chip, the run works on the chip row of the simulated model rather
    // than on the row the window stored, so sizes, the serial number's check and the summary
    // match the chip that answers (a detection then selects the same row). The row's name when
    // the command does not detect the chip, so the log can say it was assumed; else empty.
    std::string AssumeSimulatedChip() {
        if (m_options.simulateModel.empty() || !m_options.chip.empty()) return {};
        const bool detects = m_options.command == "detect" ||
                             (m_options.command == "auto" && m_session.Settings().bAutoDetect);
        const CProgrammer& programmer = m_session.m_programmer;
        for (int i = 0; i < programmer.GetChipCount(); ++i) {
            if (SameNameIgnoringCase(programmer.GetChipName(i), m_options.simulateModel)) {
                m_session.Settings().nChipIndex = i;
                return detects ? std::string() : programmer.GetChipName(i);
            }
        }
        return {};
    }

    // Routes the ports to the devices the options name and checks that the chosen programmer
    // exists in this build.
    bool SelectDevices() {
        const SettingsRecord& settings = m_session.Settings();
        const BackendFactory factory = DefaultBackends();
        if (settings.nProgrammerType == 0) {
            if (!factory.createSerial)
                return Unsupported(
                    platform::Tr("this build of olstrin-cli cannot drive the serial programmer"));
#ifdef OLSTRIN_HAVE_SERIAL
            if (!m_options.comDevice.empty()) {
                SetComDeviceOverride(settings.nComPort, m_options.comDevice);
            }
#endif
            return true;
        }
        if (settings.nProgrammerType < 0 || settings.nProgrammerType > 4) {
            PrintError(platform::Tr("请正确选择编程器类型!"));
            return false;
        }
        if (!factory.createParallel)
            return Unsupported(
                platform::Tr("this build of olstrin-cli cannot drive the parallel cables"));
        // The emulated Arduino's chip keeps its flash where the simulated cable's does.
        std::string simModel = m_options.simulateModel;
        IspSelection isp;
        if (ParseIspSelection(m_options.ispLink, isp) && isp.device.rfind("sim", 0) == 0 &&
            isp.kind == IspSelection::Kind::Arduino) {
            simModel = isp.device.size() > 4 ? isp.device.substr(4) : "at89s52";
        }
        if (!simModel.empty()) {
            SetSimFlashFile(m_options.simImage.empty() ? KeptSimFlashFile(simModel)
                                                       : m_options.simImage);
        }
#ifdef OLSTRIN_HAVE_LPT
        if (!m_options.simulateModel.empty()) {
            SetLptDeviceOverride("sim:" + m_options.simulateModel);
        } else if (!m_options.lptDevice.empty()) {
            SetLptDeviceOverride(m_options.lptDevice);
        }
#endif
        if (!m_options.ispLink.empty()) SetIspOverride(m_options.ispLink);
        return true;
    }

    bool Unsupported(const char* text) {
        PrintError(text);
        return false;
    }

    // Handles events until the running sequence ends; false when it failed or no event came in
    // time.
    bool RunUntilEnded() {
        while (!m_view.Ended()) {
            if (!HandleNextEvent()) return false;
        }
        return m_view.EndedOk();
    }

    bool HandleNextEvent() {
        const auto code = m_queue.WaitEvent(std::chrono::seconds(m_options.timeoutSeconds));
        if (code == CInterruptWatch::kInterruptEvent) return false;
        if (!code) {
            PrintError(platform::Printf(platform::Tr("no answer from the programmer within %d s"),
                                        m_options.timeoutSeconds));
            return false;
        }
        m_report.Event(*code);
        m_session.OnProgrammerEvent(*code);
        if (*code == PE_DEVICE_DETECTED) {
            const auto& read = m_session.m_programmer.m_Signature;
            char signature[16];
            std::snprintf(signature, sizeof signature, "%02X %02X %02X", read[0].load(),
                          read[1].load(), read[2].load());
            m_detectedSignature = signature;
        }
        return true;
    }

    // The backend reports its start: the parallel cable with one event; the serial box with one
    // event and, once its port is open, the ready check that event starts. A serial backend
    // given an invalid baud index reports nothing (its requests are refused later).
    bool AwaitStartUp() {
        const SettingsRecord& settings = m_session.Settings();
        const bool serial = settings.nProgrammerType == 0;
        if (serial && (settings.nBaudIndex < 0 || settings.nBaudIndex > 3)) return true;
        m_view.ResetEnded();
        if (!HandleNextEvent()) return false;
        if (serial && !m_view.Ended()) return RunUntilEnded();
        return !m_view.Ended() || m_view.EndedOk();
    }

    // Runs a session command to the end of its sequence.
    template <typename Command>
    bool Run(Command command) {
        m_view.ResetEnded();
        if (!command()) return false;
        return RunUntilEnded();
    }

    bool Load(const std::string& argument) {
        return Run([&] { return m_session.OpenFile(InputPath(argument)); });
    }

    bool Lock(int mode) {
        m_view.SetLockBitSelection(mode - 1);
        return Run([&] { return m_session.OnWriteLockBits(); });
    }

    // The chip commands; chips and settings never start the backend.
    int RunCommand() {
        using Command = bool (CCliRun::*)();
        static const std::map<std::string, Command> kCommands = {
            {"detect", &CCliRun::Detect}, {"erase", &CCliRun::Erase},
            {"write", &CCliRun::Write},   {"read", &CCliRun::Read},
            {"verify", &CCliRun::Verify}, {"lock", &CCliRun::LockCommand},
            {"auto", &CCliRun::Auto},     {"blank", &CCliRun::Blank}};
        const auto command = kCommands.find(m_options.command);
        return command != kCommands.end() && (this->*command->second)() ? kExitOk : kExitFailed;
    }

    bool Detect() {
        return Run([&] { return m_session.OnDetect(); });
    }

    bool Erase() {
        return Run([&] { return m_session.OnErase(); });
    }

    bool Write() {
        return Load(m_options.argument) && Run([&] { return m_session.OnWrite(); });
    }

    bool Read() {
        const std::string& out = m_options.argument;
        const image::SaveFormat format = m_options.format == "hex"   ? image::SaveFormat::Hex
                                         : m_options.format == "bin" ? image::SaveFormat::Raw
                                                                     : image::SaveFormat::ByName;
        return Run([&] { return m_session.OnRead(); }) &&
               (out.empty() || m_session.SaveFile(out, format, m_options.full));
    }

    // Reads the whole ROM and says whether every byte is 0xFF, else where the first other is.
    bool Blank() {
        if (!Run([&] { return m_session.OnRead(); })) return false;
        const std::uint8_t* data = m_session.m_programmer.m_pBuffer2.get();
        const int rom = std::min(m_session.SelectedRomBytes(), kChipSpaceSize);
        const std::uint8_t* used =
            std::find_if(data, data + rom, [](std::uint8_t b) { return b != 0xFF; });
        if (used == data + rom) {
            m_session.AddLog(platform::Tr("器件为空."));
            return true;
        }
        m_session.AddLog(platform::Printf(platform::Tr("器件不为空,地址%04X为%02X."),
                                          static_cast<int>(used - data), *used));
        return false;
    }

    bool Verify() {
        return Load(m_options.argument) && RunVerify();
    }

    bool LockCommand() {
        return Lock(m_options.argument[0] - '0');
    }

    bool Auto() {
        const bool ok = Run([&] { return StartAutoComplete(); });
        return ok && (!m_options.lockAfter || Lock(*m_options.lockAfter));
    }

    bool RunVerify() {
        m_view.ResetEnded();
        if (!m_session.OnVerify()) {
            std::fprintf(stderr,
                         platform::Tr("olstrin-cli: verify is not available while chip row %d is "
                                      "selected\n"),
                         m_view.ChipSelection());
            return false;
        }
        return RunUntilEnded();
    }

    // Auto-complete: open, erase, write, verify whatever the window's marks (less the steps the
    // options leave out), so a script's result never depends on the window; with --marks the
    // stored marks. A FILE given is always loaded.
    bool StartAutoComplete() {
        if (!m_options.marks) {
            m_view.SetAutoMark(SessionButton::Open, true);
            m_view.SetAutoMark(SessionButton::Erase, !m_options.noErase);
            m_view.SetAutoMark(SessionButton::Write, true);
            m_view.SetAutoMark(SessionButton::Read, false);
            m_view.SetAutoMark(SessionButton::Verify, !m_options.noVerify);
        }
        if (!m_options.argument.empty()) {
            m_session.SetImageFile(InputPath(m_options.argument));
            m_view.SetAutoMark(SessionButton::Open, true);
        }
        return m_session.OnAutoComplete();
    }

    const CliOptions& m_options;
    CEventQueue& m_queue;
    const CInterruptWatch& m_interrupts;
    CRunReport m_report;
    CConsoleView m_view;
    CProgrammingSession m_session;
    std::unique_ptr<CSerialCounter> m_counter;  // with --serial, once a number is taken
    std::uint64_t m_nSerial = 0;
    std::string m_strProjectSha256;   // with --project, of its image file
    std::string m_detectedSignature;  // "1E 52 06" once a detection of this run matched a chip
};

}  // namespace

int RunCli(const std::vector<std::string>& args, bool stdoutClosed) {
    g_bStdoutClosed = stdoutClosed;
    platform::InitAppPaths();
    // --lang chooses the language of the usage errors too, wherever it stands.
    platform::InitTranslation(platform::g_strAppDir, LanguageArgument(args));
    CliOptions options;
    std::string error;
    const bool valid = ParseCliOptions(args, options, error);
    if (!valid) {
        std::fprintf(
            stderr,
            platform::Tr("olstrin-cli: %s\nTry 'olstrin-cli --help' for more information.\n"),
            EscapeControls(error).c_str());
        return kExitUsage;
    }
    if (options.help || options.version) {
        if (options.help) std::fputs(CliUsageText().c_str(), stdout);
        if (options.version) PrintVersion(options.json);
        return OutputReached(true) ? kExitOk : kExitFailed;
    }
    struct stat info {};
    if (!options.settingsDir.empty() &&
        (::stat(options.settingsDir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))) {
        std::fprintf(stderr, platform::Tr("olstrin-cli: --settings: '%s' is not a folder\n"),
                     EscapeControls(options.settingsDir).c_str());
        return kExitUsage;
    }
    // A closed standard output is a failed write, never the end of a chip operation half-way.
    std::signal(SIGPIPE, SIG_IGN);
    if (!options.settingsDir.empty()) platform::SetSettingsDir(options.settingsDir);
    platform::SetMessageBoxHandler(
        [](const std::string& text, const std::string&, platform::MessageIcon) {
            if (!g_bProbing) PrintError(text);
        });
    platform::SetFailureReasonSink([](const std::string& reason) {
        if (!g_bProbing) std::fprintf(stderr, "%s\n", EscapeControls(reason).c_str());
    });
    if (options.deviceCount > 1 && options.device == 0)
        return CDeviceFanOut(args, options.deviceCount, options.json, options.quiet).Run();
    CEventQueue queue;
    // Made before the session, so every backend thread starts with the signals blocked.
    CInterruptWatch interrupts(queue);
    int status = kExitFailed;
    {
        CCliRun run(options, queue, interrupts);
        status = run.Execute();
    }  // the session and its backend are gone: workers stopped, the port released
    return interrupts.Signal() != 0 ? interrupts.Finish() : status;
}
