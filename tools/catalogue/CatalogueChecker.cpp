#include "CatalogueChecker.h"

#include "RecordConversion.h"
#include "ServerCatalogueWriter.h"

#include "catalogue/CatalogueExport.h"
#include "catalogue/CatalogueFormat.h"
#include "catalogue/CatalogueRecord.h"
#include "catalogue/CodeTables.h"
#include "catalogue/Database.h"
#include "catalogue/Isbn.h"
#include "catalogue/JetText.h"
#include "catalogue/RowStream.h"
#include "util/Windows1252.h"

#include <QFileInfo>
#include <QStringList>
#include <QVector>

#include <cmath>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// The form's text boxes for AUTEUR, EDITEUR, TITRE and ISBN hold this many characters.
constexpr int FormTextLimit = 255;

const CodeTable *codeTableAt(int position)
{
    switch (position) {
    case Catalogue::PREFIXE: return &CodeTables::prefixe();
    case Catalogue::LANGUE: return &CodeTables::langue();
    case Catalogue::DOMAINE: return &CodeTables::domaine();
    default: return nullptr;
    }
}

QString letters(const CodeTable &table)
{
    QStringList list;
    for (const CodeEntry &entry : table.entries())
        list << QString(entry.letter);
    return list.join(QStringLiteral(", "));
}

// What is wrong with a code field's text, or nothing.
QString codeProblem(const CodeTable &table, const QString &text)
{
    if (text.isEmpty() || table.entryForText(text))
        return QString();
    const QString name = table.fieldName();
    const QString trimmed = text.trimmed();
    if (trimmed != text && table.entryForText(trimmed))
        return QStringLiteral("%1 %2 has blanks around its letter; searches and filters miss it")
            .arg(name, RecordConversion::quoted(text));
    if (table.entryForText(trimmed.toUpper()))
        return QStringLiteral("%1 %2 is in lower case; the code is %3")
            .arg(name, RecordConversion::quoted(text), RecordConversion::quoted(trimmed.toUpper()));
    return QStringLiteral("%1 %2 is not one of its codes (%3)")
        .arg(name, RecordConversion::quoted(text), letters(table));
}

QString numeroProblem(const QVariant &value)
{
    if (value.isNull())
        return QString();
    bool admitted = false;
    QString shown;
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int: {
        const qint64 number = value.toLongLong();
        admitted = number >= -32768 && number <= 32767;
        shown = QString::number(number);
        break;
    }
    case QMetaType::Double: {
        const double number = value.toDouble();
        admitted = std::isfinite(number) && Catalogue::numeroValue(QString::number(number, 'f', 6), QLatin1Char('.'));
        shown = QString::number(number, 'g', 17);
        break;
    }
    default: {
        const QString text = value.toString();
        admitted = Catalogue::isAdmissibleNumero(text, QLatin1Char('.'))
            || Catalogue::isAdmissibleNumero(text, QLatin1Char(','));
        shown = RecordConversion::quoted(text);
        break;
    }
    }
    if (admitted)
        return QString();
    return QStringLiteral("NUMERO %1 is refused by the program (a whole number from -32768 to 32767, or nothing)")
        .arg(shown);
}

// Whether the export's code page holds every character of the text.
bool fitsExportCodePage(const QString &text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x80 && (u < 0xA0 || u > 0xFF))
            return Windows1252::decode(Windows1252::encode(text)) == text;
    }
    return true;
}

QString recordName(const QVector<QVariant> &row, int numeroColumn, int titreColumn)
{
    QStringList parts;
    if (numeroColumn >= 0 && !row.at(numeroColumn).isNull())
        parts << QStringLiteral("NUMERO %1").arg(row.at(numeroColumn).toString());
    if (titreColumn >= 0 && !row.at(titreColumn).isNull())
        parts << QStringLiteral("TITRE %1").arg(RecordConversion::quoted(row.at(titreColumn).toString(), 30));
    QString name = QStringLiteral("ID %1").arg(row.value(0).toString());
    if (!parts.isEmpty())
        name += QStringLiteral(" (%1)").arg(parts.join(QStringLiteral(", ")));
    return name;
}

// The records that share one value, found in one pass: the first record's
// key is kept for every value, a group is opened only when a second comes.
template <typename Value>
class Groups {
public:
    // shown() names the value in the report; called once per group.
    template <typename Shown>
    void add(Value value, const QVariant &key, const Shown &shown)
    {
        auto [seen, fresh] = m_seen.try_emplace(std::move(value), Seen{key, -1});
        if (fresh)
            return;
        if (seen->second.group < 0) {
            seen->second.group = int(m_groups.size());
            m_groups.push_back({shown(), {seen->second.first}});
        }
        m_groups[size_t(seen->second.group)].keys << key;
    }

