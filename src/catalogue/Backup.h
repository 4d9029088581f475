#pragma once

#include <QString>

// The backup copy made at every start: the database path cut before its
// first "." (unless that dot lies in a folder name) plus ".BAK".
namespace Backup {

QString backupPath(const QString &databasePath);

// Copies the database to its backup path through a temporary file beside
// the target, so a failed copy leaves the previous backup whole.
bool BackUpMDB_file(const QString &databasePath, QString *error);

} // namespace Backup
