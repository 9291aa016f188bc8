#include "ui/support/QtTestApp.h"

QApplication& QtTestApp() {
    static int argc = 1;
    static char name[] = "olstrin-ui-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Fontconfig keeps caches it never frees; LeakSanitizer builds are told to ignore them.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
