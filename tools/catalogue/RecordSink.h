#pragma once

#include "RecordValues.h"

#include <QString>

#include <functional>
#include <memory>

// Where a new catalogue is written, all or nothing: a file, or table Biblio
// on a database server. begin() makes it, add() takes one record after
// another, finish() makes the whole visible at once; a failure or abandon()
// leaves nothing behind.
class RecordSink {
public:
    virtual ~RecordSink() = default;

    virtual bool begin() = 0;
    virtual bool add(const RecordValues &values) = 0;
    virtual bool finish() = 0;
    virtual void abandon() = 0;

    virtual qint64 rowCount() const = 0;
    virtual const QString &errorString() const = 0;
    virtual void setRowWritten(std::function<void(qint64 rows)> rowWritten) = 0;

    // A server's catalogue for a server's address, else a file.
    static std::unique_ptr<RecordSink> forTarget(const QString &target);
};
