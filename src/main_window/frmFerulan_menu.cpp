// The window's context menu: a right click on the window, Shift+F10 or the
// menu key. Text boxes keep their own menu. The commands that have no button
// of their own are here, each with its key.

#include "frmFerulan.h"

#include <QAction>
#include <QKeySequence>
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

    // Printing the set shown.
    auto *print = new QAction(QStringLiteral("Imprimer…"), this);
    print->setObjectName(QStringLiteral("actPrint"));
    print->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    print->setShortcutContext(Qt::WindowShortcut);
    connect(print, &QAction::triggered, this, [this] { runHandler([this] { printCatalogue(); }); });
    addAction(print);
    m_contextMenu->addSeparator();
    m_contextMenu->addAction(print);
}
