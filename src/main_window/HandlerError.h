#pragma once

#include <QString>

// Thrown by a window handler that cannot go on: the handler stops at the
// failing step and frmFerulan::runHandler shows the text to the user.
struct HandlerError {
    QString text;
};

[[noreturn]] inline void raiseHandlerError(const QString &text)
{
    throw HandlerError{text};
}
