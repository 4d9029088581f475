#pragma once

#include "Database.h"

#include <QByteArrayView>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

namespace JetSql {
class Dialect;
}

// What a database engine provides behind Database and Statement. Each
// engine lives in a folder of its own (sqlite/, postgres/); Database picks
// one from the catalogue's name and forwards to it. Engines report their
// errors through their Database's setError(), and read its time limit and
// activity.
class EngineCursor {
public:
    virtual ~EngineCursor() = default;

    virtual bool bind(int index, const QVariant &value) = 0; // index from 1
    virtual Statement::Step step() = 0;
    virtual void reset() = 0;

    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    virtual Statement::Type type(int column) const = 0;
    virtual QVariant value(int column) const = 0;
    virtual qint64 int64(int column) const = 0;
    virtual double real(int column) const = 0;
    virtual QByteArrayView utf8(int column) const = 0;
    virtual QByteArrayView bytes(int column) const = 0;
    virtual qint64 rowsScanned() const = 0;
};

class Engine {
public:
    explicit Engine(Database &owner)
        : m_owner(owner)
    {
    }
    virtual ~Engine() = default;
    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;

    virtual bool open(const QString &name, Database::Mode mode) = 0;
    virtual bool create(const QString &name) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    virtual bool exec(const QString &sql) = 0;
    virtual std::unique_ptr<EngineCursor> prepare(const QString &sql) = 0;

    // A change made of several statements, taken back whole on failure.
    virtual bool beginChange() = 0;
    virtual bool commitChange() = 0;
    virtual void rollbackChange() = 0;

    virtual std::optional<QString> rowKey(const QString &table) = 0;
    virtual std::optional<QString> rowVersion(const QString &) { return std::nullopt; }
    // Changes when another connection commits; nothing where the engine
    // cannot tell, which makes every query run in full.
    virtual std::optional<qint64> dataVersion() { return std::nullopt; }
    // See Database::rowFilterTerm.
    virtual std::optional<QString> rowFilterTerm(const QString &, const QString &, const QString &)
    {
        return std::nullopt;
    }
    virtual void setRowFilter(RowFilter *) {}
    virtual std::optional<QVector<Database::Column>> columns(const QString &table) = 0;
    virtual bool hasTable(const QString &table) = 0;
    virtual qint64 lastInsertRowId() = 0;
    virtual int changes() const = 0;

    virtual const JetSql::Dialect &dialect() const = 0;
    virtual bool isStepping() const = 0;
    // Sets the owner's error from the engine's current one.
    virtual void takeError() = 0;

protected:
    Database &m_owner;
};
