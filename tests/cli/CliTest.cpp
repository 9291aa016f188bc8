#include <fcntl.h>
#include <gmock/gmock.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "session/SettingsRecord.h"
#include "support/TempDir.h"

namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

// The shell form of one argument.
std::string Quoted(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs olstrin-cli with its cache and settings in a temporary folder, so runs never touch the
// user's files and a simulated chip keeps its flash between the runs of one test. The locale is
// LANG alone (C.UTF-8 unless a test sets lang), whatever the caller's environment holds.
class CliTest : public ::testing::Test {
protected:
    // The shell command that runs olstrin-cli with the arguments, its error stream to a file.
    std::string Command(const std::vector<std::string>& args) {
        std::filesystem::create_directories(dir.File("cfg"));
        std::string command = "LANGUAGE= LC_ALL= LC_MESSAGES= LANG=" + Quoted(lang) +
                              " XDG_CACHE_HOME=" + Quoted(dir.File("cache")) + " " +
                              Quoted(OLSTRIN_CLI) + " --settings " + Quoted(dir.File("cfg"));
        for (const std::string& arg : args) command += " " + Quoted(arg);
        return command + " 2>" + Quoted(dir.File("stderr"));
    }

    // Runs a shell command; out is what it prints, err what olstrin-cli printed on its errors.
    CliResult Shell(const std::string& command) {
        CliResult result;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe) return result;
        char chunk[4096];
        size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) result.out.append(chunk, n);
        const int raw = ::pclose(pipe);
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.err = dir.Read("stderr");
        return result;
    }

    // Runs olstrin-cli; shellTail follows the command (redirections, a background job).
    CliResult Run(const std::vector<std::string>& args, const std::string& shellTail = "") {
        return Shell(Command(args) + shellTail);
    }

    TempDir dir;
    const std::string hex = OLSTRIN_EXAMPLE_HEX;
    std::string lang = "C.UTF-8";
};

// The whole log of the example's auto run, ending in a clean verify, in each language.
std::string ChineseAutoLog(const std::string& cache, const std::string& hex) {
    return "初始化并口完成.\n使用模拟器件AT89S52(闪存文件 " + cache +
           "/olstrin/sim-at89s52.bin).\n读入文件 " + hex +
           " 到缓冲1(478字节).\n编程器:就绪.\n编程器:检测到器件(特征字:1e 52 06).\n"
           "AT89S52 - ROM容量:8K字节. 编程电压:5.00V.\n编程器:擦除器件完成.\n"
           "编程器:写器件完成.\n编程器:读器件完成.\n数据已经保存到缓冲2.\n"
           "-------------------效验开始------------------\n共发现    0个单元不对!\n"
           "-------------------效验结束------------------\n";
}

std::string EnglishAutoLog(const std::string& cache, const std::string& hex) {
    return "Parallel port initialized.\nUsing simulated chip AT89S52 (flash file " + cache +
           "/olstrin/sim-at89s52.bin).\nRead file " + hex +
           " into buffer 1 (478 bytes).\nProgrammer: ready.\n"
           "Programmer: chip detected (signature: 1e 52 06).\n"
           "AT89S52 - ROM size: 8K bytes. Programming voltage: 5.00V.\n"
           "Programmer: chip erased.\nProgrammer: chip written.\nProgrammer: chip read.\n"
           "Data saved to buffer 2.\n-------------------Verify start--------------\n"
           "Found     0 differences.\n-------------------Verify end----------------\n";
}

TEST_F(CliTest, ChipsListsTheChipDatabase) {
    const CliResult result = Run({"chips"});
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(result.out, HasSubstr("AT89S51"));
    EXPECT_THAT(result.out, HasSubstr(" 1  AT89S52"));
}

TEST_F(CliTest, SimulatedAutoCompleteOfTheExampleSucceedsWithoutWritingSettings) {
    const CliResult result = Run({"--simulate", "auto", hex});
    EXPECT_EQ(result.status, 0) << result.err;
    // The simulated target says so right after the port's init line.
    EXPECT_EQ(result.out, ChineseAutoLog(dir.File("cache"), hex));
    EXPECT_EQ(result.err, "olstrin-cli: success\n");  // not a terminal: no progress bar
    EXPECT_EQ(dir.Read("cfg/Dranvik.ini"), "");
}

