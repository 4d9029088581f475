#pragma once

#include <QByteArray>
#include <QString>

#include <string>

// The Western European single-byte code page of the files the program
// shares with its older peers (settings written by them, the export file).
namespace Windows1252 {

QString decode(const QByteArray &bytes);
// Characters the code page cannot hold become '?'.
QByteArray encode(const QString &text);
// The same from UTF-8 bytes straight onto out, for long runs of text; a
// byte that is not valid UTF-8 becomes '?'.
void appendFromUtf8(std::string &out, QByteArrayView utf8);
// The same onto out, which has room for utf8.size() bytes (no more is ever
// needed), each ASCII byte `from` becoming `to`; gives the end.
char *fromUtf8(char *out, QByteArrayView utf8, char from, char to);

} // namespace Windows1252
