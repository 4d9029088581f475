#include "OrderCompletion.h"

#include "KeysetQuery.h"

#include <system_error>

#ifdef __linux__
#include <sys/resource.h>
#include <unistd.h>
#endif

OrderCompletion::OrderCompletion(const QString &catalogue, const JetSql::Select &select, const QStringList &columns,
                                 const QString &key, qint64 splitFromRows, std::function<void()> finished)
{
    try {
        m_thread = std::thread([this, catalogue, select, columns, key, splitFromRows, finished] {
            work(catalogue, select, columns, key, splitFromRows, finished);
        });
    } catch (const std::system_error &) {
        // No thread to be had: whoever takes the order orders it himself.
        m_error = {DataErrors::Cancelled, QStringLiteral("no thread to order the rows in")};
        m_finished = true;
    }
}

OrderCompletion::~OrderCompletion()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void OrderCompletion::work(const QString &catalogue, const JetSql::Select &select, const QStringList &columns,
                           const QString &key, qint64 splitFromRows, const std::function<void()> &finished)
{
#ifdef __linux__
    // Background work yields to the window's: a new query, a repaint. The
    // thread that reads and orders the upper half inherits the lower priority.
    setpriority(PRIO_PROCESS, id_t(gettid()), 10);
#endif
    Database db;
    if (db.open(catalogue, Database::Mode::ReadOnly)) {
        const std::function<bool()> stillWanted = [this] { return !m_stop.load(); };
        const KeysetQuery::ActivityScope activity(db, stillWanted);
        m_ok = KeysetQuery::runOnTwoCores(db, select, columns, key, splitFromRows, m_keys, m_error, stillWanted)
            && !m_stop;
        db.close();
        KeysetQuery::giveMemoryBack();
    } else {
        m_error = db.lastError();
    }
    m_finished = true;
    if (!m_stop && finished)
        finished();
}

bool OrderCompletion::take(std::vector<qint64> &keys, DataError &error)
{
    if (m_thread.joinable())
        m_thread.join();
    if (!m_ok) {
        error = m_error;
        return false;
    }
    keys = std::move(m_keys);
    m_ok = false;
    return true;
}
