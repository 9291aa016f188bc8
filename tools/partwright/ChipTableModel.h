#pragma once

#include <QAbstractTableModel>
#include <QString>

#include "ChipListDocument.h"

// The chip list as a Qt table model: one row per record, the columns name, algorithm code,
// ROM KB, voltage and signature, every cell editable with the list's checks. It owns its
// document; the view and the window (or a test) use it on the GUI thread only.
class ChipTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit ChipTableModel(QObject* parent = nullptr);

    // Opens the list at the path (see ChipListDocument::Open) and resets the view.
    bool open(const QString& path);
    SaveResult save();
    const ChipListDocument& document() const { return m_doc; }

    // The reason for a refused edit, as the window shows it.
    static QString errorText(chiptable::FieldError error);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    // New rows get placeholder values the user then edits.
    bool insertRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
    // Moves one row; destination is the row it goes before, counted before the move.
    bool moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                  const QModelIndex& destinationParent, int destination) override;

signals:
    // An edit was not taken; reason says why.
    void editRefused(const QString& reason);
    // The list differs from the file now (or no longer, after a save or an open).
    void modifiedChanged(bool modified);

private:
    // Runs a change of the document and reports when its modified state flips.
    template <typename Change>
    bool change(Change&& apply);

    ChipListDocument m_doc;
};
