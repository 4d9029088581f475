#pragma once

#include <QDir>
#include <QString>

// Temporary files named after the process that writes them, so that a run
// killed outright (no chance to clean up) is recognised by the next one,
// whichever program of the project it is, and its file removed.
namespace ProcessFiles {

// The temporary beside target that this process writes: ".NAME.PID.part".
QString temporaryFor(const QString &target);

// Removes from folder the temporaries, and the engine's side files of them,
// whose process no longer exists. Those of running processes stay, whoever
// they belong to.
void removeLeftovers(const QDir &folder);

// The engine's files that go with a database file: its journal, its log.
const QStringList &engineSideFiles();

// Removes path and its engine side files.
void removeWithSideFiles(const QString &path);

} // namespace ProcessFiles
