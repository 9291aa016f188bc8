#pragma once

#include <QApplication>

// The application object: sets up what the whole program shares, then runs the main window
// modally; the program ends when the window closes. UI thread only.
class CProgrammerApp : public QApplication {
    Q_OBJECT

public:
    CProgrammerApp(int& argc, char** argv);

    // The start-up: the application folder, then the main window until it is closed. Returns the
    // process exit code.
    int InitInstance();
};
