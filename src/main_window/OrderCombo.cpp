#include "OrderCombo.h"

#include <QKeyEvent>
#include <QLineEdit>

OrderCombo::OrderCombo(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // Completion would turn a typed prefix into a choice.
    setCompleter(nullptr);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { m_typed = true; });
    connect(this, &QComboBox::activated, this, &OrderCombo::onActivated);
}

void OrderCombo::showPopup()
{
    m_typed = false;
    QComboBox::showPopup();
}

void OrderCombo::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        // Stepping through the list is a choice from the list.
        m_typed = false;
        break;
    default:
        break;
    }
    QComboBox::keyPressEvent(event);
}

void OrderCombo::wheelEvent(QWheelEvent *event)
{
    m_typed = false;
    QComboBox::wheelEvent(event);
}

void OrderCombo::onActivated(int index)
{
    if (m_typed)
        return;
    Q_EMIT chosen(index);
}