TEST_F(CliTest, EnglishLocaleGivesTheEnglishLogAndLangOverridesTheLocale) {
    lang = "en_US.UTF-8";  // not generated on most test machines: the variable alone decides
    const CliResult english = Run({"--simulate", "auto", hex});
    EXPECT_EQ(english.status, 0) << english.err;
    EXPECT_EQ(english.out, EnglishAutoLog(dir.File("cache"), hex));
    EXPECT_TRUE(std::all_of(english.out.begin(), english.out.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
    EXPECT_EQ(Run({"--lang", "zh", "--simulate", "auto", hex}).out,
              ChineseAutoLog(dir.File("cache"), hex));
    lang = "C";
    EXPECT_EQ(Run({"--lang=en", "--simulate", "auto", hex}).out,
              EnglishAutoLog(dir.File("cache"), hex));
    EXPECT_EQ(Run({"--lang", "de", "chips"}).status, 2);
}

// Chinese chosen by --lang (wherever it stands) or by a zh locale turns our own messages Chinese
// too; a C locale keeps them as written.
TEST_F(CliTest, ChineseRunsGiveUsageErrorsAndReasonsInChinese) {
    EXPECT_EQ(Run({"--lock", "9", "--lang", "zh", "detect"}).err,
              "olstrin-cli: 选项--lock只能取1..3,不能是'9'\n用'olstrin-cli --help'查看更多说明.\n");
    const CliResult noChip = Run({"--lang=zh", "--simulate", "--chip", "AT89X", "detect"});
    EXPECT_EQ(noChip.err, "olstrin-cli: 器件列表中没有器件'AT89X'(见'chips')\n");
    EXPECT_EQ(Run({"--lang", "zh", "--simulate", "erase"}).err, "olstrin-cli: 成功\n");
    lang = "zh_CN.UTF-8";
    EXPECT_THAT(Run({"--bogus"}).err, HasSubstr("未知选项--bogus"));
    lang = "C";
    EXPECT_THAT(Run({"--bogus"}).err, HasSubstr("unknown option --bogus"));
}

TEST_F(CliTest, WriteThenVerifyInTwoRunsAgreeAndADifferentImageFails) {
    const std::string image = dir.File("flash.bin");
    EXPECT_EQ(Run({"--simulate", "--sim-image", image, "erase"}).status, 0);
    const CliResult write = Run({"--simulate", "--sim-image", image, "write", hex});
    EXPECT_EQ(write.status, 0) << write.err;
    EXPECT_THAT(write.out, HasSubstr("编程器:写器件完成."));

    const CliResult verify = Run({"--simulate", "--sim-image", image, "-q", "verify", hex});
    EXPECT_EQ(verify.status, 0) << verify.err;
    EXPECT_EQ(verify.out, "");

    const std::string other = dir.Write("other.bin", std::string("\x75\x81", 2));
    const CliResult differ = Run({"--simulate", "--sim-image", image, "verify", other});
    EXPECT_EQ(differ.status, 1);
    EXPECT_THAT(differ.out, HasSubstr("    00001 - 地址:0000  写:75  读:02\n"));
    EXPECT_THAT(differ.out, Not(HasSubstr("共发现    0个")));

    // Reading back saves what was written, without the erased tail.
    const CliResult read = Run({"--simulate", "--sim-image", image, "read", dir.File("back.bin")});
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(dir.Read("back.bin").substr(0, 3), std::string("\x02\x00\x06", 3));
    EXPECT_NE(dir.Read("back.bin").back(), '\xFF');
}

// The emulated Arduino on a pseudo-terminal programs the simulated chip as the cable does: the
// link's line follows the port's, and the flash and lock level last across runs.
TEST_F(CliTest, ArduinoLinkDetectsWritesVerifiesAndLocks) {
    const std::string image = dir.File("flash.bin");
    const auto isp = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--isp", "arduino:sim", "--sim-image", image});
        return Run(args);
    };
    const CliResult detect = isp({"detect"});
    EXPECT_EQ(detect.status, 0) << detect.err;
    EXPECT_THAT(detect.out, StartsWith("初始化并口完成.\n使用Arduino ISP(/dev/pts/"));
    EXPECT_THAT(detect.out, HasSubstr(").\n使用模拟器件AT89S52(闪存文件 " + image + ").\n"));
    EXPECT_THAT(detect.out, HasSubstr("编程器:检测到器件(特征字:1e 52 06)."));
    EXPECT_EQ(isp({"erase"}).status, 0);
    const CliResult write = isp({"write", hex});
    EXPECT_EQ(write.status, 0) << write.err;
    EXPECT_THAT(write.out, HasSubstr("编程器:写器件完成."));
    EXPECT_EQ(isp({"-q", "verify", hex}).status, 0);
    EXPECT_EQ(isp({"read", dir.File("back.bin")}).status, 0);
    EXPECT_EQ(dir.Read("back.bin").substr(0, 3), std::string("\x02\x00\x06", 3));
    EXPECT_THAT(isp({"lock", "3"}).out, HasSubstr("编程器:写锁定位完成."));
    EXPECT_THAT(isp({"read"}).out, HasSubstr("编程器:器件已加密,无法读出."));
}

// Without --chip or detection the simulated model's row is used, and says so: an 8 KiB image
// fits the AT89S52, the AT89S51 reads back 4 KiB. Refused writes and locks give their reason.
TEST_F(CliTest, SimulatedModelChoosesTheChipAndChipFailuresSayWhy) {
    const std::vector<std::string> sim = {"--simulate", "--sim-image", dir.File("flash.bin")};
    const auto with = [&](std::vector<std::string> args) {
        args.insert(args.begin(), sim.begin(), sim.end());
        return Run(args);
    };
    const std::string big = dir.Write("big.bin", std::string(8192, '\x12'));
    const CliResult write = with({"write", big});
    EXPECT_EQ(write.status, 0) << write.err;
    EXPECT_THAT(write.out, HasSubstr("初始化并口完成.\n使用模拟器件AT89S52(闪存文件 "));
    EXPECT_THAT(write.out, HasSubstr(").\n未检测器件,假定为AT89S52.\n读入文件 "));
    EXPECT_THAT(Run({"--simulate", "detect"}).out, Not(HasSubstr("假定")));

    const CliResult over = with({"write", dir.Write("small.bin", std::string(2, '\x34'))});
    EXPECT_EQ(over.status, 1);
    EXPECT_THAT(over.out, HasSubstr("编程器:写器件时发生错误.\n"));
    EXPECT_THAT(over.err, HasSubstr("write failed at address 0x0000: wrote 0x34, read back 0x10 "
                                    "(the chip is not blank: erase first)\n"));

    EXPECT_EQ(with({"lock", "3"}).status, 0);
    const CliResult lower = with({"lock", "1"});
    EXPECT_EQ(lower.status, 1);
    EXPECT_THAT(lower.err, HasSubstr("the chip did not confirm lock mode 1 (lock bits only go up: "
                                     "erase to clear them)\n"));

    const CliResult small =
        Run({"--simulate=at89s51", "--json", "--full", "read", dir.File("51.bin")});
    EXPECT_EQ(small.status, 0) << small.err;
    EXPECT_THAT(small.out, HasSubstr("\"chip\":{\"name\":\"AT89S51\""));
    EXPECT_EQ(dir.Read("51.bin").size(), 4096u);
}

// read trims the erased tail unless --full; --format overrides the name, on standard output too;
// blank names the first byte in use and answers in its exit status.
TEST_F(CliTest, ReadSavesWhatTheOptionsAskAndBlankChecks) {
    const std::vector<std::string> sim = {"--simulate", "--sim-image", dir.File("flash.bin"), "-q"};
    const auto with = [&](std::vector<std::string> args) {
        args.insert(args.begin(), sim.begin(), sim.end());
        return Run(args);
    };
    const CliResult blank = Run({"--simulate", "--sim-image", dir.File("flash.bin"), "blank"});
    EXPECT_EQ(blank.status, 0);
    EXPECT_THAT(blank.out, EndsWith("数据已经保存到缓冲2.\n器件为空.\n"));
    ASSERT_EQ(with({"write", dir.Write("img.bin", std::string("\xFF\xFF\x34\x12", 4))}).status, 0);
    const CliResult used = Run({"--simulate", "--sim-image", dir.File("flash.bin"), "blank"});
    EXPECT_EQ(used.status, 1);
    EXPECT_THAT(used.out, EndsWith("数据已经保存到缓冲2.\n器件不为空,地址0002为34.\n"));

    EXPECT_EQ(with({"read", dir.File("trim.bin")}).status, 0);
    EXPECT_EQ(dir.Read("trim.bin"), std::string("\xFF\xFF\x34\x12", 4));
    EXPECT_EQ(with({"--full", "read", dir.File("full.bin")}).status, 0);
    EXPECT_EQ(dir.Read("full.bin").size(), 8192u);
    EXPECT_EQ(with({"--format", "bin", "read", dir.File("raw.hex")}).status, 0);
    EXPECT_EQ(dir.Read("raw.hex"), std::string("\xFF\xFF\x34\x12", 4));
    const CliResult out = with({"--format=hex", "read", "-"});
    EXPECT_EQ(out.out, ":04000000FFFF3412B8\r\n:00000001FF\r\n");
    EXPECT_EQ(with({"--format", "ihx", "read", "-"}).status, 2);
    EXPECT_EQ(with({"--full", "detect"}).status, 2);
}

// On a terminal the bar tells the rate and the time left; JSON has one event per percentage.
TEST_F(CliTest, ProgressTellsTimeAndJsonNeverRepeatsAPercentage) {
    const std::string image = dir.Write("img.bin", std::string(8192, '\x5A'));
    const CliResult json = Run({"--simulate", "--json", "--no-detect", "auto", image});
    EXPECT_EQ(json.status, 0) << json.err;
    // Between two log lines (one transfer) no percentage comes twice.
    int progressRows = 0;
    std::string last;
    std::istringstream rows(json.out);
    for (std::string row; std::getline(rows, row);) {
        const size_t at = row.find("\"percent\":");
        const std::string percent =
            at == std::string::npos ? "" : row.substr(at, row.find(',', at) - at);
        if (!percent.empty()) {
            ++progressRows;
            EXPECT_NE(percent, last) << row;
        }
        last = percent;
    }
    EXPECT_GT(progressRows, 4);

    if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1)";
    std::string command = Command({"--simulate", "--no-detect", "auto", image});
    command.resize(command.rfind(" 2>"));
    const CliResult tty = Shell("script -qec " + Quoted(command) + " /dev/null");
    EXPECT_EQ(tty.status, 0) << tty.out;
    EXPECT_THAT(tty.out, testing::ContainsRegex("% 正在写:[0-9A-F]{4}/1FFF, [0-9]+\\.[0-9] KB/s, "
                                                "[0-9]+ s left"));
}

