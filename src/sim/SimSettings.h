#pragma once

#include <string>

// Process-wide settings for the simulated chips that the simulated cable and the simulated
// programmer box create. Set them before the chip is created (normally from the command line at
// start-up); every chip created afterwards picks them up. Any thread may call these.

// When non-empty, every simulated chip created afterwards keeps its flash in this file, so that a
// later run sees what an earlier one wrote.
void SetSimFlashFile(const std::string& path);
std::string SimFlashFile();

// How many reads of an address being programmed return the datum with bit 7 inverted before the
// programmed value shows (default 2; negative values count as 0).
void SetSimBusyReads(int reads);
int SimBusyReads();

// How long a simulated chip erase takes in milliseconds (default 0: at once; negative values count
// as 0). Only chips that model the erase time use it.
void SetSimEraseMs(int ms);
int SimEraseMs();

// The same functions under the simulator's namespace, for callers that spell them sim::...
namespace sim {
using ::SetSimBusyReads;
using ::SetSimEraseMs;
using ::SetSimFlashFile;
using ::SimBusyReads;
using ::SimEraseMs;
using ::SimFlashFile;
}  // namespace sim
