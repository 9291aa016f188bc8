#include "CliOptions.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "CProjectFile.h"
#include "isp/IspSelection.h"
#include "platform/NumberText.h"
#include "platform/Translate.h"
#ifdef OLSTRIN_HAVE_LPT
#include "lpt/PortSelection.h"
#endif

namespace {

// One option: its spellings ("-v, --verbose"), the value's placeholder in the usage text (null
// for a flag; "[=NAME]" for a value given only after '='), its help text (later lines are
// indented under the first) and what it does with its value (null when none was given).
struct CliOption {
    const char* names;
    const char* argument;
    const char* help;
    bool (*apply)(const char* name, const std::string* value, CliOptions& options,
                  std::string& error);
};

// One command: its name, its arguments' placeholder, how many arguments it takes at least and at
// most, and its help text.
struct CliCommand {
    const char* name;
    const char* arguments;
    size_t least;
    size_t most;
    const char* help;
};

bool Fail(std::string& error, const std::string& text) {
    error = text;
    return false;
}

// A value in [low, high] for the option name.
bool IntValue(const char* name, const std::string& value, int low, int high, int& target,
              std::string& error) {
    long long parsed = 0;
    if (platform::ParseNumber(value, low, high, parsed)) {
        target = static_cast<int>(parsed);
        return true;
    }
    return Fail(error, platform::Printf(platform::Tr("option %s takes %d..%d, not '%s'"), name, low,
                                        high, value.c_str()));
}

// The ways an option stores its value, one per kind of field.
template <bool CliOptions::*Field>
bool Flag(const char*, const std::string*, CliOptions& options, std::string&) {
    options.*Field = true;
    return true;
}

template <std::optional<int> CliOptions::*Field, int Low, int High>
bool Int(const char* name, const std::string* value, CliOptions& options, std::string& error) {
    int parsed = 0;
    if (!IntValue(name, *value, Low, High, parsed, error)) return false;
    options.*Field = parsed;
    return true;
}

template <std::string CliOptions::*Field>
bool Text(const char* name, const std::string* value, CliOptions& options, std::string& error) {
    if (value->empty())
        return Fail(error, platform::Printf(platform::Tr("option %s needs a value"), name));
    options.*Field = *value;
    return true;
}

bool Serial(const char*, const std::string* value, CliOptions& options, std::string& error) {
    CSerialNumberRule rule;
    if (!rule.Parse(*value, error)) return false;
    options.serial = rule;
    return true;
}

bool Project(const char*, const std::string* value, CliOptions& options, std::string& error) {
    return CProjectFile::Apply(*value, options, error);
}

// A parallel port device, checked before anything starts.
bool Lpt(const char* name, const std::string* value, CliOptions& options, std::string& error) {
#ifdef OLSTRIN_HAVE_LPT
    const std::string problem = LptDeviceProblem(*value);
    if (!problem.empty()) return Fail(error, problem);
#endif
    return Text<&CliOptions::lptDevice>(name, value, options, error);
}

bool Timeout(const char* name, const std::string* value, CliOptions& options, std::string& error) {
    return IntValue(name, *value, 1, 86400, options.timeoutSeconds, error);
}

bool Baud(const char*, const std::string* value, CliOptions& options, std::string& error) {
    static const char* const kBauds[] = {"9600", "19200", "28800", "57600"};
    for (int i = 0; i < 4; ++i) {
        if (*value == kBauds[i]) {
            options.baudIndex = i;
            return true;
        }
    }
    return Fail(
        error,
        platform::Printf(platform::Tr("option --baud takes 9600, 19200, 28800 or 57600, not '%s'"),
                         value->c_str()));
}

bool Simulate(const char*, const std::string* value, CliOptions& options, std::string& error) {
    options.simulateModel = value ? *value : "at89s52";
    if (options.simulateModel == "at89s51" || options.simulateModel == "at89s52") return true;
    return Fail(error, platform::Printf(
                           platform::Tr("option --simulate takes at89s51 or at89s52, not '%s'"),
                           options.simulateModel.c_str()));
}

bool Isp(const char*, const std::string* value, CliOptions& options, std::string& error) {
    IspSelection selection;
    if (value->empty() || !ParseIspSelection(*value, selection)) {
        return Fail(error, platform::Printf(
                               platform::Tr("option --isp takes arduino:PATH[@BAUD], arduino:sim, "
                                            "usbasp[:SERIAL|:BUS:DEVICE], not '%s'"),
                               value->c_str()));
    }
    options.ispLink = *value;
    options.ispLinks.push_back(*value);
    return true;
}

bool SimImage(const char* name, const std::string* value, CliOptions& options, std::string& error) {
    if (!Text<&CliOptions::simImage>(name, value, options, error)) return false;
    options.simImages.push_back(*value);
    return true;
}

bool Count(const char* name, const std::string* value, CliOptions& options, std::string& error) {
    return IntValue(name, *value, 1, 1000000, options.goodChips, error);
}

bool Device(const char* name, const std::string* value, CliOptions& options, std::string& error) {
    return IntValue(name, *value, 1, 64, options.device, error);
}

bool Lang(const char*, const std::string* value, CliOptions& options, std::string& error) {
    platform::Language language{};
    if (!platform::ParseLanguage(*value, language)) {
        return Fail(error, platform::Printf(platform::Tr("option --lang takes zh or en, not '%s'"),
                                            value->c_str()));
    }
    options.language = *value;
    return true;
}

bool Format(const char*, const std::string* value, CliOptions& options, std::string& error) {
    if (*value == "hex" || *value == "bin") {
        options.format = *value;
        return true;
    }
    return Fail(error, platform::Printf(platform::Tr("option --format takes hex or bin, not '%s'"),
                                        value->c_str()));
}

// Every option, in the order the usage text lists them. Adding an option is adding a row here and
// a field to CliOptions; the bash completion reads the options from the usage text.
const CliOption kOptions[] = {
    {"--type", "0..4",
     N_("programmer: 0 serial programmer box, 1 Kestavo cable,\n2 Atmel ByteBlaster, 3 Altera "
        "ByteBlasterMV, 4 Altera ByteBlasterII"),
     Int<&CliOptions::type, 0, 4>},
    {"--port", "1..4", N_("COM port of the serial programmer box"), Int<&CliOptions::port, 1, 4>},
    {"--baud", "RATE", N_("9600, 19200, 28800 or 57600"), Baud},
    {"--speed", "0..2", N_("cable speed: 0 normal, 1 faster, 2 fastest"),
     Int<&CliOptions::speed, 0, 2>},
    {"--chip", "NAME|INDEX", N_("the chip to work with (see \"chips\")"), Text<&CliOptions::chip>},
    {"--lpt", "DEVICE",
     N_("parallel port: a ppdev path, io:0x378, gpio:/dev/gpiochipN (lines\nmapped in Dranvik.ini "
        "[GPIO]), or sim[:at89s51|at89s52]"),
     Lpt},
    {"--com", "DEVICE", N_("device of the chosen COM port: a tty path, or sim"),
     Text<&CliOptions::comDevice>},
    {"--isp", "LINK",
     N_("the programmer that clocks the chip's instructions for types\n1..4: "
        "arduino:PATH[@BAUD] (ArduinoISP, 19200 baud by default),\narduino:sim, usbasp, "
        "usbasp:SERIAL or usbasp:BUS:DEVICE;\nimplies --type 1; given several times, one "
        "chip on each at once"),
     Isp},
    {"--simulate", "[=MODEL]",
     N_("a parallel cable on a simulated at89s51 or at89s52 (default\nat89s52); its flash is kept "
        "in $XDG_CACHE_HOME/olstrin/ so\nthat later runs see what earlier ones wrote"),
     Simulate},
    {"--sim-image", "PATH",
     N_("keep the simulated chip's flash in PATH instead; given several\ntimes, one simulated "
        "programmer each, all at once"),
     SimImage},
    {"--device", "N", N_("of several programmers named, use only the Nth"), Device},
    {"--no-detect", nullptr, N_("auto: do not detect the chip first"), Flag<&CliOptions::noDetect>},
    {"--no-erase", nullptr, N_("auto: leave out the erase step"), Flag<&CliOptions::noErase>},
    {"--no-verify", nullptr, N_("auto: leave out the verify step"), Flag<&CliOptions::noVerify>},
    {"--lock", "1..3",
     N_("auto: write the lock bits in that mode after a verify that\nfound no difference"),
     Int<&CliOptions::lockAfter, 1, 3>},
    {"--marks", nullptr,
     N_("auto: run the chain the window's stored marks and detect option\nmake, as the window's "
        "auto-complete button does"),
     Flag<&CliOptions::marks>},
    {"--full", nullptr, N_("read: save the whole ROM, trailing 0xFF bytes included"),
     Flag<&CliOptions::full>},
    {"--format", "hex|bin",
     N_("read: save OUT as Intel HEX or as raw bytes whatever its name\n(OUT - too)"), Format},
    {"--settings", "DIR", N_("read Dranvik.ini from DIR instead of the window's settings folder"),
     Text<&CliOptions::settingsDir>},
    {"--timeout", "SECONDS", N_("longest wait for the programmer's next answer (default 60)"),
     Timeout},
    {"--lang", "zh|en",
     N_("the language of the log and messages: zh the Chinese texts, en\nEnglish; without it "
        "LANGUAGE, LC_ALL, LC_MESSAGES and LANG decide\n(a zh locale, C, POSIX or none give "
        "Chinese, others English)"),
     Lang},
    {"--serial", "ADDR:FORM:START",
     N_("auto: place a number per chip at ADDR before the write, in FORM\nle8..le32, be8..be32 "
        "(binary), bcdN or decN (N digits), counting\nup from START; needs --serial-file"),
     Serial},
    {"--serial-file", "FILE",
     N_("keep the next number in FILE (locked while a chip is programmed;\na number is used up "
        "only when its chip verified)"),
     Text<&CliOptions::serialFile>},
    {"--serial-overwrite", nullptr, N_("let the number replace bytes the image uses"),
     Flag<&CliOptions::serialOverwrite>},
    {"--project", "FILE",
     N_("take the image, chip, chain, lock mode, serial number rule and\nlog from a project file "
        "(docs/cli.md); the command is then auto"),
     Project},
    {"--log", "FILE", N_("append one JSON line per run to FILE (the run log)"),
     Text<&CliOptions::logFile>},
    {"--repeat", nullptr,
     N_("auto: chip after chip: wait until a chip answers, program it,\nwait until it is taken "
        "out, again, until Ctrl+C"),
     Flag<&CliOptions::repeat>},
    {"--count", "N", N_("--repeat: stop after N chips passed"), Count},
    {"--json", nullptr,
     N_("print one JSON object per line on standard output instead of\nthe log: every event, log "
        "line and progress step, then a\nsummary (docs/cli.md describes the fields)"),
     Flag<&CliOptions::json>},
    {"-v, --verbose", nullptr,
     N_("also print the device, cable and speed in use and each step's\nduration on standard "
        "error"),
     Flag<&CliOptions::verbose>},
    {"-q, --quiet", nullptr,
     N_("print no status log and no progress (failure reasons still\ngo to standard error)"),
     Flag<&CliOptions::quiet>},
    {"-h, --help", nullptr, N_("print this text"), Flag<&CliOptions::help>},
    {"--version", nullptr, N_("print the version and the git revision it was built from"),
     Flag<&CliOptions::version>},
};

// Every command with its arguments, in the order the usage text lists them.
const CliCommand kCommands[] = {
    {"chips", "", 0, 0, N_("list the chips of ChipList.chip with their row numbers")},
    {"settings", "", 0, 0, N_("print the stored settings record, decoded, and the devices in use")},
    {"ports", "", 0, 0,
     N_("list the parallel ports, GPIO chips, serial ports (with their USB\nvendor:product and "
        "name) and USBasp programmers found, one a line")},
    {"detect", "", 0, 0, N_("read the signature and select the matching chip")},
    {"erase", "", 0, 0, N_("erase the chip")},
    {"write", "FILE", 1, 1,
     N_("load FILE (Intel HEX when named *.hex or when its text is HEX records,\nelse raw binary) "
        "and write it; FILE - reads standard input")},
    {"read", "[OUT]", 0, 1,
     N_("read the chip into Buffer 2; with OUT, save Buffer 2 to that file\n(Intel HEX when OUT "
        "ends in .hex or .ihx); OUT - writes it to\nstandard output and moves the status log to "
        "standard error")},
    {"blank", "", 0, 0,
     N_("read the whole chip and report the first byte that is not 0xFF;\nexit status 0 when the "
        "chip is blank, 1 when it is not")},
    {"verify", "FILE", 1, 1, N_("load FILE, read the chip back and list every differing byte")},
    {"lock", "1|2|3", 1, 1, N_("write the lock bits in lock mode 1, 2 or 3")},
    {"auto", "[FILE]", 0, 1,
     N_("the auto-complete chain: load FILE, check ready, detect, erase,\nwrite, verify, whatever "
        "the window's marks (see --marks)")},
};

// True when name is one of the row's spellings ("-v, --verbose" holds "-v" and "--verbose").
bool Spells(const CliOption& option, const std::string& name) {
    for (const char* p = option.names; *p;) {
        const size_t length = std::strcspn(p, ",");
        if (name.size() == length && name.compare(0, length, p, length) == 0) return true;
        p += length;
        while (*p == ',' || *p == ' ') ++p;
    }
    return false;
}

const CliOption* FindCliOption(const std::string& name) {
    for (const CliOption& option : kOptions) {
        if (Spells(option, name)) return &option;
    }
    return nullptr;
}

const CliCommand* FindCliCommand(const std::string& name) {
    for (const CliCommand& command : kCommands) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

// Walks the arguments once, filling the options and stopping at the first error.
class Parser {
public:
    Parser(const std::vector<std::string>& args, CliOptions& options, std::string& error)
        : m_args(args), m_options(options), m_error(error) {}

    bool Run() {
        std::vector<std::string> positional;
        for (m_i = 0; m_i < m_args.size(); ++m_i) {
            const std::string& arg = m_args[m_i];
            if (arg == "--") {
                positional.insert(positional.end(), m_args.begin() + long(m_i) + 1, m_args.end());
                break;
            }
            if (arg.size() > 1 && arg[0] == '-') {
                if (!Option(arg)) return false;
                if (m_options.help || m_options.version) return HelpOrVersion();
            } else {
                positional.push_back(arg);
            }
        }
        return Positional(positional);
    }

private:
    bool Fail(const std::string& text) { return ::Fail(m_error, text); }

    // --help and --version end the command line; only a --json anywhere still counts.
    bool HelpOrVersion() {
        for (const std::string& arg : m_args) m_options.json = m_options.json || arg == "--json";
        return true;
    }

    // "--name=value" or "--name" followed, for an option that takes a value, by the value.
    bool Option(const std::string& arg) {
        const size_t eq = arg.find('=');
        const bool hasValue = eq != std::string::npos;
        const std::string name = hasValue ? arg.substr(0, eq) : arg;
        std::string value = hasValue ? arg.substr(eq + 1) : std::string();
        const CliOption* option = FindCliOption(name);
        if (!option) return Fail(platform::Printf(platform::Tr("unknown option %s"), name.c_str()));
        // A value given twice is a mistake either way: which one was meant?
        // Several --isp or --sim-image name several programmers.
        const bool repeats = option->apply == Isp || option->apply == SimImage;
        if (option->argument && !repeats && !m_valued.insert(option).second) {
            return Fail(platform::Printf(platform::Tr("选项%s只能给一次."), name.c_str()));
        }
        const bool optional = option->argument && option->argument[0] == '[';
        if (!option->argument || (optional && !hasValue)) {
            if (hasValue && !option->argument) {
                return Fail(
                    platform::Printf(platform::Tr("option %s takes no value"), name.c_str()));
            }
            return option->apply(name.c_str(), nullptr, m_options, m_error);
        }
        if (!hasValue) {
            if (m_i + 1 >= m_args.size())
                return Fail(
                    platform::Printf(platform::Tr("option %s needs a value"), name.c_str()));
            value = m_args[++m_i];
        }
        return option->apply(name.c_str(), &value, m_options, m_error);
    }

    bool Positional(const std::vector<std::string>& positional) {
        if (positional.empty() && m_options.projectFile.empty())
            return Fail(platform::Tr("no command given"));
        m_options.command = positional.empty() ? "auto" : positional[0];
        const char* command = m_options.command.c_str();
        const CliCommand* row = FindCliCommand(m_options.command);
        if (!row) return Fail(platform::Printf(platform::Tr("unknown command '%s'"), command));
        const size_t count = positional.empty() ? 0 : positional.size() - 1;
        if (count < row->least) {
            return Fail(platform::Printf(platform::Tr("command %s needs an argument"), command));
        }
        if (count > row->most) {
            return Fail(platform::Printf(platform::Tr("too many arguments for %s"), command));
        }
        if (count == 1) {
            if (positional[1].empty())
                return Fail(platform::Printf(platform::Tr("command %s takes a file name, not ''"),
                                             command));
            m_options.argument = positional[1];
        }
        if (m_options.command == "lock" && m_options.argument != "1" && m_options.argument != "2" &&
            m_options.argument != "3") {
            return Fail(platform::Tr("command lock takes the lock mode 1, 2 or 3"));
        }
        if (m_options.lockAfter && (m_options.command != "auto" || m_options.noVerify)) {
            return Fail(platform::Tr(
                "--lock follows the verify of auto; it needs auto without --no-verify"));
        }
        if ((m_options.full || !m_options.format.empty()) &&
            (m_options.command != "read" || m_options.argument.empty())) {
            return Fail(
                platform::Tr("--full and --format choose what read saves; they need read OUT"));
        }
        if (m_options.marks && (m_options.noErase || m_options.noVerify || m_options.lockAfter)) {
            return Fail(
                platform::Tr("--marks takes the window's chain as it is; leave out --no-erase, "
                             "--no-verify and --lock"));
        }
        if (!m_options.ispLink.empty()) {
            if (!m_options.simulateModel.empty() || !m_options.lptDevice.empty())
                return Fail(platform::Tr("--isp excludes --simulate and --lpt"));
            if (m_options.type && *m_options.type == 0)
                return Fail(platform::Tr("--isp drives the chip for types 1..4, not --type 0"));
        }
        if (!m_options.simulateModel.empty()) {
            if (!m_options.lptDevice.empty())
                return Fail(platform::Tr("--simulate and --lpt exclude each other"));
            if (m_options.type && *m_options.type == 0) {
                return Fail(platform::Tr("--simulate uses a parallel cable, not --type 0"));
            }
        }
        return Production();
    }

    // The project's image is auto's file unless one is given; --serial, --repeat and --count
    // belong to auto; several --isp or --sim-image name one programmer each (paired in order
    // when both are given several times), and --device picks one of them.
    bool Production() {
        CliOptions& o = m_options;
        if (o.command == "auto" && o.argument.empty()) o.argument = o.projectImage;
        if (o.serial.has_value() != !o.serialFile.empty())
            return Fail(platform::Tr("--serial and --serial-file go together"));
        if (o.serial && (o.command != "auto" || o.noVerify || o.marks || o.argument.empty() ||
                         o.argument == "-")) {
            return Fail(
                platform::Tr("--serial needs auto with an image file and its verify "
                             "(no --no-verify, no --marks)"));
        }
        if (o.repeat && (o.command != "auto" || o.argument.empty() || o.argument == "-"))
            return Fail(platform::Tr("--repeat needs auto with an image file"));
        if (o.goodChips > 0 && !o.repeat) return Fail(platform::Tr("--count needs --repeat"));
        const size_t isps = o.ispLinks.size();
        const size_t sims = o.simImages.size();
        // A flash file alone names a simulated chip: the default model on the simulated cable.
        if (sims > 0 && isps == 0 && o.simulateModel.empty() && o.lptDevice.empty())
            o.simulateModel = "at89s52";
        if (isps > 1 && sims > 1 && isps != sims)
            return Fail(platform::Tr("several --isp and --sim-image go in pairs, as many of each"));
        o.deviceCount = static_cast<int>(std::max<size_t>({1, isps, sims}));
        if (o.device > o.deviceCount) {
            return Fail(platform::Printf(platform::Tr("--device %d: only %d programmers named"),
                                         o.device, o.deviceCount));
        }
        if (o.device > 0 && isps > 1) o.ispLink = o.ispLinks[size_t(o.device - 1)];
        if (o.device > 0 && sims > 1) o.simImage = o.simImages[size_t(o.device - 1)];
        return true;
    }

    const std::vector<std::string>& m_args;
    CliOptions& m_options;
    std::string& m_error;
    size_t m_i = 0;
    std::set<const CliOption*> m_valued;  // the options with a value seen so far
};

// One entry of a usage list: the label in a column of the given width, then the help text,
// its later lines indented under its first.
void AppendEntry(std::string& text, const std::string& label, size_t width, const char* help) {
    text += "    " + label;
    text.append(label.size() + 2 > width ? 2 : width - label.size(), ' ');
    for (const char* line = platform::Tr(help); *line;) {
        const size_t length = std::strcspn(line, "\n");
        text.append(line, length).push_back('\n');
        line += length;
        if (*line == '\n' && *++line) text.append(4 + width, ' ');
    }
}

}  // namespace

std::string CliUsageText() {
    std::string text = platform::Tr(R"(NAME
    olstrin-cli - program 8051-family flash microcontrollers from the shell

SYNOPSIS
    olstrin-cli [OPTIONS] COMMAND [ARG]

DESCRIPTION
    Runs one operation, or the auto-complete chain, through the same session as the
    Olstrin window, with the settings the window stored in Dranvik.ini. Options change
    those settings for this run only; the settings file is never written. Each status-log
    line is printed on standard output as the window shows it; message boxes appear as
    "error:" lines on standard error, and a progress bar is drawn on standard error when
    it is a terminal.

COMMANDS
)");
    for (const CliCommand& command : kCommands) {
        std::string label = command.name;
        if (*command.arguments) label += std::string(" ") + command.arguments;
        AppendEntry(text, label, 16, command.help);
    }
    text += "\nOPTIONS\n";
    for (const CliOption& option : kOptions) {
        std::string label = option.names;
        if (option.argument && option.argument[0] == '[') {
            label += option.argument;
        } else if (option.argument) {
            label += std::string(" ") + option.argument;
        }
        AppendEntry(text, label, 20, option.help);
    }
    text += platform::Tr(R"(
EXIT STATUS
    0   the operation ended in success, its save included
    1   it failed, timed out, or was not accepted
    2   the command line was not valid
    130, 143  interrupted by SIGINT or SIGTERM: the programmer stopped at its next
        byte and released the port

EXAMPLES
    olstrin-cli --simulate auto examples/blinker/blinker.hex
    olstrin-cli --type 0 --port 1 --baud 57600 read chip.bin
)");
    return text;
}

bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options,
                     std::string& error) {
    return Parser(args, options, error).Run();
}

std::string LanguageArgument(const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--") break;
        if (args[i].rfind("--lang=", 0) == 0) return args[i].substr(7);
        if (args[i] == "--lang" && i + 1 < args.size()) return args[i + 1];
    }
    return {};
}
