#include "RecordSet.h"

#include "CatalogueRecord.h"
#include "DataControl.h"
#include "KeysetQuery.h"

#include <QLocale>
#include <QMetaObject>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace {

// Rows kept in memory for the grid and the form; a screenful is a few dozen.
constexpr int CacheLimit = 4096;

// From this many rows in the table, a result's order is completed in the
// background while its ends show, a few screenfuls each.
RecordSet::BackgroundOrder background;

} // namespace

RecordSet::RecordSet(DataControl &control)
    : m_control(control)
{
}

// Rows are read a page of keys at a time: one statement for a screenful.
std::unique_ptr<Statement> RecordSet::prepareFetch(Database &db, const QString &table, const QString &key)
{
    const auto version = db.rowVersion(table);
    const QStringList marks(PageRows, QStringLiteral("?"));
    return db.prepare(QLatin1String("SELECT ") + key + QLatin1String(", *")
                      + (version ? QLatin1String(", ") + *version : QString()) + QLatin1String(" FROM ")
                      + Database::quoteName(table) + QLatin1String(" WHERE ") + key + QLatin1String(" IN (")
                      + marks.join(QLatin1Char(',')) + QLatin1Char(')'));
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
    const bool versioned = db.rowVersion(table).has_value();
    QStringList names;
    for (int i = 1; i < fetch->columnCount() - (versioned ? 1 : 0); ++i)
        names << fetch->columnName(i);

    QVector<bool> integerColumn(names.size(), false);
    if (const auto columns = db.columns(table)) {
        for (const Database::Column &info : *columns) {
            const int column = names.indexOf(info.name);
            if (column >= 0)
                integerColumn[column] = info.integer;
        }
    }

    // Read before the query: a change committed meanwhile makes it differ later.
    const std::optional<qint64> version = db.dataVersion();
    std::vector<qint64> keys;
    std::vector<qint64> *whole = knownOrder(db, select);
    // The order still being completed gives way to the new one.
    if (m_completion)
        m_completion->stop();
    Pending pending;
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
        if (!loadEnds(db, select, names, *key, keys, pending))
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
    m_pendingCount = pending.count;
    m_pendingFirst = pending.first;
    m_fetch = std::move(fetch);
    m_versioned = versioned;
    m_position = recordCount() == 0 ? -1 : 0;
    ++m_result;
    if (pending.count > 0)
        startCompletion(select);
    return true;
}

bool RecordSet::loadEnds(Database &db, const JetSql::Select &select, const QStringList &names, const QString &key,
                         std::vector<qint64> &keys, Pending &pending)
{
    if (select.terms.isEmpty() || KeysetQuery::rowsAtMost(db, select.table, key) < background.fromRows)
        return KeysetQuery::run(db, select, names, key, keys, m_error, m_control.m_progress);
    KeysetQuery::Ends ends;
    if (!KeysetQuery::ends(db, select, names, key, background.ends, ends, m_error, m_control.m_progress))
        return false;
    keys = std::move(ends.first);
    if (ends.complete)
        return true;
    pending.count = ends.count;
    pending.first = keys.size();
    keys.insert(keys.end(), ends.last.begin(), ends.last.end());
    return true;
}

void RecordSet::startCompletion(const JetSql::Select &select)
{
    const quint64 result = m_result;
    // Told on the worker's thread, the set takes the order on its own.
    m_completion = std::make_unique<OrderCompletion>(m_db->path(), select, m_fieldNames, m_key,
                                                     background.ends.splitFromRows, [this, result] {
        QMetaObject::invokeMethod(
            &m_control,
            [this, result] {
                if (m_result == result && m_completion && m_completion->isFinished())
                    completeOrder();
            },
            Qt::QueuedConnection);
    });
}

RecordSet::BackgroundOrder RecordSet::setOrderInBackground(const BackgroundOrder &settings)
{
    return std::exchange(background, settings);
}

std::optional<qint64> RecordSet::knownKey(int position) const
{
    if (position < 0 || position >= recordCount())
        return std::nullopt;
    const auto at = std::size_t(position);
    if (!m_completion)
        return m_keys[at];
    if (at < m_pendingFirst)
        return m_keys[at];
    const std::size_t fromEnd = m_pendingCount - at; // 1 for the last row
    if (fromEnd <= m_keys.size() - m_pendingFirst)
        return m_keys[m_keys.size() - fromEnd];
    return std::nullopt;
}

