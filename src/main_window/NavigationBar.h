#pragma once

#include <QFrame>

class DataControl;
class QLabel;
class QToolButton;

// The data control's bar: first, previous, next and last, with the control's
// caption between the arrows.
class NavigationBar : public QFrame {
    Q_OBJECT

public:
    NavigationBar(DataControl &data, QWidget *parent = nullptr);

    QString caption() const;

private:
    QToolButton *addButton(const QString &name, const QString &text, const QString &tip);

    DataControl &m_data;
    QLabel *m_caption = nullptr;
};
