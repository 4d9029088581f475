#pragma once

#include <QString>

// Small text and file-name routines.
namespace Library {

QString StrDropRight(const QString &text, int n);
// Every occurrence, left to right, without rescanning the replacement.
QString StrReplace(const QString &text, const QString &search, const QString &replacement);
// Splits at the first "."; a dot inside a folder name ("/" or "\" after it)
// means the path has no extension.
void SplitFileName(const QString &path, QString &base, QString &extension);

// The text without leading and trailing space characters; tabs and line
// breaks are not blanks here.
QString TrimBlanks(const QString &text);

// A file beside the program: the folder, one "/" unless the folder already
// ends in one, then the name. A full path ("/...") stands for itself.
QString FileInFolder(const QString &folder, const QString &fileName);

// The system's own text for an error number (errno), as the user reads it.
QString SystemErrorText(int error);

} // namespace Library
