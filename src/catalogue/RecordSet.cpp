#include "RecordSet.h"

#include "CatalogueRecord.h"
#include "DataControl.h"
#include "KeysetQuery.h"

#include <QLocale>

#include <algorithm>
#include <cstdint>

namespace {

// Rows kept in memory for the grid and the form; a screenful is a few dozen.
constexpr int CacheLimit = 4096;

} // namespace

RecordSet::RecordSet(DataControl &control)
    : m_control(control)
{
}

std::unique_ptr<Statement> RecordSet::prepareFetch(Database &db, const QString &table, const QString &key)
{
    return db.prepare(QLatin1String("SELECT * FROM ") + Database::quoteName(table) + QLatin1String(" WHERE ") + key
                      + QLatin1String(" = ?"));
}

bool RecordSet::load(Database &db, const JetSql::Select &select)
{
    const QString &table = select.table;
    // Build the new result aside, so a failure leaves the old one in place.
    const auto key = db.rowKey(table);
    if (!key) {
        m_error = db.lastError();
        return false;
    }
    std::unique_ptr<Statement> fetch = prepareFetch(db, table, *key);
    if (!fetch) {
        m_error = db.lastError();
        return false;
    }
    QStringList names;
    for (int i = 0; i < fetch->columnCount(); ++i)
        names << fetch->columnName(i);

    QVector<bool> integerColumn(names.size(), false);
    if (auto info = db.prepare(QLatin1String("PRAGMA table_info(") + Database::quoteName(table) + QLatin1Char(')'))) {
        while (info->step() == Statement::Step::Row) {
            const int column = names.indexOf(info->value(1).toString());
            if (column >= 0)
                integerColumn[column] = info->value(2).toString().contains(QLatin1String("INT"), Qt::CaseInsensitive);
        }
    }

    // Read before the query: a change committed meanwhile makes it differ later.
    const std::optional<qint64> version = db.dataVersion();
    std::vector<qint64> keys;
    std::vector<qint64> *whole = knownOrder(db, select);
    bool filtered = false;
    if (whole && select.condition.isEmpty()) {
        keys = whole == &m_wholeOrder ? std::move(*whole) : *whole;
        filtered = true;
    } else if (whole) {
        filtered = filterKnownOrder(db, select, *whole, keys);
        if (!filtered && m_error.number != 0)
            return false;
    }
    if (!filtered) {
        whole = nullptr;
        if (!KeysetQuery::run(db, select, names, *key, keys, m_error, m_control.m_progress))
            return false;
    }
    keys.shrink_to_fit();

    // The whole order is kept while a condition narrows the new set.
    const bool keepWhole = whole && !select.condition.isEmpty();
    std::vector<qint64> wholeOrder = keepWhole ? std::move(*whole) : std::vector<qint64>();

    clear();
    m_select = select;
    m_keysAsQueried = true;
    m_wholeOrder = std::move(wholeOrder);
    m_wholeOrderKnown = keepWhole;
    m_dataVersion = version;
    m_db = &db;
    m_table = table;
    m_key = *key;
    m_fieldNames = names;
    m_integerColumn = integerColumn;
    m_keys = std::move(keys);
    m_fetch = std::move(fetch);
    m_position = m_keys.empty() ? -1 : 0;
    return true;
}

std::vector<qint64> *RecordSet::knownOrder(Database &db, const JetSql::Select &select)
{
    if (m_db != &db || !m_dataVersion || db.dataVersion() != m_dataVersion || select.table != m_select.table
        || select.terms.size() != m_select.terms.size())
        return nullptr;
    for (int i = 0; i < select.terms.size(); ++i) {
        if (select.terms[i].expression != m_select.terms[i].expression
            || select.terms[i].descending != m_select.terms[i].descending)
            return nullptr;
    }
    if (m_wholeOrderKnown)
        return &m_wholeOrder;
    // The same query again is run again: whoever refreshes wants the file read.
    if (m_keysAsQueried && m_select.condition.isEmpty() && !select.condition.isEmpty())
        return &m_keys;
    return nullptr;
}

bool RecordSet::filterKnownOrder(Database &db, const JetSql::Select &select, const std::vector<qint64> &whole,
                                 std::vector<qint64> &keys)
{
    m_error = {};
    JetSql::Select unordered = select;
    unordered.terms.clear();
    unordered.ordering.clear();
    std::vector<qint64> matches; // in the order of the keys
    if (!KeysetQuery::run(db, unordered, m_fieldNames, m_key, matches, m_error, m_control.m_progress))
        return false;
    keys.clear();
    keys.reserve(matches.size());
    const qint64 low = matches.empty() ? 0 : matches.front();
    const qint64 span = matches.empty() ? 0 : matches.back() - low + 1;
    if (span > 0 && span <= (qint64(1) << 30)) {
        // One bit per key in the matches' range: a look-up per row at no cost.
        std::vector<std::uint64_t> matching(std::size_t((span + 63) / 64), 0);
        for (const qint64 key : matches)
            matching[std::size_t((key - low) / 64)] |= std::uint64_t(1) << ((key - low) % 64);
        for (const qint64 key : whole) {
            const qint64 at = key - low;
            if (at >= 0 && at < span && (matching[std::size_t(at / 64)] >> (at % 64)) & 1)
                keys.push_back(key);
        }
    } else {
        for (const qint64 key : whole) {
            if (std::binary_search(matches.begin(), matches.end(), key))
                keys.push_back(key);
        }
    }
    // A match the known order lacks: the order is out of date after all.
    return keys.size() == matches.size();
}

