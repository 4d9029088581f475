#include "CataloguePrinting.h"

#include "CatalogueWriter.h"

#include "catalogue/CatalogueRecord.h"
#include "catalogue/Database.h"
#include "catalogue/ForwardRecordset.h"
#include "catalogue/Progress.h"
#include "print/CataloguePrint.h"

#include <QDateTime>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>

namespace CataloguePrinting {

namespace {

// Rows stream from the engine and are dropped once painted.
class QueryRows : public PrintRows {
public:
    QueryRows(ForwardRecordset &rows, qint64 count)
        : m_rows(rows)
        , m_count(count)
    {
    }
    qint64 count() const override { return m_count; }
    bool next(QVector<QVariant> &fields) override
    {
        if (m_started && !m_rows.MoveNext()) {
            m_error = m_rows.lastError().text;
            return false;
        }
        m_started = true;
        // Ctrl+C stops the printing as it stops the other commands.
        if (m_rows.isEOF() || CatalogueWriter::stopRequested()) {
            if (CatalogueWriter::stopRequested())
                m_error = QStringLiteral("interrupted");
            return false;
        }
        for (int field = Catalogue::PREFIXE; field <= Catalogue::ISBN; ++field)
            fields[field - 1] = m_rows.field(field);
        return true;
    }
    QString errorString() const override { return m_error; }

private:
    ForwardRecordset &m_rows;
    qint64 m_count;
    bool m_started = false;
    QString m_error;
};

} // namespace

Result toPdf(const QString &catalogue, const QString &pdf, const QString &order, ProgressObserver *progress)
{
    Result result;
    if (QFileInfo::exists(pdf) || QFileInfo(pdf).isSymLink()) {
        result.error = QStringLiteral("%1 already exists").arg(pdf);
        return result;
    }
    Database db;
    if (!db.open(catalogue, Database::Mode::ReadOnly)) {
        result.error = QStringLiteral("%1: %2").arg(catalogue, db.lastError().text);
        return result;
    }
    const std::unique_ptr<Statement> counting =
        db.prepare(QStringLiteral("SELECT COUNT(*) FROM ") + Database::quoteName(Catalogue::TableName));
    if (!counting || counting->step() != Statement::Step::Row) {
        result.error = QStringLiteral("%1: %2").arg(catalogue, db.lastError().text);
        return result;
    }
    const qint64 count = counting->int64(0);
    QString query = QStringLiteral("SELECT * FROM ") + Catalogue::TableName;
    if (!order.isEmpty())
        query += QStringLiteral(" ORDER BY ") + order;
    ForwardRecordset rows;
    if (!rows.open(db, query)) {
        result.error = QStringLiteral("%1: %2").arg(catalogue, rows.lastError().text);
        return result;
    }

    QSaveFile file(pdf);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = QStringLiteral("%1: %2").arg(pdf, file.errorString());
        return result;
    }
    QueryRows source(rows, count);
    bool painted = false;
    {
        QPdfWriter writer(&file);
        writer.setTitle(QStringLiteral("Catalogue Ferulan"));
        writer.setCreator(QStringLiteral("ferulan-catalogue"));
        writer.setResolution(300);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                         QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
        CataloguePrint print(source, QStringLiteral("Catalogue — ") + QFileInfo(catalogue).fileName(),
                             order.isEmpty() ? QStringLiteral("Tout le catalogue, dans l'ordre de saisie")
                                             : QStringLiteral("Tout le catalogue, tri par ") + order,
                             QDateTime::currentDateTime());
        painted = print.paint(writer, progress);
        result.pages = print.pageCount();
        result.error = print.errorString();
    }
    if (!painted) {
        file.cancelWriting();
        if (result.error.isEmpty())
            result.error = QStringLiteral("the pages could not be painted");
        return result;
    }
    if (!file.commit()) {
        result.error = QStringLiteral("%1: %2").arg(pdf, file.errorString());
        return result;
    }
    result.written = true;
    result.rows = count;
    return result;
}

} // namespace CataloguePrinting
