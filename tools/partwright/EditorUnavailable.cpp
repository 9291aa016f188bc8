// The editor for builds without the Qt window: only the command-line actions exist there.
#include <cstdio>

#include "Editor.h"
#include "platform/Translate.h"

int RunEditor(int&, char**, const char*, const std::string&) {
    std::fputs(platform::Tr("partwright: this build has no editor window; use build or dump\n"),
               stderr);
    return 2;
}
