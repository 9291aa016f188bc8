#pragma once

#include <string>

// Process-wide settings for the simulated chips that the simulated cable and the simulated
// programmer box create. Set them before the chip is created (normally from the command line at
// start-up); every chip created afterwards picks them up. Any thread may call these.

// When non-empty, every simulated chip created afterwards keeps its flash in this file, so that a
// later run sees what an earlier one wrote.
void SetSimFlashFile(const std::string& path);
std::string SimFlashFile();

// The file where a simulated chip of the model ("at89s51" or "at89s52", any case; empty for the
// default AT89S52) keeps its flash from one run to the next, shared by the window and the CLI:
// $XDG_CACHE_HOME/olstrin/sim-at89s52.bin. Empty for a model the simulator does not know.
std::string KeptSimFlashFile(const std::string& model);

// How many reads of an address being programmed return the datum with bit 7 inverted before the
// programmed value shows (default 2; negative values count as 0).
void SetSimBusyReads(int reads);
int SimBusyReads();

// How long a simulated chip erase takes in milliseconds (default 0: at once; negative values count
// as 0). Only chips that model the erase time use it.
void SetSimEraseMs(int ms);
int SimEraseMs();

// The simulated chip in use, so the front ends can say that the target is simulated: a chip
// notes its model name and flash file (empty when it keeps none) when it is made and forgets
// them when it goes. SimulatedChipText is empty while no simulated chip exists, else a status-log
// line naming the model and the flash file.
void NoteSimulatedChip(const void* chip, const std::string& model, const std::string& flashFile);
void ForgetSimulatedChip(const void* chip);
std::string SimulatedChipText();
// The model name of the simulated chip in use, empty while none exists.
std::string SimulatedChipModel();

// The same functions under the simulator's namespace, for callers that spell them sim::...
namespace sim {
using ::KeptSimFlashFile;
using ::SetSimBusyReads;
using ::SetSimEraseMs;
using ::SetSimFlashFile;
using ::SimBusyReads;
using ::SimEraseMs;
using ::SimFlashFile;
using ::SimulatedChipModel;
using ::SimulatedChipText;
}  // namespace sim
