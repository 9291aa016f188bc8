#pragma once

#include <optional>
#include <string>
#include <vector>

// What one olstrin-cli run was asked to do: the command, its argument and the overrides of the
// stored settings that apply to this run only.
struct CliOptions {
    std::string command;   // chips, settings, detect, erase, write, read, blank, verify, lock, auto
    std::string argument;  // FILE, OUT or the lock level; empty when none was given
    std::optional<int> type;
    std::optional<int> port;
    std::optional<int> baudIndex;
    std::optional<int> speed;
    std::string chip;  // NAME or INDEX, empty to keep the stored chip
    std::string lptDevice;
    std::string comDevice;
    std::string ispLink;        // the --isp words, checked; empty without --isp
    std::string simulateModel;  // "at89s51" or "at89s52" with --simulate, else empty
    std::string simImage;
    std::string settingsDir;
    std::string language;  // "zh" or "en" with --lang, else empty: the environment decides
    int timeoutSeconds = 60;
    bool noDetect = false;
    bool noErase = false;
    bool noVerify = false;
    bool marks = false;            // auto follows the window's stored marks
    std::optional<int> lockAfter;  // auto: lock mode written after a clean verify
    bool full = false;             // read: the whole ROM, trailing 0xFF bytes included
    std::string format;            // read: "hex" or "bin" whatever OUT's name, empty: by the name
    bool json = false;
    bool verbose = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

// Parses the arguments after the program name. False with a one-line reason in error when they
// do not form a valid run; --help and --version are valid on their own.
bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error);

// The value of the first --lang in args ("--lang zh", "--lang=en"), empty without one: read before
// the parse so that its usage errors already come in the chosen language.
std::string LanguageArgument(const std::vector<std::string>& args);

// The usage text that --help prints, in the manner of a manual page, made from the tables of
// commands and options the parser reads.
std::string CliUsageText();
