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

enum class SourceKind { Access, ExportFile, Csv, CatalogueFile };

struct Result {
    bool written = false;
    qint64 rows = 0;
    SourceKind kind = SourceKind::ExportFile;
    QString sourceDescription; // "Access file (Jet 4), table Biblio" ...
    QString error;             // when nothing was written
};

// The table read from an Access file unless another is named.
inline const QString DefaultTable = QStringLiteral("Biblio");

// Which source column goes to which field, as the user writes it:
// "Titre=TITRE,Auteur=AUTEUR". Fields are the eight and the row key ID.
using ColumnMap = QVector<QPair<QString, QString>>;
// The map of that text, or an error saying what is wrong with it.
ColumnMap parseMap(const QString &text, QString *error);

// Column of the source table for each field PREFIXE..ISBN, or -1, and of the
// row key. The map's pairs come first; the other fields are found by name,
// ignoring letter case (ID only when keyByName). Columns that are neither
// one of the fields nor the row key in first place are named in notes, as are
// the fields missing from the table and columns whose type cannot be read.
// A map naming a column the source lacks, or a field twice, sets error.
struct ColumnMatch {
    std::array<int, 8> column{{-1, -1, -1, -1, -1, -1, -1, -1}};
    int key = -1;
    QStringList notes;
    QString error;
    int matched() const;
    int columnOf(Catalogue::Field field) const { return column[std::size_t(field - Catalogue::PREFIXE)]; }
};
ColumnMatch matchColumns(const QVector<AccessReader::Column> &columns, const ColumnMap &map = {},
                         bool keyByName = false);

// The record of the reader's current row; what could not be taken as it is
// goes to the report under the given row number.
RecordValues recordFromAccessRow(const AccessRow &reader, const ColumnMatch &match, qint64 row,
                                 ImportReport &report);

// Reads source (recognised by its content, a CSV file by its name ending in
// ".csv") into the new catalogue target: a file, or a server's address
// (Database::isServerName), which also takes a catalogue file. table names
// the Access table (empty: Biblio); it is refused for text files. map, when
// not empty, names the columns of an Access table or a CSV file; it is
// refused for an export file.
// rowWritten, when given, hears the number of rows written after each one.
Result run(const QString &source, const QString &target, const QString &table, const ColumnMap &map,
           ImportReport &report, const std::function<void(qint64 rows)> &rowWritten = {});

} // namespace CatalogueImport