void RecordSet::forgetKnownOrder()
{
    m_keysAsQueried = false;
    m_wholeOrderKnown = false;
    m_wholeOrder = {};
    m_dataVersion.reset();
}

void RecordSet::clear()
{
    m_db = nullptr;
    m_fetch.reset();
    m_key.clear();
    m_keys.clear();
    m_cache.clear();
    m_fieldNames.clear();
    m_integerColumn.clear();
    m_position = -1;
    m_currentDeleted = false;
    m_editMode = EditMode::None;
    m_buffer.clear();
    m_changed.clear();
    m_lastModified.reset();
    m_error = {};
    forgetKnownOrder();
}

bool RecordSet::isEOF() const
{
    return m_keys.empty() || m_position >= recordCount();
}

bool RecordSet::isBOF() const
{
    return m_keys.empty() || m_position < 0;
}

bool RecordSet::hasCurrent() const
{
    return !m_currentDeleted && m_position >= 0 && m_position < recordCount();
}

int RecordSet::AbsolutePosition() const
{
    return hasCurrent() ? m_position : -1;
}

bool RecordSet::MoveFirst()
{
    if (m_keys.empty())
        return fail(DataErrors::NoCurrentRecord, QStringLiteral("No current record."));
    return moveTo(0, DataControl::MoveFirstAction);
}

bool RecordSet::MoveLast()
{
    if (m_keys.empty())
        return fail(DataErrors::NoCurrentRecord, QStringLiteral("No current record."));
    return moveTo(recordCount() - 1, DataControl::MoveLastAction);
}

bool RecordSet::MoveNext()
{
    if (isEOF() && !(m_currentDeleted && m_position == recordCount()))
        return fail(DataErrors::NoCurrentRecord, QStringLiteral("No current record."));
    // After a delete the follower has already slid into the current place.
    return moveTo(m_currentDeleted ? m_position : m_position + 1, DataControl::MoveNextAction);
}

bool RecordSet::MovePrevious()
{
    if (isBOF())
        return fail(DataErrors::NoCurrentRecord, QStringLiteral("No current record."));
    return moveTo(m_position - 1, DataControl::MovePreviousAction);
}

bool RecordSet::Move(int position)
{
    if (position < 0 || position >= recordCount())
        return fail(DataErrors::NoCurrentRecord, QStringLiteral("No current record."));
    if (position == m_position && hasCurrent())
        return true;
    return moveTo(position, DataControl::BookmarkAction);
}

bool RecordSet::moveTo(int position, int action)
{
    m_control.announceValidate(action);
    if (!storePending())
        return false;
    m_position = std::clamp(position, -1, recordCount());
    m_currentDeleted = false;
    m_control.announceReposition();
    return true;
}

bool RecordSet::storePending()
{
    if (m_editMode == EditMode::None)
        return true;
    if (m_db && m_db->mode() == Database::Mode::ReadOnly) {
        CancelUpdate();
        return true;
    }
    return Update();
}

bool RecordSet::AddNew()
{
    if (!m_db)
        return fail(DataErrors::NotOpen, QStringLiteral("Object invalid or no longer set."));
    if (m_db->mode() == Database::Mode::ReadOnly)
        return fail(DataErrors::ReadOnly, QStringLiteral("Cannot update. Database or object is read-only."));
    m_control.announceValidate(DataControl::AddNewAction);
    if (!storePending())
        return false;
    m_editMode = EditMode::AddNew;
    m_buffer = QVector<QVariant>(fieldCount());
    m_changed = QVector<bool>(fieldCount(), false);
    return true;
}

bool RecordSet::Update()
{
    switch (m_editMode) {
    case EditMode::AddNew:
        return storeNew();
    case EditMode::Edit:
        return storeEdit();
    case EditMode::None:
        break;
    }
    return fail(3020, QStringLiteral("Update or CancelUpdate without AddNew or Edit."));
}

void RecordSet::CancelUpdate()
{
    m_editMode = EditMode::None;
    m_buffer.clear();
    m_changed.clear();
}

