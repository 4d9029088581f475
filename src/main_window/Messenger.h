#pragma once

#include <QString>

// Every message box of the program goes through this seam, and so does
// ending the program, so that tests can record both.
class Messenger {
public:
    // Message-box styles the program uses.
    static constexpr int OkOnly = 0;
    static constexpr int Information = 64;

    virtual ~Messenger() = default;
    // caption empty: the program title. details: optional detailed text.
    virtual void MsgBox(const QString &text, int style = OkOnly, const QString &caption = {},
                        const QString &details = {}) = 0;
    virtual void EndProgram() = 0;
};
