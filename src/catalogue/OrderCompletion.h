#pragma once

#include "Database.h"
#include "JetSql.h"

#include <QStringList>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

// Orders a query's rows in a thread and on a connection of their own,
// while the window already shows the ends of the order.
class OrderCompletion {
public:
    // finished is called on the worker's thread once the order is known
    // or has failed, unless the work was stopped.
    // From splitFromRows rows in the table, on two cores.
    OrderCompletion(const QString &catalogue, const JetSql::Select &select, const QStringList &columns,
                    const QString &key, qint64 splitFromRows, std::function<void()> finished);
    // Stops the work and waits for the thread.
    ~OrderCompletion();
    OrderCompletion(const OrderCompletion &) = delete;
    OrderCompletion &operator=(const OrderCompletion &) = delete;

    // Asks the work to stop soon, without waiting.
    void stop() { m_stop = true; }
    bool isFinished() const { return m_finished; }
    // Waits for the order; false, with the reason, when it could not be had.
    bool take(std::vector<qint64> &keys, DataError &error);

private:
    void work(const QString &catalogue, const JetSql::Select &select, const QStringList &columns, const QString &key,
              qint64 splitFromRows, const std::function<void()> &finished);

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    // Written by the worker only, read after it is joined.
    bool m_ok = false;
    std::vector<qint64> m_keys;
    DataError m_error;
    std::thread m_thread;
};