bool RecordSet::changedColumns(QStringList &columns, QVector<QVariant> &values) const
{
    for (int i = 0; i < fieldCount(); ++i) {
        if (!m_changed[i])
            continue;
        bool ok = true;
        const QVariant value = toColumnValue(i, m_buffer[i], &ok);
        if (!ok)
            return false;
        columns << Database::quoteName(m_fieldNames[i]);
        values << value;
    }
    return true;
}

bool RecordSet::storeNew()
{
    QStringList columns;
    QVector<QVariant> values;
    if (!changedColumns(columns, values))
        return fail(DataErrors::TypeMismatch, QStringLiteral("Data type conversion error."));
    const QStringList marks(columns.size(), QStringLiteral("?"));
    QString sql = QLatin1String("INSERT INTO ") + Database::quoteName(m_table);
    sql += columns.isEmpty() ? QStringLiteral(" DEFAULT VALUES")
                             : QLatin1String(" (") + columns.join(QLatin1Char(',')) + QLatin1String(") VALUES (")
                                   + marks.join(QLatin1Char(',')) + QLatin1Char(')');
    auto insert = m_db->prepare(sql);
    if (!insert)
        return failFromEngine();
    for (int i = 0; i < values.size(); ++i)
        insert->bind(i + 1, values[i]);
    if (insert->step() != Statement::Step::Done)
        return failFromEngine();

    forgetKnownOrder();
    const qint64 key = m_db->lastInsertRowId();
    // Past the end stays past the end: the new record is not made current.
    const bool pastEnd = m_position >= recordCount();
    m_keys.push_back(key);
    if (pastEnd)
        m_position = recordCount();
    m_lastModified = key;
    CancelUpdate();
    Q_EMIT m_control.recordAppended(recordCount() - 1);
    return true;
}

bool RecordSet::storeEdit()
{
    if (!hasCurrent())
        return fail(DataErrors::NoCurrentRecord, QStringLiteral("No current record."));
    const qint64 key = m_keys[std::size_t(m_position)];
    QStringList assignments;
    QVector<QVariant> values;
    if (!changedColumns(assignments, values))
        return fail(DataErrors::TypeMismatch, QStringLiteral("Data type conversion error."));
    for (QString &assignment : assignments)
        assignment += QLatin1String(" = ?");
    if (!assignments.isEmpty()) {
        values << key;
        // On failure the typed values stay in the buffer, to be kept or mended.
        if (!changeOneRow(QLatin1String("UPDATE ") + Database::quoteName(m_table) + QLatin1String(" SET ")
                              + assignments.join(QLatin1String(", ")) + QLatin1String(" WHERE ") + m_key
                              + QLatin1String(" = ?"),
                          values, false))
            return false;
        forgetKnownOrder();
        m_cache.remove(key);
    }
    m_lastModified = key;
    CancelUpdate();
    Q_EMIT m_control.recordStored(m_position);
    return true;
}

bool RecordSet::changeOneRow(const QString &sql, const QVector<QVariant> &values, bool deleting)
{
    // A savepoint of its own, so that a change that would reach more rows
    // than the one meant is taken back whole.
    if (!m_db->exec(QStringLiteral("SAVEPOINT record_change")))
        return failFromEngine();
    int changed = -1;
    if (auto statement = m_db->prepare(sql)) {
        for (int i = 0; i < values.size(); ++i)
            statement->bind(i + 1, values[i]);
        if (statement->step() == Statement::Step::Done)
            changed = m_db->changes();
    }
    if (changed == 1 && m_db->exec(QStringLiteral("RELEASE record_change")))
        return true;
    const DataError error = m_db->lastError();
    if (!m_db->exec(QStringLiteral("ROLLBACK TO record_change")) || !m_db->exec(QStringLiteral("RELEASE record_change")))
        m_db->exec(QStringLiteral("ROLLBACK"));
    if (changed == 0)
        return fail(DataErrors::RecordGone,
                    deleting ? QStringLiteral("La fiche n'a pas été supprimée : un autre programme l'a déjà "
                                              "supprimée du catalogue.")
                             : QStringLiteral("La fiche n'a pas été enregistrée : un autre programme l'a supprimée "
                                              "du catalogue entre-temps. Ce que vous avez saisi reste affiché."));
    if (changed > 1)
        return fail(DataErrors::RecordGone,
                    QStringLiteral("La fiche n'a pas été %1 : le changement aurait touché %2 fiches au lieu d'une.")
                        .arg(deleting ? QStringLiteral("supprimée") : QStringLiteral("enregistrée"))
                        .arg(changed));
    m_error = error;
    return false;
}

