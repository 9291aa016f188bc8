#pragma once

#include <cstdio>
#include <string>

#include "session/SettingsRecord.h"

// The stored settings in words, for "olstrin-cli settings" and -v: the record in Dranvik.ini is a
// checksummed hex blob nobody can read by eye.

// The parallel port device in use: the --lpt override or Dranvik.ini [Devices] LPT, or the
// default ppdev path.
std::string LptDeviceLine();
// The device COM port names: the --com override, Dranvik.ini [Devices] COMn, or the default.
std::string ComDeviceLine(int comPort);

// Prints every field of the record, decoded, and the devices it leads to: one line per field
// (values from files escaped), or with json one JSON object.
void PrintSettings(const SettingsRecord& record, std::FILE* out, bool json);
