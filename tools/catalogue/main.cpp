#include "CatalogueCommands.h"
#include "CatalogueWriter.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>

#include <csignal>
#include <memory>
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

// A missing XDG_RUNTIME_DIR (a cron job, a login without a session) makes
// Qt's GUI part say so; it changes nothing for pages painted to a file, and
// errors here are one line each.
QtMessageHandler qtHandler = nullptr;

void quietAboutRuntimeFolder(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    qtHandler(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList given;
    for (int i = 1; i < argc; ++i)
        given << QString::fromLocal8Bit(argv[i]);
    std::unique_ptr<QCoreApplication> app;
    if (CatalogueCommands::needsPainting(given)) {
        // Pages are painted without a window: no display is needed.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        qtHandler = qInstallMessageHandler(quietAboutRuntimeFolder);
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
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
