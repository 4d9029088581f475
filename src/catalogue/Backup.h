#pragma once

#include <QString>

// The backup copy made at every start: the database path cut before its
// first "." (unless that dot lies in a folder name) plus ".BAK".
namespace Backup {

QString backupPath(const QString &databasePath);

// Backs up the catalogue the Database setting names. A relative name must
// stay inside the program folder; an absolute one is the user's own choice.
// Either way nothing is written unless the file is a catalogue. A server's
// catalogue (a server's address as Database) is backed up beside the program
// as a catalogue file named after the database as a file's backup is named
// after the file (database biblio: biblio.BAK), which the catalogue tool's
// import carries back onto a server.
bool BackUpMDB_file(const QString &programFolder, const QString &databaseFile, QString *error);

// Copies the catalogue through the engine (a consistent state, unfinished
// changes undone, changes still in a write-ahead log included) into a
// temporary file beside the backup, checks the copy and only then renames
// it over the previous backup, which a failure leaves whole.
bool BackUpMDB_file(const QString &databasePath, QString *error);

} // namespace Backup
