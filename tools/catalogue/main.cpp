#include "CatalogueCommands.h"
#include "CatalogueWriter.h"

#include <QCoreApplication>
#include <QTextStream>

#include <csignal>
#include <cstdio>

namespace {

// The first interruption lets a write clean up after itself; a second one
// ends the program at once.
void requestStop(int)
{
    CatalogueWriter::requestStop();
}

void catchInterruptions()
{
    struct sigaction action = {};
    action.sa_handler = requestStop;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (CatalogueCommands::writesFile(arguments))
        catchInterruptions();
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int status = CatalogueCommands::run(arguments, out, err);
    out.flush();
    err.flush();
    return status;
}
