// Undo for the session: every change the data control stores (a record
// added, edited or deleted) is pushed as a command; Ctrl+Z takes back the
// last one, Ctrl+Y and Ctrl+Shift+Z make it again.

#include "frmFerulan.h"

#include "DataGrid.h"
#include "HandlerError.h"
#include "UndoCommands.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QUndoStack>

void frmFerulan::buildUndo()
{
    m_undoStack = new QUndoStack(this);
    m_undoStack->setObjectName(QStringLiteral("undoStack"));

    // The keys are the window's (undoKey); the actions show them in the menu.
    actUndo = new QAction(QStringLiteral("Annuler"), this);
    actUndo->setObjectName(QStringLiteral("actUndo"));
    actUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    actUndo->setShortcutContext(Qt::WidgetShortcut);
    actRedo = new QAction(QStringLiteral("Rétablir"), this);
    actRedo->setObjectName(QStringLiteral("actRedo"));
    actRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    actRedo->setShortcutContext(Qt::WidgetShortcut);
    connect(actUndo, &QAction::triggered, this, [this] { runHandler([this] { undoChange(); }); });
    connect(actRedo, &QAction::triggered, this, [this] { runHandler([this] { redoChange(); }); });

    connect(&Data1, &DataControl::changeStored, this, [this](const RecordChange &change) {
        // Without edit access nothing is stored, and nothing is offered back.
        if (editingGranted())
            m_undoStack->push(new RecordChangeCommand(Data1, change));
    });
    connect(m_undoStack, &QUndoStack::indexChanged, this, &frmFerulan::showUndoState);
    showUndoState();
}

void frmFerulan::showUndoState()
{
    const QString undoText = m_undoStack->undoText();
    const QString redoText = m_undoStack->redoText();
    actUndo->setEnabled(m_undoStack->canUndo());
    actUndo->setText(undoText.isEmpty() ? QStringLiteral("Annuler") : QStringLiteral("Annuler ") + undoText);
    actRedo->setEnabled(m_undoStack->canRedo());
    actRedo->setText(redoText.isEmpty() ? QStringLiteral("Rétablir") : QStringLiteral("Rétablir ") + redoText);
}

bool frmFerulan::undoKey(const QKeyEvent *event, QWidget *target)
{
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool undo = event->key() == Qt::Key_Z && modifiers == Qt::ControlModifier;
    const bool redo = (event->key() == Qt::Key_Y && modifiers == Qt::ControlModifier)
        || (event->key() == Qt::Key_Z && modifiers == (Qt::ControlModifier | Qt::ShiftModifier));
    // Without edit access the boxes keep their own typing undo, and only that.
    if ((!undo && !redo) || !editingGranted())
        return false;
    // Typing in a box is the box's own to take back first, keystroke by
    // keystroke, as in any text box; past it, the keys take back records.
    if (auto *line = qobject_cast<QLineEdit *>(target)) {
        if (!line->isReadOnly() && (undo ? line->isUndoAvailable() : line->isRedoAvailable()))
            return false;
    } else if (auto *text = qobject_cast<QPlainTextEdit *>(target)) {
        if (!text->isReadOnly()
            && (undo ? text->document()->isUndoAvailable() : text->document()->isRedoAvailable()))
            return false;
    }
    runHandler([this, undo] { undo ? undoChange() : redoChange(); });
    return true;
}

void frmFerulan::undoChange()
{
    stepChange(true);
}

void frmFerulan::redoChange()
{
    stepChange(false);
}

void frmFerulan::stepChange(bool undo)
{
    if (!editingGranted())
        return;
    // What is typed and not yet stored is the latest change: stored now, it
    // is the one taken back, and Ctrl+Y brings it again. Before a redo it is
    // a change of its own, after which there is nothing left to make again,
    // as in any editor.
    DBGrid1->finishEditing();
    if (!Data1.UpdateRecord())
        raiseHandlerError(Data1.lastError().text);
    if (undo ? !m_undoStack->canUndo() : !m_undoStack->canRedo())
        return;
    const int index = undo ? m_undoStack->index() - 1 : m_undoStack->index();
    auto *command = static_cast<RecordChangeCommand *>(const_cast<QUndoCommand *>(m_undoStack->command(index)));
    // Refused, the stack stays where it is: the change can be tried again.
    if (!(undo ? command->takeBack() : command->makeAgain()))
        raiseHandlerError(QStringLiteral("Impossible %1 %2 : %3")
                              .arg(undo ? QStringLiteral("d'annuler") : QStringLiteral("de rétablir"),
                                   command->text(), command->error()));
    undo ? m_undoStack->undo() : m_undoStack->redo();
}
