#include "CatalogueGridModel.h"

#include "IsbnMark.h"

#include "catalogue/CatalogueRecord.h"
#include "catalogue/DataControl.h"

#include <QBrush>

#include <QScopedValueRollback>

CatalogueGridModel::CatalogueGridModel(DataControl &data, QObject *parent)
    : QAbstractTableModel(parent)
    , m_data(data)
{
    connect(&m_data, &DataControl::refreshed, this, &CatalogueGridModel::reset);
    connect(&m_data, &DataControl::recordAppended, this, &CatalogueGridModel::appended);
    connect(&m_data, &DataControl::recordRemoved, this, &CatalogueGridModel::removed);
    connect(&m_data, &DataControl::recordStored, this, &CatalogueGridModel::stored);
    connect(&m_data, &DataControl::repositioned, this, &CatalogueGridModel::currentMoved);
    reset();
}

int CatalogueGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int CatalogueGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QVariant CatalogueGridModel::data(const QModelIndex &index, int role) const
{
    if (index.isValid() && index.column() == Catalogue::ISBN
        && (role == Qt::BackgroundRole || role == Qt::ForegroundRole || role == Qt::ToolTipRole))
        return isbnMark(index, role);
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::AccessibleTextRole))
        return {};
    const QVariant value = m_data.Recordset().valueAt(index.row(), index.column());
    const QString text = value.isNull() ? QString() : value.toString();
    // A screen reader says nothing of an empty cell unless told.
    if (role == Qt::AccessibleTextRole && text.isEmpty())
        return QStringLiteral("vide");
    return text;
}

QVariant CatalogueGridModel::isbnMark(const QModelIndex &index, int role) const
{
    const QString warning = IsbnMark::warning(data(index, Qt::EditRole).toString());
    if (warning.isEmpty())
        return {};
    if (role == Qt::ToolTipRole)
        return warning;
    return QBrush(role == Qt::BackgroundRole ? IsbnMark::background() : IsbnMark::foreground());
}

QVariant CatalogueGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        // The code columns are narrower than their names: the start of the
        // name shows, the whole name is the tooltip.
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
            return m_data.Recordset().fieldNames().value(section);
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        return {};
    }
    // The record selector: a mark on the current row only; read aloud as
    // the record's number.
    if (role == Qt::AccessibleTextRole)
        return section == m_currentRow ? QStringLiteral("Enregistrement %1, courant").arg(section + 1)
                                       : QStringLiteral("Enregistrement %1").arg(section + 1);
    if (role != Qt::DisplayRole)
        return {};
    return section == m_currentRow ? QStringLiteral("▶") : QString();
}

Qt::ItemFlags CatalogueGridModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() != 0 && !m_data.ReadOnly())
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool CatalogueGridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || m_data.ReadOnly())
        return false;
    const QString text = value.isNull() ? QString() : value.toString();
    if (text == data(index, Qt::EditRole).toString())
        return true; // nothing changed: the record is not put into editing
    RecordSet &records = m_data.Recordset();
    // The edited row becomes the current record first, storing the one left.
    if (records.AbsolutePosition() != index.row() && !records.Move(index.row())) {
        Q_EMIT editRefused(records.lastError().number, records.lastError().text);
        return false;
    }
    if (!records.setValue(index.column(), text)) {
        Q_EMIT editRefused(records.lastError().number, records.lastError().text);
        return false;
    }
    Q_EMIT dataChanged(this->index(index.row(), 0), this->index(index.row(), m_columns - 1));
    return true;
}

void CatalogueGridModel::rowChanged(int row)
{
    if (row >= 0 && row < m_rows)
        Q_EMIT dataChanged(index(row, 0), index(row, m_columns - 1));
}

void CatalogueGridModel::reset()
{
    const QScopedValueRollback<bool> following(m_following, true);
    beginResetModel();
    m_rows = m_data.Recordset().recordCount();
    m_columns = m_data.Recordset().fieldCount();
    m_currentRow = m_data.Recordset().AbsolutePosition();
    endResetModel();
}

void CatalogueGridModel::appended(int position)
{
    const QScopedValueRollback<bool> following(m_following, true);
    beginInsertRows({}, position, position);
    m_rows = m_data.Recordset().recordCount();
    endInsertRows();
}

void CatalogueGridModel::removed(int position)
{
    const QScopedValueRollback<bool> following(m_following, true);
    beginRemoveRows({}, position, position);
    m_rows = m_data.Recordset().recordCount();
    m_currentRow = m_data.Recordset().AbsolutePosition();
    endRemoveRows();
}

void CatalogueGridModel::stored(int position)
{
    rowChanged(position);
}

void CatalogueGridModel::currentMoved()
{
    const int previous = m_currentRow;
    m_currentRow = m_data.Recordset().AbsolutePosition();
    if (previous == m_currentRow)
        return;
    if (previous >= 0 && previous < m_rows)
        Q_EMIT headerDataChanged(Qt::Vertical, previous, previous);
    if (m_currentRow >= 0)
        Q_EMIT headerDataChanged(Qt::Vertical, m_currentRow, m_currentRow);
}
