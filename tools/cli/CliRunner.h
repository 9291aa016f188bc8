#pragma once

#include <string>
#include <vector>

// Runs olstrin-cli with the arguments after the program name and returns its exit status: 0 when
// the session's sequence ended in success, 1 when it failed, timed out or was not taken, 2 for a
// command line that is not valid. Main thread only; once per process (it sets process-wide
// device and settings overrides). stdoutClosed: the program started with standard output closed
// (now on /dev/null), so whatever it was to print there is lost and a run that prints fails.
int RunCli(const std::vector<std::string>& args, bool stdoutClosed);
