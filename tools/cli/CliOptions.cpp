#include "CliOptions.h"

#include <charconv>
#include <set>

#include "platform/Translate.h"

namespace {

// A whole decimal integer within [low, high].
bool ParseInt(const std::string& text, int low, int high, int& value) {
    int parsed = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, parsed);
    if (text.empty() || result.ec != std::errc() || result.ptr != end) return false;
    if (parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

bool ParseBaud(const std::string& text, int& index) {
    static const char* const kBauds[] = {"9600", "19200", "28800", "57600"};
    for (int i = 0; i < 4; ++i) {
        if (text == kBauds[i]) {
            index = i;
            return true;
        }
    }
    return false;
}

// Splits "--name=value" into name and value; hasValue tells whether '=' was present.
void SplitOption(const std::string& arg, std::string& name, std::string& value, bool& hasValue) {
    const size_t eq = arg.find('=');
    hasValue = eq != std::string::npos;
    name = hasValue ? arg.substr(0, eq) : arg;
    value = hasValue ? arg.substr(eq + 1) : std::string();
}

// How many arguments each command takes: at least, at most.
bool CommandArity(const std::string& command, size_t& least, size_t& most) {
    if (command == "chips" || command == "settings" || command == "ports" || command == "detect" ||
        command == "erase") {
        least = most = 0;
    } else if (command == "write" || command == "verify" || command == "lock") {
        least = most = 1;
    } else if (command == "read" || command == "auto") {
        least = 0;
        most = 1;
    } else {
        return false;
    }
    return true;
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
                if (m_options.help || m_options.version) return true;
            } else {
                positional.push_back(arg);
            }
        }
        return Positional(positional);
    }

private:
    bool Fail(const std::string& text) {
        m_error = text;
        return false;
    }

    static std::string NeedsValue(const std::string& name) {
        return platform::Printf(platform::Tr("option %s needs a value"), name.c_str());
    }

    // The option's value: after '=', or the next argument.
    bool Value(const std::string& name, bool hasValue, std::string& value) {
        if (hasValue) return true;
        if (m_i + 1 >= m_args.size()) return Fail(NeedsValue(name));
        value = m_args[++m_i];
        return true;
    }

    bool IntOption(const std::string& name, const std::string& value, int low, int high,
                   std::optional<int>& target) {
        int parsed = 0;
        if (!ParseInt(value, low, high, parsed)) {
            return Fail(platform::Printf(platform::Tr("option %s takes %d..%d, not '%s'"),
                                         name.c_str(), low, high, value.c_str()));
        }
        target = parsed;
        return true;
    }

    bool Option(const std::string& arg) {
        std::string name, value;
        bool hasValue = false;
        SplitOption(arg, name, value, hasValue);
        if (name == "-h" || name == "--help") return Flag(hasValue, name, m_options.help);
        if (name == "--version") return Flag(hasValue, name, m_options.version);
        if (name == "-q" || name == "--quiet") return Flag(hasValue, name, m_options.quiet);
        if (name == "--no-detect") return Flag(hasValue, name, m_options.noDetect);
        if (name == "--no-erase") return Flag(hasValue, name, m_options.noErase);
        if (name == "--no-verify") return Flag(hasValue, name, m_options.noVerify);
        if (name == "--marks") return Flag(hasValue, name, m_options.marks);
        if (name == "--json") return Flag(hasValue, name, m_options.json);
        if (name == "-v" || name == "--verbose") return Flag(hasValue, name, m_options.verbose);
        if (name == "--simulate") {
            m_options.simulateModel = hasValue ? value : "at89s52";
            if (m_options.simulateModel != "at89s51" && m_options.simulateModel != "at89s52") {
                return Fail(platform::Printf(
                    platform::Tr("option --simulate takes at89s51 or at89s52, not '%s'"),
                    value.c_str()));
            }
            return true;
        }
        static const std::set<std::string> kValued = {
            "--type", "--port", "--baud",      "--speed",    "--chip",    "--lock",
            "--lpt",  "--com",  "--sim-image", "--settings", "--timeout", "--lang"};
        if (!kValued.count(name))
            return Fail(platform::Printf(platform::Tr("unknown option %s"), name.c_str()));
        if (!Value(name, hasValue, value)) return false;
        if (name == "--type") return IntOption(name, value, 0, 4, m_options.type);
        if (name == "--port") return IntOption(name, value, 1, 4, m_options.port);
        if (name == "--speed") return IntOption(name, value, 0, 2, m_options.speed);
        if (name == "--lock") return IntOption(name, value, 1, 3, m_options.lockAfter);
        if (name == "--baud") {
            int index = 0;
            if (!ParseBaud(value, index)) {
                return Fail(platform::Printf(
                    platform::Tr("option --baud takes 9600, 19200, 28800 or 57600, not '%s'"),
                    value.c_str()));
            }
            m_options.baudIndex = index;
            return true;
        }
        if (name == "--timeout") {
            std::optional<int> seconds;
            if (!IntOption(name, value, 1, 86400, seconds)) return false;
            m_options.timeoutSeconds = *seconds;
            return true;
        }
        if (name == "--lang") {
            platform::Language language{};
            if (!platform::ParseLanguage(value, language)) {
                return Fail(platform::Printf(platform::Tr("option --lang takes zh or en, not '%s'"),
                                             value.c_str()));
            }
            m_options.language = value;
            return true;
        }
        if (value.empty()) return Fail(NeedsValue(name));
        if (name == "--chip") m_options.chip = value;
        if (name == "--lpt") m_options.lptDevice = value;
        if (name == "--com") m_options.comDevice = value;
        if (name == "--sim-image") m_options.simImage = value;
        if (name == "--settings") m_options.settingsDir = value;
        return true;
    }

    bool Flag(bool hasValue, const std::string& name, bool& target) {
        if (hasValue)
            return Fail(platform::Printf(platform::Tr("option %s takes no value"), name.c_str()));
        target = true;
        return true;
    }

    bool Positional(const std::vector<std::string>& positional) {
        if (positional.empty()) return Fail(platform::Tr("no command given"));
        m_options.command = positional[0];
        const char* command = m_options.command.c_str();
        size_t least = 0, most = 0;
        if (!CommandArity(m_options.command, least, most)) {
            return Fail(platform::Printf(platform::Tr("unknown command '%s'"), command));
        }
        const size_t count = positional.size() - 1;
        if (count < least) {
            return Fail(platform::Printf(platform::Tr("command %s needs an argument"), command));
        }
        if (count > most) {
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
        if (m_options.marks && (m_options.noErase || m_options.noVerify || m_options.lockAfter)) {
            return Fail(
                platform::Tr("--marks takes the window's chain as it is; leave out --no-erase, "
                             "--no-verify and --lock"));
        }
        if (!m_options.simulateModel.empty()) {
            if (!m_options.lptDevice.empty())
                return Fail(platform::Tr("--simulate and --lpt exclude each other"));
            if (m_options.type && *m_options.type == 0) {
                return Fail(platform::Tr("--simulate uses a parallel cable, not --type 0"));
            }
        }
        return true;
    }

    const std::vector<std::string>& m_args;
    CliOptions& m_options;
    std::string& m_error;
    size_t m_i = 0;
};

}  // namespace

bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options,
                     std::string& error) {
    return Parser(args, options, error).Run();
}

const char* CliUsageText() {
    return platform::Tr(R"(NAME
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
    chips           list the chips of ChipList.chip with their row numbers
    settings        print the stored settings record, decoded, and the devices in use
    ports           list the parallel ports, GPIO chips, serial ports (with their USB
                    vendor:product and name) and USBasp programmers found, one a line
    detect          read the signature and select the matching chip
    erase           erase the chip
    write FILE      load FILE (Intel HEX when named *.hex or when its text is HEX records,
                    else raw binary) and write it; FILE - reads standard input
    read [OUT]      read the chip into Buffer 2; with OUT, save Buffer 2 to that file
                    (Intel HEX when OUT ends in .hex or .ihx); OUT - writes it to
                    standard output and moves the status log to standard error
    verify FILE     load FILE, read the chip back and list every differing byte
    lock 1|2|3      write the lock bits in lock mode 1, 2 or 3
    auto [FILE]     the auto-complete chain: load FILE, check ready, detect, erase,
                    write, verify, whatever the window's marks (see --marks)

OPTIONS
    --type 0..4         programmer: 0 serial programmer box, 1 Kestavo cable,
                        2 Atmel ByteBlaster, 3 Altera ByteBlasterMV, 4 Altera ByteBlasterII
    --port 1..4         COM port of the serial programmer box
    --baud RATE         9600, 19200, 28800 or 57600
    --speed 0..2        cable speed: 0 normal, 1 faster, 2 fastest
    --chip NAME|INDEX   the chip to work with (see "chips")
    --lpt DEVICE        parallel port: a ppdev path, io:0x378, gpio:/dev/gpiochipN (lines
                        mapped in Dranvik.ini [GPIO]), or sim[:at89s51|at89s52]
    --com DEVICE        device of the chosen COM port: a tty path, or sim
    --simulate[=MODEL]  a parallel cable on a simulated at89s51 or at89s52 (default
                        at89s52); its flash is kept in $XDG_CACHE_HOME/olstrin/ so
                        that later runs see what earlier ones wrote
    --sim-image PATH    keep the simulated chip's flash in PATH instead
    --no-detect         auto: do not detect the chip first
    --no-erase          auto: leave out the erase step
    --no-verify         auto: leave out the verify step
    --lock 1..3         auto: write the lock bits in that mode after a verify that
                        found no difference
    --marks             auto: run the chain the window's stored marks and detect option
                        make, as the window's auto-complete button does
    --settings DIR      read Dranvik.ini from DIR instead of the window's settings folder
    --timeout SECONDS   longest wait for the programmer's next answer (default 60)
    --lang zh|en        the language of the log and messages: zh the Chinese texts, en
                        English; without it LANGUAGE, LC_ALL, LC_MESSAGES and LANG decide
                        (a zh locale, C, POSIX or none give Chinese, others English)
    --json              print one JSON object per line on standard output instead of
                        the log: every event, log line and progress step, then a
                        summary (docs/cli.md describes the fields)
    -v, --verbose       also print the device, cable and speed in use and each step's
                        duration on standard error
    -q, --quiet         print no status log and no progress (failure reasons still
                        go to standard error)
    -h, --help          print this text
    --version           print the version and the git revision it was built from

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
}
