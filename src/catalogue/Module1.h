#pragma once

#include <QObject>
#include <QString>

class DataControl;

// The program-wide query state and the one routine that turns it into the
// data control's query. Each producer (start-up, the sort selector, the
// search and filter dialogs) writes its clause, then calls ComposeQuery.
class Module1 : public QObject {
    Q_OBJECT

public:
    explicit Module1(DataControl &data, QObject *parent = nullptr);

    QString DatabaseFile;
    QString TableName;
    QString FilterClause; // empty, or a complete condition with its own "WHERE "
    QString SearchClause; // empty, or a bare condition
    QString OrderClause;  // empty, or "ORDER BY " + a field

    // The query text of the current state, blanks exactly as they fall.
    QString queryText() const;

    // Gives the query to the data control and refreshes it; on success
    // announces columnsReset() so the grid sets its column widths. On
    // failure the rejected text stays the data control's RecordSource and
    // lastError() holds the engine's text.
    bool ComposeQuery();
    QString lastError() const { return m_lastError; }

Q_SIGNALS:
    void columnsReset();

private:
    DataControl &m_data;
    QString m_lastError;
};
