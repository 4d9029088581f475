// LIKE as the engine runs it, on any pattern and text: the registered
// function agrees with the matcher, "*" matches everything, and a text
// matches itself once its wildcards are put in sets.

#include "FuzzCheck.h"

#include "catalogue/Database.h"
#include "catalogue/JetSql.h"

#include <cstdint>

namespace {

Database &database()
{
    static Database db;
    if (!db.isOpen())
        db.create(QStringLiteral(":memory:"));
    return db;
}

QString literally(const QString &text)
{
    QString pattern;
    for (const QChar c : text) {
        if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('#') || c == QLatin1Char('['))
            pattern += QLatin1Char('[') + c + QLatin1Char(']');
        else
            pattern += c;
    }
    return pattern;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The pattern, a zero byte, the text.
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype zero = input.indexOf('\0');
    const QByteArray patternBytes = zero < 0 ? input : input.left(zero);
    const QByteArray textBytes = zero < 0 ? input : input.mid(zero + 1);
    const QString pattern = QString::fromUtf8(patternBytes);
    const QString text = QString::fromUtf8(textBytes);

    Database &db = database();
    FUZZ_CHECK(db.isOpen());
    // As texts, and as the raw bytes, which need not be UTF-8.
    auto statement = db.prepare(QStringLiteral("SELECT ?2 LIKE ?1, CAST(X'%1' AS TEXT) LIKE CAST(X'%2' AS TEXT)")
                                    .arg(QString::fromLatin1(textBytes.toHex()), QString::fromLatin1(patternBytes.toHex())));
    FUZZ_CHECK(statement != nullptr);
    FUZZ_CHECK(statement->bind(1, pattern) && statement->bind(2, text));
    FUZZ_CHECK(statement->step() == Statement::Step::Row);
    FUZZ_CHECK(statement->value(0).toBool() == JetSql::likeMatch(pattern, text));

    FUZZ_CHECK(JetSql::likeMatch(QStringLiteral("*"), text));
    FUZZ_CHECK(JetSql::likeMatch(literally(text), text));
    return 0;
}
