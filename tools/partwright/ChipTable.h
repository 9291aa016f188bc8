#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/ChipInfo.h"

// The chip database's fields as text: the checks and conversions shared by the text source
// (one chip per line, tab-separated name, algorithm code, ROM KB, voltage and signature
// "1E 51 06"; '#' starts a comment line) and the editor's table cells.
namespace chiptable {

// The table's columns, in display and source order.
enum class Column { Name, Algorithm, RomKb, Voltage, Signature };
constexpr int kColumnCount = 5;

// Why a field's text was refused.
enum class FieldError {
    None,
    NameEmpty,
    NameTooLong,      // more than 19 bytes in the file's encoding
    NameNotStorable,  // no form in the file's encoding that reads back as typed
    Algorithm,
    RomKb,
    Voltage,
    Signature,
};

// The reason in English, for the command line.
const char* ErrorText(FieldError error);

// The field's text as the table shows it: the name as UTF-8, the voltage with two decimals, the
// signature as "1E 51 06".
std::string FieldText(const ChipInfo& chip, Column column);

// Puts the UTF-8 text into the field when it is valid for it, and leaves every other byte of the
// record as it was. The name is stored as GBK when gbk is set, else as UTF-8, and is zero-padded
// to the whole 20 bytes. Blanks around numbers are ignored.
FieldError SetField(ChipInfo& chip, Column column, std::string_view text, bool gbk);

// Builds a record, zero in its reserved bytes, from the five texts of one source line; the name
// is taken as the bytes it is.
FieldError MakeRecord(const std::string& name, const std::string& code, const std::string& romKb,
                      const std::string& voltage, const std::string& signature, ChipInfo& out);

// Parses the whole source text; on failure names the line in error.
bool ParseTsv(const std::string& text, std::vector<ChipInfo>& out, std::string& error);

// One line per record: index, name, code, ROM KB, voltage and signature, under a heading.
std::string FormatTable(const std::vector<ChipInfo>& chips);

// The signature as "1E 51 06".
std::string SignatureText(const ChipInfo& chip);

}  // namespace chiptable