    struct Group {
        QString shown;
        QVariantList keys;
    };
    const std::vector<Group> &groups() const { return m_groups; }

private:
    struct Seen {
        QVariant first;
        int group;
    };
    std::unordered_map<Value, Seen> m_seen;
    std::vector<Group> m_groups;
};

// A normalised ISBN as one number, digit by digit in base 11 ("X" is 10),
// the length on top: exact, and no text to keep per record.
quint64 isbnNumber(const QString &normalised)
{
    quint64 number = normalised.size() == 13 ? 1 : 0;
    for (const QChar c : normalised)
        number = number * 11 + (c == QLatin1Char('X') ? 10 : c.unicode() - '0');
    return number;
}

// AUTEUR or TITRE as two entries of one book compare: letter case, accents,
// ligatures (through the search's folding) and blanks set aside.
void appendFolded(std::string &key, const QString &text)
{
    const size_t start = key.size();
    const QByteArray utf8 = text.toUtf8();
    JetText::appendFolded(key, utf8.constData(), int(utf8.size()));
    size_t kept = start;
    for (size_t i = start; i < key.size(); ++i) {
        const char c = key[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f')
            continue;
        // A no-break space.
        if (c == '\xC2' && i + 1 < key.size() && key[i + 1] == '\xA0') {
            ++i;
            continue;
        }
        key[kept++] = c;
    }
    key.resize(kept);
}

QString keyList(const QVariantList &keys)
{
    QStringList list;
    for (const QVariant &key : keys)
        list << QStringLiteral("ID %1").arg(key.toString());
    return list.join(QStringLiteral(", "));
}

QString columnText(const QVector<QVariant> &row, int column)
{
    return column < 0 || row.at(column).isNull() ? QString() : row.at(column).toString();
}

} // namespace

bool CatalogueChecker::fail(const QString &text)
{
    m_error = text;
    return false;
}

QString CatalogueChecker::summary() const
{
    const QString records = m_counts.records == 1 ? QStringLiteral("1 record checked")
                                                  : QStringLiteral("%1 records checked").arg(m_counts.records);
    if (m_counts.problems() == 0)
        return QStringLiteral("%1: nothing to report").arg(records);
    QStringList kinds;
    const struct {
        qint64 count;
        const char *what;
    } parts[] = {
        {m_counts.structure, "in the table's layout"},
        {m_counts.codes, "with code letters"},
        {m_counts.numeros, "with NUMERO"},
        {m_counts.skipped, "left out by the export"},
        {m_counts.texts, "with texts"},
        {m_counts.isbns, "with ISBN check digits"},
        {m_counts.sharedIsbns, "with ISBNs shared"},
        {m_counts.duplicates, "with possible duplicates"},
    };
    for (const auto &part : parts) {
        if (part.count > 0)
            kinds << QStringLiteral("%1 %2").arg(part.count).arg(QLatin1String(part.what));
    }
    return QStringLiteral("%1: %2 %3 (%4)")
        .arg(records)
        .arg(m_counts.problems())
        .arg(m_counts.problems() == 1 ? QStringLiteral("problem") : QStringLiteral("problems"),
             kinds.join(QStringLiteral(", ")));
}