// auto runs the same chain whatever the window stored; --marks takes the stored chain; options
// leave steps out; the settings file is never written.
TEST_F(CliTest, AutoChainIsTheSameWhateverTheWindowStored) {
    SettingsRecord record = InitialSettings();
    record.bMarkErase = 0;
    record.bMarkVerify = 0;
    record.bAutoDetect = 0;
    std::filesystem::create_directories(dir.File("cfg"));
    ASSERT_TRUE(WriteSettingsRecord(dir.File("cfg/Dranvik.ini"), record));
    const std::string before = dir.Read("cfg/Dranvik.ini");

    const CliResult full = Run({"--simulate=at89s51", "auto", hex});
    EXPECT_EQ(full.status, 0) << full.err;
    for (const char* line : {"检测到器件", "擦除器件完成", "写器件完成", "共发现    0个"}) {
        EXPECT_THAT(full.out, HasSubstr(line));
    }
    const CliResult stored = Run({"--simulate=at89s51", "--marks", "auto", hex});
    EXPECT_EQ(stored.status, 0) << stored.err;
    EXPECT_THAT(stored.out, Not(HasSubstr("擦除")));
    EXPECT_THAT(stored.out, Not(HasSubstr("检测到器件")));
    EXPECT_THAT(stored.out, Not(HasSubstr("效验")));

    const CliResult less = Run({"--simulate=at89s51", "--no-detect", "--no-erase", "--no-verify",
                                "--chip", "AT89S51", "auto", hex});
    EXPECT_EQ(less.status, 0) << less.err;
    EXPECT_THAT(less.out, HasSubstr("编程器:写器件完成."));
    EXPECT_THAT(less.out, Not(HasSubstr("擦除")));
    EXPECT_EQ(dir.Read("cfg/Dranvik.ini"), before);
}

