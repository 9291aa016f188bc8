#include "CliRunner.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <map>

#include "CConsoleView.h"
#include "CInterruptWatch.h"
#include "CRunReport.h"
#include "CliOptions.h"
#include "SettingsReport.h"
#include "Sha256.h"
#include "core/CEventQueue.h"
#include "isp/IspSelection.h"
#include "isp/PortListing.h"
#include "platform/AppPaths.h"
#include "platform/FailureReason.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/Translate.h"
#include "platform/Version.h"
#include "session/Backends.h"
#include "session/CProgrammingSession.h"
#include "sim/SimSettings.h"
#ifdef OLSTRIN_HAVE_LPT
#include "lpt/PortSelection.h"
#endif
#ifdef OLSTRIN_HAVE_SERIAL
#include "serial/PortNames.h"
#endif

namespace {

constexpr int kExitOk = 0;
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
        m_session.Start(&m_queue);
        if (!AwaitStartUp()) return Close(kExitFailed);
        if (!assumed.empty()) {
            m_session.AddLog(
                platform::Printf(platform::Tr("未检测器件,假定为%s."), assumed.c_str()));
        }
        return Close(RunCommand());
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

    // The closing line: success only when every step, a save included, succeeded and the log
    // reached standard output whole. Nothing is printed for an interrupted run; its line comes
    // once the backend has stopped.
    int Close(int status) {
        if (m_interrupts.Signal() != 0) return kExitFailed;
        const bool printed = m_options.json || !m_options.quiet || LogStream(m_options) != stdout;
        if (status == kExitOk && !OutputReached(printed)) status = kExitFailed;
        m_report.Finish(Summary(status));
        m_view.CloseWith(status == kExitOk ? platform::Tr("success") : platform::Tr("failed"));
        return status;
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

    // With --simulate and no --chip, a command that does not detect the chip works on the chip
    // row of the simulated model rather than on the row the window stored, so sizes and the
    // summary match the chip that answers. The row's name, empty when nothing was assumed.
    std::string AssumeSimulatedChip() {
        if (m_options.simulateModel.empty() || !m_options.chip.empty()) return {};
        const bool detects = m_options.command == "detect" ||
                             (m_options.command == "auto" && m_session.Settings().bAutoDetect);
        if (detects) return {};
        const CProgrammer& programmer = m_session.m_programmer;
        for (int i = 0; i < programmer.GetChipCount(); ++i) {
            if (SameNameIgnoringCase(programmer.GetChipName(i), m_options.simulateModel)) {
                m_session.Settings().nChipIndex = i;
                return programmer.GetChipName(i);
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
    platform::SetMessageBoxHandler([](const std::string& text, const std::string&,
                                      platform::MessageIcon) { PrintError(text); });
    platform::SetFailureReasonSink([](const std::string& reason) {
        std::fprintf(stderr, "%s\n", EscapeControls(reason).c_str());
    });
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
