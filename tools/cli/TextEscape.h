#pragma once

#include <string>

// Text from files and devices (names, paths, settings values) on its way to a terminal or a JSON
// line: it may hold any byte, and must neither drive the terminal nor break the JSON.

// The text with every byte that is not printable UTF-8 as \xNN: control characters (C0, DEL and
// the C1 range U+0080..U+009F, which terminals take as escape sequences) and bytes that are not
// part of a valid UTF-8 sequence. A backslash is printed as \\, so \x09 in a name cannot be taken
// for an escaped tab.
std::string EscapeControls(const std::string& text);

// The text as a JSON string literal, quotes included. A byte that is not part of a valid UTF-8
// sequence is written as \u00NN with NN its value, so the line always parses; such a byte cannot
// be told from the character U+00NN itself.
std::string JsonString(const std::string& text);
