// Printing: the set shown, in its order and with its search and filter, as a
// table in a print preview, from where it goes to a printer or a PDF file.

#include "frmFerulan.h"

#include "Messenger.h"
#include "WorkProgress.h"

#include "catalogue/CatalogueRecord.h"
#include "catalogue/QueryInForce.h"
#include "print/CataloguePrint.h"

#include <QPageLayout>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>

namespace {

// The window's record set by position; a pending edit of the current record
// shows through, as in the grid. Rows are fetched one at a time and only a
// bounded number stays cached.
class RecordSetRows : public PrintRows {
public:
    explicit RecordSetRows(const RecordSet &records)
        : m_records(records)
    {
    }
    qint64 count() const override { return m_records.recordCount(); }
    bool next(QVector<QVariant> &fields) override
    {
        if (m_position >= m_records.recordCount())
            return false;
        for (int field = Catalogue::PREFIXE; field <= Catalogue::ISBN; ++field)
            fields[field - 1] = m_records.valueAt(m_position, field);
        ++m_position;
        return true;
    }

private:
    const RecordSet &m_records;
    int m_position = 0;
};

} // namespace

void frmFerulan::printCatalogue()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
    printer.setDocName(QStringLiteral("Catalogue Ferulan"));

    QPrintPreviewDialog preview(&printer, this);
    preview.setObjectName(QStringLiteral("printPreview"));
    preview.setWindowTitle(QStringLiteral("Aperçu avant impression"));
    // Large enough to read a page; Qt's default shows it as a stamp.
    if (const QScreen *screen = this->screen())
        preview.resize(QSize(1100, 760).boundedTo(screen->availableSize() * 0.9));
    WorkProgress progress(this, QStringLiteral("Mise en page du catalogue…"), WorkProgress::Cancellable);
    // Asked again for each change of the page setup and for the printing itself.
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this, &progress](QPrinter *target) {
        RecordSetRows rows(Data1.Recordset());
        const QString order = m_orderInForce.isEmpty() ? QString() : QStringLiteral(", tri par ") + m_orderInForce;
        const QString count = QueryInForce::countText(rows.count());
        CataloguePrint print(rows, QStringLiteral("Catalogue — ") + count,
                             (m_conditions.isEmpty() ? QStringLiteral("Tout le catalogue") : m_conditions) + order,
                             QDateTime::currentDateTime());
        if (!print.paint(*target, &progress) && !progress.wasCancelled())
            m_messenger.MsgBox(print.errorString(), 0, QStringLiteral("Ferulan"));
    });
    preview.exec();
}
