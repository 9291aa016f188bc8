#pragma once

#include <string>
#include <string_view>

// Whole-file reads and crash-safe whole-file writes.
namespace platform {

// Reads every byte of the file into out. False (out empty) when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& out);

// Replaces the file with the bytes: a temporary file in the same folder is written, flushed to
// disk and renamed over the target, so a crash or a full disk never leaves a half-written file.
// An existing file keeps its permission bits. False when any step fails; the old file is intact.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace platform
