#pragma once

#include <QApplication>
#include <QStringList>
#include <optional>
#include <string>

class CMainDlg;

// The application object: sets up what the whole program shares, then runs the main window
// modally; the program ends when the window closes. UI thread only.
class CProgrammerApp : public QApplication {
    Q_OBJECT

public:
    CProgrammerApp(int& argc, char** argv);

    // The start-up: the application folder, then the main window until it is closed; a file named
    // on the command line (olstrin FILE, as a desktop's "Open with" runs it) is loaded into
    // Buffer 1 at once, as the Open command loads it. Returns the process exit code. With
    // --quit-after-start the window closes as soon as it is shown and the
    // program prints how long the start took and which chip list it loaded (exit code 1 when the
    // list is empty): a start-up check for installations and start-time measurements.
    // --lang zh|en chooses the language of the window and of Qt's own dialogs (without it, the
    // locale decides); another value ends the program with exit code 2.
    int InitInstance();

    // The image file named among the arguments (the program's own name first): the first that
    // is neither an option nor the value of --lang or --project; empty when there is none.
    static QString FileArgument(const QStringList& arguments);

    // The value of --lang VALUE or --lang=VALUE among the arguments, empty when there is none.
    static QString LanguageArgument(const QStringList& arguments);
    // The value of the option name, given as "name VALUE" or "name=VALUE"; empty when absent.
    static QString OptionArgument(const QStringList& arguments, const QString& name);

    // What the program answers before Qt starts, so that it answers without a display too:
    // -h/--help prints the usage (exit code 0); without a display the program says so in one
    // line on standard error (exit code 2); a --lang value other than zh or en is exit code 2.
    // Empty when the window is to start.
    static std::optional<int> AnswerBeforeQt(int argc, char** argv);

    // The flash file of the simulated chip that the parallel port setting lptDevice names ("sim"
    // or "sim:MODEL"), the same that olstrin-cli --simulate keeps, so that what one writes the
    // other reads back; empty for any other device.
    static std::string SimFlashFileFor(const std::string& lptDevice);

private:
    // The --lang value into lang; false, after saying so on standard error, when it is neither
    // zh nor en.
    static bool LanguageOption(const QStringList& arguments, std::string& lang);
};

// Loads the file named among the arguments (FileArgument) into Buffer 1 as the open-file button
// would, recent list included: the file a desktop entry passes. Nothing when none is named or the
// buttons are busy.
void OpenFileArgument(CMainDlg& dialog, const QStringList& arguments);
