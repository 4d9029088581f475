#pragma once

#include <QString>

// What kind of file a catalogue path holds, told by its content rather than
// its name, so that the program can say what to do with a file it cannot open.
namespace CatalogueFormat {

// An Access database file of any generation (".mdb" or ".accdb").
bool isAccessFile(const QString &path);

} // namespace CatalogueFormat