std::optional<qint64> RecordSet::keyAt(int position) const
{
    if (const auto key = knownKey(position))
        return key;
    if (!m_completion)
        return std::nullopt;
    // The middle of the order is ordered when first asked for.
    const_cast<RecordSet *>(this)->completeOrder();
    return knownKey(position);
}

void RecordSet::completeOrder()
{
    if (!m_completion)
        return;
    const std::optional<qint64> known = m_currentDeleted ? std::nullopt : knownKey(m_position);
    const bool hadCurrent = known.has_value();
    const qint64 current = known.value_or(0);
    std::vector<qint64> keys;
    DataError error;
    bool ok = m_completion->take(keys, error);
    m_completion.reset();
    // The worker could not: the window's own connection orders the rows.
    if (!ok && m_db && !m_db->isStepping())
        ok = KeysetQuery::run(*m_db, m_select, m_fieldNames, m_key, keys, error);
    std::vector<qint64> ends = std::move(m_keys);
    const auto firstEnd = ends.begin() + std::ptrdiff_t(m_pendingFirst);
    const std::size_t lastRows = ends.size() - m_pendingFirst;
    if (ok && keys.size() == m_pendingCount && std::equal(ends.begin(), firstEnd, keys.begin())
        && std::equal(firstEnd, ends.end(), keys.end() - std::ptrdiff_t(lastRows))) {
        m_keys = std::move(keys);
        return;
    }
    // Another program changed the file meanwhile, or the rows could not be
    // ordered and the set keeps its ends: the current record stays current.
    if (!ok)
        m_error = error;
    m_keys = ok ? std::move(keys) : std::move(ends);
    const auto found = hadCurrent ? std::find(m_keys.begin(), m_keys.end(), current) : m_keys.end();
    m_position = found != m_keys.end() ? int(found - m_keys.begin()) : std::clamp(m_position, -1, recordCount());
    forgetKnownOrder();
    QMetaObject::invokeMethod(&m_control, [&control = m_control] { Q_EMIT control.refreshed(); },
                              Qt::QueuedConnection);
}

std::vector<qint64> *RecordSet::knownOrder(Database &db, const JetSql::Select &select)
{
    // Waiting for an order still being completed costs more than a new query.
    if (m_completion && !m_completion->isFinished())
        return nullptr;
    completeOrder();
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
    m_completion.reset();
    m_pendingCount = 0;
    m_pendingFirst = 0;
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
    m_conflict = false;
    m_lastModified.reset();
    m_error = {};
    forgetKnownOrder();
}

bool RecordSet::isEOF() const
{
    return recordCount() == 0 || m_position >= recordCount();
}

bool RecordSet::isBOF() const
{
    return recordCount() == 0 || m_position < 0;
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
    if (recordCount() == 0)
        return fail(DataErrors::NoCurrentRecord, QStringLiteral("No current record."));
    return moveTo(0, DataControl::MoveFirstAction);
}

bool RecordSet::MoveLast()
{
    if (recordCount() == 0)
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
    // What another user stored is shown, not the copy read before.
    if (m_conflict && hasCurrent())
        m_cache.remove(keyAt(m_position).value_or(0));
    m_conflict = false;
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
    // The file is not written while the order is read from it.
    completeOrder();
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
    if (const auto after = storedRow(key))
        Q_EMIT m_control.changeStored({key, {}, *after, std::nullopt, m_result});
    return true;
}

bool RecordSet::storeEdit()
{
    completeOrder();
    if (!hasCurrent())
        return fail(DataErrors::NoCurrentRecord, QStringLiteral("No current record."));
    const qint64 key = m_keys[std::size_t(m_position)];
    QStringList assignments;
    QVector<QVariant> values;
    if (!changedColumns(assignments, values))
        return fail(DataErrors::TypeMismatch, QStringLiteral("Data type conversion error."));
    for (QString &assignment : assignments)
        assignment += QLatin1String(" = ?");
    std::optional<QVector<QVariant>> before;
    if (!assignments.isEmpty()) {
        before = storedRow(key);
        if (!before)
            return false;
        values << key;
        QString where = m_key + QLatin1String(" = ?");
        // Only over the row as it was read: another user's change since is
        // not overwritten unseen.
        if (m_versioned) {
            where += QLatin1String(" AND ") + *m_db->rowVersion(m_table) + QLatin1String(" = ?");
            values << m_editVersion;
        }
        // On failure the typed values stay in the buffer, to be kept or mended.
        if (!changeOneRow(QLatin1String("UPDATE ") + Database::quoteName(m_table) + QLatin1String(" SET ")
                              + assignments.join(QLatin1String(", ")) + QLatin1String(" WHERE ") + where,
                          values, false))
            return false;
        forgetKnownOrder();
        m_cache.remove(key);
    }
    m_lastModified = key;
    m_conflict = false;
    CancelUpdate();
    Q_EMIT m_control.recordStored(m_position);
    // Typing that was taken back before leaving the record changes nothing.
    if (before) {
        const auto after = storedRow(key);
        if (after && *after != *before)
            Q_EMIT m_control.changeStored({key, *before, *after, std::nullopt, m_result});
    }
    return true;
}

