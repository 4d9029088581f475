// The window's context menu: a right click on the window, Shift+F10 or the
// menu key. Text boxes keep their own menu.

#include "frmFerulan.h"

#include <QAction>
#include <QMenu>

void frmFerulan::buildContextMenu()
{
    m_contextMenu = new QMenu(this);
    m_contextMenu->setObjectName(QStringLiteral("contextMenu"));
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { m_contextMenu->popup(mapToGlobal(at)); });

    // Undo and redo of the changes stored in this session.
    m_contextMenu->addAction(actUndo);
    m_contextMenu->addAction(actRedo);
}
