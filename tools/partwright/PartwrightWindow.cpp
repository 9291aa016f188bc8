#include "PartwrightWindow.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeySequence>
#include <QMessageBox>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>

#include "ChipTableModel.h"
#include "platform/Translate.h"

namespace {

QString PathText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

}  // namespace

PartwrightWindow::PartwrightWindow(QWidget* parent)
    : QMainWindow(parent), m_model(new ChipTableModel(this)), m_view(new QTableView(this)) {
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    setCentralWidget(m_view);

    QToolBar* bar = addToolBar(QString::fromUtf8(platform::Tr("器件表")));
    bar->setMovable(false);
    bar->addAction(QString::fromUtf8(platform::Tr("打开...")), QKeySequence::Open, this,
                   &PartwrightWindow::chooseAndOpen);
    bar->addAction(QString::fromUtf8(platform::Tr("保存")), QKeySequence::Save, this,
                   &PartwrightWindow::saveList);
    bar->addSeparator();
    bar->addAction(QString::fromUtf8(platform::Tr("添加")), QKeySequence(Qt::CTRL | Qt::Key_N),
                   this, &PartwrightWindow::addRow);
    bar->addAction(QString::fromUtf8(platform::Tr("删除")), QKeySequence::Delete, this,
                   &PartwrightWindow::deleteRow);
    bar->addAction(QString::fromUtf8(platform::Tr("上移")), QKeySequence(Qt::CTRL | Qt::Key_Up),
                   this, [this] { moveRow(-1); });
    bar->addAction(QString::fromUtf8(platform::Tr("下移")), QKeySequence(Qt::CTRL | Qt::Key_Down),
                   this, [this] { moveRow(1); });

    connect(m_model, &ChipTableModel::editRefused, this,
            [this](const QString& reason) { statusBar()->showMessage(reason); });
    connect(m_model, &ChipTableModel::modifiedChanged, this, &PartwrightWindow::updateTitle);
    statusBar();
    resize(640, 480);
    updateTitle();
}

bool PartwrightWindow::openList(const QString& path) {
    const bool ok = m_model->open(path);
    const ChipListDocument& doc = m_model->document();
    QString text;
    if (!ok) {
        text = QString::fromUtf8(platform::Tr("无法读取 %1；保存时将写入设置文件夹")).arg(path);
    } else if (!QFileInfo::exists(path)) {
        text = QString::fromUtf8(platform::Tr("%1 不存在，保存时新建")).arg(path);
    } else {
        text = QString::fromUtf8(platform::Tr("已打开 %1，共 %2 个器件"))
                   .arg(path)
                   .arg(doc.RowCount());
        if (doc.WasTruncated())
            text += QString::fromUtf8(platform::Tr("（文件不完整，只读入了完整的记录）"));
    }
    statusBar()->showMessage(text);
    updateTitle();
    if (m_model->rowCount() > 0) selectRow(0);
    return ok;
}

bool PartwrightWindow::saveList() {
    const std::string before = m_model->document().Path();
    const SaveResult result = m_model->save();
    const QString target = PathText(result.path);
    QString text;
    if (!result.ok)
        text = QString::fromUtf8(platform::Tr("无法写入 %1，器件表未保存")).arg(target);
    else if (result.redirected && !before.empty())
        text = QString::fromUtf8(platform::Tr("%1 不可写，已保存到 %2（程序启动时优先读取此文件）"))
                   .arg(PathText(before), target);
    else
        text = QString::fromUtf8(platform::Tr("已保存到 %1")).arg(target);
    statusBar()->showMessage(text);
    updateTitle();
    return result.ok;
}

void PartwrightWindow::addRow() {
    const int row = currentRow() + 1;
    if (m_model->insertRows(row, 1)) {
        selectRow(row);
        m_view->edit(m_model->index(row, 0));
    }
}

void PartwrightWindow::deleteRow() {
    const int row = currentRow();
    if (row < 0 || !m_model->removeRows(row, 1)) return;
    if (m_model->rowCount() > 0) selectRow(std::min(row, m_model->rowCount() - 1));
}

void PartwrightWindow::moveRow(int delta) {
    const int row = currentRow();
    const int to = row + delta;
    if (row < 0 || to < 0 || to >= m_model->rowCount()) return;
    // moveRows takes the row the moved one goes before, counted before the move.
    if (m_model->moveRows(QModelIndex(), row, 1, QModelIndex(), delta > 0 ? to + 1 : to))
        selectRow(to);
}

void PartwrightWindow::closeEvent(QCloseEvent* event) {
    if (confirmDiscard())
        event->accept();
    else
        event->ignore();
}

void PartwrightWindow::chooseAndOpen() {
    if (!confirmDiscard()) return;
    const QString path = QFileDialog::getOpenFileName(
        this, QString::fromUtf8(platform::Tr("打开器件表")), PathText(m_model->document().Path()),
        QString::fromUtf8(platform::Tr("器件表 (*.chip);;所有文件 (*)")));
    if (!path.isEmpty()) openList(path);
}

bool PartwrightWindow::confirmDiscard() {
    if (!m_model->document().IsModified()) return true;
    const auto answer = QMessageBox::question(
        this, QStringLiteral("Partwright"),
        QString::fromUtf8(platform::Tr("器件表已修改，是否保存？")),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save) return saveList();
    return answer == QMessageBox::Discard;
}

void PartwrightWindow::updateTitle() {
    const ChipListDocument& doc = m_model->document();
    const QString name =
        doc.Path().empty() ? QStringLiteral("ChipList.chip") : PathText(doc.Path());
    setWindowTitle(QString::fromUtf8(platform::Tr("%1%2 - Partwright 器件表编辑"))
                       .arg(name, doc.IsModified() ? QStringLiteral(" *") : QString()));
}

int PartwrightWindow::currentRow() const {
    const QModelIndex current = m_view->currentIndex();
    return current.isValid() ? current.row() : m_model->rowCount() - 1;
}

void PartwrightWindow::selectRow(int row) {
    m_view->setCurrentIndex(m_model->index(row, 0));
    m_view->selectRow(row);
}
