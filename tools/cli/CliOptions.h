#pragma once

#include <optional>
#include <string>
#include <vector>

#include "session/CSerialNumberRule.h"

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
    std::string ispLink;                 // the --isp words, checked; empty without --isp
    std::vector<std::string> ispLinks;   // every --isp given, one programmer each
    std::vector<std::string> simImages;  // every --sim-image given, one simulated chip each
    int deviceCount = 1;                 // the programmers named, run in parallel when several
    int device = 0;                      // --device: only this one of them (from 1), 0: all
    bool repeat = false;                 // auto chip after chip until stopped
    int goodChips = 0;                   // --count: stop the repeat after this many passed
    std::string simulateModel;           // "at89s51" or "at89s52" with --simulate, else empty
    std::string simImage;
    std::string settingsDir;
    std::string language;  // "zh" or "en" with --lang, else empty: the environment decides
    int timeoutSeconds = 60;
    bool noDetect = false;
    bool noErase = false;
    bool noVerify = false;
    bool marks = false;                       // auto follows the window's stored marks
    std::optional<int> lockAfter;             // auto: lock mode written after a clean verify
    std::optional<CSerialNumberRule> serial;  // auto: the per-chip number placed in the image
    std::string serialFile;                   // where the next number is kept
    bool serialOverwrite = false;             // the number may replace bytes the image uses
    std::string logFile;                      // the run log one JSON line per run is appended to
    std::string projectFile;                  // --project: the project file read
    std::string projectImage;                 // its image, the argument of auto when none is given
    std::string projectSha256;                // the image file's SHA-256 it pins, empty when none
    bool full = false;                        // read: the whole ROM, trailing 0xFF bytes included
    std::string format;  // read: "hex" or "bin" whatever OUT's name, empty: by the name
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