// --json: every line parses as one object; the summary names the chip, the image's digest, the
// verify's count and the steps; --lock follows a clean verify.
TEST_F(CliTest, JsonLinesEndInASummary) {
    const CliResult result = Run({"--simulate", "--json", "--lock", "2", "auto", hex});
    EXPECT_EQ(result.status, 0) << result.err;
    const std::string script =
        "import json,sys\n"
        "rows=[json.loads(l) for l in open(sys.argv[1],encoding='utf-8')]\n"
        "s=rows[-1]\n"
        "assert all(r['type'] in ('event','log','progress','difference','summary') for r in rows)\n"
        "assert {'type':'event','code':9,'name':'PE_ERASE_DONE'} in rows\n"
        "assert {'type':'log','text':'编程器:写锁定位完成.'} in rows\n"
        "print(s['result'],s['exit_status'],s['chip']['name'],s['chip']['signature'],"
        "s['image']['data_bytes'],s['image']['sha256'],s['differences'],"
        "[x['step'] for x in s['steps']])\n";
    dir.Write("rows.json", result.out);
    dir.Write("check.py", script);
    const CliResult checked =
        Shell("python3 " + Quoted(dir.File("check.py")) + " " + Quoted(dir.File("rows.json")));
    EXPECT_EQ(checked.out,
              "success 0 AT89S52 1E 52 06 143 "
              "285b00df5a7f7148cd95e4f794c905d2e020ccdbe119abbd62d799d8dd5def46 0 "
              "['ready', 'detect', 'erase', 'write', 'read', 'lock']\n");
}

