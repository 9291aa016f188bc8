#include <cstdio>

#include "CliOptions.h"
#include "CliRunner.h"
#include "platform/Version.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    CliOptions options;
    std::string error;
    if (ParseCliOptions(args, options, error) && options.version) {
        std::printf("olstrin-cli %s\n", platform::VersionText());
        return 0;
    }
    return RunCli(args);
}