int RecordSet::runChange(const QString &sql, const QVector<QVariant> &values)
{
    auto statement = m_db->prepare(sql);
    if (!statement)
        return -1;
    for (int i = 0; i < values.size(); ++i)
        statement->bind(i + 1, values[i]);
    return statement->step() == Statement::Step::Done ? m_db->changes() : -1;
}

bool RecordSet::changeOneRow(const QString &sql, const QVector<QVariant> &values, bool deleting)
{
    // A savepoint of its own, so that a change that would reach more rows
    // than the one meant is taken back whole.
    if (!m_db->beginChange())
        return failFromEngine();
    const int changed = runChange(sql, values);
    if (changed == 1 && m_db->commitChange())
        return true;
    const DataError error = m_db->lastError();
    m_db->rollbackChange();
    if (changed == 0 && !deleting && m_versioned) {
        if (const auto now = currentVersion(values[values.size() - 2])) {
            // Stored again, the typed values replace the other user's: the
            // user has been told and chooses so.
            m_editVersion = *now;
            m_conflict = true;
            return fail(DataErrors::RecordChanged,
                        QStringLiteral("La fiche n'a pas été enregistrée : un autre utilisateur l'a modifiée depuis "
                                       "que vous l'avez ouverte. Ce que vous avez saisi reste affiché : enregistrez "
                                       "de nouveau pour remplacer sa version par la vôtre, ou appuyez sur F5 pour "
                                       "abandonner votre saisie et voir la sienne."));
        }
    }
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
    completeOrder();
    if (!hasCurrent())
        return fail(DataErrors::NoCurrentRecord, QStringLiteral("No current record."));
    const qint64 key = m_keys[std::size_t(m_position)];
    const auto before = storedRow(key);
    if (!before)
        return false;
    if (!changeOneRow(QLatin1String("DELETE FROM ") + Database::quoteName(m_table) + QLatin1String(" WHERE ") + m_key
                          + QLatin1String(" = ?"),
                      {key}, true)) {
        m_cache.remove(key); // show what the file holds now
        return false;
    }
    CancelUpdate();
    forgetKnownOrder();
    m_cache.remove(key);
    RecordChange change{key, *before, {}, std::nullopt, m_result};
    if (m_position + 1 < recordCount())
        change.follower = m_keys[std::size_t(m_position) + 1];
    m_keys.erase(m_keys.begin() + m_position);
    if (m_lastModified == key)
        m_lastModified.reset();
    m_currentDeleted = true;
    Q_EMIT m_control.recordRemoved(m_position);
    Q_EMIT m_control.changeStored(change);
    return true;
}

int RecordSet::keyColumn() const
{
    for (int i = 0; i < fieldCount(); ++i) {
        if (Database::quoteName(m_fieldNames[i]) == m_key)
            return i;
    }
    return -1;
}

std::optional<QVector<QVariant>> RecordSet::storedRow(qint64 key)
{
    if (!m_fetch || (m_db && m_db->isStepping())) {
        fail(DataErrors::Busy, QStringLiteral("La base de données est occupée par une autre requête."));
        return std::nullopt;
    }
    // The page statement with one key: the row's key, its fields, its version.
    for (int i = 0; i < PageRows; ++i)
        m_fetch->bind(i + 1, i == 0 ? QVariant(key) : QVariant());
    QVector<QVariant> values;
    const Statement::Step step = m_fetch->step();
    if (step == Statement::Step::Row) {
        values.resize(fieldCount());
        for (int i = 0; i < values.size(); ++i)
            values[i] = m_fetch->value(i + 1);
    }
    if (step == Statement::Step::Error)
        failFromEngine();
    m_fetch->reset();
    if (step == Statement::Step::Error)
        return std::nullopt;
    return values;
}