bool CatalogueChecker::check(const QString &path, const Sink &sink)
{
    m_counts = {};
    m_error.clear();
    if (Database::isServerName(path))
        return checkServer(path, sink);
    const QFileInfo info(path);
    if (!info.exists())
        return fail(QStringLiteral("%1 does not exist").arg(path));
    if (!info.isFile())
        return fail(QStringLiteral("%1 is not a file").arg(path));
    if (CatalogueFormat::isAccessFile(path)) {
        ++m_counts.structure;
        sink(QStringLiteral("%1 is an Access database file, which the program cannot open; convert it with: "
                            "ferulan-catalogue import %1 NEW_FILE")
                 .arg(path));
        return true;
    }

    Database db;
    if (!db.open(path, Database::Mode::ReadOnly)) {
        if (db.lastError().number == DataErrors::UnfinishedChanges)
            return fail(QStringLiteral("%1 was left half-written: %2. check only reads and leaves it so; open the "
                                       "catalogue once with Ferulan, which undoes them, then check again")
                            .arg(path, db.lastError().text));
        return fail(QStringLiteral("%1 is not a catalogue file: %2").arg(path, db.lastError().text));
    }

    // The table, found as the engine finds it: ignoring letter case.
    auto tables = db.prepare(QStringLiteral("SELECT name FROM sqlite_schema WHERE type = 'table' "
                                            "AND name NOT LIKE 'sqlite!_%' ESCAPE '!' ORDER BY name"));
    if (!tables)
        return fail(QStringLiteral("cannot read %1: %2").arg(path, db.lastError().text));
    QStringList tableNames;
    QString table;
    while (tables->step() == Statement::Step::Row) {
        const QString name = tables->value(0).toString();
        tableNames << name;
        if (name.compare(Catalogue::TableName, Qt::CaseInsensitive) == 0)
            table = name;
    }
    tables.reset();
    if (table.isEmpty()) {
        ++m_counts.structure;
        sink(QStringLiteral("the file has no table %1, so the program shows nothing%2")
                 .arg(Catalogue::TableName,
                      tableNames.isEmpty() ? QString()
                                           : QStringLiteral(" (its tables: %1)").arg(tableNames.join(QStringLiteral(", ")))));
        return true;
    }

    // The program tells rows apart by their key; a column that takes the
    // engine's name for it must not be mistaken for it.
    QStringList shadowing;
    if (auto info = db.prepare(QStringLiteral("PRAGMA table_xinfo(%1)").arg(Database::quoteName(table)))) {
        while (info->step() == Statement::Step::Row) {
            const QString column = info->value(1).toString();
            for (const char *name : {"rowid", "_rowid_", "oid"}) {
                if (column.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                    shadowing << column;
            }
        }
    }
    const auto key = db.rowKey(table);
    if (!key) {
        ++m_counts.structure;
        sink(QStringLiteral("the program refuses this file: %1").arg(db.lastError().text));
    } else if (!shadowing.isEmpty()) {
        ++m_counts.structure;
        sink(QStringLiteral("the table %1 has a column named %2, which takes the engine's name for the row key; "
                            "the program tells rows apart by %3 instead, other programs may mistake one row for "
                            "another")
                 .arg(table, shadowing.join(QStringLiteral(", ")), *key));
    }

    return checkRows(db, table, sink);
}

bool CatalogueChecker::checkServer(const QString &address, const Sink &sink)
{
    Database db;
    if (!db.open(address, Database::Mode::ReadOnly))
        return fail(QStringLiteral("cannot reach %1: %2").arg(shownAddress(address), db.lastError().text));
    if (!db.hasTable(Catalogue::TableName)) {
        if (db.lastError().number != 0)
            return fail(QStringLiteral("cannot read %1: %2").arg(shownAddress(address), db.lastError().text));
        ++m_counts.structure;
        sink(QStringLiteral("the database has no table %1, so the program shows nothing").arg(Catalogue::TableName));
        return true;
    }
    return checkRows(db, Catalogue::TableName, sink);
}

bool CatalogueChecker::checkRows(Database &db, const QString &table, const Sink &sink)
{
    // Read in the order of the rows' keys, in batches on a server.
    const auto rowKey = db.rowKey(table);
    RowStream stream(db);
    if (!stream.open(QStringLiteral("SELECT * FROM %1%2")
                         .arg(Database::quoteName(table), rowKey ? QStringLiteral(" ORDER BY ") + *rowKey : QString())))
        return fail(QStringLiteral("cannot read the table %1: %2").arg(table, db.lastError().text));
    RowStream *rows = &stream;

    // The program finds fields by position: the grid's columns, the form's
    // boxes and the export all count on this order.
    const int columnCount = rows->columnCount();
    QVector<int> columnOf(Catalogue::FieldCount, -1);
    for (int position = Catalogue::PREFIXE; position <= Catalogue::ISBN; ++position) {
        const QString field = Catalogue::fieldName(position);
        for (int column = 0; column < columnCount; ++column) {
            if (rows->columnName(column).compare(field, Qt::CaseInsensitive) == 0) {
                columnOf[position] = column;
                break;
            }
        }
        if (columnOf[position] < 0) {
            ++m_counts.structure;
            sink(QStringLiteral("the table %1 has no field %2").arg(table, field));
        } else if (columnOf[position] != position) {
            ++m_counts.structure;
            sink(QStringLiteral("the field %1 is in column %2 of the table; the program expects it in column %3")
                     .arg(field)
                     .arg(columnOf[position])
                     .arg(position));
        }
    }
    if (columnCount > Catalogue::FieldCount) {
        QStringList extra;
        for (int column = Catalogue::FieldCount; column < columnCount; ++column)
            extra << rows->columnName(column);
        ++m_counts.structure;
        sink(QStringLiteral("the table has columns past ISBN, which the grid shows and the export writes: %1")
                 .arg(extra.join(QStringLiteral(", "))));
    }

    Groups<quint64> sharedIsbns;
    Groups<std::string> authorTitles;
    std::string folded;
    QVector<QVariant> row(columnCount);
    while (true) {
        const Statement::Step step = rows->step();
        if (step == Statement::Step::Done)
            break;
        if (step == Statement::Step::Error)
            return fail(QStringLiteral("cannot read the table %1: %2").arg(table, db.lastError().text));
        ++m_counts.records;
        for (int column = 0; column < columnCount; ++column)
            row[column] = rows->row().value(column);
        QString name; // only for records with something to report
        auto report = [&](qint64 &counter, const QString &problem) {
            ++counter;
            if (name.isEmpty())
                name = recordName(row, columnOf[Catalogue::NUMERO], columnOf[Catalogue::TITRE]);
            sink(QStringLiteral("%1: %2").arg(name, problem));
        };

        for (int position = Catalogue::PREFIXE; position <= Catalogue::DOMAINE; ++position) {
            if (columnOf[position] < 0)
                continue;
            const QVariant &value = row.at(columnOf[position]);
            const QString problem = codeProblem(*codeTableAt(position), value.isNull() ? QString() : value.toString());
            if (!problem.isEmpty())
                report(m_counts.codes, problem);
        }
        if (columnOf[Catalogue::NUMERO] >= 0) {
            const QString problem = numeroProblem(row.at(columnOf[Catalogue::NUMERO]));
            if (!problem.isEmpty())
                report(m_counts.numeros, problem);
        }
        for (int position = Catalogue::AUTEUR; position <= Catalogue::ISBN; ++position) {
            if (columnOf[position] < 0 || row.at(columnOf[position]).isNull())
                continue;
            const QString text = row.at(columnOf[position]).toString();
            if (text.size() > FormTextLimit) {
                report(m_counts.texts, QStringLiteral("%1 has %2 characters; the form's box holds %3")
                                           .arg(Catalogue::fieldName(position))
                                           .arg(text.size())
                                           .arg(FormTextLimit));
            }
            if (!fitsExportCodePage(text)) {
                report(m_counts.texts, QStringLiteral("%1 holds characters that the export writes as \"?\"")
                                           .arg(Catalogue::fieldName(position)));
            }
        }
        if (CatalogueExport::leavesOut(row))
            report(m_counts.skipped, QStringLiteral("the export leaves this record out: "
                                                    "its line would hold seven empty fields in a row"));

        const QVariant &key = row.at(0);
        const QString isbn = columnText(row, columnOf[Catalogue::ISBN]);
        const Isbn::Check isbnCheck = Isbn::check(isbn);
        if (isbnCheck.wrong())
            report(m_counts.isbns, QStringLiteral("ISBN %1 has a wrong check digit; it should end in %2")
                                       .arg(RecordConversion::quoted(isbn), QString(isbnCheck.expected)));
        // Only texts shaped as an ISBN: a note such as "épuisé" on many
        // records is not a shared number.
        if (isbnCheck.shaped) {
            const QString normalIsbn = Isbn::normalised(isbn);
            sharedIsbns.add(isbnNumber(normalIsbn), key, [&] { return normalIsbn; });
        }

        // Only records with both an author and a title: untitled or
        // anonymous entries (a periodical's issues) are not one book.
        folded.clear();
        appendFolded(folded, columnText(row, columnOf[Catalogue::AUTEUR]));
        const size_t authorLength = folded.size();
        folded += '\x1f';
        appendFolded(folded, columnText(row, columnOf[Catalogue::TITRE]));
        if (authorLength > 0 && folded.size() > authorLength + 1) {
            authorTitles.add(folded, key, [&] {
                return QStringLiteral("AUTEUR %1, TITRE %2")
                    .arg(RecordConversion::quoted(columnText(row, columnOf[Catalogue::AUTEUR]), 30),
                         RecordConversion::quoted(columnText(row, columnOf[Catalogue::TITRE]), 30));
            });
        }
    }

    for (const auto &group : sharedIsbns.groups()) {
        ++m_counts.sharedIsbns;
        sink(QStringLiteral("ISBN %1 is on %2 records: %3")
                 .arg(group.shown)
                 .arg(group.keys.size())
                 .arg(keyList(group.keys)));
    }
    for (const auto &group : authorTitles.groups()) {
        ++m_counts.duplicates;
        sink(QStringLiteral("%1 look like one book entered %2 times (%3; letter case, accents and blanks aside)")
                 .arg(keyList(group.keys))
                 .arg(group.keys.size())
                 .arg(group.shown));
    }
    return true;
}
