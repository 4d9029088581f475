// The query translation on any text: a query it accepts becomes a single
// statement, with nothing after it that the engine would leave unread.

#include "FuzzCheck.h"

#include "catalogue/JetSql.h"

#include <sqlite3.h>

#include <cstdint>

namespace {

void nothing(sqlite3_context *context, int, sqlite3_value **)
{
    sqlite3_result_null(context);
}

sqlite3 *database()
{
    static sqlite3 *db = [] {
        sqlite3 *handle = nullptr;
        sqlite3_open(":memory:", &handle);
        sqlite3_exec(handle,
                     "CREATE TABLE Biblio (ID INTEGER PRIMARY KEY, PREFIXE TEXT, LANGUE TEXT, DOMAINE TEXT, "
                     "NUMERO INTEGER, AUTEUR TEXT, EDITEUR TEXT, TITRE TEXT, ISBN TEXT)",
                     nullptr, nullptr, nullptr);
        // Compiling needs the functions to exist, not to work.
        sqlite3_create_function(handle, "like", 2, SQLITE_UTF8, nullptr, nothing, nullptr, nullptr);
        sqlite3_create_function(handle, "like", 3, SQLITE_UTF8, nullptr, nothing, nullptr, nullptr);
        sqlite3_create_function(handle, JetSql::SortKeyFunction, 1, SQLITE_UTF8, nullptr, nothing, nullptr, nullptr);
        return handle;
    }();
    return db;
}

// The engine compiles the first statement; anything after it would be a
// second one smuggled in.
void compilesAlone(const QString &sql)
{
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *statement = nullptr;
    const char *tail = nullptr;
    const int rc = sqlite3_prepare_v2(database(), utf8.constData(), int(utf8.size()), &statement, &tail);
    // A condition the engine cannot compile is refused there, with its
    // message; what matters is that nothing runs after the first statement.
    if (rc == SQLITE_OK) {
        FUZZ_CHECK(statement != nullptr);
        if (!QByteArray(tail).trimmed().isEmpty())
            std::fprintf(stderr, "%s\n", utf8.constData());
        FUZZ_CHECK(QByteArray(tail).trimmed().isEmpty());
    }
    sqlite3_finalize(statement);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString query = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const std::optional<JetSql::Select> select = JetSql::translate(query, &error);
    if (!select) {
        FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    // The table's integer primary key is what the engine layer addresses rows by.
    const QString key = QStringLiteral("\"ID\"");
    compilesAlone(JetSql::selectAll(*select, key));
    compilesAlone(JetSql::selectKeysAndTerms(
        *select, {"ID", "PREFIXE", "LANGUE", "DOMAINE", "NUMERO", "AUTEUR", "EDITEUR", "TITRE", "ISBN"}, key));
    return 0;
}
