#pragma once

#include <QStringList>

class QTextStream;

// The command line of ferulan-catalogue, apart from the process around it.
namespace CatalogueCommands {

// Exit statuses.
inline constexpr int Done = 0;
inline constexpr int Reported = 1; // done, with rows or problems reported
inline constexpr int Failed = 2;   // nothing written; a wrong command line too

QString usage();

// Runs the command the arguments (program name excluded) name. Results go to
// out; reports and errors to err, an error as one line.
int run(const QStringList &arguments, QTextStream &out, QTextStream &err);

// Whether the command writes a file, so that an interruption has to clean up.
bool writesFile(const QStringList &arguments);

// Whether the command paints pages, which takes fonts: a GUI application on
// the offscreen platform, no display needed.
bool needsPainting(const QStringList &arguments);

} // namespace CatalogueCommands
