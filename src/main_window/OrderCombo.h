#pragma once

#include <QComboBox>

// The sort selector: a list of field names with a text field the user may
// type into. Only a choice from the list counts as a choice; text typed
// into the field, even a field's name, only stands there.
class OrderCombo : public QComboBox {
    Q_OBJECT

public:
    explicit OrderCombo(QWidget *parent = nullptr);

    void showPopup() override;

Q_SIGNALS:
    // The user chose an entry from the list, with the mouse or the keyboard.
    void chosen(int index);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void onActivated(int index);

    // Set while the text field holds typed text; QComboBox would otherwise
    // report a typed field name as an activation when the field is left.
    bool m_typed = false;
};
