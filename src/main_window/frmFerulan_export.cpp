// Leaving through "Fin".

#include "frmFerulan.h"

#include "HandlerError.h"
#include "WorkProgress.h"

#include "catalogue/CatalogueExport.h"
#include "catalogue/Database.h"
#include "util/Library.h"

void frmFerulan::cmdClose_Click()
{
    if (editingGranted()) {
        // A second connection of its own: the window's filter, search and
        // order do not apply, and its current record is not moved. It only
        // reads, so it is opened read-only.
        Database db;
        if (!db.open(Database::resolveName(m_programFolder, m_module1.DatabaseFile), Database::Mode::ReadOnly))
            raiseHandlerError(db.lastError().text);
        // A large catalogue takes seconds: the user sees how far it is and
        // may stop it, which keeps the previous file and the window.
        WorkProgress progress(this, QStringLiteral("Exportation du catalogue vers biblio.txt…"),
                              WorkProgress::Cancellable);
        QString error;
        switch (CatalogueExport::ExportQuery(
            db, QStringLiteral("SELECT * FROM ") + m_module1.TableName + QStringLiteral(" ORDER BY DOMAINE"),
            QStringLiteral(";;"), Library::FileInFolder(m_programFolder, QLatin1String(CatalogueExport::FileName)),
            &error, &progress)) {
        case CatalogueExport::Outcome::Written:
            break;
        case CatalogueExport::Outcome::Cancelled:
            throw HandlerStopped{};
        case CatalogueExport::Outcome::Failed:
            // The previous file stays whole and the window stays open, so
            // nothing is lost.
            raiseHandlerError(error);
        }
    }
    close();
}
