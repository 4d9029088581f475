#include "CatalogueWriter.h"

#include "catalogue/CatalogueSchema.h"
#include "util/Library.h"
#include "util/ProcessFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <csignal>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

// The temporary files this process is writing.
QSet<QString> &writersInProcess()
{
    static QSet<QString> paths;
    return paths;
}

} // namespace

bool syncPath(const QString &path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Moves from to to unless to exists, in one step where the file system allows.
bool renameNoReplace(const QString &from, const QString &to, QString *error)
{
    const QByteArray src = QFile::encodeName(from);
    const QByteArray dst = QFile::encodeName(to);
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        *error = Library::SystemErrorText(errno);
        return false;
    }
#endif
    // A hard link refuses an existing name just as well.
    if (::link(src.constData(), dst.constData()) != 0) {
        *error = Library::SystemErrorText(errno);
        return false;
    }
    ::unlink(src.constData());
    return true;
}

bool pathIsTaken(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

CatalogueWriter::CatalogueWriter(QString targetPath) : m_target(std::move(targetPath)) {}

CatalogueWriter::~CatalogueWriter()
{
    if (!m_finished)
        abandon();
}

void CatalogueWriter::requestStop()
{
    g_stop = 1;
}

bool CatalogueWriter::stopRequested()
{
    return g_stop != 0;
}

bool CatalogueWriter::fail(const QString &text)
{
    m_error = text;
    abandon();
    return false;
}

bool CatalogueWriter::failWithEngine(const QString &what)
{
    return fail(QStringLiteral("%1: %2").arg(what, m_db.lastError().text));
}

bool CatalogueWriter::begin()
{
    if (m_target.isEmpty())
        return fail(QStringLiteral("no target file given"));
    if (pathIsTaken(m_target))
        return fail(QStringLiteral("%1 already exists; it is left as it is (choose another name)").arg(m_target));
    const QFileInfo info(m_target);
    const QDir folder = info.absoluteDir();
    if (!folder.exists())
        return fail(QStringLiteral("the folder %1 does not exist").arg(QDir::toNativeSeparators(folder.path())));

    ProcessFiles::removeLeftovers(folder);
    const QString candidate = ProcessFiles::temporaryFor(m_target);
    if (writersInProcess().contains(candidate))
        return fail(QStringLiteral("%1 is being written already").arg(m_target));
    // Not one of ours: left by an earlier process that had the same number.
    ProcessFiles::removeWithSideFiles(candidate);
    if (!m_db.create(candidate))
        return fail(QStringLiteral("cannot create a file in %1: %2").arg(folder.path(), m_db.lastError().text));
    m_temporary = candidate;
    writersInProcess().insert(candidate);

    if (!CatalogueSchema::create(m_db))
        return failWithEngine(QStringLiteral("cannot create the catalogue table"));
    // The file is thrown away on any failure and synced once complete, so
    // the engine need not sync while it fills it.
    if (!m_db.exec(QStringLiteral("PRAGMA synchronous = OFF")))
        return failWithEngine(QStringLiteral("cannot prepare the file"));
    if (!m_db.exec(QStringLiteral("BEGIN")))
        return failWithEngine(QStringLiteral("cannot start the transaction"));

    QStringList names{Catalogue::fieldName(Catalogue::RowKey)};
    for (int position = Catalogue::PREFIXE; position <= Catalogue::ISBN; ++position)
        names << Catalogue::fieldName(position);
    m_insert = m_db.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)")
                                .arg(Catalogue::TableName, names.join(QStringLiteral(", "))));
    if (!m_insert)
        return failWithEngine(QStringLiteral("cannot prepare the insert"));
    return true;
}

bool CatalogueWriter::add(const RecordValues &values)
{
    if (!m_insert)
        return fail(m_error.isEmpty() ? QStringLiteral("the catalogue file is not open") : m_error);
    if (stopRequested())
        return fail(QStringLiteral("interrupted; nothing was written"));
    m_insert->reset();
    if (!m_insert->bind(1, values.key()))
        return failWithEngine(QStringLiteral("cannot store record %1").arg(m_rows + 1));
    for (int position = Catalogue::PREFIXE; position <= Catalogue::ISBN; ++position) {
        if (!m_insert->bind(position + 1, values[Catalogue::Field(position)]))
            return failWithEngine(QStringLiteral("cannot store record %1").arg(m_rows + 1));
    }
    if (m_insert->step() != Statement::Step::Done)
        return failWithEngine(QStringLiteral("cannot store record %1").arg(m_rows + 1));
    ++m_rows;
    if (m_rowWritten)
        m_rowWritten(m_rows);
    return true;
}

bool CatalogueWriter::finish()
{
    if (!m_insert)
        return fail(m_error.isEmpty() ? QStringLiteral("the catalogue file is not open") : m_error);
    if (stopRequested())
        return fail(QStringLiteral("interrupted; nothing was written"));
    m_insert.reset();
    if (!m_db.exec(QStringLiteral("COMMIT")))
        return failWithEngine(QStringLiteral("cannot commit"));
    m_db.close();
    // Engine side files would be left behind under the temporary name.
    for (const QString &suffix : ProcessFiles::engineSideFiles()) {
        if (pathIsTaken(m_temporary + suffix))
            return fail(QStringLiteral("the engine left %1 behind").arg(m_temporary + suffix));
    }
    if (!syncPath(m_temporary, O_RDONLY))
        return fail(QStringLiteral("cannot write %1 to disk: %2")
                        .arg(m_temporary, Library::SystemErrorText(errno)));
    QString error;
    if (!renameNoReplace(m_temporary, m_target, &error)) {
        if (pathIsTaken(m_target))
            return fail(QStringLiteral("%1 appeared while writing; it is left as it is").arg(m_target));
        return fail(QStringLiteral("cannot name the file %1: %2").arg(m_target, error));
    }
    writersInProcess().remove(m_temporary);
    m_temporary.clear();
    syncPath(QFileInfo(m_target).absolutePath(), O_RDONLY | O_DIRECTORY);
    m_finished = true;
    return true;
}

void CatalogueWriter::abandon()
{
    m_insert.reset();
    m_db.close();
    removeTemporary();
}

void CatalogueWriter::removeTemporary()
{
    if (m_temporary.isEmpty())
        return;
    writersInProcess().remove(m_temporary);
    ProcessFiles::removeWithSideFiles(m_temporary);
    m_temporary.clear();
}
