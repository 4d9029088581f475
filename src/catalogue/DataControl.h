#pragma once

#include "Database.h"
#include "Progress.h"
#include "RecordSet.h"

#include <QObject>

#include <memory>

// The main window's data control: it holds the connection for the whole run,
// runs the current query and keeps its record set. Bound controls read the
// current record after each reposition and write their edits into the
// record set's buffer; the control stores them when it leaves the record.
class DataControl : public QObject {
    Q_OBJECT

public:
    // The actions announced by validating(), before the control acts.
    enum Action {
        MoveFirstAction = 1,
        MovePreviousAction = 2,
        MoveNextAction = 3,
        MoveLastAction = 4,
        AddNewAction = 5,
        UpdateAction = 6,
        DeleteAction = 7,
        FindAction = 8,
        BookmarkAction = 9,
        CloseAction = 10,
    };

    explicit DataControl(QObject *parent = nullptr);
    ~DataControl() override;

    QString DatabaseName() const { return m_databaseName; }
    void setDatabaseName(const QString &path);

    // The program's query text, kept exactly as given.
    QString RecordSource() const { return m_recordSource; }
    void setRecordSource(const QString &query) { m_recordSource = query; }

    // Opens the database when needed, runs RecordSource and makes the first
    // row current. On failure the previous result stays and lastError() says why.
    bool Refresh();

    bool ReadOnly() const { return m_readOnly; }
    // In read-only mode the connection itself refuses writes.
    bool setReadOnly(bool readOnly);

    // Stores the current record's pending edits. Without a current record or
    // in read-only mode there is nothing to store, and pending edits are dropped.
    bool UpdateRecord();

    QString Caption() const { return m_caption; }
    void setCaption(const QString &caption);

    RecordSet &Recordset() { return m_recordSet; }
    const RecordSet &Recordset() const { return m_recordSet; }

    // The navigation bar: actions the control performs on its own, so a
    // failure is announced through errorOccurred() rather than returned.
    void moveFirst();
    void movePrevious();
    void moveNext();
    void moveLast();

    // Closes the connection after storing pending edits.
    bool close();

    const DataError &lastError() const { return m_error; }

    // Hears how far each query has come (none by default). While it is told,
    // the record set gives no rows it has not kept.
    void setProgressObserver(ProgressObserver *observer) { m_progress = observer; }

Q_SIGNALS:
    void validating(int action, bool dataChanged);
    void repositioned();
    void errorOccurred(int number, const QString &message);
    void captionChanged(const QString &caption);
    // A new result replaced the old one.
    void refreshed();
    // A record was appended at this position, or removed from it.
    void recordAppended(int position);
    void recordRemoved(int position);
    // The stored values of the record at this position changed.
    void recordStored(int position);
    // A record was added, edited or deleted in the file.
    void changeStored(const RecordChange &change);

private:
    friend class RecordSet;
    void announceValidate(int action);
    void announceReposition();
    bool openDatabase();
    void navigate(bool (RecordSet::*move)());

    QString m_databaseName;
    QString m_recordSource = QStringLiteral("Biblio");
    QString m_caption;
    bool m_readOnly = false;
    Database m_db;
    RecordSet m_recordSet;
    DataError m_error;
    ProgressObserver *m_progress = nullptr;
};
