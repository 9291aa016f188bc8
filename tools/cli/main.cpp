#include <cstdio>

#include "CliOptions.h"
#include "CliRunner.h"
#include "platform/StandardStreams.h"
#include "platform/Version.h"

int main(int argc, char** argv) {
    const bool stdoutClosed = (platform::OpenClosedStandardStreams() & 2) != 0;
    const std::vector<std::string> args(argv + 1, argv + argc);
    return RunCli(args, stdoutClosed);
}
