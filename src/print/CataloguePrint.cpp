#include "CataloguePrint.h"

#include "catalogue/CatalogueRecord.h"
#include "catalogue/CodeTables.h"
#include "catalogue/Progress.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLocale>
#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Shares of the page width, fields 1 to 8: the title gets the most.
constexpr double ColumnShare[] = {0.12, 0.06, 0.17, 0.06, 0.14, 0.11, 0.24, 0.10};
constexpr int Fields = 8;

QFont printFont(double points, bool bold = false)
{
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("Helvetica")});
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

} // namespace

CataloguePrint::CataloguePrint(PrintRows &rows, QString title, QString subtitle, QDateTime printedAt)
    : m_rows(rows)
    , m_title(std::move(title))
    , m_subtitle(std::move(subtitle))
    , m_printedAt(std::move(printedAt))
{
}

QString CataloguePrint::fieldText(int field, const QVariant &value)
{
    const QString text = value.toString();
    const CodeTable *table = field == Catalogue::PREFIXE ? &CodeTables::prefixe()
        : field == Catalogue::LANGUE                     ? &CodeTables::langue()
        : field == Catalogue::DOMAINE                    ? &CodeTables::domaine()
                                                         : nullptr;
    if (!table)
        return text;
    const CodeEntry *entry = table->entryForText(text);
    return entry ? entry->caption : text;
}

bool CataloguePrint::paint(QPagedPaintDevice &device, ProgressObserver *progress)
{
    m_error.clear();
    m_pages = 0;
    QPainter painter;
    if (!painter.begin(&device)) {
        m_error = QStringLiteral("La page ne peut pas être dessinée (imprimante ou fichier inaccessible).");
        return false;
    }

    const QFont titleFont = printFont(11, true);
    const QFont smallFont = printFont(8);
    const QFont headerFont = printFont(8, true);
    const QFont cellFont = printFont(8);
    const QFontMetricsF titleMetrics(titleFont, &device);
    const QFontMetricsF smallMetrics(smallFont, &device);
    const QFontMetricsF cellMetrics(cellFont, &device);

    const QRectF page = painter.viewport();
    const double width = page.width();
    const double rowHeight = std::ceil(cellMetrics.height() * 1.4);
    const double pad = cellMetrics.averageCharWidth() * 0.6;
    const double headTop = titleMetrics.height() + smallMetrics.height() * 1.6;
    const double tableTop = headTop + rowHeight;
    const double footerHeight = smallMetrics.height() * 1.8;
    const int rowsPerPage = std::max(1, int((page.height() - tableTop - footerHeight) / rowHeight));

    const qint64 total = std::max<qint64>(0, m_rows.count());
    const int pages = int(std::max<qint64>(1, (total + rowsPerPage - 1) / rowsPerPage));
    double columnLeft[Fields + 1] = {0};
    for (int i = 0; i < Fields; ++i)
        columnLeft[i + 1] = columnLeft[i] + ColumnShare[i] * width;

    const QLocale french(QLocale::French);
    const QString date = french.toString(m_printedAt.date(), QStringLiteral("d MMMM yyyy")) + QStringLiteral(" à ")
        + m_printedAt.time().toString(QStringLiteral("HH:mm"));
    const QPen rule(Qt::black, std::max(1.0, cellMetrics.lineWidth()));
    const QColor band(0xee, 0xee, 0xee);

    ProgressReport report(progress, total);
    QVector<QVariant> fields(Fields);
    qint64 done = 0;
    bool more = total > 0 && m_rows.next(fields);
    for (int pageNumber = 1;; ++pageNumber) {
        if (pageNumber > 1 && !device.newPage()) {
            m_error = QStringLiteral("La page %1 ne peut pas commencer.").arg(pageNumber);
            break;
        }
        ++m_pages;
        // Head: title and date, what narrows the list, the field names.
        painter.setPen(Qt::black);
        painter.setFont(titleFont);
        painter.drawText(QRectF(0, 0, width * 0.7, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         titleMetrics.elidedText(m_title, Qt::ElideRight, width * 0.7));
        painter.setFont(smallFont);
        painter.drawText(QRectF(width * 0.7, 0, width * 0.3, titleMetrics.height()), Qt::AlignRight | Qt::AlignVCenter,
                         date);
        painter.drawText(QRectF(0, titleMetrics.height(), width, smallMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         smallMetrics.elidedText(m_subtitle, Qt::ElideRight, width));
        painter.setFont(headerFont);
        for (int i = 0; i < Fields; ++i) {
            painter.drawText(QRectF(columnLeft[i] + pad, headTop, columnLeft[i + 1] - columnLeft[i] - 2 * pad, rowHeight),
                             Qt::AlignLeft | Qt::AlignVCenter, Catalogue::fieldName(i + 1));
        }
        painter.setPen(rule);
        painter.drawLine(QPointF(0, tableTop), QPointF(width, tableTop));

        painter.setFont(cellFont);
        painter.setPen(Qt::black);
        if (total == 0) {
            painter.drawText(QRectF(pad, tableTop, width, rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                             QStringLiteral("Aucune fiche"));
        }
        for (int line = 0; line < rowsPerPage && more; ++line) {
            const double top = tableTop + line * rowHeight;
            if (line % 2 == 1)
                painter.fillRect(QRectF(0, top, width, rowHeight), band);
            // At the baseline rather than in a box: the cells are one line
            // each, and the box's layout costs more than the text.
            const double baseline = top + (rowHeight - cellMetrics.height()) / 2 + cellMetrics.ascent();
            for (int i = 0; i < Fields; ++i) {
                const double cellWidth = columnLeft[i + 1] - columnLeft[i] - 2 * pad;
                painter.drawText(QPointF(columnLeft[i] + pad, baseline),
                                 cellMetrics.elidedText(fieldText(i + 1, fields[i]).simplified(), Qt::ElideRight,
                                                        cellWidth));
            }
            ++done;
            more = m_rows.next(fields);
        }

        // Foot: the page number, of a total a source that grew meanwhile
        // may pass.
        painter.setFont(smallFont);
        painter.drawText(QRectF(0, page.height() - smallMetrics.height(), width, smallMetrics.height()),
                         Qt::AlignHCenter | Qt::AlignVCenter,
                         QStringLiteral("Page %1 / %2").arg(pageNumber).arg(std::max(pages, pageNumber)));
        if (!more)
            break;
        if (!report.report(done)) {
            m_error = QStringLiteral("Impression arrêtée après la page %1.").arg(pageNumber);
            break;
        }
    }
    if (m_error.isEmpty() && !m_rows.errorString().isEmpty())
        m_error = m_rows.errorString();
    painter.end();
    return m_error.isEmpty();
}
