#pragma once

#include <QObject>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "session/CSerialCounter.h"
#include "session/CSerialNumberRule.h"

class CMainDlg;

// A production project opened in the window (olstrin --project board.olp). Every chip the
// auto-complete chain writes and verifies gets the project's next serial number, used up only
// when the chain succeeded; a line under the pages shows the next number and the chips passed and
// failed; each such chain appends its line to the project's run log, the file the command line
// appends to.
class CProductionStatus : public QObject {
    Q_OBJECT
public:
    // Reads the project and, when it has a serial rule, hooks into the dialog's session. Null,
    // with a one-line reason, when the file cannot be read, a rule has no serial-file, or the
    // number does not fit the image.
    static std::unique_ptr<CProductionStatus> Open(const std::string& project, CMainDlg& dialog,
                                                   std::string& error);

    // The image the project names, for Buffer 1; empty when it names none.
    const std::string& Image() const { return m_strImage; }

private:
    explicit CProductionStatus(CMainDlg& dialog);
    bool Read(const std::string& project, std::string& error);
    void Patch(std::uint8_t* buffer1);
    void Finish(bool ok);
    void AppendLog(bool ok) const;
    void Show();

    CMainDlg& m_dialog;
    std::string m_strProject;
    std::string m_strImage;
    std::string m_strLog;
    std::string m_strSerialFile;
    std::optional<CSerialNumberRule> m_rule;
    bool m_bOverwrite = false;
    std::unique_ptr<CSerialCounter> m_counter;
    std::optional<std::uint64_t> m_taken;  // the number of the chip being programmed
    std::string m_strImageSha256;          // of the bytes written, the number included
    int m_nPassed = 0;
    int m_nFailed = 0;
};
