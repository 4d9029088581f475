#include "Backup.h"

#include "CatalogueFormat.h"
#include "CatalogueRecord.h"
#include "Database.h"
#include "util/Library.h"
#include "util/ProcessFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace Backup {

namespace {

// The reason a write into the copy failed: the system's own when the engine
// kept it ("No space left on device"), else the engine's.
QString writeFailure(sqlite3 *db)
{
    const int code = sqlite3_errcode(db);
    const int number = sqlite3_system_errno(db);
    // On a full disk the engine forgets the system's number.
    if (code == SQLITE_FULL)
        return Library::SystemErrorText(number != 0 ? number : ENOSPC);
    if (number != 0 && (code == SQLITE_IOERR || code == SQLITE_CANTOPEN))
        return Library::SystemErrorText(number);
    return QString::fromUtf8(sqlite3_errmsg(db));
}

bool refuse(QString *error, const QString &text)
{
    *error = text;
    return false;
}

bool isSqliteFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(16) == QByteArray("SQLite format 3\0", 16);
}

// Whether the backup already holds exactly this catalogue, so that the copy
// can be skipped: the same bytes but for the header's counters, which the
// copy itself sets (change counter, schema cookie, the writer's version).
// Only for a file whose whole content lies in the file itself, no journal
// or log beside it; the caller holds a read transaction.
bool alreadyBackedUp(const QString &databasePath, const QString &backupPath)
{
    const QFileInfo source(databasePath);
    const QFileInfo target(backupPath);
    if (!target.isFile() || target.size() != source.size())
        return false;
    for (const char *side : {"-journal", "-wal"}) {
        if (QFileInfo::exists(databasePath + QLatin1String(side)))
            return false;
    }
    QFile a(databasePath);
    QFile b(backupPath);
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly))
        return false;
    constexpr qint64 Chunk = 1 << 20;
    QByteArray first = a.read(Chunk);
    QByteArray second = b.read(Chunk);
    // Format versions 2: a write-ahead log may hold what the file does not.
    if (first.size() < 100 || second.size() != first.size() || first[18] == 2 || first[19] == 2)
        return false;
    for (const auto &[from, to] : {std::pair{24, 28}, std::pair{40, 44}, std::pair{92, 100}}) {
        for (int i = from; i < to; ++i)
            first[i] = second[i];
    }
    while (!first.isEmpty()) {
        if (first != second)
            return false;
        first = a.read(Chunk);
        second = b.read(Chunk);
    }
    return second.isEmpty() && a.error() == QFileDevice::NoError && b.error() == QFileDevice::NoError;
}

} // namespace

QString backupPath(const QString &databasePath)
{
    QString base;
    QString extension;
    Library::SplitFileName(databasePath, base, extension);
    return base + QLatin1String(".BAK");
}

bool BackUpMDB_file(const QString &programFolder, const QString &databaseFile, QString *error)
{
    const QString path = Library::FileInFolder(programFolder, databaseFile);
    if (!QDir::isAbsolutePath(databaseFile)) {
        const QString folder = QDir::cleanPath(programFolder);
        const QString cleaned = QDir::cleanPath(path);
        if (!cleaned.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/')))
            return refuse(error, QStringLiteral("Database=%1 sort du dossier du programme (%2) : le catalogue et sa "
                                                "sauvegarde restent dans ce dossier. Pour un catalogue ailleurs, "
                                                "donnez son chemin complet.")
                                     .arg(databaseFile, programFolder));
    }
    if (CatalogueFormat::isAccessFile(path))
        return refuse(error, QStringLiteral("%1 est une base de données Access : convertissez-la avec "
                                            "« ferulan-catalogue import %2 catalogue.db » et nommez le nouveau "
                                            "fichier sous Database.")
                                 .arg(path, databaseFile));
    return BackUpMDB_file(path, error);
}

bool BackUpMDB_file(const QString &databasePath, QString *error)
{
    const QFileInfo source(databasePath);
    if (!source.isFile())
        return refuse(error, QStringLiteral("Could not find file '%1'.").arg(databasePath));
    // Nothing is written beside a file before it is shown to be a catalogue.
    const QString notCatalogue = QStringLiteral("%1 n'est pas un catalogue (une base SQLite avec la table %2) : "
                                                "aucune sauvegarde n'est écrite à côté.")
                                     .arg(databasePath, Catalogue::TableName);
    if (!isSqliteFile(databasePath))
        return refuse(error, notCatalogue);
    Database db;
    // Opened for writing so that the engine can undo what a writer that
    // stopped half-way left; the read transaction holds one state of the
    // file for the whole copy, whatever another program does meanwhile.
    if (!db.open(databasePath) || !db.exec(QStringLiteral("BEGIN")))
        return refuse(error, QStringLiteral("%1 : %2").arg(databasePath, db.lastError().text));
    auto table = db.prepare(QStringLiteral("SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = ? "
                                           "COLLATE NOCASE"));
    if (!table)
        return refuse(error, QStringLiteral("%1 : %2").arg(databasePath, db.lastError().text));
    table->bind(1, Catalogue::TableName);
    const Statement::Step found = table->step();
    table.reset();
    if (found == Statement::Step::Error)
        return refuse(error, QStringLiteral("%1 : %2").arg(databasePath, db.lastError().text));
    if (found != Statement::Step::Row)
        return refuse(error, notCatalogue);

    const QString target = backupPath(databasePath);
    const auto cannotWrite = [&](const QString &reason) {
        return refuse(error, QStringLiteral("La sauvegarde %1 n'a pas pu être écrite : %2. L'ancienne sauvegarde "
                                            "est gardée.")
                                 .arg(target, reason));
    };
    // Named after this process: a start killed half-way leaves a copy that
    // the next start recognises and removes.
    ProcessFiles::removeLeftovers(QFileInfo(target).absoluteDir());
    if (alreadyBackedUp(databasePath, target))
        return true;
    const QString temporary = ProcessFiles::temporaryFor(target);
    ProcessFiles::removeWithSideFiles(temporary);
    struct Cleanup {
        QString path;
        ~Cleanup()
        {
            if (!path.isEmpty())
                ProcessFiles::removeWithSideFiles(path);
        }
    } cleanup{temporary};
    Database copy;
    if (!copy.create(temporary))
        return cannotWrite(copy.lastError().text);
    sqlite3_backup *backup = sqlite3_backup_init(copy.handle(), "main", db.handle(), "main");
    if (!backup)
        return cannotWrite(writeFailure(copy.handle()));
    const int stepped = sqlite3_backup_step(backup, -1);
    sqlite3_backup_finish(backup);
    if (stepped != SQLITE_DONE)
        return cannotWrite(writeFailure(copy.handle()));

    auto check = copy.prepare(QStringLiteral("PRAGMA integrity_check"));
    if (!check || check->step() != Statement::Step::Row)
        return cannotWrite(copy.lastError().text);
    const QString verdict = check->value(0).toString();
    check.reset();
    if (verdict != QLatin1String("ok"))
        return cannotWrite(QStringLiteral("la copie n'est pas intègre (%1)").arg(verdict));
    copy.close();
    db.close();

    QFile::setPermissions(temporary, source.permissions());
    // QFile::rename refuses to replace a file; the system's rename replaces it at once.
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) != 0)
        return cannotWrite(Library::SystemErrorText(errno));
    cleanup.path.clear();
    return true;
}

} // namespace Backup
