#pragma once

#include "AccessReader.h"
#include "RecordValues.h"

#include <QString>
#include <QVector>

#include <array>
#include <functional>

// Makes a new catalogue, a file or table Biblio on a database server, from an
// Access database, an export file or (onto a server) a catalogue file.
namespace CatalogueImport {

enum class SourceKind { Access, ExportFile, CatalogueFile };

struct Result {
    bool written = false;
    qint64 rows = 0;
    SourceKind kind = SourceKind::ExportFile;
    QString sourceDescription; // "Access file (Jet 4), table Biblio" ...
    QString error;             // when nothing was written
};

// The table read from an Access file unless another is named.
inline const QString DefaultTable = QStringLiteral("Biblio");

// Column of the source table for each field PREFIXE..ISBN, or -1. The
// names are matched ignoring letter case. Columns that are neither one of
// the fields nor the row key in first place are named in notes, as are the
// fields missing from the table and columns whose type cannot be read.
struct ColumnMatch {
    std::array<int, 8> column{{-1, -1, -1, -1, -1, -1, -1, -1}};
    QStringList notes;
    int matched() const;
    int columnOf(Catalogue::Field field) const { return column[std::size_t(field - Catalogue::PREFIXE)]; }
};
ColumnMatch matchColumns(const QVector<AccessReader::Column> &columns);

// The record of the reader's current row; what could not be taken as it is
// goes to the report under the given row number.
RecordValues recordFromAccessRow(const AccessRow &reader, const ColumnMatch &match, qint64 row,
                                 ImportReport &report);

// Reads source (recognised by its content) into the new catalogue target: a
// file, or a server's address (Database::isServerName).
// table names the Access table (empty: Biblio); it is refused for an export file.
// rowWritten, when given, hears the number of rows written after each one.
Result run(const QString &source, const QString &target, const QString &table, ImportReport &report,
           const std::function<void(qint64 rows)> &rowWritten = {});

} // namespace CatalogueImport