TEST_F(CliTest, SerialBoxRunsTheChainAndASilentPortTimesOut) {
    const CliResult box = Run({"--type", "0", "--port", "2", "--com", "sim", "auto", hex});
    EXPECT_EQ(box.status, 0) << box.err;
    EXPECT_THAT(
        box.out,
        StartsWith("初始化串口通讯完成.\n使用模拟器件AT89S52(闪存不保存).\n编程器:就绪.\n"));
    EXPECT_THAT(box.out, HasSubstr("编程器:写器件完成.\n编程器:就绪.\n编程器:读器件开始.\n"));

    // A terminal nobody answers on: the ready check waits until the command line gives up.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const CliResult silent =
        Run({"--type", "0", "--com", ::ptsname(master), "--timeout", "1", "detect"});
    ::close(master);
    EXPECT_EQ(silent.status, 1);
    EXPECT_THAT(silent.err, HasSubstr("error: no answer from the programmer within 1 s"));
}

TEST_F(CliTest, MissingFileFailsBeforeTheChipIsTouched) {
    const CliResult result = Run({"--simulate", "write", dir.File("missing.bin")});
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.out, HasSubstr("打开文件失败.\n"));
    EXPECT_THAT(result.out, Not(HasSubstr("编程器")));
}

TEST_F(CliTest, InvalidCommandLinesExitWith2) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--bogus", "detect"},
                                               {"frobnicate"},
                                               {},
                                               {"lock", "4"},
                                               {"write"},
                                               {"--baud", "1200", "detect"},
                                               {"--type", "0", "--simulate", "detect"},
                                               {"--simulate", "--chip", "Z80", "detect"},
                                               {"--simulate", "read", ""},
                                               {"--lock", "2", "--no-verify", "auto"},
                                               {"--marks", "--no-erase", "auto"},
                                               {"--isp", "arduino:", "detect"},
                                               {"--isp", "arduino:sim", "--type", "0", "detect"},
                                               {"--isp", "usbasp", "--simulate", "detect"},
                                               {"--settings", dir.File("none"), "detect"}}) {
        const CliResult result = Run(args);
        EXPECT_EQ(result.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_THAT(result.err, StartsWith("olstrin-cli: "));
    }
    EXPECT_THAT(Run({"read", ""}).err, HasSubstr("takes a file name"));
    // Bad values are named; numbers follow one rule; a value given twice is refused.
    for (const auto& [args, named] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--lpt", "gpio:", "detect"}, "'gpio:'"},
             {{"--lpt", "sim:at89s53", "detect"}, "'sim:at89s53'"},
             {{"--lpt", "io:0x37G", "detect"}, "'io:0x37G'"},
             {{"--lpt", "sim:", "detect"}, "'sim:'"},
             {{"--lock", "01", "auto"}, "'01'"},
             {{"--lock", " 1", "auto"}, "' 1'"},
             {{"--timeout", "+5", "detect"}, "'+5'"},
             {{"--lock", "1", "--lock", "2", "auto"}, "--lock"}}) {
        const CliResult result = Run(args);
        EXPECT_EQ(result.status, 2) << named;
        EXPECT_THAT(result.err, HasSubstr(named));
    }
    const CliResult help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("SYNOPSIS"));
    // Entries made from the tables: the label's column and the help's continued lines.
    EXPECT_THAT(help.out, HasSubstr("\n    read [OUT]      read the chip into Buffer 2; with OUT, "
                                    "save Buffer 2 to that file\n                    (Intel HEX"));
    EXPECT_THAT(help.out,
                HasSubstr("\n    --simulate[=MODEL]  a parallel cable on a simulated "
                          "at89s51 or at89s52 (default\n                        at89s52)"));
    EXPECT_THAT(help.out, HasSubstr("\n    -q, --quiet         print no status log"));
}

