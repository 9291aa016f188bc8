#pragma once

#include <functional>
#include <string>

// Why an operation failed, in words a user can act on: a device or file path and the OS error.
// The designed log lines stay as they are; the reason goes beside them, through one sink. The
// default sink prints the line on standard error (the CLI and a window started from a terminal);
// tests install a recording sink.
namespace platform {

using FailureReasonSink = std::function<void(const std::string& reason)>;

// Installs the sink (an empty function restores the default, standard error). Any thread.
void SetFailureReasonSink(FailureReasonSink sink);

// Hands one reason line (no trailing newline) to the sink. Callable from any thread.
void ReportFailureReason(const std::string& reason);

// "subject: strerror(err)", with " (hint)" appended when a hint is given. A device path under
// /dev/ without a hint gets the usual advice for its error: for a permission error, the group
// that owns the device (for example lp or dialout); for EBUSY and ENOENT, what they mean here.
std::string ErrnoReason(const std::string& subject, int err, const std::string& hint = {});

}  // namespace platform
