#pragma once

#include <string>
#include <string_view>

// Whole-file reads and whole-file writes that never destroy what they write over. Every failure
// returns false with errno set to its cause, so a caller can report
// ReportFailureReason(ErrnoReason(path, errno)) before making any other call.
namespace platform {

// Reads every byte of a regular file into out. Anything else (a FIFO, a device, a directory) is
// refused without being read, so a stray special file can never block its caller: errno is
// EISDIR for a directory, EOPNOTSUPP for the others. False (out empty) on any failure.
bool ReadWholeFile(const std::string& path, std::string& out);

// Writes the bytes to path by the kind of file found there:
// - a regular file, or none: replaced atomically (a temporary file in the same folder, flushed to
//   disk and renamed over it), so a failure or a crash leaves the old file whole; an existing
//   file keeps its permission bits (and, where allowed, its owner);
// - a symlink: followed to its final target (through any number of links; a dangling link creates
//   its target), which is replaced as above; the link stays a link;
// - a character or block device, a FIFO or a socket: written straight through, never replaced or
//   truncated; a FIFO without a reader fails with ENXIO instead of waiting for one;
// - "-": standard output, written straight through;
// - a directory: fails with EISDIR.
bool WriteFileSafely(const std::string& path, std::string_view bytes);

// Whether WriteFileSafely(path) is allowed to succeed as far as permissions go: the final target
// itself for a special file, else its folder (for the temporary file) and the target when present.
bool CanWriteSafely(const std::string& path);

}  // namespace platform
