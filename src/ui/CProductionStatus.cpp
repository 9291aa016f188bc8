#include "ui/CProductionStatus.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <vector>

#include "image/ImageFile.h"
#include "platform/Translate.h"
#include "session/CRunLog.h"
#include "session/ProjectSettings.h"
#include "ui/CMainDlg.h"
#include "ui/UiText.h"

CProductionStatus::CProductionStatus(CMainDlg& dialog) : m_dialog(dialog) {}

std::unique_ptr<CProductionStatus> CProductionStatus::Open(const std::string& project,
                                                           CMainDlg& dialog, std::string& error) {
    std::unique_ptr<CProductionStatus> status(new CProductionStatus(dialog));
    if (!status->Read(project, error)) return nullptr;
    // Without a serial rule the project only names the image.
    if (!status->m_rule) return status;
    CProgrammingSession& session = dialog.Session();
    session.m_fnPatchImage = [raw = status.get()](std::uint8_t* buffer1) { raw->Patch(buffer1); };
    connect(&dialog, &CMainDlg::sequenceEnded, status.get(), &CProductionStatus::Finish);
    status->Show();
    return status;
}

bool CProductionStatus::Read(const std::string& project, std::string& error) {
    m_strProject = project;
    const bool read = ReadProjectSettings(
        project,
        [this](const std::string& key, const std::string& value, const std::string& dir,
               std::string& reason) {
            if (key == "image") m_strImage = ProjectPath(dir, value);
            if (key == "log") m_strLog = ProjectPath(dir, value);
            if (key == "serial-file") m_strSerialFile = ProjectPath(dir, value);
            if (key == "serial-overwrite") m_bOverwrite = value == "yes";
            if (key != "serial") return true;  // the command line's settings, known there
            m_rule.emplace();
            return m_rule->Parse(value, reason);
        },
        error);
    if (!read) return false;
    if (!m_rule) return true;
    if (m_strSerialFile.empty()) {
        error = platform::Printf(platform::Tr("%s: serial needs serial-file"), project.c_str());
        return false;
    }
    std::vector<std::uint8_t> image(kImageBufferSize, 0xFF);
    const bool loaded =
        image::LoadImage(m_strImage, image::UpperExtension(m_strImage), image.data()).status ==
        image::LoadStatus::Loaded;
    error = loaded ? m_rule->Refusal(image.data(), kChipSpaceSize, m_bOverwrite) : std::string();
    m_counter = std::make_unique<CSerialCounter>(m_strSerialFile, m_rule->Start());
    return error.empty();
}

// Only the auto-complete chain with its verify numbers a chip: a number is used up only by a
// chip that verified.
void CProductionStatus::Patch(std::uint8_t* buffer1) {
    if (!m_dialog.ChainRunning() || !m_dialog.AutoMark(SessionButton::Verify)) return;
    std::uint64_t number = 0;
    if (!m_counter->Take(number) || number > m_rule->MaxValue()) {
        m_counter->Release();
        return;
    }
    m_rule->Patch(buffer1, number);
    m_taken = number;
    int end = kImageBufferSize;
    while (end > 0 && buffer1[end - 1] == 0xFF) --end;
    m_strImageSha256 =
        QCryptographicHash::hash(QByteArray(reinterpret_cast<const char*>(buffer1), end),
                                 QCryptographicHash::Sha256)
            .toHex()
            .toStdString();
}

void CProductionStatus::Finish(bool ok) {
    if (!m_taken) return;
    if (ok) {
        ok = m_counter->Commit();
    } else {
        m_counter->Release();
    }
    ++(ok ? m_nPassed : m_nFailed);
    if (!m_strLog.empty()) AppendLog(ok);
    m_taken.reset();
    Show();
}

void CProductionStatus::AppendLog(bool ok) const {
    const CProgrammer& programmer = m_dialog.Session().m_programmer;
    const int row = programmer.m_nSelChip.load();
    QJsonObject image;
    image[QStringLiteral("path")] = QString::fromStdString(m_strImage);
    image[QStringLiteral("sha256")] = QString::fromStdString(m_strImageSha256);
    QJsonObject project;
    project[QStringLiteral("path")] = QString::fromStdString(m_strProject);
    QJsonObject line;
    line[QStringLiteral("time")] = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    line[QStringLiteral("programmer")] = QStringLiteral("window");
    line[QStringLiteral("chip_row")] = row;
    line[QStringLiteral("chip")] = QString::fromStdString(programmer.GetChipName(row));
    line[QStringLiteral("image")] = image;
    line[QStringLiteral("serial")] = static_cast<qint64>(*m_taken);
    line[QStringLiteral("result")] = ok ? QStringLiteral("success") : QStringLiteral("failed");
    line[QStringLiteral("project")] = project;
    CRunLog::Append(m_strLog, QJsonDocument(line).toJson(QJsonDocument::Compact).toStdString());
}

void CProductionStatus::Show() {
    std::uint64_t next = 0;
    const std::string shown = m_counter->Peek(next) ? std::to_string(next) : "?";
    m_dialog.ShowProductionLine(QString::fromStdString(platform::Printf(
        platform::Tr("下一序号%s,合格%d片,不合格%d片."), shown.c_str(), m_nPassed, m_nFailed)));
}
