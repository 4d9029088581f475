#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

// The current row of an Access table, as text per column.
class AccessRow {
public:
    virtual ~AccessRow() = default;
    // A null value and an empty text both read as an empty string.
    virtual QString text(int column) const = 0;
    // Whether the text of this column was longer than the reader can hold.
    virtual bool wasCut(int column) const = 0;
};

// Reads the tables of an Access database file (Jet 3, Jet 4, ACE) through
// the mdbtools library, one row at a time, with every text decoded to
// Unicode.
class AccessReader : public AccessRow {
public:
    enum class ColumnKind { Text, Integer, Real, DateTime, Boolean, Unsupported };

    struct Column {
        QString name;
        ColumnKind kind = ColumnKind::Unsupported;
        QString typeName; // as the file declares it, for messages
    };

    AccessReader();
    ~AccessReader();
    AccessReader(const AccessReader &) = delete;
    AccessReader &operator=(const AccessReader &) = delete;

    bool open(const QString &path);
    void close();
    bool isOpen() const;

    // "Jet 3", "Jet 4" or "ACE", once open.
    QString formatName() const;
    // The user tables, in the file's order.
    QStringList tableNames() const;

    // Starts reading a table; its name is matched ignoring letter case.
    bool openTable(const QString &name);
    const QString &tableName() const { return m_tableName; }
    const QVector<Column> &columns() const { return m_columns; }
    // The table's own row count, as the file records it.
    qint64 declaredRowCount() const;

    // Moves to the next row; false at the end.
    bool next();
    // The value of a column of the current row as text; a null value and an
    // empty text both read as an empty string. Numbers come in plain form
    // with a '.' decimal point, dates as "yyyy-MM-dd HH:mm:ss".
    QString text(int column) const override;
    bool wasCut(int column) const override;

    const QString &errorString() const { return m_error; }

private:
    struct Handles;
    bool fail(const QString &text);

    std::unique_ptr<Handles> m_handles;
    QString m_tableName;
    QVector<Column> m_columns;
    QString m_error;
};
