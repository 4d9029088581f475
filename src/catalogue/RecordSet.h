#pragma once

#include "Database.h"
#include "JetSql.h"
#include "KeysetQuery.h"
#include "OrderCompletion.h"

#include <QHash>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <optional>
#include <vector>

class DataControl;

// A change stored in the catalogue, as undo takes it back: the record's key
// and its whole row, every column as the file holds it, before and after
// (an empty row where there was no record). A deleted record also keeps the
// key of the one that followed it in the result it left, to go back there.
struct RecordChange {
    qint64 key = 0;
    QVector<QVariant> before;
    QVector<QVariant> after;
    std::optional<qint64> follower;
    quint64 result = 0; // the query result the change was made in
};

// The result of a query, keyset-driven: the query yields the row keys in
// order; field values are fetched a row at a time when they are asked for
// and only a bounded number of rows is kept. Records added since the query
// stay at the end, whatever the order; deleted records leave the set.
//
// Bookmarks are row keys. Positions count from 0; -1 means no current record.
class RecordSet {
public:
    using Bookmark = qint64;

    int recordCount() const { return int(m_completion ? m_pendingCount : m_keys.size()); }
    int fieldCount() const { return m_fieldNames.size(); }
    const QStringList &fieldNames() const { return m_fieldNames; }

    // Navigation. Each one stores an edited current record first; a failure
    // leaves the set where it was and is reported in lastError().
    bool MoveFirst();
    bool MovePrevious();
    bool MoveNext();
    bool MoveLast();
    bool Move(int position); // to a 0-based position

    bool isEOF() const;
    bool isBOF() const;
    bool hasCurrent() const;
    int AbsolutePosition() const; // -1 without a current record

    // Editing. AddNew opens an empty new record (not current); Update stores
    // it at the end of the set, or stores the edited current record.
    bool AddNew();
    bool Update();
    void CancelUpdate();
    bool Delete(); // removes the current record; no record is current after

    std::optional<Bookmark> bookmark() const; // of the current record
    bool setBookmark(Bookmark bookmark);
    std::optional<Bookmark> LastModified() const { return m_lastModified; }

    // Values of the current record, with its pending edits.
    QVariant value(int field) const;
    // Changes a field of the current (or new) record in the edit buffer.
    bool setValue(int field, const QVariant &value);

    // Values of any row by position, for the grid. Pending edits of the
    // current record show through.
    QVariant valueAt(int position, int field) const;

    // Makes the record hold what it held before the change (reverse) or
    // after it, provided the file holds the other side now. Otherwise, or
    // when the engine refuses, nothing changes and lastError() says why in
    // the user's words. Pending edits must have been stored first.
    // The record then is current: put back in its place while the result is
    // the one it left, else at the end; removed, the one that followed it.
    // A record the result does not hold is changed in the file only.
    bool applyChange(const RecordChange &change, bool reverse);

    const DataError &lastError() const { return m_error; }

    // A large result shows first: its first and last rows are found in one
    // quick pass and the rest of its order is completed in the background.
    // Whether that part is still being ordered.
    bool isOrdering() const { return m_completion != nullptr; }
    // Waits for the whole order; the set is complete after it.
    void completeOrder();
    // From how many rows in the table a result is completed in the
    // background, and how its ends are found; gives the previous settings.
    struct BackgroundOrder {
        qint64 fromRows = 100000;
        KeysetQuery::EndsTuning ends;
    };
    static BackgroundOrder setOrderInBackground(const BackgroundOrder &settings);

    // Whether the last store was refused because another user had stored
    // the record since it was read; CancelUpdate drops the typed values.
    bool hasConflict() const { return m_conflict; }

private:
    friend class DataControl;
    enum class EditMode { None, Edit, AddNew };

