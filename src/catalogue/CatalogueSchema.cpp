#include "CatalogueSchema.h"

#include "Database.h"

namespace CatalogueSchema {

bool create(Database &db)
{
    // Position 0 is the row key; the eight fields follow in their fixed order.
    return db.exec(QStringLiteral(
        "CREATE TABLE Biblio ("
        "ID INTEGER PRIMARY KEY, "
        "PREFIXE TEXT, LANGUE TEXT, DOMAINE TEXT, NUMERO INTEGER, "
        "AUTEUR TEXT, EDITEUR TEXT, TITRE TEXT, ISBN TEXT)"));
}

} // namespace CatalogueSchema
