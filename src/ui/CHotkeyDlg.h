#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

class CStyledButton;
class QCheckBox;
class QLineEdit;

// The modal "请输入热键" dialog: one key character plus any of Shift, Ctrl and Alt. The caller sets
// m_cKey and m_cModifiers before showing it and reads them back after it ends accepted. UI thread.
class CHotkeyDlg : public QDialog {
    Q_OBJECT
public:
    explicit CHotkeyDlg(QWidget* parent = nullptr);

    std::uint8_t m_cModifiers = 0;  // 0x01 Shift, 0x02 Alt, 0x04 Ctrl
    std::uint8_t m_cKey = 0;        // key character, upper case; 0 for none

    // Check states and key text as the controls show them (moved by UpdateData).
    int m_bAlt = 0;
    int m_bCtrl = 0;
    int m_bShift = 0;
    QString m_strKey;

    // The controls, for the window's own layout and for scripted tests.
    QCheckBox* ShiftBox() const { return m_pShift; }
    QCheckBox* CtrlBox() const { return m_pCtrl; }
    QCheckBox* AltBox() const { return m_pAlt; }
    QLineEdit* KeyEdit() const { return m_pKey; }
    CStyledButton* OkButton() const { return m_pOk; }
    CStyledButton* CancelButton() const { return m_pCancel; }

    // Fills the controls from m_cModifiers and m_cKey; runs each time the dialog is shown.
    void OnInitDialog();
    // OK: stores the check boxes and the upper-cased key and closes, or refuses an empty key with
    // "请输入键值!" and stays open.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Moves the control values into the members (save) or the members into the controls.
    void UpdateData(bool save);
    // Places a control at a rectangle given in dialog units.
    void Place(QWidget* control, int x, int y, int width, int height) const;

    QCheckBox* m_pShift;
    QCheckBox* m_pCtrl;
    QCheckBox* m_pAlt;
    QLineEdit* m_pKey;
    CStyledButton* m_pOk;
    CStyledButton* m_pCancel;
};
