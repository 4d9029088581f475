#pragma once

#include "main_window/Messenger.h"

#include <QList>
#include <QString>

// Stands in for the message boxes and the end of the program: it records
// what would have been shown and whether the program asked to end.
class RecordingMessenger : public Messenger {
public:
    struct Message {
        QString text;
        int style = OkOnly;
        QString caption;
        QString details;
    };

    void MsgBox(const QString &text, int style = OkOnly, const QString &caption = {},
                const QString &details = {}) override
    {
        messages.append({text, style, caption, details});
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
};
