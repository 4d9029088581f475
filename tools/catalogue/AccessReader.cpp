#include "AccessReader.h"

#include "catalogue/CatalogueFormat.h"

#include <QFile>

#include <mdbtools.h>

#include <vector>

namespace {

// Room for the longest text of a row's column. A memo typed in Access holds
// at most 65,535 characters, three bytes each at worst in UTF-8; a longer
// value is reported as cut rather than silently shortened.
constexpr std::size_t BindSize = 256 * 1024;

struct ColumnType {
    AccessReader::ColumnKind kind;
    const char *name;
};

ColumnType columnType(int type)
{
    using Kind = AccessReader::ColumnKind;
    switch (type) {
    case MDB_TEXT: return {Kind::Text, "Text"};
    case MDB_MEMO: return {Kind::Text, "Memo"};
    case MDB_BYTE: return {Kind::Integer, "Byte"};
    case MDB_INT: return {Kind::Integer, "Integer"};
    case MDB_LONGINT: return {Kind::Integer, "Long Integer"};
    case MDB_FLOAT: return {Kind::Real, "Single"};
    case MDB_DOUBLE: return {Kind::Real, "Double"};
    case MDB_MONEY: return {Kind::Real, "Currency"};
    case MDB_NUMERIC: return {Kind::Real, "Decimal"};
    case MDB_DATETIME: return {Kind::DateTime, "Date/Time"};
    case MDB_BOOL: return {Kind::Boolean, "Yes/No"};
    case MDB_OLE: return {Kind::Unsupported, "OLE Object"};
    case MDB_BINARY: return {Kind::Unsupported, "Binary"};
    case MDB_REPID: return {Kind::Unsupported, "Replication ID"};
    case MDB_COMPLEX: return {Kind::Unsupported, "Attachment or multi-valued"};
    default: return {Kind::Unsupported, "unknown"};
    }
}

} // namespace

struct AccessReader::Handles {
    MdbHandle *mdb = nullptr;
    MdbTableDef *table = nullptr;
    // One buffer per column (empty for columns not read), with a little
    // room past BindSize for the terminating zero the library appends.
    std::vector<std::vector<char>> buffers;
    std::vector<int> lengths;

    void closeTable()
    {
        if (table) {
            mdb_free_tabledef(table);
            table = nullptr;
        }
        buffers.clear();
        lengths.clear();
    }
    ~Handles()
    {
        closeTable();
        if (mdb)
            mdb_close(mdb);
    }
};

AccessReader::AccessReader() = default;
AccessReader::~AccessReader() = default;

bool AccessReader::fail(const QString &text)
{
    m_error = text;
    return false;
}

bool AccessReader::isOpen() const
{
    return m_handles && m_handles->mdb;
}

void AccessReader::close()
{
    m_handles.reset();
    m_tableName.clear();
    m_columns.clear();
}

bool AccessReader::open(const QString &path)
{
    close();
    m_error.clear();
    if (!QFile::exists(path))
        return fail(QStringLiteral("%1 does not exist").arg(path));
    // The library would print its own complaints about a file that is not
    // one of its own; recognise the file first.
    if (!CatalogueFormat::isAccessFile(path))
        return fail(QStringLiteral("%1 is not an Access database file").arg(path));
    // The library decodes every text into the character set this names.
    qputenv("MDB_ICONV", "UTF-8");
    auto handles = std::make_unique<Handles>();
    handles->mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!handles->mdb)
        return fail(QStringLiteral("cannot read the Access file %1").arg(path));
    mdb_set_bind_size(handles->mdb, BindSize);
    mdb_set_date_fmt(handles->mdb, "%Y-%m-%d %H:%M:%S");
    mdb_set_shortdate_fmt(handles->mdb, "%Y-%m-%d");
    mdb_set_boolean_fmt_numbers(handles->mdb);
    if (!mdb_read_catalog(handles->mdb, MDB_ANY))
        return fail(QStringLiteral("cannot read the list of tables of %1").arg(path));
    m_handles = std::move(handles);
    return true;
}

