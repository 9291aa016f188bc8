#pragma once

#include <string>
#include <vector>

#include "core/ChipInfo.h"

// The chip database in its editable text form: one chip per line, tab-separated name, algorithm
// code, ROM KB, voltage and signature ("1E 51 06"); '#' starts a comment line.
namespace chiptable {

// Checks one row's fields and builds its record; on failure returns false and says why in error.
bool MakeRecord(const std::string& name, const std::string& code, const std::string& romKb,
                const std::string& voltage, const std::string& signature, ChipInfo& out,
                std::string& error);

// Parses the whole text; on failure names the line in error.
bool ParseTsv(const std::string& text, std::vector<ChipInfo>& out, std::string& error);

// One line per record: index, name, code, ROM KB, voltage and signature, under a heading.
std::string FormatTable(const std::vector<ChipInfo>& chips);

// The signature as "1E 51 06".
std::string SignatureText(const ChipInfo& chip);

}  // namespace chiptable
