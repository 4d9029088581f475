#pragma once

#include "catalogue/RecordSet.h"

#include <QUndoCommand>

class DataControl;

// One change stored in the catalogue (a record added, edited or deleted).
// It takes itself back, or makes itself again, through the data control's
// record set, which finds the record by its key wherever the current sort,
// search or filter has put it.
class RecordChangeCommand : public QUndoCommand {
public:
    RecordChangeCommand(DataControl &data, const RecordChange &change);

    // False, with nothing changed, when the catalogue refuses; error() then
    // says why. The stack's undo() and redo() that follow find the change
    // made already.
    bool takeBack() { return apply(true); }
    bool makeAgain() { return apply(false); }
    const QString &error() const { return m_error; }

    void undo() override;
    void redo() override;

private:
    bool apply(bool reverse);

    DataControl &m_data;
    RecordChange m_change;
    // Whether the change stands in the file; it does when it is pushed.
    bool m_standing = true;
    QString m_error;
};
