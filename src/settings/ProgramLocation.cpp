#include "ProgramLocation.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

ProgramLocation ProgramLocation::fromStart(const QString &startedAs, const QString &runningFile,
                                           const QStringList &searchPath)
{
    QString path = startedAs;
    // A bare name was looked up in the search path, as the shell did.
    if (!path.isEmpty() && !path.contains(QLatin1Char('/')))
        path = QStandardPaths::findExecutable(path, searchPath);
    // Whoever started the program may have named anything at all.
    const QString running = QFileInfo(runningFile).canonicalFilePath();
    if (path.isEmpty() || QFileInfo(path).canonicalFilePath() != running)
        path = runningFile;

    const QFileInfo file(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    ProgramLocation location;
    location.folder = file.absolutePath();
    location.name = file.completeBaseName().isEmpty() ? file.fileName() : file.completeBaseName();
    return location;
}
