// The export-file reader on any bytes: it ends, counts what it hands over,
// and every record has its eight fields within their kinds.

#include "FuzzCheck.h"

#include "ExportFileReader.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    ExportFileReader reader;
    ImportReport report;
    qint64 records = 0;
    qint64 lastLine = 0;
    const bool ok = reader.read(bytes, report, [&](const RecordValues &values, qint64 line) {
        ++records;
        FUZZ_CHECK(line > lastLine);
        lastLine = line;
        const QVariant &numero = values[Catalogue::NUMERO];
        FUZZ_CHECK(numero.isNull() || numero.typeId() == QMetaType::LongLong);
        for (int position = Catalogue::PREFIXE; position <= Catalogue::DOMAINE; ++position) {
            const QVariant &code = values[Catalogue::Field(position)];
            FUZZ_CHECK(code.isNull() || code.toString().size() == 1);
        }
        return true;
    });
    FUZZ_CHECK(ok == reader.errorString().isEmpty());
    FUZZ_CHECK(reader.recordCount() == records);
    for (const QString &line : report.lines())
        FUZZ_CHECK(!line.isEmpty() && !line.contains(QLatin1Char('\n')));
    return 0;
}