bool RecordSet::applyChange(const RecordChange &change, bool reverse)
{
    if (!m_db)
        return fail(DataErrors::NotOpen, QStringLiteral("le catalogue n'est pas ouvert."));
    if (m_db->mode() == Database::Mode::ReadOnly)
        return fail(DataErrors::ReadOnly, QStringLiteral("le catalogue est ouvert en lecture seule."));
    if (m_editMode != EditMode::None)
        return fail(DataErrors::UnfinishedChanges, QStringLiteral("la fiche en cours de saisie n'est pas enregistrée."));
    completeOrder();
    const QVector<QVariant> &from = reverse ? change.after : change.before;
    const QVector<QVariant> &to = reverse ? change.before : change.after;
    // A change through this connection leaves the file's data version as it
    // was: the order known before may no longer hold.
    forgetKnownOrder();

    // The check and the write are one step for the file: no other program
    // slips a change in between.
    if (!m_db->beginChange())
        return fail(DataErrors::FileAccess,
                    QStringLiteral("le catalogue n'a pas pu être modifié (%1).").arg(m_db->lastError().text));
    if (writeChange(change.key, from, to) && m_db->commitChange()) {
        showChange(change, to.isEmpty(), from.isEmpty());
        return true;
    }
    const DataError error = m_error.number
        ? m_error
        : DataError{m_db->lastError().number,
                    QStringLiteral("le catalogue n'a pas pu être modifié (%1).").arg(m_db->lastError().text)};
    m_db->rollbackChange();
    m_cache.remove(change.key);
    m_error = error;
    return false;
}

bool RecordSet::writeChange(qint64 key, const QVector<QVariant> &from, const QVector<QVariant> &to)
{
    m_error = {};
    const auto stored = storedRow(key);
    if (!stored)
        return fail(m_error.number,
                    QStringLiteral("le catalogue n'a pas pu être lu (%1).").arg(m_error.text));
    const QString which = QStringLiteral("(clé %1)").arg(key);
    if (from.isEmpty() && !stored->isEmpty())
        return fail(DataErrors::RecordGone,
                    QStringLiteral("une autre fiche %1 a pris sa place dans le catalogue entre-temps.").arg(which));
    if (!from.isEmpty() && stored->isEmpty())
        return fail(DataErrors::RecordGone,
                    QStringLiteral("la fiche %1 n'est plus dans le catalogue : un autre programme l'a supprimée.")
                        .arg(which));
    if (*stored != from)
        return fail(DataErrors::RecordGone,
                    QStringLiteral("la fiche %1 a été modifiée entre-temps par un autre programme.").arg(which));
    if (!to.isEmpty() && to.size() != fieldCount())
        return fail(DataErrors::RecordGone, QStringLiteral("la table du catalogue a changé de forme."));

    const QString table = Database::quoteName(m_table);
    const int keyAt = keyColumn();
    QString sql;
    QVector<QVariant> values;
    if (to.isEmpty()) {
        sql = QLatin1String("DELETE FROM ") + table + QLatin1String(" WHERE ") + m_key + QLatin1String(" = ?");
    } else {
        QStringList columns;
        for (int i = 0; i < fieldCount(); ++i) {
            if (i == keyAt && !from.isEmpty())
                continue;
            columns << Database::quoteName(m_fieldNames[i]);
            values << (i == keyAt ? QVariant(key) : to[i]);
        }
        if (from.isEmpty()) {
            // The record comes back under its own key.
            if (keyAt < 0) {
                columns.prepend(m_key);
                values.prepend(key);
            }
            const QStringList marks(columns.size(), QStringLiteral("?"));
            sql = QLatin1String("INSERT INTO ") + table + QLatin1String(" (") + columns.join(QLatin1Char(','))
                + QLatin1String(") VALUES (") + marks.join(QLatin1Char(',')) + QLatin1Char(')');
        } else {
            sql = QLatin1String("UPDATE ") + table + QLatin1String(" SET ") + columns.join(QLatin1String(" = ?, "))
                + QLatin1String(" = ? WHERE ") + m_key + QLatin1String(" = ?");
        }
    }
    if (!from.isEmpty())
        values << key;
    const int changed = runChange(sql, values);
    if (changed == 1)
        return true;
    return fail(m_db->lastError().number ? m_db->lastError().number : DataErrors::RecordGone,
                QStringLiteral("le catalogue a refusé la modification (%1).").arg(m_db->lastError().text));
}

