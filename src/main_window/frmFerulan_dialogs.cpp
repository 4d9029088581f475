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

// A dialog is loaded on first use; a hidden one comes back as it was left,
// a visible one is brought forward.
void frmFerulan::cmdSearch_Click()
{
    if (!m_search) {
        m_search = new frmSearch(m_module1, m_ini, m_messenger, Catalogue::sortFields());
        connect(m_search, &frmSearch::searchApplied, this, &frmFerulan::activateMainWindow);
    }
    if (m_search->isVisible()) {
        m_search->raise();
        m_search->activateWindow();
    } else {
        m_search->show();
    }
}

void frmFerulan::cmdFilter_Click()
{
    if (!m_filter) {
        m_filter = new frmFilter(m_module1, m_ini, m_messenger);
        connect(m_filter, &frmFilter::filterApplied, this, &frmFerulan::activateMainWindow);
    }
    if (m_filter->isVisible()) {
        m_filter->raise();
        m_filter->activateWindow();
    } else {
        m_filter->show();
    }
}

void frmFerulan::Command1_Click()
{
    if (!m_about)
        m_about = new frmArtInf(m_ini);
    if (m_about->isVisible()) {
        m_about->raise();
        m_about->activateWindow();
    } else {
        m_about->show();
    }
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
