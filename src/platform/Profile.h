#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// INI ("private profile") files with the semantics the stored settings files depend on: section
// and key names match case-insensitively (ASCII), the first matching section and key win, blanks
// around names and values are ignored, and a value enclosed in a pair of the same quotes (' or ")
// is read without them. A UTF-8 byte-order mark at the start is skipped. A write rewrites only its
// own line (or adds one) and keeps every other byte, the byte-order mark, the line endings and the
// encoding of the file: a file that is not valid UTF-8 is read and written as GBK. Writes go
// through WriteFileSafely (a symlinked file stays a link). All texts passed in and returned are
// UTF-8. Safe to call from any thread; concurrent writers of one file are not serialised.
//
// Only regular files are read (a FIFO or device is never opened for reading, so it cannot block):
// a file that exists but cannot be read gives the defaults, its reason is reported once per path
// per process through ReportFailureReason, and a write refuses to replace it. Look-ups keep the
// parsed file while its device, inode, size and modification time stay the same, so a run of
// look-ups reads it once; a write through these functions drops the kept copy.
namespace platform {

// The integer value of the key: an optional sign and the leading decimal digits ("12abc" is 12,
// "abc" is 0); def when the file, section or key is missing.
int GetProfileInt(std::string_view section, std::string_view key, int def, const std::string& path);

// The value of the key with surrounding blanks removed; def when missing.
std::string GetProfileString(std::string_view section, std::string_view key, std::string_view def,
                             const std::string& path);

// Reads a structure stored as upper-case hex pairs plus a checksum pair (sum of the bytes modulo
// 256). False, with data untouched, when the key is missing, the length differs, a digit is bad or
// the checksum is wrong.
bool GetProfileStruct(std::string_view section, std::string_view key, void* data, std::size_t size,
                      const std::string& path);

// Sets key=value, creating the file, the section or the key as needed. False when the file cannot
// be written (the old file stays intact) or a text cannot be stored in the file's encoding.
bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& path);

// Stores a structure in the hex-pairs-and-checksum form read by GetProfileStruct.
bool WriteProfileStruct(std::string_view section, std::string_view key, const void* data,
                        std::size_t size, const std::string& path);

// How many times a settings file has been read from disk for look-ups in this process.
std::size_t ProfileFileReads();

}  // namespace platform