void RecordSet::showChange(const RecordChange &change, bool removed, bool restored)
{
    const qint64 key = change.key;
    m_cache.remove(key);
    const auto found = std::find(m_keys.begin(), m_keys.end(), key);
    int at = int(found - m_keys.begin());
    if (removed) {
        if (m_lastModified == key)
            m_lastModified.reset();
        if (found == m_keys.end())
            return;
        m_keys.erase(found);
        // As after a delete: the follower has slid into the place.
        m_position = at;
        m_currentDeleted = true;
        Q_EMIT m_control.recordRemoved(at);
        moveTo(std::min(at, recordCount() - 1), DataControl::BookmarkAction);
        return;
    }
    m_lastModified = key;
    if (found != m_keys.end()) {
        Q_EMIT m_control.recordStored(at);
    } else if (restored) {
        // Back in its place while the result is the one it left; after a
        // new query its place is unknown, and it comes last as a new one.
        at = recordCount();
        if (change.result == m_result && change.follower) {
            const auto follower = std::find(m_keys.begin(), m_keys.end(), *change.follower);
            at = int(follower - m_keys.begin());
        }
        m_keys.insert(m_keys.begin() + at, key);
        if (m_position >= at)
            ++m_position;
        Q_EMIT m_control.recordAppended(at);
    } else {
        return; // outside this result: the file alone changes
    }
    moveTo(at, DataControl::BookmarkAction);
}

std::optional<RecordSet::Bookmark> RecordSet::bookmark() const
{
    if (!hasCurrent())
        return std::nullopt;
    return keyAt(m_position);
}

bool RecordSet::setBookmark(Bookmark bookmark)
{
    completeOrder();
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
        m_editVersion = m_buffer.value(fieldCount());
        m_buffer.resize(fieldCount());
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
    // No waiting for the order while a query reports its progress.
    if (!knownKey(position) && m_db && m_db->isStepping())
        return nullptr;
    const std::optional<qint64> wanted = keyAt(position);
    if (!wanted)
        return nullptr;
    const qint64 key = *wanted;
    auto cached = m_cache.constFind(key);
    if (cached != m_cache.constEnd())
        return &cached.value();
    // The window repaints while a long query reports its progress; the
    // connection is the query's until it ends.
    if (m_db && m_db->isStepping())
        return nullptr;

    if (m_cache.size() >= CacheLimit)
        m_cache.clear();
    // This row's key and its neighbours' that are not kept yet, mostly
    // those below, where the reader is going.
    std::vector<qint64> page{key};
    const int first = std::max(0, position - PageRows / 4);
    const int last = std::min(recordCount(), first + 2 * PageRows);
    for (int i = first; i < last && int(page.size()) < PageRows; ++i) {
        const std::optional<qint64> other = knownKey(i);
        if (!other)
            continue; // not ordered yet
        if (*other != key && !m_cache.contains(*other))
            page.push_back(*other);
    }
    for (int i = 0; i < PageRows; ++i)
        m_fetch->bind(i + 1, i < int(page.size()) ? QVariant(page[std::size_t(i)]) : QVariant());
    // A row another program deleted meanwhile shows as empty.
    const int width = fieldCount() + (m_versioned ? 1 : 0);
    for (const qint64 each : page)
        m_cache.insert(each, QVector<QVariant>(width));
    while (m_fetch->step() == Statement::Step::Row) {
        QVector<QVariant> &values = m_cache[m_fetch->int64(0)];
        for (int i = 0; i < width; ++i)
            values[i] = m_fetch->value(i + 1);
    }
    m_fetch->reset();
    return &m_cache.constFind(key).value();
}

std::optional<QVariant> RecordSet::currentVersion(const QVariant &key)
{
    auto query = m_db->prepare(QLatin1String("SELECT ") + *m_db->rowVersion(m_table) + QLatin1String(" FROM ")
                               + Database::quoteName(m_table) + QLatin1String(" WHERE ") + m_key
                               + QLatin1String(" = ?"));
    if (!query || !query->bind(1, key) || query->step() != Statement::Step::Row)
        return std::nullopt;
    return query->value(0);
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
