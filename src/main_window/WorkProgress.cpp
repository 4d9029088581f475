#include "WorkProgress.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProgressDialog>
#include <QWidget>

#include <algorithm>

namespace {

int s_showAfterMs = 1000;

// The dialog's scale: totals beyond an int's range still fit.
constexpr int Steps = 1000;

// Between two looks at the events, so that the dialog paints and its button
// answers without slowing the work.
constexpr qint64 EventsEveryMs = 50;

} // namespace

WorkProgress::WorkProgress(QWidget *window, const QString &label, Cancelling cancelling)
    : QObject(window)
    , m_window(window)
    , m_label(label)
    , m_cancelling(cancelling)
{
}

WorkProgress::~WorkProgress()
{
    if (m_running)
        finished();
}

int WorkProgress::showAfterMs()
{
    return s_showAfterMs;
}

void WorkProgress::setShowAfterMs(int ms)
{
    s_showAfterMs = ms;
}

void WorkProgress::started(qint64 total)
{
    if (m_running)
        finished();
    m_running = true;
    m_cancelled = false;
    m_total = total;
    m_lastEventsMs = 0;
    m_clock.start();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

bool WorkProgress::progressed(qint64 done)
{
    if (!m_running)
        return true;
    // Something in between may have put the pointer back.
    if (!QGuiApplication::overrideCursor())
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const qint64 now = m_clock.elapsed();
    if (!m_dialog) {
        if (now < s_showAfterMs)
            return true;
        showDialog();
    } else if (now - m_lastEventsMs < EventsEveryMs) {
        return !m_cancelled;
    }
    m_lastEventsMs = now;
    if (m_total > 0)
        m_dialog->setValue(int(std::clamp<qint64>(done, 0, m_total) * Steps / m_total));
    QCoreApplication::processEvents();
    return !m_cancelled;
}

void WorkProgress::finished()
{
    if (!m_running)
        return;
    m_running = false;
    delete m_dialog;
    m_dialog = nullptr;
    if (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

void WorkProgress::showDialog()
{
    m_dialog = new QProgressDialog(m_label, QString(), 0, m_total > 0 ? Steps : 0, m_window);
    if (m_cancelling == Cancellable) {
        m_dialog->setCancelButtonText(QStringLiteral("Annuler"));
        connect(m_dialog, &QProgressDialog::canceled, this, [this] { m_cancelled = true; });
    } else {
        m_dialog->setCancelButton(nullptr);
    }
    if (m_window)
        m_dialog->setWindowTitle(m_window->windowTitle());
    // Nothing else of the program may run while the work lets events through.
    m_dialog->setWindowModality(Qt::ApplicationModal);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setMinimumDuration(0);
    m_dialog->setValue(0);
    m_dialog->show();
}
