#include "ChipTableModel.h"

#include <QFile>

#include "platform/Translate.h"

namespace {

chiptable::Column ColumnOf(int column) {
    return static_cast<chiptable::Column>(column);
}

}  // namespace

ChipTableModel::ChipTableModel(QObject* parent) : QAbstractTableModel(parent) {}

template <typename Change>
bool ChipTableModel::change(Change&& apply) {
    const bool wasModified = m_doc.IsModified();
    const bool done = apply();
    if (m_doc.IsModified() != wasModified) emit modifiedChanged(m_doc.IsModified());
    return done;
}

bool ChipTableModel::open(const QString& path) {
    beginResetModel();
    const bool ok = change([&] { return m_doc.Open(QFile::encodeName(path).toStdString()); });
    endResetModel();
    return ok;
}

SaveResult ChipTableModel::save() {
    SaveResult result;
    change([&] { return (result = m_doc.Save()).ok; });
    return result;
}

QString ChipTableModel::errorText(chiptable::FieldError error) {
    using chiptable::FieldError;
    switch (error) {
        case FieldError::None:
            return {};
        case FieldError::NameEmpty:
            return QString::fromUtf8(platform::Tr("名称不能为空"));
        case FieldError::NameTooLong:
            return QString::fromUtf8(platform::Tr("名称超过 19 字节"));
        case FieldError::NameNotStorable:
            return QString::fromUtf8(platform::Tr("名称含有无法按此文件的编码保存的字符"));
        case FieldError::Algorithm:
            return QString::fromUtf8(platform::Tr("算法代码须为 0 到 255 的整数"));
        case FieldError::RomKb:
            return QString::fromUtf8(platform::Tr("ROM 容量须为 0 到 1024 的整数 (KB)"));
        case FieldError::Voltage:
            return QString::fromUtf8(platform::Tr("编程电压须在 0 到 25 V 之间"));
        case FieldError::Signature:
            return QString::fromUtf8(platform::Tr("签名须为三个十六进制字节，如 1E 51 06"));
    }
    return {};
}

int ChipTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_doc.RowCount();
}

int ChipTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : chiptable::kColumnCount;
}

QVariant ChipTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return QString::fromStdString(m_doc.Text(index.row(), ColumnOf(index.column())));
    if (role == Qt::TextAlignmentRole && index.column() != 0)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant ChipTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section;
    static const char* const kTitles[chiptable::kColumnCount] = {
        N_("名称"), N_("算法"), N_("ROM (KB)"), N_("电压 (V)"), N_("签名")};
    return section >= 0 && section < chiptable::kColumnCount
               ? QString::fromUtf8(platform::Tr(kTitles[section]))
               : QVariant();
}

Qt::ItemFlags ChipTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

bool ChipTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole) return false;
    const std::string text = value.toString().toStdString();
    chiptable::FieldError error = chiptable::FieldError::None;
    change([&] {
        error = m_doc.SetText(index.row(), ColumnOf(index.column()), text);
        return true;
    });
    if (error != chiptable::FieldError::None) {
        emit editRefused(errorText(error));
        return false;
    }
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

bool ChipTableModel::insertRows(int row, int count, const QModelIndex& parent) {
    if (parent.isValid() || count < 1 || row < 0 || row > m_doc.RowCount()) return false;
    beginInsertRows(parent, row, row + count - 1);
    change([&] {
        for (int i = 0; i < count; ++i) m_doc.InsertRow(row);
        return true;
    });
    endInsertRows();
    return true;
}

bool ChipTableModel::removeRows(int row, int count, const QModelIndex& parent) {
    if (parent.isValid() || count < 1 || row < 0 || row + count > m_doc.RowCount()) return false;
    beginRemoveRows(parent, row, row + count - 1);
    change([&] {
        for (int i = 0; i < count; ++i) m_doc.RemoveRow(row);
        return true;
    });
    endRemoveRows();
    return true;
}

bool ChipTableModel::moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                              const QModelIndex& destinationParent, int destination) {
    const int rows = m_doc.RowCount();
    if (sourceParent.isValid() || destinationParent.isValid() || count != 1 || sourceRow < 0 ||
        sourceRow >= rows || destination < 0 || destination > rows)
        return false;
    if (!beginMoveRows(sourceParent, sourceRow, sourceRow, destinationParent, destination))
        return false;
    const int to = destination > sourceRow ? destination - 1 : destination;
    change([&] { return m_doc.MoveRow(sourceRow, to); });
    endMoveRows();
    return true;
}
