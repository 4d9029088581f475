#pragma once

#include "RecordValues.h"

#include <QString>

#include <functional>

// Writes a catalogue to a CSV file that gives the same records back on
// import: a header row with ID and the eight field names, then every record
// in key order with its values as stored (code letters, not labels), in
// UTF-8 after a byte order mark. The file appears under its name only once
// complete; an existing file is never replaced.
namespace CsvExport {

struct Result {
    bool written = false;
    qint64 rows = 0;
    QString error; // when nothing was written
};

// separator is ',' or ';'. Values an import would refuse (a NUMERO that is
// no number) are written as they are and reported, by record key.
Result run(const QString &catalogue, const QString &target, char separator, ImportReport &report,
           const std::function<void(qint64 rows)> &rowWritten = {});

} // namespace CsvExport
