#pragma once

#include <QtGlobal>

// What long work (a query over a large catalogue, the export) tells whoever
// waits for it: started once, progressed now and then, finished once,
// whatever the outcome. The work stops soon after progressed() returns false.
class ProgressObserver {
public:
    virtual ~ProgressObserver() = default;
    // total: the units the work expects to go through; 0 when unknown.
    virtual void started(qint64 total) = 0;
    virtual bool progressed(qint64 done) = 0;
    virtual void finished() = 0;
};

// One piece of work's side of the observer, which may be missing: it
// finishes the report when it goes out of scope, and counts the units
// from an offset so that phases of one piece of work can follow each other.
class ProgressReport {
public:
    ProgressReport(ProgressObserver *observer, qint64 total)
        : m_observer(observer)
    {
        if (m_observer)
            m_observer->started(total);
    }
    ~ProgressReport()
    {
        if (m_observer)
            m_observer->finished();
    }
    ProgressReport(const ProgressReport &) = delete;
    ProgressReport &operator=(const ProgressReport &) = delete;

    // False once the observer asked the work to stop.
    bool report(qint64 done)
    {
        if (m_observer && !m_stopped && !m_observer->progressed(m_offset + done))
            m_stopped = true;
        return !m_stopped;
    }
    bool stopped() const { return m_stopped; }
    // Later reports count from here.
    void setOffset(qint64 offset) { m_offset = offset; }

private:
    ProgressObserver *m_observer;
    qint64 m_offset = 0;
    bool m_stopped = false;
};
