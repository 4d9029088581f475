#pragma once

#include <QString>
#include <QStringList>

// Where the program lives and what it is called, taken from the path it was
// started by: a copy renamed catalogue5, or a symbolic link of that name,
// reads catalogue5.ini in its own folder (the link's, not its target's).
struct ProgramLocation {
    QString folder;
    QString name; // the file name without its extension

    // startedAs: the path the program was started by (argv[0]); a bare name
    // was found in searchPath (empty: the system's PATH). runningFile: the
    // program file itself, used when startedAs does not lead to it.
    static ProgramLocation fromStart(const QString &startedAs, const QString &runningFile,
                                     const QStringList &searchPath = {});
};
