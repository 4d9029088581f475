// The search and filter dialogs and the about box, opened from the main
// window.

#include "frmFerulan.h"

#include "catalogue/CatalogueRecord.h"
#include "dialogs/frmArtInf.h"
#include "dialogs/frmFilter.h"
#include "dialogs/frmSearch.h"

#include <QTimer>

void frmFerulan::activateMainWindow()
{
    show();
    raise();
    activateWindow();
}

namespace {

// A hidden window comes back as it was left, a visible one is brought forward.
void showOrRaise(QWidget *window)
{
    if (window->isVisible()) {
        window->raise();
        window->activateWindow();
    } else {
        window->show();
    }
}

} // namespace

// A dialog is loaded on first use.
void frmFerulan::cmdSearch_Click()
{
    if (!m_search) {
        m_search = new frmSearch(m_module1, m_ini, m_messenger, Catalogue::sortFields());
        connect(m_search, &frmSearch::searchApplied, this, &frmFerulan::activateMainWindow);
    }
    showOrRaise(m_search);
}

void frmFerulan::cmdFilter_Click()
{
    if (!m_filter) {
        m_filter = new frmFilter(m_module1, m_ini, m_messenger);
        connect(m_filter, &frmFilter::filterApplied, this, &frmFerulan::activateMainWindow);
    }
    showOrRaise(m_filter);
}

void frmFerulan::Command1_Click()
{
    if (!m_about)
        m_about = new frmArtInf(m_ini);
    showOrRaise(m_about);
}

void frmFerulan::UnloadDialogs()
{
    // A loaded dialog, hidden or not, stores its place as it unloads.
    if (m_search)
        m_search->close();
    if (m_filter)
        m_filter->close();
}

void frmFerulan::Form_Paint()
{
    // In read-only mode the about box greets the user once per run.
    if (m_aboutShown || editingGranted())
        return;
    m_aboutShown = true;
    // Opened once the painting is over, not from inside it.
    QTimer::singleShot(0, this, [this] { runHandler([this] { Command1_Click(); }); });
}
