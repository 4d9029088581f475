#include "ProcessFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <limits>
#include <unistd.h>

namespace ProcessFiles {

QString temporaryFor(const QString &target)
{
    const QFileInfo info(target);
    return info.absoluteDir().filePath(QStringLiteral(".%1.%2.part").arg(info.fileName()).arg(::getpid()));
}

void removeLeftovers(const QDir &folder)
{
    static const QRegularExpression name(QStringLiteral("^\\..+\\.(\\d+)\\.part(-journal|-wal|-shm)?$"));
    const QStringList entries = folder.entryList({QStringLiteral(".*.part*")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &entry : entries) {
        const QRegularExpressionMatch match = name.match(entry);
        bool ok = false;
        const qint64 pid = match.hasMatch() ? match.captured(1).toLongLong(&ok) : 0;
        // EPERM means the process lives under another user: its file stays.
        if (ok && pid > 0 && pid <= std::numeric_limits<pid_t>::max() && ::kill(pid_t(pid), 0) != 0
            && errno == ESRCH)
            QFile::remove(folder.filePath(entry));
    }
}

const QStringList &engineSideFiles()
{
    static const QStringList suffixes = {QStringLiteral("-journal"), QStringLiteral("-wal"),
                                         QStringLiteral("-shm")};
    return suffixes;
}

void removeWithSideFiles(const QString &path)
{
    QFile::remove(path);
    for (const QString &suffix : engineSideFiles())
        QFile::remove(path + suffix);
}

} // namespace ProcessFiles
