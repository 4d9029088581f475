#include "OrderCombo.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

OrderCombo::OrderCombo(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // Completion would turn a typed prefix into a choice.
    setCompleter(nullptr);
    // Installed after the list's own handling, so seen before it.
    view()->installEventFilter(this);
    view()->viewport()->installEventFilter(this);
    connect(this, &QComboBox::activated, this, &OrderCombo::onActivated);
}

void OrderCombo::expectChoice()
{
    m_choosing = true;
    QTimer::singleShot(0, this, [this] { m_choosing = false; });
}

void OrderCombo::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        // Stepping through the closed list is a choice from it (Alt+Down
        // only opens it).
        if (!(event->modifiers() & (Qt::AltModifier | Qt::ControlModifier)))
            expectChoice();
        break;
    default:
        break;
    }
    QComboBox::keyPressEvent(event);
}

void OrderCombo::wheelEvent(QWheelEvent *event)
{
    expectChoice();
    QComboBox::wheelEvent(event);
}

bool OrderCombo::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == view()->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && view()->indexAt(mouse->position().toPoint()).isValid())
            expectChoice();
    } else if (watched == view()
               && (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
        // The list takes Enter as it is announced, before it arrives.
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            expectChoice();
    }
    return QComboBox::eventFilter(watched, event);
}

void OrderCombo::onActivated(int index)
{
    if (!m_choosing)
        return;
    m_choosing = false;
    Q_EMIT chosen(index);
}
