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

// Qt's own libraries are not built for ThreadSanitizer: the memory calls of their internal threads
// (file system watcher, thread pool) look unsynchronised, and the semaphore with which a blocking
// queued call wakes its caller is invisible, so the caller freeing the call's functor looks like a
// race with the UI thread that ran it. The same holds the other way: the functor the worker's
// blocking call allocates reaches the UI thread through Qt's event queue, so the UI thread reading
// it looks like a race with its allocation (the window's cross-thread call, inlined as
// invokeMethod<...CallOnUiThread...>). Only these are ignored; our own code is still checked.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so.6\ncalled_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\nrace:QMetaObject::invokeMethodImpl\n"
           "race:invokeMethod<CMainDlg::CallOnUiThread\n";
}
