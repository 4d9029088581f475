#include "Backup.h"

#include "util/Library.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace Backup {

QString backupPath(const QString &databasePath)
{
    QString base;
    QString extension;
    Library::SplitFileName(databasePath, base, extension);
    return base + QLatin1String(".BAK");
}

bool BackUpMDB_file(const QString &databasePath, QString *error)
{
    const QFileInfo source(databasePath);
    if (!source.isFile()) {
        *error = QStringLiteral("Could not find file '%1'.").arg(databasePath);
        return false;
    }
    const QString target = backupPath(databasePath);
    QFile in(databasePath);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(databasePath, in.errorString());
        return false;
    }
    // Copy beside the target and rename over it only once the copy is whole.
    QTemporaryFile out(target + QLatin1String(".XXXXXX"));
    if (!out.open()) {
        *error = QStringLiteral("%1: %2").arg(target, out.errorString());
        return false;
    }
    char buffer[1 << 16];
    for (;;) {
        const qint64 read = in.read(buffer, sizeof buffer);
        if (read < 0) {
            *error = QStringLiteral("%1: %2").arg(databasePath, in.errorString());
            return false;
        }
        if (read == 0)
            break;
        if (out.write(buffer, read) != read) {
            *error = QStringLiteral("%1: %2").arg(target, out.errorString());
            return false;
        }
    }
    if (!out.flush()) {
        *error = QStringLiteral("%1: %2").arg(target, out.errorString());
        return false;
    }
    out.setPermissions(in.permissions());
    // QFile::rename refuses to replace a file; the system's rename replaces it atomically.
    if (::rename(QFile::encodeName(out.fileName()).constData(), QFile::encodeName(target).constData()) != 0) {
        *error = QStringLiteral("%1: %2").arg(target, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    out.setAutoRemove(false);
    return true;
}

} // namespace Backup
