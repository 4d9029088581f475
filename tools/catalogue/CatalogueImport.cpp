#include "CatalogueImport.h"

#include "CatalogueWriter.h"
#include "ExportFileReader.h"
#include "IsolatedAccessReader.h"
#include "RecordConversion.h"
#include "ServerCatalogueWriter.h"

#include "catalogue/CatalogueFormat.h"
#include "catalogue/Database.h"
#include "catalogue/RowStream.h"

#include <QFile>
#include <QFileInfo>

namespace CatalogueImport {

int ColumnMatch::matched() const
{
    int count = 0;
    for (int c : column)
        count += c >= 0 ? 1 : 0;
    return count;
}

ColumnMatch matchColumns(const QVector<AccessReader::Column> &columns)
{
    ColumnMatch match;
    QVector<bool> used(columns.size(), false);
    for (int position = Catalogue::PREFIXE; position <= Catalogue::ISBN; ++position) {
        const QString field = Catalogue::fieldName(position);
        int found = -1;
        for (int i = 0; i < columns.size() && found < 0; ++i) {
            if (!used[i] && columns.at(i).name.compare(field, Qt::CaseInsensitive) == 0)
                found = i;
        }
        if (found < 0) {
            match.notes << QStringLiteral("the table has no column %1; the field stays empty").arg(field);
            continue;
        }
        used[found] = true;
        const AccessReader::Column &column = columns.at(found);
        if (column.kind == AccessReader::ColumnKind::Unsupported) {
            match.notes << QStringLiteral("column %1 holds values of type %2, which a catalogue field cannot take; "
                                          "%3 stays empty")
                               .arg(column.name, column.typeName, field);
            continue;
        }
        match.column[std::size_t(position - Catalogue::PREFIXE)] = found;
    }
    for (int i = 0; i < columns.size(); ++i) {
        // The first column is the row key the program never addresses; the
        // new file numbers its rows itself.
        if (used[i] || i == 0)
            continue;
        match.notes << QStringLiteral("column %1 is not a catalogue field and is not carried over")
                           .arg(columns.at(i).name);
    }
    return match;
}

RecordValues recordFromAccessRow(const AccessRow &reader, const ColumnMatch &match, qint64 row,
                                 ImportReport &report)
{
    RecordValues values;
    for (int position = Catalogue::PREFIXE; position <= Catalogue::ISBN; ++position) {
        const auto field = Catalogue::Field(position);
        const int column = match.columnOf(field);
        if (column < 0)
            continue;
        const QString text = reader.text(column);
        if (reader.wasCut(column))
            report.addRow(row, QStringLiteral("%1 is too long and was cut").arg(Catalogue::fieldName(position)));
        if (field == Catalogue::NUMERO) {
            QString problem;
            values[field] = RecordConversion::numero(text, &problem);
            if (!problem.isEmpty())
                report.addRow(row, problem);
        } else {
            values.setText(field, text);
        }
    }
    return values;
}

namespace {

// The engine's own files start with this; a user may mistake one for a source.
bool isCatalogueFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(16) == QByteArray("SQLite format 3\0", 16);
}

Result failed(Result result, const QString &error)
{
    result.error = error;
    return result;
}

Result fromAccess(const QString &source, const QString &target, const QString &table, ImportReport &report,
                  const std::function<void(qint64)> &rowWritten)
{
    Result result;
    result.kind = SourceKind::Access;
    report.setUnit(QStringLiteral("row"));
    IsolatedAccessReader reader;
    if (!reader.open(source, table.isEmpty() ? DefaultTable : table))
        return failed(result, reader.errorString());
    result.sourceDescription = QStringLiteral("Access file (%1), table %2").arg(reader.formatName(), reader.tableName());

    const ColumnMatch match = matchColumns(reader.columns());
    if (match.matched() == 0) {
        QStringList names;
        for (const AccessReader::Column &column : reader.columns())
            names << column.name;
        return failed(result, QStringLiteral("no column of the table \"%1\" is a catalogue field "
                                             "(PREFIXE, LANGUE, DOMAINE, NUMERO, AUTEUR, EDITEUR, TITRE, ISBN); "
                                             "its columns: %2")
                                  .arg(reader.tableName(), names.join(QStringLiteral(", "))));
    }

    const auto writer = RecordSink::forTarget(target);
    writer->setRowWritten(rowWritten);
    if (!writer->begin())
        return failed(result, writer->errorString());
    for (const QString &note : match.notes)
        report.addNote(note);
    qint64 row = 0;
    while (reader.next()) {
        ++row;
        if (!writer->add(recordFromAccessRow(reader, match, row, report)))
            return failed(result, writer->errorString());
    }
    if (!reader.errorString().isEmpty())
        return failed(result, reader.errorString());
    if (row != reader.declaredRowCount()) {
        report.addNote(QStringLiteral("the table says it holds %1 rows, but %2 could be read; the file may be damaged")
                           .arg(reader.declaredRowCount())
                           .arg(row));
    }
    if (!writer->finish())
        return failed(result, writer->errorString());
    result.written = true;
    result.rows = writer->rowCount();
    return result;
}

Result fromExportFile(const QString &source, const QString &target, ImportReport &report,
                      const std::function<void(qint64)> &rowWritten)
{
    Result result;
    result.kind = SourceKind::ExportFile;
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        return failed(result, QStringLiteral("cannot read %1: %2").arg(source, file.errorString()));
    // Read, not mapped: a file cut short while it is read must give an
    // error, not a signal.
    const qint64 size = file.size();
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return failed(result, QStringLiteral("cannot read %1: %2").arg(source, file.errorString()));
    if (bytes.size() != size || file.size() != size)
        return failed(result, QStringLiteral("%1 changed while it was read").arg(source));

    const auto writer = RecordSink::forTarget(target);
    writer->setRowWritten(rowWritten);
    if (!writer->begin())
        return failed(result, writer->errorString());
    ExportFileReader reader;
    const bool ok = reader.read(bytes, report, [&writer](const RecordValues &values, qint64) {
        return writer->add(values);
    });
    if (!ok)
        return failed(result, reader.errorString().isEmpty() ? writer->errorString() : reader.errorString());
    if (!writer->finish())
        return failed(result, writer->errorString());
    result.sourceDescription = QStringLiteral("export file (%1)")
                                   .arg(reader.encodingName());
    result.written = true;
    result.rows = writer->rowCount();
    return result;
}

// A catalogue file (the start-up backup of a server's catalogue is one)
// carried onto a server: the fields as they are, in the order of the rows'
// keys, so that the server numbers them in the same order.
Result fromCatalogueFile(const QString &source, const QString &target, const std::function<void(qint64)> &rowWritten)
{
    Result result;
    result.kind = SourceKind::CatalogueFile;
    Database db;
    if (!db.open(source, Database::Mode::ReadOnly))
        return failed(result, QStringLiteral("cannot read %1: %2").arg(source, db.lastError().text));
    const auto key = db.rowKey(Catalogue::TableName);
    if (!key)
        return failed(result, QStringLiteral("%1: %2").arg(source, db.lastError().text));
    RowStream rows(db);
    if (!rows.open(QStringLiteral("SELECT * FROM %1 ORDER BY %2").arg(Database::quoteName(Catalogue::TableName), *key)))
        return failed(result, QStringLiteral("cannot read %1: %2").arg(source, db.lastError().text));
    std::array<int, 8> columnOf{{-1, -1, -1, -1, -1, -1, -1, -1}};
    for (int column = 0; column < rows.columnCount(); ++column) {
        for (int position = Catalogue::PREFIXE; position <= Catalogue::ISBN; ++position) {
            if (rows.columnName(column).compare(Catalogue::fieldName(position), Qt::CaseInsensitive) == 0)
                columnOf[std::size_t(position - Catalogue::PREFIXE)] = column;
        }
    }

    const auto writer = RecordSink::forTarget(target);
    writer->setRowWritten(rowWritten);
    if (!writer->begin())
        return failed(result, writer->errorString());
    Statement::Step step;
    while ((step = rows.step()) == Statement::Step::Row) {
        RecordValues values;
        for (int position = Catalogue::PREFIXE; position <= Catalogue::ISBN; ++position) {
            const int column = columnOf[std::size_t(position - Catalogue::PREFIXE)];
            if (column >= 0)
                values[Catalogue::Field(position)] = rows.row().value(column);
        }
        if (!writer->add(values))
            return failed(result, writer->errorString());
    }
    if (step == Statement::Step::Error)
        return failed(result, QStringLiteral("cannot read %1: %2").arg(source, db.lastError().text));
    if (!writer->finish())
        return failed(result, writer->errorString());
    result.sourceDescription = QStringLiteral("catalogue file");
    result.written = true;
    result.rows = writer->rowCount();
    return result;
}

} // namespace

