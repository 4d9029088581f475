#include "ServerCatalogueWriter.h"

#include "CatalogueWriter.h"

#include "catalogue/CatalogueRecord.h"
#include "catalogue/postgres/PgSchema.h"

#include <QRegularExpression>

std::unique_ptr<RecordSink> RecordSink::forTarget(const QString &target)
{
    if (Database::isServerName(target))
        return std::make_unique<ServerCatalogueWriter>(target);
    return std::make_unique<CatalogueWriter>(target);
}

QString shownAddress(const QString &address)
{
    // A password written into the address is never repeated on screen.
    static const QRegularExpression inUser(QStringLiteral("(://[^:@/?]*:)[^@/?]*@"));
    static const QRegularExpression inKeyword(QStringLiteral("(password\\s*=\\s*)('[^']*'|[^&\\s]*)"),
                                              QRegularExpression::CaseInsensitiveOption);
    QString shown = address;
    shown.replace(inUser, QStringLiteral("\\1***@"));
    shown.replace(inKeyword, QStringLiteral("\\1***"));
    return shown;
}

namespace {

QString insertText(int rows)
{
    QStringList names;
    for (int position = Catalogue::PREFIXE; position <= Catalogue::ISBN; ++position)
        names << Database::quoteName(Catalogue::fieldName(position));
    QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES ")
                      .arg(Database::quoteName(Catalogue::TableName), names.join(QStringLiteral(", ")));
    for (int row = 0; row < rows; ++row)
        sql += row == 0 ? QStringLiteral("(?, ?, ?, ?::bigint, ?, ?, ?, ?)") : QStringLiteral(", (?, ?, ?, ?::bigint, ?, ?, ?, ?)");
    return sql;
}

} // namespace

ServerCatalogueWriter::ServerCatalogueWriter(QString address) : m_address(std::move(address)) {}

ServerCatalogueWriter::~ServerCatalogueWriter()
{
    abandon();
}

bool ServerCatalogueWriter::fail(const QString &text)
{
    m_error = text;
    abandon();
    return false;
}

bool ServerCatalogueWriter::failWithEngine(const QString &what)
{
    return fail(QStringLiteral("%1: %2").arg(what, m_db.lastError().text));
}

bool ServerCatalogueWriter::begin()
{
    if (!m_db.open(m_address))
        return fail(QStringLiteral("cannot reach %1: %2").arg(shownAddress(m_address), m_db.lastError().text));
    if (m_db.hasTable(Catalogue::TableName))
        return fail(QStringLiteral("%1 already holds a table %2; it is left as it is (drop it first, or choose "
                                   "another database)")
                        .arg(shownAddress(m_address), Catalogue::TableName));
    // The table is made inside the transaction: no one sees it half-filled,
    // and a failure takes it back with the rows.
    if (!m_db.exec(QStringLiteral("BEGIN")))
        return failWithEngine(QStringLiteral("cannot start the transaction"));
    m_open = true;
    if (!m_db.exec(PgSchema::createBiblio()))
        return failWithEngine(QStringLiteral("cannot create the table %1").arg(Catalogue::TableName));
    m_fullBatch = m_db.prepare(insertText(BatchRows));
    if (!m_fullBatch)
        return failWithEngine(QStringLiteral("cannot prepare the insert"));
    m_pending.reserve(BatchRows);
    return true;
}

bool ServerCatalogueWriter::add(const RecordValues &values)
{
    if (!m_open)
        return fail(m_error.isEmpty() ? QStringLiteral("the server's table is not open") : m_error);
    if (CatalogueWriter::stopRequested())
        return fail(QStringLiteral("interrupted; nothing was written"));
    m_pending.append(values);
    if (m_pending.size() == BatchRows && !flush())
        return false;
    return true;
}

bool ServerCatalogueWriter::flush()
{
    if (m_pending.isEmpty())
        return true;
    std::unique_ptr<Statement> partial;
    Statement *insert = m_fullBatch.get();
    if (m_pending.size() != BatchRows) {
        partial = m_db.prepare(insertText(int(m_pending.size())));
        if (!partial)
            return failWithEngine(QStringLiteral("cannot prepare the insert"));
        insert = partial.get();
    }
    insert->reset();
    int index = 0;
    for (const RecordValues &values : std::as_const(m_pending)) {
        for (int position = Catalogue::PREFIXE; position <= Catalogue::ISBN; ++position) {
            if (!insert->bind(++index, values[Catalogue::Field(position)]))
                return failWithEngine(QStringLiteral("cannot store record %1").arg(m_rows + 1));
        }
    }
    if (insert->step() != Statement::Step::Done)
        return failWithEngine(QStringLiteral("cannot store records %1 to %2").arg(m_rows + 1).arg(m_rows + m_pending.size()));
    for (int i = 0; i < m_pending.size(); ++i) {
        ++m_rows;
        if (m_rowWritten)
            m_rowWritten(m_rows);
    }
    m_pending.clear();
    return true;
}

bool ServerCatalogueWriter::finish()
{
    if (!m_open)
        return fail(m_error.isEmpty() ? QStringLiteral("the server's table is not open") : m_error);
    if (CatalogueWriter::stopRequested())
        return fail(QStringLiteral("interrupted; nothing was written"));
    if (!flush())
        return false;
    m_fullBatch.reset();
    if (!m_db.exec(QStringLiteral("COMMIT")))
        return failWithEngine(QStringLiteral("cannot commit"));
    m_open = false;
    m_db.close();
    return true;
}

void ServerCatalogueWriter::abandon()
{
    m_fullBatch.reset();
    m_pending.clear();
    if (m_open)
        m_db.exec(QStringLiteral("ROLLBACK"));
    m_open = false;
    m_db.close();
}
