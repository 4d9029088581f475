// The main window's context menu (right click on the form, or the Menu
// key): the commands that have no button of their own, each with its key.

#include "frmFerulan.h"

#include <QAction>
#include <QKeySequence>

void frmFerulan::buildContextMenu()
{
    setContextMenuPolicy(Qt::ActionsContextMenu);

    // Printing the set shown.
    auto *print = new QAction(QStringLiteral("Imprimer…"), this);
    print->setObjectName(QStringLiteral("actPrint"));
    print->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    print->setShortcutContext(Qt::WindowShortcut);
    connect(print, &QAction::triggered, this, [this] { runHandler([this] { printCatalogue(); }); });
    addAction(print);
}
