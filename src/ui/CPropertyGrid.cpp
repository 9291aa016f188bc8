#include "ui/CPropertyGrid.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kItemRole = Qt::UserRole;

// A 0x00BBGGRR colour value as a QColor.
QColor FromColorRef(std::uint32_t colorRef) {
    return QColor(static_cast<int>(colorRef & 0xFF), static_cast<int>((colorRef >> 8) & 0xFF),
                  static_cast<int>((colorRef >> 16) & 0xFF));
}

// The value column's in-place editor: a drop-down of the item's choices. Picking a choice ends
// the edit at once and hands the text to the item, which notifies the grid's owner. An editor
// closed any other way (a click elsewhere, Esc) changes nothing: only a picked choice is a value.
class CValueDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        const CPropertyGridItem* item = ItemAt(index);
        if (index.column() != 1 || item == nullptr || item->IsCategory()) return nullptr;
        auto* combo = new QComboBox(parent);
        const CPropertyGridConstraints* choices = item->GetConstraints();
        for (int i = 0; i < choices->GetCount(); ++i) combo->addItem(choices->GetAt(i));
        combo->setEditable((item->GetFlags() & CPropertyGridItem::kFlagListOnly) == 0);
        connect(combo, &QComboBox::activated, this, [this, combo] {
            combo->setProperty(kPicked, true);
            auto* self = const_cast<CValueDelegate*>(this);
            emit self->commitData(combo);
            emit self->closeEditor(combo);
        });
        return combo;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* combo = static_cast<QComboBox*>(editor);
        const CPropertyGridItem* item = ItemAt(index);
        combo->setCurrentIndex(item->GetConstraints()->GetCurrent());
        if (combo->isEditable()) combo->setEditText(item->GetValue());
    }

    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        auto* combo = static_cast<QComboBox*>(editor);
        if (combo->isEditable() || combo->property(kPicked).toBool()) {
            ItemAt(index)->OnValueChanged(combo->currentText());
        }
    }

private:
    static constexpr const char* kPicked = "picked";

    static CPropertyGridItem* ItemAt(const QModelIndex& index) {
        return reinterpret_cast<CPropertyGridItem*>(
            index.siblingAtColumn(0).data(kItemRole).value<quintptr>());
    }
};

}  // namespace

// ---- CPropertyGridItem ----

CPropertyGridItem::CPropertyGridItem(const QString& caption, const QString& value)
    : m_strCaption(caption), m_strValue(value) {}

CPropertyGridItem::~CPropertyGridItem() = default;

CPropertyGridItem* CPropertyGridItem::AddChildItem(std::unique_ptr<CPropertyGridItem> item) {
    CPropertyGridItem* raw = item.get();
    m_children.push_back(std::move(item));
    if (m_pRow != nullptr) raw->Attach(m_pGrid, new QTreeWidgetItem(m_pRow));
    return raw;
}

void CPropertyGridItem::SetValue(const QString& value) {
    m_strValue = value;
    ShowRowValue();
}

void CPropertyGridItem::OnValueChanged(const QString& value) {
    if (value == m_strValue) return;
    SetValue(value);
    const int choice = m_constraints.FindConstraint(value);
    if (choice >= 0) m_constraints.SetCurrent(choice);
    if (m_pGrid != nullptr) m_pGrid->ValueChangedByUser(this);
}

void CPropertyGridItem::SetDescription(const QString& description) {
    m_strDescription = description;
    if (m_pRow != nullptr) m_pRow->setToolTip(0, description);
}

void CPropertyGridItem::Expand() {
    if (m_pRow != nullptr) m_pRow->setExpanded(true);
}

void CPropertyGridItem::Attach(CPropertyGrid* grid, QTreeWidgetItem* row) {
    m_pGrid = grid;
    m_pRow = row;
    row->setData(0, kItemRole, QVariant::fromValue(reinterpret_cast<quintptr>(this)));
    row->setText(0, m_strCaption);
    row->setToolTip(0, m_strDescription);
    if (m_bCategory) {
        row->setFirstColumnSpanned(true);
        row->setFlags(Qt::ItemIsEnabled);
        grid->PaintCategoryRow(row);
    } else {
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
    }
    ShowRowValue();
    for (auto& child : m_children) child->Attach(grid, new QTreeWidgetItem(row));
}

void CPropertyGridItem::ShowRowValue() {
    if (m_pRow != nullptr && !m_bCategory) m_pRow->setText(1, m_strValue);
}

