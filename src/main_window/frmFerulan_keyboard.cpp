// The keyboard beyond the sort selector's keys: the Tab order, the record
// moves of the form view, F1 for the list of keys, Ctrl+F for the search and
// F5 to read the catalogue again.

#include "frmFerulan.h"

#include "DataGrid.h"
#include "HandlerError.h"
#include "KeyHelpWindow.h"
#include "NavigationBar.h"
#include "OrderCombo.h"

#include "catalogue/CatalogueRecord.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

void frmFerulan::buildTabOrder()
{
    // The window's designed order: the text boxes, the option groups (one
    // stop each, on the selected option), the navigation arrows, the grid,
    // then the tool strip and the logo. Qt's own focus chain loses part of
    // such an order among compound controls; Tab walks this list instead.
    m_tabOrder.clear();
    for (int index = Catalogue::NUMERO; index <= Catalogue::ISBN; ++index)
        m_tabOrder << txtFields[index];
    for (auto *group : {&opPrefixe, &opLangue, &opDomaine}) {
        for (auto &[index, button] : *group)
            m_tabOrder << button;
    }
    for (const char *arrow : {"moveFirst", "movePrevious", "moveNext", "moveLast"})
        m_tabOrder << Data1Bar->findChild<QToolButton *>(QLatin1String(arrow));
    m_tabOrder << DBGrid1 << cmdList[2] << cmdAdd << cmdFilter << cmdSearch << cmdClose << cmbOrder << cmdList[1]
               << Command1 << cmdDelete;
}

bool frmFerulan::focusNextPrevChild(bool next)
{
    // The listed control that has the focus, or holds the part that has it
    // (the sort selector's text field, a grid cell's editor).
    QWidget *focus = QApplication::focusWidget();
    qsizetype at = -1;
    for (qsizetype i = 0; focus && i < m_tabOrder.size() && at < 0; ++i) {
        if (m_tabOrder[i] == focus || m_tabOrder[i]->isAncestorOf(focus))
            at = i;
    }
    if (at < 0)
        return QWidget::focusNextPrevChild(next);
    const qsizetype count = m_tabOrder.size();
    for (qsizetype step = 1; step < count; ++step) {
        QWidget *candidate = m_tabOrder[(at + (next ? step : count - step)) % count];
        if (candidate->isVisible() && candidate->isEnabled() && (candidate->focusPolicy() & Qt::TabFocus)) {
            candidate->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return true;
}

bool frmFerulan::commandKey(const QKeyEvent *event, QWidget *target)
{
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const int key = event->key();
    if (key == Qt::Key_F1 && modifiers == Qt::NoModifier) {
        runHandler([this] { showKeyHelp(); });
        return true;
    }
    if (key == Qt::Key_F && modifiers == Qt::ControlModifier) {
        runHandler([this] { cmdSearch_Click(); });
        return true;
    }
    if (key == Qt::Key_F5 && modifiers == Qt::NoModifier) {
        runHandler([this] { refreshCatalogue(); });
        return true;
    }

    // Record moves belong to the form view: the grid has its own, and the
    // sort selector steps through its list with Page Up and Page Down.
    if (listViewShown() || target == cmbOrder || cmbOrder->isAncestorOf(target))
        return false;
    void (DataControl::*move)() = nullptr;
    if (key == Qt::Key_PageUp && modifiers == Qt::NoModifier)
        move = &DataControl::movePrevious;
    else if (key == Qt::Key_PageDown && modifiers == Qt::NoModifier)
        move = &DataControl::moveNext;
    else if (key == Qt::Key_Home && modifiers == Qt::ControlModifier)
        move = &DataControl::moveFirst;
    else if (key == Qt::Key_End && modifiers == Qt::ControlModifier)
        move = &DataControl::moveLast;
    if (!move)
        return false;
    // As the navigation bar's arrows do.
    runHandler([this, move] { (Data1.*move)(); });
    return true;
}

void frmFerulan::refreshCatalogue()
{
    DBGrid1->finishEditing();
    RecordSet &records = Data1.Recordset();
    // After a store refused over another user's change, F5 is how the typed
    // values are dropped for theirs; otherwise they are stored first.
    if (records.hasConflict())
        records.CancelUpdate();
    const auto current = records.bookmark();
    if (!m_module1.ComposeQuery())
        raiseHandlerError(m_module1.lastError());
    // Back on the same record, unless it was deleted meanwhile.
    if (current)
        records.setBookmark(*current);
}

void frmFerulan::showKeyHelp()
{
    if (!m_keyHelp)
        m_keyHelp = new KeyHelpWindow(this);
    m_keyHelp->show();
    m_keyHelp->raise();
    m_keyHelp->activateWindow();
}
