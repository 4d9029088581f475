#pragma once

#include "main_window/QtMessenger.h"

#include <QAbstractButton>
#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTimer>

// Stands in for the message boxes and the end of the program: it records
// what would have been shown and whether the program asked to end; a
// question is answered with nextAnswer and recorded with the Question style.
//
// With modal set, each message is also shown as the program shows it, in a
// real modal box with an event loop of its own, answered once it has taken
// the focus: a handler that shows a message while a control is inside one
// of its own events (an open cell editor) meets what it meets on screen.
class RecordingMessenger : public Messenger {
public:
    struct Message {
        QString text;
        int style = OkOnly;
        QString caption;
        QString details;
        QStringList answers;
    };

    void MsgBox(const QString &text, int style = OkOnly, const QString &caption = {},
                const QString &details = {}) override
    {
        messages.append({text, style, caption, details, {}});
        if (modal) {
            answerOnceActive({});
            m_screen.MsgBox(text, style, caption, details);
        }
    }
    int Ask(const QString &text, const QStringList &answers, const QString &caption = {}) override
    {
        messages.append({text, Question, caption, {}, answers});
        if (!modal)
            return nextAnswer;
        answerOnceActive(answers.value(nextAnswer));
        return m_screen.Ask(text, answers, caption);
    }
    void EndProgram() override { ++endCount; }

    QString lastText() const { return messages.isEmpty() ? QString() : messages.last().text; }
    void clear()
    {
        messages.clear();
        endCount = 0;
    }

    QList<Message> messages;
    int endCount = 0;
    int nextAnswer = 0;
    bool modal = false;
    // Modal boxes that had the focus when they were answered.
    int boxesAnsweredWithFocus = 0;

private:
    // Clicks the button with this text (the first, when empty) once the box
    // is the active window, or after two seconds so that no test hangs.
    void answerOnceActive(const QString &buttonText)
    {
        auto *timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, timer, [this, timer, buttonText, tries = 0]() mutable {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            const bool active = box && QApplication::activeWindow() == box;
            if (!active && ++tries < 200)
                return;
            timer->deleteLater();
            timer->stop();
            boxesAnsweredWithFocus += active ? 1 : 0;
            for (QAbstractButton *button : box ? box->buttons() : QList<QAbstractButton *>()) {
                if (buttonText.isEmpty() || button->text() == buttonText)
                    return button->click();
            }
        });
        timer->start(10);
    }

    QtMessenger m_screen;
};
