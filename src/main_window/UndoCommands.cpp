#include "UndoCommands.h"

#include "catalogue/DataControl.h"

namespace {

// How the menu names the record: its title, else its author, else its key.
QString recordName(const RecordSet &records, const RecordChange &change)
{
    const QVector<QVariant> &row = change.before.isEmpty() ? change.after : change.before;
    for (const char *field : {"TITRE", "AUTEUR"}) {
        QString text = row.value(records.fieldNames().indexOf(QLatin1String(field))).toString().simplified();
        if (text.size() > 32)
            text = text.left(31) + QChar(0x2026);
        if (!text.isEmpty())
            return QStringLiteral("« %1 »").arg(text);
    }
    return QStringLiteral("(clé %1)").arg(change.key);
}

} // namespace

RecordChangeCommand::RecordChangeCommand(DataControl &data, const RecordChange &change)
    : m_data(data)
    , m_change(change)
{
    if (change.before.isEmpty())
        setText(QStringLiteral("l'ajout d'une fiche"));
    else if (change.after.isEmpty())
        setText(QStringLiteral("la suppression de la fiche %1").arg(recordName(data.Recordset(), change)));
    else
        setText(QStringLiteral("la modification de la fiche %1").arg(recordName(data.Recordset(), change)));
}

bool RecordChangeCommand::apply(bool reverse)
{
    if (m_standing != reverse)
        return true; // already where it is asked to be
    if (!m_data.Recordset().applyChange(m_change, reverse)) {
        m_error = m_data.Recordset().lastError().text;
        return false;
    }
    m_error.clear();
    m_standing = !reverse;
    return true;
}

void RecordChangeCommand::undo()
{
    apply(true);
}

void RecordChangeCommand::redo()
{
    apply(false);
}
