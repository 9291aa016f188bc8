#pragma once

#include <QApplication>
#include <QStringList>

class CMainDlg;

// The application object: sets up what the whole program shares, then runs the main window
// modally; the program ends when the window closes. UI thread only.
class CProgrammerApp : public QApplication {
    Q_OBJECT

public:
    CProgrammerApp(int& argc, char** argv);

    // The start-up: the application folder, then the main window until it is closed. Returns the
    // process exit code. With --quit-after-start the window closes as soon as it is shown and the
    // program prints how long the start took and which chip list it loaded (exit code 1 when the
    // list is empty): a start-up check for installations and start-time measurements.
    int InitInstance();
};

// Loads the first of the arguments (after the program's name) that is no option into Buffer 1, as
// the open-file button would: the file a desktop entry passes. Nothing when none is named or the
// buttons are busy.
void OpenFileArgument(CMainDlg& dialog, const QStringList& arguments);
