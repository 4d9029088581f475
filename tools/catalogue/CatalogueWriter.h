#pragma once

#include "RecordSink.h"

#include "catalogue/Database.h"

#include <QDir>
#include <QString>

#include <functional>
#include <memory>

class Statement;

// Writes a new catalogue file all or nothing: the rows go into a hidden
// temporary file beside the target in one transaction, and the file takes
// the target's name only once it is complete. An existing target is never
// replaced, and an unfinished file never stays behind.
class CatalogueWriter : public RecordSink {
public:
    explicit CatalogueWriter(QString targetPath);
    ~CatalogueWriter() override;
    CatalogueWriter(const CatalogueWriter &) = delete;
    CatalogueWriter &operator=(const CatalogueWriter &) = delete;

    // Creates the temporary file with the catalogue table and opens the transaction.
    bool begin() override;
    bool add(const RecordValues &values) override;
    // Commits, closes and moves the file to the target name.
    bool finish() override;
    // Drops the temporary file; the target is left as it was.
    void abandon() override;

    qint64 rowCount() const override { return m_rows; }
    // Told the number of rows written after each one, for a progress line.
    void setRowWritten(std::function<void(qint64 rows)> rowWritten) override { m_rowWritten = std::move(rowWritten); }
    const QString &errorString() const override { return m_error; }
    const QString &targetPath() const { return m_target; }
    // The temporary file while writing, for the tests.
    const QString &temporaryPath() const { return m_temporary; }

    // Safe to call from a signal handler: the next add() fails, so that an
    // interrupted run cleans up like any other failure.
    static void requestStop();
    static bool stopRequested();

private:
    bool fail(const QString &text);
    bool failWithEngine(const QString &what);
    void removeTemporary();

    QString m_target;
    QString m_temporary;
    Database m_db;
    std::unique_ptr<Statement> m_insert;
    qint64 m_rows = 0;
    QString m_error;
    bool m_finished = false;
    std::function<void(qint64)> m_rowWritten;
};

// Whether something exists under this name, a dangling link included.
bool pathIsTaken(const QString &path);
// Moves from to to unless to exists, in one step where the file system allows.
bool renameNoReplace(const QString &from, const QString &to, QString *error);
// fsync of a file or (with O_DIRECTORY) a folder opened with these flags.
bool syncPath(const QString &path, int flags);
