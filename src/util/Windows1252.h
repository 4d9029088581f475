#pragma once

#include <QByteArray>
#include <QString>

// The Western European single-byte code page of the files the program
// shares with its older peers (settings written by them, the export file).
namespace Windows1252 {

QString decode(const QByteArray &bytes);
// Characters the code page cannot hold become '?'.
QByteArray encode(const QString &text);

} // namespace Windows1252
