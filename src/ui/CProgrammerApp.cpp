#include "ui/CProgrammerApp.h"

#include "platform/AppPaths.h"
#include "session/Backends.h"
#include "ui/CMainDlg.h"
#include "ui/CStyledButton.h"

CProgrammerApp::CProgrammerApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Olstrin"));
    setApplicationVersion(QStringLiteral(OLSTRIN_VERSION));
    setWindowIcon(CStyledButton::IconOf(128));
}

int CProgrammerApp::InitInstance() {
    platform::InitAppPaths();
    CMainDlg dialog(DefaultBackends());
    dialog.exec();
    return 0;
}