// "-" is standard input for images and standard output for a read; the log then moves to the error
// stream so the image stays clean.
TEST_F(CliTest, StandardInputAndOutputCarryImages) {
    const CliResult write = Run({"--simulate", "auto", "-"}, " <" + Quoted(hex));
    EXPECT_EQ(write.status, 0) << write.err;
    EXPECT_THAT(write.out, HasSubstr("读入文件 /dev/stdin 到缓冲1(478字节)."));
    EXPECT_THAT(write.out, HasSubstr("共发现    0个单元不对!"));

    const CliResult read = Run({"--simulate", "read", "-"});
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(read.out.substr(0, 3), std::string("\x02\x00\x06", 3));
    EXPECT_THAT(read.err, HasSubstr("缓冲2保存到文件 -("));
    EXPECT_THAT(read.err, EndsWith("olstrin-cli: success\n"));

    const CliResult zero = Run({"--simulate", "write", "/dev/zero"});
    EXPECT_EQ(zero.status, 1);
    EXPECT_THAT(zero.out, HasSubstr("打开文件失败."));
    EXPECT_THAT(zero.err, HasSubstr("/dev/zero: not a regular file"));
}

// A reader that goes away must neither kill a chip operation half-way nor leave a success line.
// Every line of --json parses, whatever bytes a file name holds, for every command; a failed
// load reports no image and a run without a detection no signature, yet the chip it would have
// used (the simulated model's row, not the programmer's default).
TEST_F(CliTest, JsonParsesForEveryCommandAndReportsOnlyWhatWasRead) {
    const std::string name = dir.Write("n\xff\xc3.bin", "\x02\x00");
    std::string lines;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--json", "--simulate", "auto", name},
             {"--json", "chips"},
             {"--json", "settings"},
             {"--version", "--json"},
             {"--json", "--simulate", "write", dir.File("none")}}) {
        lines += Run(args).out;
    }
    dir.Write("rows.json", lines);
    dir.Write("check.py",
              "import json,sys\n"
              "rows=[json.loads(l) for l in open(sys.argv[1],encoding='utf-8',errors='strict')]\n"
              "s=[r for r in rows if r['type']=='summary']\n"
              "print(s[0]['image']['path'][-7:],s[1]['image'],s[1]['chip'],\n"
              "  sorted({r['type'] for r in rows}))\n");
    EXPECT_EQ(
        Shell("python3 " + Quoted(dir.File("check.py")) + " " + Quoted(dir.File("rows.json"))).out,
        "n\u00ff\u00c3.bin None {'name': 'AT89S52', 'signature': None} ['chip', 'event', "
        "'log', 'progress', 'settings', 'summary', 'version']\n");
}

