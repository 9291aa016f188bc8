#include "ui/CLastFileDialog.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <string>

#include "platform/AppPaths.h"
#include "platform/Profile.h"
#include "ui/UiText.h"

namespace {

constexpr const char* kCountSection = "File Number";
constexpr const char* kCountKey = "n";
constexpr const char* kListSection = "LastFile";

std::string EntryKey(std::size_t index) {
    return "File " + std::to_string(index);
}

// A stored path no longer than the longest path the system opens, cut at a character boundary.
std::string WithinPathMax(std::string path) {
    if (path.size() < PATH_MAX) return path;
    std::size_t end = PATH_MAX - 1;
    while (end > 0 && (static_cast<unsigned char>(path[end]) & 0xC0) == 0x80) --end;
    path.resize(end);
    return path;
}

}  // namespace

CLastFileDialog::CLastFileDialog(const QString& defaultExtension, const QString& filter,
                                 QWidget* parent)
    : QFileDialog(parent), m_pRecentList(new QListWidget) {
    // Qt's own dialog: the desktop's native one cannot take the recent panel.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    setDefaultSuffix(defaultExtension);
    setNameFilters(NameFiltersOf(filter));

    auto* panel = new QWidget(this);
    panel->setFont(QFont(QStringLiteral("SimSun"), 9));
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(new QLabel(UiText("最近打开的文件(双击打开):"), panel));
    m_pRecentList->setParent(panel);
    m_pRecentList->setSelectionMode(QAbstractItemView::SingleSelection);
    column->addWidget(m_pRecentList);
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        grid->addWidget(panel, grid->rowCount(), 0, 1, grid->columnCount());
    } else {
        layout()->addWidget(panel);
    }
    connect(m_pRecentList, &QListWidget::itemDoubleClicked, this,
            &CLastFileDialog::OnRecentDoubleClicked);
    // A highlighted row can be opened with the Open button or Enter even while the chooser's
    // own file name is empty.
    connect(m_pRecentList, &QListWidget::itemSelectionChanged, this, [this] {
        auto* buttons = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        QPushButton* open = buttons ? buttons->button(QDialogButtonBox::Open) : nullptr;
        if (open != nullptr && !m_pRecentList->selectedItems().isEmpty()) open->setEnabled(true);
    });
    // Qt's names for the chooser's file name field and its two file views.
    for (const char* name : {"fileNameEdit", "listView", "treeView"}) {
        if (QWidget* part = findChild<QWidget*>(QString::fromLatin1(name))) {
            part->installEventFilter(this);
        }
    }
}

bool CLastFileDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) m_pRecentList->clearSelection();
    return QFileDialog::eventFilter(watched, event);
}

void CLastFileDialog::accept() {
    const QList<QListWidgetItem*> highlighted = m_pRecentList->selectedItems();
    if (!highlighted.isEmpty()) {
        OnRecentDoubleClicked(highlighted.first());
        return;
    }
    QFileDialog::accept();
}

void CLastFileDialog::done(int result) {
    if (auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        if (QCompleter* completer = name->completer()) completer->popup()->hide();
    }
    QFileDialog::done(result);
}

QStringList CLastFileDialog::NameFiltersOf(const QString& filter) {
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        if (description.isEmpty()) continue;
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt takes the patterns from the last parentheses of a name filter.
        const QString tail = QLatin1Char('(') + patterns + QLatin1Char(')');
        result.append(description.endsWith(tail) ? description : description + ' ' + tail);
    }
    return result;
}

std::string CLastFileDialog::RecentFilePath() {
    return platform::SettingsFile("LastFile.ini");
}

void CLastFileDialog::LoadRecentList() {
    m_bChosenFromList = 0;
    const std::string path = RecentFilePath();
    const int count =
        std::min(platform::GetProfileInt(kCountSection, kCountKey, 0, path), kMaxReadable);
    m_arrRecent.clear();
    m_pRecentList->clear();
    for (int i = 0; i < count; ++i) {
        std::string entry =
            WithinPathMax(platform::GetProfileString(kListSection, EntryKey(i), "", path));
        m_pRecentList->insertItem(0, QString::fromStdString(entry));
        m_arrRecent.push_back(std::move(entry));
    }
    platform::WriteProfileString(kCountSection, kCountKey, std::to_string(m_arrRecent.size()),
                                 path);
}

int CLastFileDialog::DoModal() {
    LoadRecentList();
    // The chooser starts in the folder of the newest recent file, where the next one most likely
    // is too.
    if (!m_arrRecent.empty()) {
        const QFileInfo newest(QString::fromStdString(m_arrRecent.back()));
        if (newest.absoluteDir().exists()) setDirectory(newest.absoluteDir());
    }
    const int result = exec();
    if (m_bChosenFromList) {
        SaveRecentList();
        return QDialog::Accepted;
    }
    if (result == QDialog::Accepted && !selectedFiles().isEmpty()) {
        AddRecent(selectedFiles().constFirst().toStdString());
        SaveRecentList();
    }
    return result;
}

void CLastFileDialog::OnRecentDoubleClicked(QListWidgetItem* row) {
    if (row == nullptr) return;
    AddRecent(row->text().toStdString());
    m_bChosenFromList = 1;
    // The file chooser itself ends unaccepted; DoModal reports the choice.
    reject();
}

void CLastFileDialog::Remember(const std::string& path) {
    LoadRecentList();
    AddRecent(path);
    SaveRecentList();
}

void CLastFileDialog::AddRecent(const std::string& path) {
    auto found = std::find(m_arrRecent.begin(), m_arrRecent.end(), path);
    if (found != m_arrRecent.end()) {
        std::rotate(found, found + 1, m_arrRecent.end());
    } else if (m_arrRecent.size() < static_cast<std::size_t>(kMaxRecent)) {
        m_arrRecent.push_back(path);
    } else {
        std::rotate(m_arrRecent.begin(), m_arrRecent.begin() + 1, m_arrRecent.end());
        m_arrRecent.back() = path;
    }
}

void CLastFileDialog::SaveRecentList() {
    const std::string path = RecentFilePath();
    for (std::size_t i = 0; i < m_arrRecent.size(); ++i) {
        platform::WriteProfileString(kListSection, EntryKey(i), m_arrRecent[i], path);
    }
    platform::WriteProfileString(kCountSection, kCountKey, std::to_string(m_arrRecent.size()),
                                 path);
}

std::string CLastFileDialog::GetChosenPath() {
    m_strChosen = m_arrRecent.empty() ? std::string() : m_arrRecent.back();
    return m_strChosen;
}

std::string CLastFileDialog::GetChosenExtension() {
    GetChosenPath();
    const std::size_t nameStart = m_strChosen.rfind('/');
    const std::size_t dot = m_strChosen.rfind('.');
    if (dot == std::string::npos || (nameStart != std::string::npos && dot < nameStart)) return {};
    return m_strChosen.substr(dot + 1);
}