    explicit RecordSet(DataControl &control);
    bool load(Database &db, const JetSql::Select &select);
    static constexpr int PageRows = 50;
    // The whole table in select's order, when it is known and still holds.
    std::vector<qint64> *knownOrder(Database &db, const JetSql::Select &select);
    // The keys of whole that meet select's condition, in whole's order;
    // false when the engine finds a match whole lacks.
    bool filterKnownOrder(Database &db, const JetSql::Select &select, const std::vector<qint64> &whole,
                          std::vector<qint64> &keys);
    // The set or the file was changed through this record set, or the
    // connection reopened: no order known before holds any more.
    void forgetKnownOrder();
    static std::unique_ptr<Statement> prepareFetch(Database &db, const QString &table, const QString &key);
    std::optional<QVariant> currentVersion(const QVariant &key);
    // Runs an UPDATE or DELETE of the current row, which must touch it and
    // nothing else; another program may have deleted it meanwhile.
    bool changeOneRow(const QString &sql, const QVector<QVariant> &values, bool deleting);
    // Runs a change with its values; the rows it changed, -1 on failure.
    int runChange(const QString &sql, const QVector<QVariant> &values);
    void clear();

    bool moveTo(int position, int action);
    bool storePending();
    bool storeEdit();
    bool storeNew();
    // The quoted names and stored values of the fields the buffer changed;
    // false when a value does not fit its column.
    bool changedColumns(QStringList &columns, QVector<QVariant> &values) const;
    const QVector<QVariant> *row(int position) const;
    // The record as the file holds it now, past the cache: an empty row
    // when there is none, nothing when the engine fails.
    std::optional<QVector<QVariant>> storedRow(qint64 key);
    bool writeChange(qint64 key, const QVector<QVariant> &from, const QVector<QVariant> &to);
    void showChange(const RecordChange &change, bool removed, bool restored);
    int keyColumn() const;
    // The key at a position, waiting for the order when it is not known
    // yet; knownKey never waits. Nothing outside the set.
    std::optional<qint64> keyAt(int position) const;
    std::optional<qint64> knownKey(int position) const;
    // A result whose middle is still to be ordered: its rows, and how many
    // of the keys found are its first rows (the others are its last).
    struct Pending {
        std::size_t count = 0;
        std::size_t first = 0;
    };
    // The keys of select's order, or of its ends only when the rest is to
    // be completed in the background.
    bool loadEnds(Database &db, const JetSql::Select &select, const QStringList &names, const QString &key,
                  std::vector<qint64> &keys, Pending &pending);
    void startCompletion(const JetSql::Select &select);
    QVariant toColumnValue(int field, const QVariant &value, bool *ok) const;
    bool fail(int number, const QString &text);
    bool failFromEngine();

    DataControl &m_control;
    Database *m_db = nullptr;
    QString m_table;
    QString m_key; // engine SQL naming the row key
    QStringList m_fieldNames;
    QVector<bool> m_integerColumn;
    // While the order is completed in the background, m_keys holds its
    // first rows then its last, of m_pendingCount.
    std::vector<qint64> m_keys;
    std::unique_ptr<OrderCompletion> m_completion;
    std::size_t m_pendingCount = 0;
    std::size_t m_pendingFirst = 0; // how many of m_keys are the first rows
    int m_position = -1;        // index into m_keys; == size() past the end
    bool m_currentDeleted = false;
    EditMode m_editMode = EditMode::None;
    QVector<QVariant> m_buffer;
    QVector<bool> m_changed;
    std::optional<Bookmark> m_lastModified;
    quint64 m_result = 0; // counts the results loaded
    bool m_versioned = false;   // rows carry the engine's row version after their fields
    QVariant m_editVersion;     // the version of the row the buffer was read from
    bool m_conflict = false;
    mutable QHash<qint64, QVector<QVariant>> m_cache;
    mutable std::unique_ptr<Statement> m_fetch;
    DataError m_error;

    // What m_keys came from and, while a condition narrows it, the whole
    // table's order it was taken from: a new condition in the same order
    // only filters that order instead of sorting again, as long as no
    // other program has changed the file (its data version) and nothing
    // was stored through this set.
    JetSql::Select m_select;
    bool m_keysAsQueried = false;
    std::vector<qint64> m_wholeOrder;
    bool m_wholeOrderKnown = false;
    std::optional<qint64> m_dataVersion;
};
