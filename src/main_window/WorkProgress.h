#pragma once

#include "catalogue/Progress.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

class QProgressDialog;
class QWidget;

// What the window shows while it waits for long work: the wait pointer at
// once and, once the work has lasted about a second, a progress dialog.
// Events are let through only while the dialog is shown, and the dialog is
// modal to the whole program, so no other handler runs meanwhile.
class WorkProgress : public QObject, public ProgressObserver {
    Q_OBJECT

public:
    enum Cancelling { NotCancellable, Cancellable };

    WorkProgress(QWidget *window, const QString &label, Cancelling cancelling);
    ~WorkProgress() override;

    void started(qint64 total) override;
    bool progressed(qint64 done) override;
    void finished() override;

    // Whether the user stopped the last piece of work.
    bool wasCancelled() const { return m_cancelled; }
    QProgressDialog *dialog() const { return m_dialog; }

    // How long work runs before the dialog shows.
    static int showAfterMs();
    static void setShowAfterMs(int ms);

private:
    void showDialog();

    QPointer<QWidget> m_window;
    QString m_label;
    Cancelling m_cancelling;
    QElapsedTimer m_clock;
    qint64 m_total = 0;
    qint64 m_lastEventsMs = 0;
    QProgressDialog *m_dialog = nullptr;
    bool m_running = false;
    bool m_cancelled = false;
};
