#pragma once

#include <QString>

// Thrown by a window handler that cannot go on: the handler stops at the
// failing step and frmFerulan::runHandler shows the text to the user.
struct HandlerError {
    QString text;
};

// Thrown by a handler the user chose to stop: there is nothing more to tell.
struct HandlerStopped {
};

[[noreturn]] inline void raiseHandlerError(const QString &text)
{
    throw HandlerError{text};
}