QString AccessReader::formatName() const
{
    if (!isOpen())
        return QString();
    switch (m_handles->mdb->f->jet_version) {
    case MDB_VER_JET3: return QStringLiteral("Jet 3");
    case MDB_VER_JET4: return QStringLiteral("Jet 4");
    default: return QStringLiteral("ACE");
    }
}

QStringList AccessReader::tableNames() const
{
    QStringList names;
    if (!isOpen())
        return names;
    GPtrArray *catalog = m_handles->mdb->catalog;
    for (guint i = 0; catalog && i < catalog->len; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(catalog, i));
        if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry))
            names << QString::fromUtf8(entry->object_name);
    }
    return names;
}

bool AccessReader::openTable(const QString &name)
{
    m_error.clear();
    if (!isOpen())
        return fail(QStringLiteral("no Access file is open"));
    m_handles->closeTable();
    m_columns.clear();
    m_tableName.clear();

    MdbCatalogEntry *found = nullptr;
    GPtrArray *catalog = m_handles->mdb->catalog;
    for (guint i = 0; catalog && i < catalog->len && !found; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(catalog, i));
        if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry)
            && QString::fromUtf8(entry->object_name).compare(name, Qt::CaseInsensitive) == 0)
            found = entry;
    }
    if (!found) {
        return fail(QStringLiteral("the file has no table \"%1\" (its tables: %2)")
                        .arg(name, tableNames().join(QStringLiteral(", "))));
    }
    MdbTableDef *table = mdb_read_table(found);
    if (!table)
        return fail(QStringLiteral("cannot read the table \"%1\"").arg(name));
    m_handles->table = table;
    if (!mdb_read_columns(table))
        return fail(QStringLiteral("cannot read the columns of \"%1\"").arg(name));
    m_tableName = QString::fromUtf8(table->name);

    m_handles->buffers.resize(table->num_cols);
    m_handles->lengths.assign(table->num_cols, 0);
    for (unsigned int i = 0; i < table->num_cols; ++i) {
        auto *column = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i));
        const ColumnType type = columnType(column->col_type);
        m_columns.append({QString::fromUtf8(column->name), type.kind, QString::fromLatin1(type.name)});
        if (type.kind == ColumnKind::Unsupported)
            continue;
        std::vector<char> &buffer = m_handles->buffers[i];
        buffer.assign(BindSize + 16, '\0');
        mdb_bind_column(table, int(i) + 1, buffer.data(), &m_handles->lengths[i]);
    }
    mdb_rewind_table(table);
    return true;
}

qint64 AccessReader::declaredRowCount() const
{
    return m_handles && m_handles->table ? qint64(m_handles->table->num_rows) : 0;
}

bool AccessReader::next()
{
    if (!m_handles || !m_handles->table)
        return false;
    for (std::size_t i = 0; i < m_handles->buffers.size(); ++i) {
        if (!m_handles->buffers[i].empty()) {
            m_handles->buffers[i][0] = '\0';
            m_handles->lengths[i] = 0;
        }
    }
    return mdb_fetch_row(m_handles->table) != 0;
}

QString AccessReader::text(int column) const
{
    if (!m_handles || column < 0 || std::size_t(column) >= m_handles->buffers.size())
        return QString();
    const std::vector<char> &buffer = m_handles->buffers[std::size_t(column)];
    if (buffer.empty())
        return QString();
    QString value = QString::fromUtf8(buffer.data(), int(qstrnlen(buffer.data(), BindSize)));
    // The library prints numbers in the process's locale.
    if (m_columns.at(column).kind == ColumnKind::Real)
        value.replace(QLatin1Char(','), QLatin1Char('.'));
    return value;
}

bool AccessReader::wasCut(int column) const
{
    if (!m_handles || column < 0 || std::size_t(column) >= m_handles->buffers.size())
        return false;
    const std::vector<char> &buffer = m_handles->buffers[std::size_t(column)];
    return !buffer.empty() && qstrnlen(buffer.data(), BindSize) >= BindSize - 1;
}