TEST_F(CliTest, ClosedOutputFailsAfterTheOperationEnds) {
    const CliResult result = Shell("{ " + Command({"--simulate", "auto", hex}) + "; echo $? >" +
                                   Quoted(dir.File("rc")) + "; } | head -c 1 >/dev/null");
    EXPECT_EQ(dir.Read("rc"), "1\n");
    EXPECT_THAT(result.err, HasSubstr("standard output could not be written"));
    EXPECT_THAT(result.err, EndsWith("olstrin-cli: failed\n"));
}

// SIGTERM while the programmer is waited for: one line, exit 143, no closing word.
TEST_F(CliTest, SignalStopsTheRunWithItsOwnStatus) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const CliResult result =
        Run({"--type", "0", "--com", ::ptsname(master), "--timeout", "5", "detect"},
            " & sleep 0.5; kill -TERM $!; wait $!");
    ::close(master);
    EXPECT_EQ(result.status, 143);
    EXPECT_THAT(result.err, EndsWith("olstrin-cli: interrupted by SIGTERM; the programmer was "
                                     "stopped\n"));
    EXPECT_THAT(result.err, Not(HasSubstr("failed")));
}

// A simulated flash file in a folder that does not exist fails the port's start.
TEST_F(CliTest, SimulatedFlashFileMustHaveAFolder) {
    const CliResult missing =
        Run({"--simulate", "--sim-image", dir.File("no/flash.bin"), "detect"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_THAT(missing.out, HasSubstr("初始化并口失败."));
    EXPECT_THAT(missing.err, HasSubstr(dir.File("no/flash.bin") + ": No such file or directory"));
}

// Control characters in a file name are printed escaped, never sent to the terminal.
TEST_F(CliTest, ControlCharactersArePrintedEscaped) {
    const CliResult loaded = Run({"--simulate", "write", dir.Write("a\x1b[2Jb.bin", "\x02")});
    EXPECT_THAT(loaded.out, HasSubstr("a\\x1B[2Jb.bin 到缓冲1(1字节)."));
    const CliResult missing = Run({"--simulate", "write", dir.File("c\rd.bin")});
    EXPECT_THAT(missing.err, HasSubstr("c\\x0Dd.bin: No such file"));
    EXPECT_EQ((loaded.out + missing.err).find_first_of("\x1b\r"), std::string::npos);

    // A backslash is escaped too; settings values and -v lines are escaped as the log is.
    EXPECT_THAT(Run({"--simulate", "write", dir.Write("e\\x09f.bin", "\x02")}).out,
                HasSubstr("/e\\\\x09f.bin 到缓冲1"));
    dir.Write("cfg/Dranvik.ini", "[Devices]\nLPT=sim\x1b]0;t\x07\xc2\x9b\n");
    const std::string shown = "sim\\x1B]0;t\\x07\\xC2\\x9B";
    EXPECT_THAT(Run({"settings"}).out, HasSubstr("parallel port     " + shown + "\n"));
    EXPECT_THAT(Run({"-v", "--type", "1", "chips"}).err + Run({"-v", "--type", "1", "detect"}).err,
                HasSubstr("on " + shown + ", speed"));
}

// Standard streams closed at start are never taken by the files the run opens: the simulated
// flash stays the chip's image. A run whose log had nowhere to go fails; a quiet one succeeds.
TEST_F(CliTest, ClosedStandardStreamsFailTheLogNotTheFiles) {
    const std::string rc = " ; echo $? >" + Quoted(dir.File("rc"));
    Shell(Command({"--simulate", "auto", hex}) + " >&- 2>&-" + rc);
    EXPECT_EQ(dir.Read("rc"), "1\n");
    EXPECT_EQ(dir.Read("cache/olstrin/sim-at89s52.bin").substr(0, 3),
              std::string("\x02\x00\x06", 3));
    const CliResult closedOut = Run({"--simulate", "auto", hex}, " >&-");
    EXPECT_THAT(closedOut.err,
                EndsWith("standard output could not be written\nolstrin-cli: failed\n"));
    Shell(Command({"--simulate", "-q", "verify", hex}) + " >&- 2>&-" + rc);
    EXPECT_EQ(dir.Read("rc"), "0\n");
    Shell(Command({"--version"}) + " >&-" + rc);
    EXPECT_EQ(dir.Read("rc"), "1\n");
}

// The stored record in words, with the devices the settings lead to.
TEST_F(CliTest, SettingsCommandDecodesTheStoredRecord) {
    SettingsRecord record = InitialSettings();
    record.nProgrammerType = 0;
    record.nComPort = 2;
    record.nBaudIndex = 3;
    record.bMarkErase = 0;
    std::filesystem::create_directories(dir.File("cfg"));
    ASSERT_TRUE(WriteSettingsRecord(dir.File("cfg/Dranvik.ini"), record));
    const CliResult result = Run({"settings"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("programmer        0 (serial programmer box)\n"));
    EXPECT_THAT(result.out, HasSubstr("serial port       COM2 = /dev/ttyS1\n"));
    EXPECT_THAT(result.out, HasSubstr("baud rate         57600\n"));
    EXPECT_THAT(result.out, HasSubstr("open yes, erase no, write yes"));
}

// A device that cannot be opened: the designed line on standard output, the path and the system's
// reason on standard error.
TEST_F(CliTest, PortFailuresGiveTheirReasonOnStandardError) {
    const std::string absent = dir.File("ttyUSB9");
    const CliResult missing = Run({"--type", "0", "--com", absent, "detect"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_THAT(missing.out, HasSubstr("初始化串口通讯失败."));
    EXPECT_THAT(missing.err, HasSubstr(absent + ": No such file or directory\n"));

    const std::string locked = dir.Write("ttyS9", "");
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    if (::geteuid() == 0) GTEST_SKIP() << "root may open a file of mode 000";
    const CliResult denied = Run({"--type", "0", "--com", locked, "detect"});
    EXPECT_EQ(denied.status, 1);
    EXPECT_THAT(denied.err, HasSubstr(locked + ": Permission denied\n"));
}

// No chip on the cable: the read fails at programming enable and the user's file stays as it was.
TEST_F(CliTest, ReadWithoutAChipFailsAndLeavesTheFileAlone) {
    const std::string file = dir.Write("b.bin", "keep me");
    const CliResult read =
        Run({"--lpt", "sim:nochip", "--type", "1", "--chip", "AT89S52", "read", file});
    EXPECT_EQ(read.status, 1);
    EXPECT_THAT(read.out, HasSubstr("编程器:器件没有响应编程使能.\n"));
    EXPECT_THAT(read.out, Not(HasSubstr("编程器:读器件完成.")));
    EXPECT_THAT(read.err, HasSubstr("the chip did not answer programming enable: check power, "
                                    "crystal, wiring and RST\n"));
    EXPECT_EQ(dir.Read("b.bin"), "keep me");
}

// A chip that answers page reads with 0xFF is read byte by byte once that shows, and says so once.
TEST_F(CliTest, ChipIgnoringPageReadsIsVerifiedByteByByte) {
    std::string image(600, '\0');  // two whole pages and a tail
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 + 1);
    const CliResult run = Run({"--lpt", "sim:nopageread", "--type", "1", "--chip", "AT89S52",
                               "auto", dir.Write("image.bin", image)});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string line = "器件不支持页读取,改用逐字节读取.\n";
    const auto first = run.out.find(line);
    ASSERT_NE(first, std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(line, first + 1), std::string::npos);
    EXPECT_THAT(run.out, HasSubstr("共发现    0个单元不对!"));
}

}  // namespace

// ports: the same devices as text lines and as JSON objects, whatever this machine has.
TEST_F(CliTest, PortsGivesOneLineOrObjectPerDevice) {
    const CliResult text = Run({"ports"});
    const CliResult json = Run({"--json", "ports"});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(std::count(text.out.begin(), text.out.end(), '\n'),
              std::count(json.out.begin(), json.out.end(), '\n'));
    size_t start = 0;
    for (size_t end; (end = json.out.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = json.out.substr(start, end - start);
        EXPECT_THAT(line, StartsWith("{\"type\":\"port\",\"kind\":\""));
        EXPECT_THAT(line, EndsWith("}"));
    }
}
