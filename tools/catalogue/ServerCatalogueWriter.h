#pragma once

#include "RecordSink.h"

#include "catalogue/Database.h"

#include <QVector>

// A server's address as it may be shown: a password in it is masked.
QString shownAddress(const QString &address);

// Makes table Biblio on a database server and fills it, in one transaction:
// other users see no table until the whole of it is there, and a failure
// leaves the database as it was. An existing table is never touched. Rows
// go in batches of many per statement, numbered by the server in the order
// they come.
class ServerCatalogueWriter : public RecordSink {
public:
    explicit ServerCatalogueWriter(QString address);
    ~ServerCatalogueWriter() override;

    bool begin() override;
    bool add(const RecordValues &values) override;
    bool finish() override;
    void abandon() override;

    qint64 rowCount() const override { return m_rows; }
    const QString &errorString() const override { return m_error; }
    void setRowWritten(std::function<void(qint64 rows)> rowWritten) override { m_rowWritten = std::move(rowWritten); }

    static constexpr int BatchRows = 1000;

private:
    bool flush();
    bool fail(const QString &text);
    bool failWithEngine(const QString &what);

    QString m_address;
    Database m_db;
    std::unique_ptr<Statement> m_fullBatch;
    QVector<RecordValues> m_pending;
    qint64 m_rows = 0;
    QString m_error;
    bool m_open = false;
    std::function<void(qint64)> m_rowWritten;
};
