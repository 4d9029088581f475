#pragma once

#include <QAbstractTableModel>

class DataControl;

// The grid's view of the data control's record set. Rows are fetched from
// the record set only when the grid shows them, so a large catalogue costs
// no more than a screenful. Edits go into the current record's edit buffer;
// the data control stores them when it leaves the record.
class CatalogueGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit CatalogueGridModel(DataControl &data, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // The values of this row changed outside the grid (typed in the form).
    void rowChanged(int row);

    // True while rows come or go because the record set changed: the view's
    // cell cursor then moves on its own, not by the user's choice.
    bool followingRecordSet() const { return m_following; }

Q_SIGNALS:
    // The record set refused an edit typed into a cell.
    void editRefused(int number, const QString &message);

private:
    // The ISBN column's mark for a wrong check digit, by role.
    QVariant isbnMark(const QModelIndex &index, int role) const;
    void reset();
    void appended(int position);
    void removed(int position);
    void stored(int position);
    void currentMoved();

    DataControl &m_data;
    // Kept apart from the record set so the model stays consistent while
    // it announces a change that has already happened there.
    int m_rows = 0;
    int m_columns = 0;
    int m_currentRow = -1;
    bool m_following = false;
};
