// The CSV reader on any bytes: it ends, every record has the header's width,
// and what it reads, written again, reads back the same.

#include "FuzzCheck.h"

#include "catalogue/CsvFile.h"

#include <QBuffer>

#include <cstdint>

namespace {

QList<QStringList> readAll(QByteArray bytes, bool *ok, char *separator)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    CsvFile::Reader reader(&buffer);
    QList<QStringList> records;
    QStringList fields;
    while (reader.next(&fields)) {
        FUZZ_CHECK(records.isEmpty() || fields.size() == records.first().size());
        records << fields;
    }
    *ok = reader.errorString().isEmpty();
    *separator = reader.separator();
    return records;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    bool ok = false;
    char separator = ',';
    const QList<QStringList> records =
        readAll(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), &ok, &separator);
    if (!ok)
        return 0;
    QByteArray written;
    QBuffer buffer(&written);
    buffer.open(QIODevice::WriteOnly);
    CsvFile::Writer writer(&buffer, separator);
    for (const QStringList &record : records)
        FUZZ_CHECK(writer.write(record));
    FUZZ_CHECK(writer.flush());
    char again = ',';
    FUZZ_CHECK(readAll(written, &ok, &again) == records && ok);
    FUZZ_CHECK(records.isEmpty() || again == separator || records.first().size() == 1);
    return 0;
}