// ---- CPropertyGridItemBool ----

CPropertyGridItemBool::CPropertyGridItemBool(const QString& caption, bool value)
    : CPropertyGridItem(caption) {
    GetConstraints()->AddConstraint(TrueText());
    GetConstraints()->AddConstraint(FalseText());
    SetFlags(kFlagListOnly);
    SetBool(value);
}

void CPropertyGridItemBool::SetBool(bool value) {
    SetValue(value ? TrueText() : FalseText());
    GetConstraints()->SetCurrent(value ? 0 : 1);
}

// ---- CPropertyGrid ----

CPropertyGrid::CPropertyGrid(QWidget* parent)
    : QWidget(parent), m_pTree(new QTreeWidget(this)), m_pDescription(new QLabel(this)) {
    m_pTree->setColumnCount(2);
    m_pTree->setHeaderHidden(true);
    m_pTree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_pTree->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_pTree->setItemDelegate(new CValueDelegate(m_pTree));
    m_pTree->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::SelectedClicked);
    m_pTree->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pDescription->setWordWrap(true);
    m_pDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pDescription->setAutoFillBackground(true);
    m_pDescription->setMargin(4);
    m_pDescription->setMinimumHeight(5 * fontMetrics().height());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_pTree, 1);
    layout->addWidget(m_pDescription);
    connect(m_pTree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* row) { OnCurrentRowChanged(row); });
    // One click on an item's row opens its drop-down.
    connect(m_pTree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* row) {
        if (row->flags() & Qt::ItemIsEditable) m_pTree->editItem(row, 1);
    });
}

CPropertyGrid::~CPropertyGrid() = default;

CPropertyGridItem* CPropertyGrid::AddCategory(const QString& caption) {
    auto category = std::make_unique<CPropertyGridItem>(caption);
    category->m_bCategory = true;
    CPropertyGridItem* raw = category.get();
    m_categories.push_back(std::move(category));
    raw->Attach(this, new QTreeWidgetItem(m_pTree));
    return raw;
}

void CPropertyGrid::SetCustomColors(std::uint32_t helpBack, std::uint32_t helpFore,
                                    std::uint32_t viewLine, std::uint32_t viewBack,
                                    std::uint32_t viewFore) {
    QPalette help = m_pDescription->palette();
    help.setColor(QPalette::Window, FromColorRef(helpBack));
    help.setColor(QPalette::WindowText, FromColorRef(helpFore));
    m_pDescription->setPalette(help);
    QPalette view = m_pTree->palette();
    view.setColor(QPalette::Base, FromColorRef(viewBack));
    view.setColor(QPalette::AlternateBase, FromColorRef(viewBack));
    view.setColor(QPalette::Text, FromColorRef(viewFore));
    m_pTree->setPalette(view);
    m_clrLine = FromColorRef(viewLine);
    for (int i = 0; i < m_pTree->topLevelItemCount(); ++i)
        PaintCategoryRow(m_pTree->topLevelItem(i));
}

CPropertyGridItem* CPropertyGrid::FindItem(const QString& caption) const {
    const auto rows = m_pTree->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive, 0);
    return rows.isEmpty() ? nullptr : ItemOf(rows.first());
}

QString CPropertyGrid::DescriptionText() const {
    return m_pDescription->text();
}

void CPropertyGrid::ValueChangedByUser(CPropertyGridItem* item) {
    emit Notify(GridNotification::ValueChanged, item);
}

void CPropertyGrid::OnCurrentRowChanged(QTreeWidgetItem* row) {
    CPropertyGridItem* item = row == nullptr ? nullptr : ItemOf(row);
    if (item == nullptr) {
        m_pDescription->clear();
        return;
    }
    m_pDescription->setText(
        QStringLiteral("<b>%1</b><br>%2")
            .arg(item->GetCaption().toHtmlEscaped(), item->GetDescription().toHtmlEscaped()));
    emit Notify(GridNotification::SelectionChanged, item);
}

void CPropertyGrid::PaintCategoryRow(QTreeWidgetItem* row) const {
    QFont bold = row->font(0);
    bold.setBold(true);
    row->setFont(0, bold);
    if (m_clrLine.isValid()) {
        row->setBackground(0, m_clrLine);
        row->setBackground(1, m_clrLine);
    }
}

CPropertyGridItem* CPropertyGrid::ItemOf(const QTreeWidgetItem* row) {
    return reinterpret_cast<CPropertyGridItem*>(row->data(0, kItemRole).value<quintptr>());
}
