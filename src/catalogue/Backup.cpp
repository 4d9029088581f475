#include "Backup.h"

#include "CatalogueFormat.h"
#include "CatalogueRecord.h"
#include "CatalogueSchema.h"
#include "Database.h"
#include "RowStream.h"
#include "util/Library.h"
#include "util/ProcessFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>
#include <vector>

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

// A copy written beside its target under this process's name: a start
// killed half-way leaves a copy that the next start recognises and removes.
// It is removed unless it took the target's place.
class PendingCopy {
public:
    explicit PendingCopy(const QString &target)
        : m_target(target)
        , m_path(ProcessFiles::temporaryFor(target))
    {
        ProcessFiles::removeWithSideFiles(m_path);
    }
    ~PendingCopy()
    {
        if (!m_path.isEmpty())
            ProcessFiles::removeWithSideFiles(m_path);
    }
    PendingCopy(const PendingCopy &) = delete;
    PendingCopy &operator=(const PendingCopy &) = delete;

    const QString &path() const { return m_path; }
    // QFile::rename refuses to replace a file; the system's rename replaces
    // it at once. On failure errno says why.
    bool replaceTarget()
    {
        if (::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(m_target).constData()) != 0)
            return false;
        m_path.clear();
        return true;
    }

private:
    QString m_target;
    QString m_path;
};

bool syncFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Copies the file's bytes into a new file and forces them to the disk. On
// failure errno says why.
bool copyBytes(const QString &from, const QString &to)
{
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    const int out = ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        const int saved = errno;
        ::close(in);
        errno = saved;
        return false;
    }
    // The kernel copies within the system, unless it cannot for these two
    // files: then through a buffer.
    bool inKernel = true;
    bool copied = false;
    qint64 done = 0;
    std::vector<char> buffer;
    for (;;) {
        ssize_t count = 0;
        if (inKernel) {
            count = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
            if (count < 0 && done == 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
                inKernel = false;
                buffer.resize(1 << 20);
                continue;
            }
        } else {
            count = ::read(in, buffer.data(), buffer.size());
            for (ssize_t written = 0; count > 0 && written < count;) {
                const ssize_t step = ::write(out, buffer.data() + written, std::size_t(count - written));
                if (step > 0) {
                    written += step;
                } else if (step == 0 || errno != EINTR) {
                    if (step == 0)
                        errno = EIO;
                    count = -1;
                }
            }
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            copied = count == 0;
            break;
        }
        done += count;
    }
    copied = copied && ::fsync(out) == 0;
    const int saved = errno;
    ::close(in);
    ::close(out);
    errno = saved;
    return copied;
}

// A database's name as a file name: nothing in it may lead out of the folder.
QString fileNameFor(const QString &database)
{
    QString name = database;
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    name.remove(QChar(0));
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        name.prepend(QLatin1String("biblio"));
    return name;
}

