#include "CatalogueImport.h"

#include "CatalogueWriter.h"
#include "ExportFileReader.h"
#include "IsolatedAccessReader.h"
#include "RecordConversion.h"
#include "ServerCatalogueWriter.h"

#include "catalogue/CatalogueFormat.h"
#include "catalogue/CsvFile.h"
#include "catalogue/Database.h"
#include "catalogue/RowStream.h"

#include <QFile>
#include <QFileInfo>

namespace CatalogueImport {

namespace {

const QString KnownFields = QStringLiteral("ID, PREFIXE, LANGUE, DOMAINE, NUMERO, AUTEUR, EDITEUR, TITRE, ISBN");

int positionNamed(const QString &name)
{
    for (int position = Catalogue::RowKey; position <= Catalogue::ISBN; ++position) {
        if (name.compare(Catalogue::fieldName(position), Qt::CaseInsensitive) == 0)
            return position;
    }
    return -1;
}

QString columnNames(const QVector<AccessReader::Column> &columns)
{
    QStringList names;
    for (const AccessReader::Column &column : columns)
        names << column.name;
    return names.join(QStringLiteral(", "));
}

// The column of that name: written exactly as given, else in another letter case.
int columnNamed(const QVector<AccessReader::Column> &columns, const QString &name)
{
    for (const Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        for (int i = 0; i < columns.size(); ++i) {
            if (columns.at(i).name.compare(name, cs) == 0)
                return i;
        }
    }
    return -1;
}

QString unsupportedColumn(const AccessReader::Column &column, const QString &field)
{
    return QStringLiteral("column %1 holds values of type %2, which a catalogue field cannot take; %3 stays empty")
        .arg(column.name, column.typeName, field);
}

} // namespace

ColumnMap parseMap(const QString &text, QString *error)
{
    ColumnMap map;
    error->clear();
    for (const QString &pair : text.split(QLatin1Char(','))) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        const QString column = pair.left(equals).trimmed();
        const int position = positionNamed(pair.mid(equals + 1).trimmed());
        if (equals < 0 || column.isEmpty()) {
            *error = QStringLiteral("--map takes COLUMN=FIELD pairs separated by commas, not %1")
                         .arg(RecordConversion::quoted(pair));
            return {};
        }
        if (position < 0) {
            *error = QStringLiteral("--map: %1 is not a catalogue field (%2)")
                         .arg(RecordConversion::quoted(pair.mid(equals + 1).trimmed()), KnownFields);
            return {};
        }
        const QString field = Catalogue::fieldName(position);
        for (const auto &earlier : map) {
            if (earlier.second == field) {
                *error = QStringLiteral("--map gives the field %1 twice").arg(field);
                return {};
            }
        }
        map.append({column, field});
    }
    return map;
}

int ColumnMatch::matched() const
{
    int count = 0;
    for (int c : column)
        count += c >= 0 ? 1 : 0;
    return count;
}

