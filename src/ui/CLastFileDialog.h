#pragma once

#include <QFileDialog>
#include <QString>
#include <string>
#include <vector>

class QListWidget;
class QListWidgetItem;

// The Open dialog for images: Qt's own file dialog with a panel at its bottom listing the last
// files opened, newest first. A double-click on a row chooses that file at once; a file chosen
// the normal way joins the list. The list lives in LastFile.ini in the settings folder, is read
// at every showing and written back whenever the dialog ends with a file. Created once by the
// main window and kept; UI thread only.
class CLastFileDialog : public QFileDialog {
    Q_OBJECT
public:
    // The list keeps at most this many entries when the program writes it.
    static constexpr int kMaxRecent = 10;
    // Entries read from a hand-edited file beyond this count are not shown (a damaged count
    // would otherwise make every showing read the file millions of times).
    static constexpr int kMaxReadable = 100;

    // filter: "description|patterns|..." pairs, as the image filters are written, e.g.
    // "二进制文件(*.bin)|*.bin|Intel Hex文件(*.hex)|*.hex|".
    CLastFileDialog(const QString& defaultExtension, const QString& filter,
                    QWidget* parent = nullptr);

    // Shows the dialog. QDialog::Accepted when a file was chosen, normally or from the recent
    // list; otherwise what the file dialog returned.
    int DoModal();

    // The newest entry of the list: after Accepted, the chosen file's full path.
    std::string GetChosenPath();
    // The text after the last "." of the newest entry's file name; empty when it has none.
    std::string GetChosenExtension();

    // Makes the path the newest entry: an entry equal to it (byte for byte) moves to the end,
    // a new one is appended, and with kMaxRecent entries or more the oldest is dropped instead.
    void AddRecent(const std::string& path);
    // Writes every entry as "File 0" (oldest) upward in section "LastFile" and the count as
    // "n" in section "File Number". Keys beyond the count stay in the file.
    void SaveRecentList();
    // Makes a file opened without the dialog (a drop, the command line) the newest entry of the
    // stored list.
    void Remember(const std::string& path);

    // The recent list in file order: index 0 the oldest, the last the newest.
    const std::vector<std::string>& RecentList() const { return m_arrRecent; }
    QListWidget* RecentListWidget() const { return m_pRecentList; }

    // "description|patterns|..." as Qt name filters.
    static QStringList NameFiltersOf(const QString& filter);

protected:
    // Open (its button, or Enter anywhere in the dialog): with a recent row highlighted, that row
    // is opened exactly as a double-click opens it, so the file loaded is always the one the user
    // sees highlighted; otherwise the chooser's own file.
    void accept() override;
    // Every way the dialog ends (Open, Cancel, a recent row) closes the file name's completion
    // list too: it is a window of its own, and left on screen it keeps the keyboard from the main
    // window while the dialog waits hidden for its next use.
    void done(int result) override;
    // Going back to the chooser's file name or file list drops the recent row's highlight.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Reads the list from the file, shows it newest first and writes the count back.
    void LoadRecentList();
    void OnRecentDoubleClicked(QListWidgetItem* row);
    static std::string RecentFilePath();

    int m_bChosenFromList = 0;
    std::string m_strChosen;
    std::vector<std::string> m_arrRecent;
    QListWidget* m_pRecentList;
};
