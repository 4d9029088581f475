#pragma once

#include <QString>

#include <functional>

class Database;

// Looks through a catalogue file for what the program would stumble on:
// a missing table or field, code letters it does not know, NUMERO values
// its rule refuses, records its export leaves out, texts its form or its
// export cannot hold, ISBNs whose check digit is wrong or that several records
// share, records that look like one book entered twice. It opens the file read-only and changes nothing.
class CatalogueChecker {
public:
    struct Counts {
        qint64 records = 0;
        qint64 structure = 0;  // table and fields
        qint64 codes = 0;      // PREFIXE, LANGUE, DOMAINE
        qint64 numeros = 0;
        qint64 skipped = 0;    // records the export leaves out
        qint64 texts = 0;      // too long for the form, or not for the export's code page
        qint64 isbns = 0;      // a wrong check digit
        qint64 sharedIsbns = 0; // one ISBN on several records
        qint64 duplicates = 0; // records that look like one book
        qint64 problems() const
        {
            return structure + codes + numeros + skipped + texts + isbns + sharedIsbns + duplicates;
        }
    };

    using Sink = std::function<void(const QString &line)>;

    // One line per problem goes to sink; path may be a server's address too.
    // False when the catalogue could not be
    // looked at (errorString says why); an Access file is a finding, not a
    // failure.
    bool check(const QString &path, const Sink &sink);

    const Counts &counts() const { return m_counts; }
    QString summary() const;
    const QString &errorString() const { return m_error; }

private:
    bool fail(const QString &text);
    bool checkServer(const QString &address, const Sink &sink);
    bool checkRows(Database &db, const QString &table, const Sink &sink);

    Counts m_counts;
    QString m_error;
};