ColumnMatch matchColumns(const QVector<AccessReader::Column> &columns, const ColumnMap &map, bool keyByName)
{
    ColumnMatch match;
    QVector<bool> used(columns.size(), false);
    const auto take = [&match, &used](int position, int column) {
        used[column] = true;
        (position == Catalogue::RowKey ? match.key : match.column[std::size_t(position - Catalogue::PREFIXE)]) =
            column;
    };
    QVector<bool> mapped(Catalogue::ISBN + 1, false);
    for (const auto &pair : map) {
        const int found = columnNamed(columns, pair.first);
        if (found < 0) {
            match.error = QStringLiteral("--map names the column \"%1\", which the source does not have; its "
                                         "columns: %2")
                              .arg(pair.first, columnNames(columns));
            return match;
        }
        if (columns.at(found).kind == AccessReader::ColumnKind::Unsupported) {
            match.error = unsupportedColumn(columns.at(found), pair.second);
            return match;
        }
        const int position = positionNamed(pair.second);
        mapped[position] = true;
        take(position, found);
    }
    // With a map the user has said what is wanted: what it leaves out is no news.
    for (int position = keyByName ? Catalogue::RowKey : Catalogue::PREFIXE; position <= Catalogue::ISBN; ++position) {
        if (mapped[position])
            continue;
        const QString field = Catalogue::fieldName(position);
        int found = -1;
        for (int i = 0; i < columns.size() && found < 0; ++i) {
            if (!used[i] && columns.at(i).name.compare(field, Qt::CaseInsensitive) == 0)
                found = i;
        }
        if (found < 0) {
            if (map.isEmpty() && position != Catalogue::RowKey)
                match.notes << QStringLiteral("the %1 has no column %2; the field stays empty")
                                   .arg(keyByName ? QStringLiteral("file") : QStringLiteral("table"), field);
            continue;
        }
        used[found] = true;
        if (columns.at(found).kind == AccessReader::ColumnKind::Unsupported) {
            match.notes << unsupportedColumn(columns.at(found), field);
            continue;
        }
        take(position, found);
    }
    for (int i = 0; i < columns.size() && map.isEmpty(); ++i) {
        // The first column of a table is the row key the program never
        // addresses; the new file numbers its rows itself.
        if (used[i] || (i == 0 && !keyByName))
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
    if (match.key >= 0) {
        const QString text = reader.text(match.key);
        values.key() = RecordConversion::wholeNumber(text);
        if (values.key().isNull())
            report.addRow(row, QStringLiteral("ID %1 is not a whole number; the record gets a key of its own")
                                   .arg(RecordConversion::quoted(text)));
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

QString noFieldError(const QString &what, const QVector<AccessReader::Column> &columns)
{
    return QStringLiteral("no column of %1 is a catalogue field (%2); its columns: %3 (--map names them)")
        .arg(what, KnownFields, columnNames(columns));
}

Result fromAccess(const QString &source, const QString &target, const QString &table, const ColumnMap &map,
                  ImportReport &report, const std::function<void(qint64)> &rowWritten)
{
    Result result;
    result.kind = SourceKind::Access;
    report.setUnit(QStringLiteral("row"));
    IsolatedAccessReader reader;
    if (!reader.open(source, table.isEmpty() ? DefaultTable : table))
        return failed(result, reader.errorString());
    result.sourceDescription = QStringLiteral("Access file (%1), table %2").arg(reader.formatName(), reader.tableName());

    const ColumnMatch match = matchColumns(reader.columns(), map);
    if (!match.error.isEmpty())
        return failed(result, match.error);
    if (match.matched() == 0 && match.key < 0)
        return failed(result, noFieldError(QStringLiteral("the table \"%1\"").arg(reader.tableName()), reader.columns()));

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

// One CSV record as catalogue values; false with the column and why when a
// number is none.
bool recordFromCsv(const QStringList &fields, const ColumnMatch &match, RecordValues *values, QString *problem)
{
    const auto refuse = [problem](int column, int position, const QString &text, const char *expected) {
        *problem = QStringLiteral("column %1 (%2): %3 is not %4")
                       .arg(column + 1)
                       .arg(Catalogue::fieldName(position), RecordConversion::quoted(text), QLatin1String(expected));
        return false;
    };
    for (int position = Catalogue::PREFIXE; position <= Catalogue::ISBN; ++position) {
        const auto field = Catalogue::Field(position);
        const int column = match.columnOf(field);
        if (column < 0)
            continue;
        const QString &text = fields.at(column);
        if (field != Catalogue::NUMERO) {
            values->setText(field, text);
            continue;
        }
        bool valid = false;
        (*values)[field] = RecordConversion::exactNumero(text, &valid);
        if (!valid)
            return refuse(column, position, text, "a number (digits, a '.' before decimals)");
    }
    if (match.key >= 0 && !fields.at(match.key).isEmpty()) {
        values->key() = RecordConversion::wholeNumber(fields.at(match.key));
        if (values->key().isNull())
            return refuse(match.key, Catalogue::RowKey, fields.at(match.key), "a whole number");
    }
    return true;
}

Result fromCsv(const QString &source, const QString &target, const ColumnMap &map, ImportReport &report,
               const std::function<void(qint64)> &rowWritten)
{
    Result result;
    result.kind = SourceKind::Csv;
    report.setUnit(QStringLiteral("line"));
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        return failed(result, QStringLiteral("cannot read %1: %2").arg(source, file.errorString()));
    CsvFile::Reader reader(&file);
    const auto malformed = [&](const QString &what) {
        return failed(result, QStringLiteral("%1, %2").arg(source, what));
    };
    QStringList fields;
    if (!reader.next(&fields)) {
        return reader.errorString().isEmpty()
            ? failed(result, QStringLiteral("%1 is empty; a CSV file starts with a row of column names").arg(source))
            : malformed(reader.errorString());
    }
    QVector<AccessReader::Column> columns;
    for (const QString &name : fields)
        columns.append({name, AccessReader::ColumnKind::Text, QStringLiteral("text")});
    const ColumnMatch match = matchColumns(columns, map, true);
    if (!match.error.isEmpty())
        return failed(result, match.error);
    if (match.matched() == 0 && match.key < 0)
        return failed(result, noFieldError(source, columns));

    const auto writer = RecordSink::forTarget(target);
    writer->setRowWritten(rowWritten);
    if (!writer->begin())
        return failed(result, writer->errorString());
    while (reader.next(&fields)) {
        RecordValues values;
        QString problem;
        if (!recordFromCsv(fields, match, &values, &problem))
            return malformed(QStringLiteral("line %1, %2").arg(reader.line()).arg(problem));
        if (!writer->add(values)) {
            const QString why = writer->errorString();
            // The file's engine and the server's, in their own words.
            if (!values.key().isNull()
                && (why.contains(QLatin1String("UNIQUE")) || why.contains(QLatin1String("duplicate key"))))
                return malformed(QStringLiteral("line %1, column %2 (ID): the key %3 is taken by an earlier line")
                                     .arg(reader.line())
                                     .arg(match.key + 1)
                                     .arg(values.key().toLongLong()));
            return failed(result, writer->errorString());
        }
    }
    if (!reader.errorString().isEmpty())
        return malformed(reader.errorString());
    if (!writer->finish())
        return failed(result, writer->errorString());
    // Said once the file is taken: a refused file needs no remarks about its columns.
    for (const QString &note : match.notes)
        report.addNote(note);
    result.sourceDescription = QStringLiteral("CSV file (fields separated by \"%1\")").arg(reader.separator());
    result.written = true;
    result.rows = writer->rowCount();
    return result;
}

} // namespace

Result run(const QString &source, const QString &target, const QString &table, const ColumnMap &map,
           ImportReport &report, const std::function<void(qint64)> &rowWritten)
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
        return fromAccess(source, target, table, map, report, rowWritten);
    if (isCatalogueFile(source)) {
        if (!toServer)
            return failed(Result(), QStringLiteral("%1 is already a catalogue file; there is nothing to import").arg(source));
        if (!table.isEmpty() || !map.isEmpty())
            return failed(Result(), QStringLiteral("--table and --map apply to Access files and CSV files; %1 is a catalogue file").arg(source));
        return fromCatalogueFile(source, target, rowWritten);
    }
    // Other text sources are told apart here, before the export file that
    // takes whatever text is left.
    if (!table.isEmpty())
        return failed(Result(), QStringLiteral("--table applies to Access files only; %1 is a text file").arg(source));
    if (source.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return fromCsv(source, target, map, report, rowWritten);
    if (!map.isEmpty())
        return failed(Result(), QStringLiteral("--map applies to Access tables and CSV files; %1 is read as the "
                                               "program's export file, whose columns are fixed")
                                    .arg(source));
    return fromExportFile(source, target, report, rowWritten);
}

} // namespace CatalogueImport