// Text typed into a number column becomes the number it stands for; empty
// text in any column is stored as a missing value.
QVariant RecordSet::toColumnValue(int field, const QVariant &value, bool *ok) const
{
    *ok = true;
    if (value.isNull())
        return {};
    if (value.typeId() == QMetaType::QString && value.toString().isEmpty())
        return {};
    if (!m_integerColumn.value(field) || value.typeId() != QMetaType::QString)
        return value;
    const QString text = value.toString();
    if (const auto number = Catalogue::numeroValue(text, QLocale::system().decimalPoint().at(0)))
        return QVariant(qint64(*number));
    bool isInteger = false;
    const qint64 wide = text.trimmed().toLongLong(&isInteger);
    if (isInteger)
        return QVariant(wide);
    *ok = false;
    return {};
}

bool RecordSet::Delete()
{
    if (m_db && m_db->mode() == Database::Mode::ReadOnly)
        return fail(DataErrors::ReadOnly, QStringLiteral("Cannot update. Database or object is read-only."));
    if (!hasCurrent())
        return fail(DataErrors::NoCurrentRecord, QStringLiteral("No current record."));
    m_control.announceValidate(DataControl::DeleteAction);
    const qint64 key = m_keys[std::size_t(m_position)];
    if (!changeOneRow(QLatin1String("DELETE FROM ") + Database::quoteName(m_table) + QLatin1String(" WHERE ") + m_key
                          + QLatin1String(" = ?"),
                      {key}, true)) {
        m_cache.remove(key); // show what the file holds now
        return false;
    }
    CancelUpdate();
    forgetKnownOrder();
    m_cache.remove(key);
    m_keys.erase(m_keys.begin() + m_position);
    if (m_lastModified == key)
        m_lastModified.reset();
    m_currentDeleted = true;
    Q_EMIT m_control.recordRemoved(m_position);
    return true;
}

std::optional<RecordSet::Bookmark> RecordSet::bookmark() const
{
    if (!hasCurrent())
        return std::nullopt;
    return m_keys[std::size_t(m_position)];
}

bool RecordSet::setBookmark(Bookmark bookmark)
{
    const auto found = std::find(m_keys.begin(), m_keys.end(), bookmark);
    if (found == m_keys.end())
        return fail(3159, QStringLiteral("Not a valid bookmark."));
    return moveTo(int(found - m_keys.begin()), DataControl::BookmarkAction);
}

QVariant RecordSet::value(int field) const
{
    if (m_editMode == EditMode::AddNew)
        return m_buffer.value(field);
    if (!hasCurrent())
        return {};
    return valueAt(m_position, field);
}

bool RecordSet::setValue(int field, const QVariant &value)
{
    if (field < 0 || field >= fieldCount())
        return fail(3265, QStringLiteral("Item not found in this collection."));
    if (field == Catalogue::RowKey)
        return fail(3164, QStringLiteral("Field cannot be updated."));
    if (!m_db || m_db->mode() == Database::Mode::ReadOnly)
        return fail(DataErrors::ReadOnly, QStringLiteral("Cannot update. Database or object is read-only."));
    if (m_editMode == EditMode::None) {
        if (!hasCurrent())
            return fail(DataErrors::NoCurrentRecord, QStringLiteral("No current record."));
        const QVector<QVariant> *current = row(m_position);
        m_buffer = current ? *current : QVector<QVariant>(fieldCount());
        m_changed = QVector<bool>(fieldCount(), false);
        m_editMode = EditMode::Edit;
    }
    m_buffer[field] = value;
    m_changed[field] = true;
    return true;
}

QVariant RecordSet::valueAt(int position, int field) const
{
    if (position == m_position && m_editMode == EditMode::Edit)
        return m_buffer.value(field);
    const QVector<QVariant> *values = row(position);
    return values ? values->value(field) : QVariant();
}

const QVector<QVariant> *RecordSet::row(int position) const
{
    if (position < 0 || position >= recordCount() || !m_fetch)
        return nullptr;
    const qint64 key = m_keys[std::size_t(position)];
    auto cached = m_cache.constFind(key);
    if (cached != m_cache.constEnd())
        return &cached.value();
    // The window repaints while a long query reports its progress; the
    // connection is the query's until it ends.
    if (m_db && m_db->isStepping())
        return nullptr;

    if (m_cache.size() >= CacheLimit)
        m_cache.clear();
    QVector<QVariant> values(fieldCount());
    m_fetch->bind(1, key);
    // A row another program deleted meanwhile shows as empty.
    if (m_fetch->step() == Statement::Step::Row) {
        for (int i = 0; i < values.size(); ++i)
            values[i] = m_fetch->value(i);
    }
    m_fetch->reset();
    return &m_cache.insert(key, values).value();
}

bool RecordSet::fail(int number, const QString &text)
{
    m_error = {number, text};
    return false;
}

bool RecordSet::failFromEngine()
{
    m_error = m_db ? m_db->lastError() : DataError{DataErrors::NotOpen, QStringLiteral("The database is not open.")};
    return false;
}
