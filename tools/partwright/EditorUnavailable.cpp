// The editor for builds without the Qt window: only the command-line actions exist there.
#include <cstdio>

#include "Editor.h"

int RunEditor(int, char**, const char*) {
    std::fputs("partwright: this build has no editor window; use build or dump\n", stderr);
    return 2;
}
