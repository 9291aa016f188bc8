#pragma once

#include <QMainWindow>
#include <QString>

class ChipTableModel;
class QTableView;

// The chip database editor's main window: the table of records, the commands to open, save,
// add, delete and reorder rows, and a status line that tells where the list was read from and
// saved to. Lives on the GUI thread.
class PartwrightWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit PartwrightWindow(QWidget* parent = nullptr);

    // Opens the list and reports the outcome in the status line.
    bool openList(const QString& path);
    // Saves the list and reports where it went in the status line.
    bool saveList();

    ChipTableModel* model() const { return m_model; }
    QTableView* view() const { return m_view; }

    // Row commands on the current row, as the toolbar runs them.
    void addRow();
    void deleteRow();
    void moveRow(int delta);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void chooseAndOpen();
    // Asks whether to save unsaved edits; false when the user cancels.
    bool confirmDiscard();
    void updateTitle();
    int currentRow() const;
    void selectRow(int row);

    ChipTableModel* m_model;
    QTableView* m_view;
};
