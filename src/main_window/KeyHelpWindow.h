#pragma once

#include <QWidget>

class QPushButton;
class QTextBrowser;

// Every key of the program on one page, opened with F1 from the main
// window. Esc or "Fermer" closes it.
class KeyHelpWindow : public QWidget {
    Q_OBJECT

public:
    explicit KeyHelpWindow(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QTextBrowser *m_text = nullptr;
    QPushButton *m_close = nullptr;
};
