#pragma once

#include <QString>
#include <QVariant>
#include <QVector>

class Database;
class ForwardRecordset;
class ProgressObserver;

// The plain-text list written when the program is left through "Fin": a
// header line, then one line per record with the code letters spelled out,
// in the Western European single-byte code page, every line ending in CR LF.
namespace CatalogueExport {

inline constexpr const char *FileName = "biblio.txt";
inline constexpr const char *Header = "PREFIXE;;LANGUE;;DOMAINE;;NUMERO;;AUTEUR;;EDITEUR;;TITRE;;ISBN";

// Writes the header and one line per remaining record of rs (fields 1 to the
// last, joined by separator), leaving rs at its end. The file at path is
// replaced only when the whole export succeeded (a symbolic link there is
// replaced itself, never followed); on failure the previous file stays as it
// was and *error names the file and the system's reason.
bool Export(ForwardRecordset &rs, const QString &separator, const QString &path, QString *error);

enum class Outcome { Written, Failed, Cancelled };

// The whole export: runs query on db and writes its rows as Export does.
// progress, when given, hears of the rows read (the engine reads the whole
// table before an ordered result's first row), then of the rows written,
// out of twice the table's rows; when it asks to stop, the previous file
// stays as it was and the outcome is Cancelled.
Outcome ExportQuery(Database &db, const QString &query, const QString &separator, const QString &path,
                    QString *error, ProgressObserver *progress = nullptr);

// Whether the export leaves this record out (its line would hold seven empty
// fields in a row). row holds a whole record in the table's column order,
// the row key first.
bool leavesOut(const QVector<QVariant> &row);

} // namespace CatalogueExport
