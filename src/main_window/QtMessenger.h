#pragma once

#include "Messenger.h"

// Message boxes on screen and the end of the event loop.
class QtMessenger : public Messenger {
public:
    static const QString ProgramTitle;

    void MsgBox(const QString &text, int style = OkOnly, const QString &caption = {},
                const QString &details = {}) override;
    int Ask(const QString &text, const QStringList &answers, const QString &caption = {}) override;
    void EndProgram() override;

    bool endRequested() const { return m_endRequested; }

private:
    bool m_endRequested = false;
};