Result run(const QString &source, const QString &target, const QString &table, ImportReport &report,
           const std::function<void(qint64)> &rowWritten)
{
    const QFileInfo info(source);
    if (!info.exists())
        return failed(Result(), QStringLiteral("%1 does not exist").arg(source));
    if (!info.isFile())
        return failed(Result(), QStringLiteral("%1 is not a file").arg(source));
    const bool toServer = Database::isServerName(target);
    if (!toServer && pathIsTaken(target))
        return failed(Result(), QStringLiteral("%1 already exists; it is left as it is (choose another name)").arg(target));
    if (CatalogueFormat::isAccessFile(source))
        return fromAccess(source, target, table, report, rowWritten);
    if (isCatalogueFile(source)) {
        if (!toServer)
            return failed(Result(), QStringLiteral("%1 is already a catalogue file; there is nothing to import").arg(source));
        if (!table.isEmpty())
            return failed(Result(), QStringLiteral("--table applies to Access files only; %1 is a catalogue file").arg(source));
        return fromCatalogueFile(source, target, rowWritten);
    }
    // Other text sources are told apart here, before the export file that
    // takes whatever text is left.
    if (!table.isEmpty())
        return failed(Result(), QStringLiteral("--table applies to Access files only; %1 is a text file").arg(source));
    return fromExportFile(source, target, report, rowWritten);
}

} // namespace CatalogueImport
