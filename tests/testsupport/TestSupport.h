#pragma once

#include "catalogue/Progress.h"

#include <QList>
#include <QStringList>
#include <QString>
#include <QVariant>
#include <QVector>

#include <algorithm>
#include <functional>

// Helpers shared by the tests: small catalogues and settings files in
// temporary folders.
class DataControl;

namespace TestSupport {

// One catalogue row: PREFIXE, LANGUE, DOMAINE, NUMERO, AUTEUR, EDITEUR,
// TITRE, ISBN (a null QVariant stores NULL).
using Row = QVector<QVariant>;

// Creates a catalogue file with the Biblio table and these rows, in order.
// Returns an empty string on success, else the engine's error text.
QString makeCatalogue(const QString &path, const QList<Row> &rows);

// What a writer that stopped half-way leaves: a catalogue of 400 records
// (AUTEUR "Auteur") whose pages are partly overwritten with an uncommitted
// change (AUTEUR "Perdu") and the journal that undoes it (path-journal).
QString makeHalfWrittenCatalogue(const QString &path);

// A few believable rows covering every code table.
QList<Row> sampleRows();

// n rows cycling through the code tables, with distinct numbers and titles.
QList<Row> manyRows(int n);

// One field of every row of a data control's set, in its order; "<null>"
// for a missing value.
QStringList column(const DataControl &data, int field);

// What long work reported; it asks to stop at the first report of at least
// stopAt units (never when negative), and runs onReport at each.
struct RecordingProgress : ProgressObserver {
    qint64 stopAt = -1;
    qint64 total = -1;
    QList<qint64> reports;
    int finishes = 0;
    std::function<void()> onReport = [] {};
    void started(qint64 units) override { total = units; }
    bool progressed(qint64 done) override
    {
        onReport();
        reports << done;
        return stopAt < 0 || done < stopAt;
    }
    void finished() override { ++finishes; }
    bool monotonic() const { return std::is_sorted(reports.begin(), reports.end()); }
};

// A catalogue on the test server with these rows (keys 1, 2...), in a schema
// of its own that is dropped at the end, its connections named after the
// schema (application_name). The server is FERULAN_TEST_PG_URI,
// else what libpq's PG* variables name; error says why there is none.
struct ServerCatalogue {
    explicit ServerCatalogue(const QList<Row> &rows);
    ~ServerCatalogue();
    QString uri;
    QString error;
    QString schema;
};

// Without a server the test fails with the reason, or skips when
// FERULAN_SKIP_SERVER_TESTS=1.
#define REQUIRE_SERVER(catalogue)                                                                              \
    do {                                                                                                       \
        if (!(catalogue).error.isEmpty()) {                                                                    \
            if (qEnvironmentVariableIntValue("FERULAN_SKIP_SERVER_TESTS") == 1)                                \
                QSKIP(qPrintable((catalogue).error));                                                          \
            QFAIL(qPrintable((catalogue).error));                                                              \
        }                                                                                                      \
    } while (false)
#define SERVER_CATALOGUE(name, rows)                                                                           \
    TestSupport::ServerCatalogue name(rows);                                                                   \
    REQUIRE_SERVER(name)

// Writes a file with exactly these bytes.
bool writeFile(const QString &path, const QByteArray &bytes);

// Runs action with writes limited to files of at most bytes, as on a full
// disk (even for a user whom permissions do not stop). False when the limit
// could not be set.
bool withFileSizeLimit(qint64 bytes, const std::function<void()> &action);
QByteArray readFile(const QString &path);

} // namespace TestSupport
