#include "CsvExport.h"

#include "CatalogueWriter.h"
#include "RecordConversion.h"

#include "catalogue/CatalogueFormat.h"
#include "catalogue/CsvFile.h"
#include "catalogue/Database.h"
#include "catalogue/RowStream.h"
#include "util/Library.h"
#include "util/ProcessFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace CsvExport {

namespace {

Result failed(const QString &error)
{
    Result result;
    result.error = error;
    return result;
}

// The temporary file, removed unless it took the target's name.
struct Temporary {
    QString path;
    ~Temporary()
    {
        if (!path.isEmpty())
            QFile::remove(path);
    }
};

} // namespace

Result run(const QString &catalogue, const QString &target, char separator, ImportReport &report,
           const std::function<void(qint64)> &rowWritten)
{
    const bool server = Database::isServerName(catalogue);
    if (!server && !QFileInfo::exists(catalogue))
        return failed(QStringLiteral("%1 does not exist").arg(catalogue));
    if (CatalogueFormat::isAccessFile(catalogue))
        return failed(QStringLiteral("%1 is an Access database file; ferulan-catalogue import makes a catalogue of it "
                                     "first")
                          .arg(catalogue));
    if (pathIsTaken(target))
        return failed(QStringLiteral("%1 already exists; it is left as it is (choose another name)").arg(target));
    const QDir folder = QFileInfo(target).absoluteDir();
    if (!folder.exists())
        return failed(QStringLiteral("the folder %1 does not exist").arg(QDir::toNativeSeparators(folder.path())));

    Database db;
    if (!db.open(catalogue, Database::Mode::ReadOnly))
        return failed(QStringLiteral("cannot open %1: %2").arg(catalogue, db.lastError().text));
    const std::optional<QString> key = db.rowKey(Catalogue::TableName);
    QStringList header{Catalogue::fieldName(Catalogue::RowKey)};
    for (int position = Catalogue::PREFIXE; position <= Catalogue::ISBN; ++position)
        header << Catalogue::fieldName(position);
    // In batches, so that a server's large table is never held whole.
    RowStream rows(db);
    QStringList columns;
    for (const QString &name : header.mid(1))
        columns << Database::quoteName(name);
    if (!key
        || !rows.open(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %1")
                          .arg(*key, columns.join(QStringLiteral(", ")), Database::quoteName(Catalogue::TableName))))
        return failed(QStringLiteral("cannot read the catalogue in %1: %2").arg(catalogue, db.lastError().text));

    ProcessFiles::removeLeftovers(folder);
    Temporary temporary;
    QFile file(ProcessFiles::temporaryFor(target));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return failed(QStringLiteral("cannot create a file in %1: %2").arg(folder.path(), file.errorString()));
    temporary.path = file.fileName();
    CsvFile::Writer writer(&file, separator);
    writer.writeByteOrderMark();
    writer.write(header, true);

    Result result;
    QList<QByteArrayView> fields(header.size());
    QVector<QByteArray> numbers(header.size()); // the texts of numbers, per column
    Statement::Step step;
    while ((step = rows.step()) == Statement::Step::Row) {
        const Statement *query = &rows.row();
        if (CatalogueWriter::stopRequested())
            return failed(QStringLiteral("interrupted"));
        const qint64 id = query->int64(0);
        for (int column = 0; column < header.size(); ++column) {
            switch (query->type(column)) {
            case Statement::Type::Null:
                fields[column] = QByteArrayView();
                break;
            case Statement::Type::Integer:
            case Statement::Type::Real: {
                QByteArray &text = numbers[column];
                text = query->type(column) == Statement::Type::Integer
                    ? QByteArray::number(query->int64(column))
                    : QString::number(query->real(column), 'g', QLocale::FloatingPointShortest).toUtf8();
                fields[column] = text;
                break;
            }
            case Statement::Type::Text:
            case Statement::Type::Blob:
                fields[column] = query->utf8(column);
                if (column == Catalogue::NUMERO)
                    report.addNote(QStringLiteral("ID %1: NUMERO %2 is no number; written as it is, but an import "
                                                  "refuses it")
                                       .arg(id)
                                       .arg(RecordConversion::quoted(QString::fromUtf8(fields[column]))));
                break;
            }
        }
        if (!writer.write(fields))
            return failed(QStringLiteral("cannot write %1: %2").arg(target, writer.errorString()));
        ++result.rows;
        if (rowWritten)
            rowWritten(result.rows);
    }
    if (step == Statement::Step::Error)
        return failed(QStringLiteral("cannot read the catalogue in %1: %2").arg(catalogue, db.lastError().text));
    if (!writer.flush() || !file.flush())
        return failed(QStringLiteral("cannot write %1: %2").arg(target, writer.errorString().isEmpty() ? file.errorString() : writer.errorString()));
    if (::fsync(file.handle()) != 0)
        return failed(QStringLiteral("cannot write %1 to disk: %2").arg(target, Library::SystemErrorText(errno)));
    file.close();
    QString error;
    if (!renameNoReplace(temporary.path, target, &error)) {
        if (pathIsTaken(target))
            return failed(QStringLiteral("%1 appeared while writing; it is left as it is").arg(target));
        return failed(QStringLiteral("cannot name the file %1: %2").arg(target, error));
    }
    temporary.path.clear();
    syncPath(folder.absolutePath(), O_RDONLY | O_DIRECTORY);
    result.written = true;
    return result;
}

} // namespace CsvExport
