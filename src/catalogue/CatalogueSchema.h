#pragma once

class Database;

// The catalogue table as the program expects it. Only the companion tool
// creates it; the program opens existing files.
namespace CatalogueSchema {

// Creates table Biblio (row key, then the eight fields) and its indexes.
bool create(Database &db);

} // namespace CatalogueSchema
