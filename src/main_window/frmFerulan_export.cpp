// Leaving through "Fin".

#include "frmFerulan.h"

#include "HandlerError.h"

#include "catalogue/CatalogueExport.h"
#include "catalogue/Database.h"
#include "catalogue/ForwardRecordset.h"
#include "util/Library.h"

void frmFerulan::cmdClose_Click()
{
    if (editingGranted()) {
        // A second connection of its own: the window's filter, search and
        // order do not apply, and its current record is not moved. It only
        // reads, so it is opened read-only.
        Database db;
        if (!db.open(Library::FileInFolder(m_programFolder, m_module1.DatabaseFile), Database::Mode::ReadOnly))
            raiseHandlerError(db.lastError().text);
        ForwardRecordset rs;
        if (!rs.open(db, QStringLiteral("SELECT * FROM ") + m_module1.TableName + QStringLiteral(" ORDER BY DOMAINE")))
            raiseHandlerError(rs.lastError().text);
        // On failure the previous file stays whole and the window stays
        // open, so nothing is lost.
        QString error;
        if (!CatalogueExport::Export(rs, QStringLiteral(";;"),
                                     Library::FileInFolder(m_programFolder, QLatin1String(CatalogueExport::FileName)),
                                     &error))
            raiseHandlerError(error);
    }
    close();
}
