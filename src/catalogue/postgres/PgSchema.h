#pragma once

#include <QString>

// The catalogue's table on a server. Names are those of the file, quoted so
// that the server keeps their case: "Biblio", "ID", "PREFIXE"... (in psql,
// SELECT "TITRE" FROM "Biblio"). The key "ID" is a bigint the server numbers
// itself (an identity column); an import may give its own numbers, after
// which PgSchema::restartKey() moves the numbering past them.
namespace PgSchema {

// CREATE TABLE for table Biblio.
QString createBiblio();
// Moves the key's numbering past the largest key stored.
QString restartKey();

} // namespace PgSchema
