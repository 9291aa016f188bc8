#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

class CPropertyGrid;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

// The ordered choices of a drop-down item and which of them is current. The current index is
// kept apart from the item's value text: the program may show a text that is not one of the
// choices while a choice is current.
class CPropertyGridConstraints {
public:
    void AddConstraint(const QString& choice) { m_choices.append(choice); }
    int GetCount() const { return static_cast<int>(m_choices.size()); }
    QString GetAt(int index) const { return m_choices.value(index); }
    // Index of the first choice equal to text, -1 when none is.
    int FindConstraint(const QString& text) const {
        return static_cast<int>(m_choices.indexOf(text));
    }
    // -1 when no choice is current.
    int GetCurrent() const { return m_nCurrent; }
    void SetCurrent(int index) { m_nCurrent = index; }

private:
    QStringList m_choices;
    int m_nCurrent = -1;
};

// One row of the property grid: a category (which holds items) or an item with a caption, a value
// text, a description shown under the grid while the row is current, and choices for its
// drop-down editor. Created by the caller and handed to the grid, which owns it from then on.
// UI thread only.
class CPropertyGridItem {
public:
    // Item flag: the value is changed only by picking one of the choices (no free text).
    static constexpr int kFlagListOnly = 4;

    CPropertyGridItem(const QString& caption, const QString& value = QString());
    virtual ~CPropertyGridItem();
    CPropertyGridItem(const CPropertyGridItem&) = delete;
    CPropertyGridItem& operator=(const CPropertyGridItem&) = delete;

    // Adds the item under this one and returns it; this item owns it.
    CPropertyGridItem* AddChildItem(std::unique_ptr<CPropertyGridItem> item);

    QString GetCaption() const { return m_strCaption; }
    QString GetValue() const { return m_strValue; }
    // Shows the text as the value; the current choice is left as it is. No notification.
    virtual void SetValue(const QString& value);
    // A value the user entered: shows it, makes the matching choice current and notifies the
    // grid's owner with GridNotification::ValueChanged.
    void OnValueChanged(const QString& value);

    QString GetDescription() const { return m_strDescription; }
    void SetDescription(const QString& description);
    CPropertyGridConstraints* GetConstraints() { return &m_constraints; }
    const CPropertyGridConstraints* GetConstraints() const { return &m_constraints; }
    int GetFlags() const { return m_nFlags; }
    void SetFlags(int flags) { m_nFlags = flags; }
    bool IsCategory() const { return m_bCategory; }
    // Shows the children of the row.
    void Expand();

private:
    friend class CPropertyGrid;
    // Gives the item its row in the grid; the children get theirs below it.
    void Attach(CPropertyGrid* grid, QTreeWidgetItem* row);
    void ShowRowValue();

    QString m_strCaption;
    QString m_strValue;
    QString m_strDescription;
    CPropertyGridConstraints m_constraints;
    int m_nFlags = 0;
    bool m_bCategory = false;
    std::vector<std::unique_ptr<CPropertyGridItem>> m_children;
    CPropertyGrid* m_pGrid = nullptr;
    QTreeWidgetItem* m_pRow = nullptr;  // owned by the grid's tree
};

// An item whose value is "True" or "False", chosen from those two.
class CPropertyGridItemBool : public CPropertyGridItem {
public:
    CPropertyGridItemBool(const QString& caption, bool value);
    void SetBool(bool value);
    static QString TrueText() { return QStringLiteral("True"); }
    static QString FalseText() { return QStringLiteral("False"); }
};

// What the grid tells its owner through CPropertyGrid::Notify.
enum class GridNotification {
    SelectionChanged = 2,  // another row became current
    ValueChanged = 3,      // the user changed the item's value
};

// A property grid: categories of captioned values in a two-column tree with a description pane
// under it; drop-down editors offer each item's choices. Owns its categories and items. Lives on
// the UI thread with its parent widget.
class CPropertyGrid : public QWidget {
    Q_OBJECT
public:
    explicit CPropertyGrid(QWidget* parent = nullptr);
    ~CPropertyGrid() override;

    // Adds a category row at the end and returns it; the grid owns it.
    CPropertyGridItem* AddCategory(const QString& caption);

    // Colours as 0x00BBGGRR values: the description pane's background and text, the category
    // rows and grid lines, the value area's background and text.
    void SetCustomColors(std::uint32_t helpBack, std::uint32_t helpFore, std::uint32_t viewLine,
                         std::uint32_t viewBack, std::uint32_t viewFore);

    // The first item (category or not) with the caption, or null.
    CPropertyGridItem* FindItem(const QString& caption) const;

    QTreeWidget* Tree() const { return m_pTree; }
    // The description pane's current text (the current row's caption and description).
    QString DescriptionText() const;

signals:
    void Notify(GridNotification code, CPropertyGridItem* item);

private:
    friend class CPropertyGridItem;
    void ValueChangedByUser(CPropertyGridItem* item);
    void OnCurrentRowChanged(QTreeWidgetItem* row);
    void PaintCategoryRow(QTreeWidgetItem* row) const;
    static CPropertyGridItem* ItemOf(const QTreeWidgetItem* row);

    QTreeWidget* m_pTree;
    QLabel* m_pDescription;
    std::vector<std::unique_ptr<CPropertyGridItem>> m_categories;
    QColor m_clrLine;
};