// A server's catalogue is backed up as a catalogue file: table Biblio with
// the server's rows and keys, read in batches and written in one
// transaction, so memory stays small whatever the table's size.
bool backUpServer(const QString &programFolder, const QString &address, QString *error)
{
    Database server;
    if (!server.open(address, Database::Mode::ReadOnly))
        return refuse(error, QStringLiteral("Le catalogue du serveur n'a pas pu être ouvert : %1")
                                 .arg(server.lastError().text));
    QString database;
    if (auto name = server.prepare(QStringLiteral("SELECT current_database()")); name && name->step() == Statement::Step::Row)
        database = name->value(0).toString();
    else
        return refuse(error, QStringLiteral("Le catalogue du serveur n'a pas pu être lu : %1").arg(server.lastError().text));
    if (!server.hasTable(Catalogue::TableName))
        return refuse(error, QStringLiteral("La base %1 du serveur n'a pas de table %2 : ce n'est pas un catalogue, "
                                            "aucune sauvegarde n'est écrite.")
                                 .arg(database, Catalogue::TableName));
    const auto key = server.rowKey(Catalogue::TableName);
    if (!key)
        return refuse(error, server.lastError().text);

    const QString target = backupPath(Library::FileInFolder(programFolder, fileNameFor(database)));
    const auto cannotWrite = [&](const QString &reason) {
        return refuse(error, QStringLiteral("La sauvegarde %1 n'a pas pu être écrite : %2. L'ancienne sauvegarde "
                                            "est gardée.")
                                 .arg(target, reason));
    };
    RowStream rows(server);
    if (!rows.open(QStringLiteral("SELECT * FROM %1 ORDER BY %2").arg(Database::quoteName(Catalogue::TableName), *key)))
        return cannotWrite(server.lastError().text);
    // The server's columns found by name; the copy has the file's layout.
    QVector<int> columnOf(Catalogue::FieldCount, -1);
    for (int column = 0; column < rows.columnCount(); ++column) {
        for (int position = 0; position < Catalogue::FieldCount; ++position) {
            if (rows.columnName(column).compare(Catalogue::fieldName(position), Qt::CaseInsensitive) == 0)
                columnOf[position] = column;
        }
    }
    if (columnOf[0] < 0)
        columnOf[0] = 0;

    ProcessFiles::removeLeftovers(QFileInfo(target).absoluteDir());
    PendingCopy pending(target);
    const QString &temporary = pending.path();
    {
        Database copy;
        if (!copy.create(temporary) || !CatalogueSchema::create(copy) || !copy.exec(QStringLiteral("BEGIN")))
            return cannotWrite(copy.lastError().text);
        auto insert = copy.prepare(QStringLiteral("INSERT INTO Biblio VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        if (!insert)
            return cannotWrite(copy.lastError().text);
        Statement::Step step;
        while ((step = rows.step()) == Statement::Step::Row) {
            insert->reset();
            for (int position = 0; position < Catalogue::FieldCount; ++position)
                insert->bind(position + 1, columnOf[position] < 0 ? QVariant() : rows.row().value(columnOf[position]));
            if (insert->step() != Statement::Step::Done)
                return cannotWrite(copy.lastError().text);
        }
        if (step == Statement::Step::Error)
            return refuse(error, QStringLiteral("Le catalogue du serveur n'a pas pu être lu : %1. L'ancienne sauvegarde "
                                                "est gardée.")
                                     .arg(server.lastError().text));
        insert.reset();
        if (!copy.exec(QStringLiteral("COMMIT")))
            return cannotWrite(copy.lastError().text);
    }
    if (!syncFile(temporary) || !pending.replaceTarget())
        return cannotWrite(Library::SystemErrorText(errno));
    return true;
}

// Whether the whole catalogue lies in the file itself: no journal or log
// beside it, not in the format that keeps changes in a log.
bool holdsEverything(const QString &databasePath, const QByteArray &header)
{
    for (const char *side : {"-journal", "-wal"}) {
        if (QFileInfo::exists(databasePath + QLatin1String(side)))
            return false;
    }
    return header.size() >= 100 && header[18] != 2 && header[19] != 2;
}

// Whether the backup already holds exactly this catalogue, so that the copy
// can be skipped: the same bytes but for the header's counters, which the
// copy itself sets (change counter, schema cookie, the writer's version).
// The caller holds a read transaction and has checked holdsEverything().
bool alreadyBackedUp(const QString &databasePath, const QString &backupPath)
{
    const QFileInfo source(databasePath);
    const QFileInfo target(backupPath);
    if (!target.isFile() || target.size() != source.size())
        return false;
    QFile a(databasePath);
    QFile b(backupPath);
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly))
        return false;
    constexpr qint64 Chunk = 1 << 20;
    QByteArray first = a.read(Chunk);
    QByteArray second = b.read(Chunk);
    if (first.size() < 100 || second.size() != first.size())
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

// Reading the whole backup back at every start costs as much as the
// catalogue is large. So the backup carries, in an extended attribute, the
// state of the catalogue file it holds: the file's identity, size, times of
// change to the nanosecond and the engine's change counter (every committed
// change raises it). The same state at the next start means the same bytes.
// The backup's own identity, size and time go with it, so that a backup
// changed since is read again.
constexpr char StateAttribute[] = "user.ferulan.backup-of";

// A file changed within the same tick of the file system's clock as it was
// recorded would keep its times; a state is only recorded once its last
// change lies this far in the past, as a version control's index does.
constexpr qint64 SettledNs = 2'000'000'000;

qint64 nanoseconds(const timespec &time)
{
    return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

QByteArray fileState(const struct stat &info)
{
    return QByteArray::number(quint64(info.st_dev)) + ' ' + QByteArray::number(quint64(info.st_ino)) + ' '
        + QByteArray::number(qint64(info.st_size)) + ' ' + QByteArray::number(nanoseconds(info.st_mtim));
}

// The catalogue's state as the backup records it; empty when it cannot be
// known or has not settled.
QByteArray catalogueState(const QString &databasePath, const QByteArray &header, bool settledOnly)
{
    struct stat info {};
    if (::stat(QFile::encodeName(databasePath).constData(), &info) != 0 || header.size() < 28)
        return {};
    if (settledOnly) {
        timespec now {};
        clock_gettime(CLOCK_REALTIME, &now);
        if (nanoseconds(info.st_ctim) > nanoseconds(now) - SettledNs)
            return {};
    }
    return "1 " + fileState(info) + ' ' + QByteArray::number(nanoseconds(info.st_ctim)) + ' '
        + header.mid(24, 4).toHex();
}

QByteArray backupState(const QString &backupPath)
{
    struct stat info {};
    if (::stat(QFile::encodeName(backupPath).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return fileState(info);
}

// What the backup says it holds, or nothing.
QByteArray recordedState(const QString &backupPath)
{
    char value[256];
    const ssize_t length = ::getxattr(QFile::encodeName(backupPath).constData(), StateAttribute, value, sizeof value);
    return length > 0 ? QByteArray(value, int(length)) : QByteArray();
}

// Best effort: a file system without extended attributes only means that
// the next start reads the backup again.
void recordState(const QString &backupPath, const QByteArray &catalogue)
{
    const QByteArray path = QFile::encodeName(backupPath);
    const QByteArray backup = backupState(backupPath);
    if (catalogue.isEmpty() || backup.isEmpty()) {
        ::removexattr(path.constData(), StateAttribute);
        return;
    }
    const QByteArray value = catalogue + " / " + backup;
    ::setxattr(path.constData(), StateAttribute, value.constData(), std::size_t(value.size()), 0);
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
    if (Database::isServerName(databaseFile))
        return backUpServer(programFolder, databaseFile, error);
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
    // What starts killed half-way left goes first.
    ProcessFiles::removeLeftovers(QFileInfo(target).absoluteDir());
    // Read under the read transaction: no writer of the engine can change
    // the file until the copy is made.
    QByteArray header;
    if (QFile file(databasePath); file.open(QIODevice::ReadOnly))
        header = file.read(100);
    const bool complete = holdsEverything(databasePath, header);
    if (complete) {
        const QByteArray state = catalogueState(databasePath, header, false);
        const QByteArray recorded = recordedState(target);
        if (!state.isEmpty() && recorded == state + " / " + backupState(target))
            return true;
        // The engine has committed a change since the backup was made: no
        // need to read both files to learn that they differ.
        const bool changed = !recorded.isEmpty() && recorded.split(' ').value(6) != header.mid(24, 4).toHex();
        if (!changed && alreadyBackedUp(databasePath, target)) {
            recordState(target, catalogueState(databasePath, header, true));
            return true;
        }
    }
    const QByteArray copiedState = complete ? catalogueState(databasePath, header, true) : QByteArray();
    PendingCopy pending(target);
    const QString &temporary = pending.path();
    Database copy;
    if (complete) {
        // The whole catalogue lies in the file, which the read transaction
        // holds still: its bytes as they are, several times faster than the
        // engine's page by page copy.
        if (!copyBytes(databasePath, temporary))
            return cannotWrite(Library::SystemErrorText(errno));
        if (!copy.open(temporary, Database::Mode::ReadOnly))
            return cannotWrite(copy.lastError().text);
    } else {
        if (!copy.create(temporary))
            return cannotWrite(copy.lastError().text);
        sqlite3_backup *backup = sqlite3_backup_init(copy.handle(), "main", db.handle(), "main");
        if (!backup)
            return cannotWrite(writeFailure(copy.handle()));
        const int stepped = sqlite3_backup_step(backup, -1);
        sqlite3_backup_finish(backup);
        if (stepped != SQLITE_DONE)
            return cannotWrite(writeFailure(copy.handle()));
    }

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
    if (!pending.replaceTarget())
        return cannotWrite(Library::SystemErrorText(errno));
    recordState(target, copiedState);
    return true;
}

} // namespace Backup
