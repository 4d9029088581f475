#pragma once

#include <QString>
#include <QStringList>

// Every message box of the program goes through this seam, and so does
// ending the program, so that tests can record both.
class Messenger {
public:
    // Message-box styles the program uses.
    static constexpr int OkOnly = 0;
    static constexpr int Information = 64;
    static constexpr int Question = 32;

    virtual ~Messenger() = default;
    // caption empty: the program title. details: optional detailed text.
    virtual void MsgBox(const QString &text, int style = OkOnly, const QString &caption = {},
                        const QString &details = {}) = 0;
    // Asks the user to choose one of the answers, one button each. The first
    // answer is the safe one: Enter, Esc and closing the box choose it.
    // Returns the index of the answer chosen.
    virtual int Ask(const QString &text, const QStringList &answers, const QString &caption = {}) = 0;
    virtual void EndProgram() = 0;
};
