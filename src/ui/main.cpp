#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/StandardStreams.h"
#include "platform/Version.h"
#include "ui/CProgrammerApp.h"

int main(int argc, char** argv) {
    platform::OpenClosedStandardStreams();
    // Answered before Qt starts, so it works without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("olstrin %s\n", platform::VersionText());
        return 0;
    }
    if (const std::optional<int> answered = CProgrammerApp::AnswerBeforeQt(argc, argv)) {
        return *answered;
    }
    CProgrammerApp app(argc, argv);
    return app.InitInstance();
}
