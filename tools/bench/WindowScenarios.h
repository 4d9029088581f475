#pragma once

#include <QString>

struct Bench;

// The main window on a large catalogue: start-up to the first record shown,
// a change of order to the grid repainted, and paging through the grid.
namespace WindowScenarios {

void run(const QString &catalogue, Bench &bench);

// The program itself started on a real display (DISPLAY, e.g. Xvfb), from
// exec to its first frame showing a record; skipped without a display.
void runFromExec(const QString &catalogue, Bench &bench);

} // namespace WindowScenarios
