#pragma once

#include <QComboBox>

// The sort selector: a list of field names with a text field the user may
// type into. Only a choice from the list counts as a choice: a click or
// Enter on an entry of the open list, an arrow key or the wheel on the
// closed one. Text typed into the field, or put there at start-up, only
// stands there, even when it is a field's name.
class OrderCombo : public QComboBox {
    Q_OBJECT

public:
    explicit OrderCombo(QWidget *parent = nullptr);

Q_SIGNALS:
    // The user chose an entry from the list, with the mouse or the keyboard.
    void chosen(int index);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onActivated(int index);
    // The gesture being handled may choose an entry; the choice, if any,
    // arrives before control returns to the event loop.
    void expectChoice();

    // QComboBox also reports an activation when the field is left (or the
    // list opened) while its text matches an entry: only the gestures above
    // set this, so only they count.
    bool m_choosing = false;
};
