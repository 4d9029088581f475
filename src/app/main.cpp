#include "main_window/QtMessenger.h"
#include "main_window/frmFerulan.h"

#include <QApplication>

#include <cstdio>

namespace {

// Without a display the toolkit would abort with a long message; one line
// that says what to do is more use.
bool displayAvailable()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char *argv[])
{
    if (!displayAvailable()) {
        std::fprintf(stderr,
                     "ferulan: no display found (DISPLAY and WAYLAND_DISPLAY are not set); "
                     "start it from a desktop session, or without a screen with: xvfb-run -a %s\n",
                     argc > 0 ? argv[0] : "ferulan");
        return 1;
    }
    QApplication app(argc, argv);
    QtMessenger messenger;
    frmFerulan window(QCoreApplication::applicationDirPath(), messenger);
    if (!window.start())
        return 1;
    window.show();
    const int result = app.exec();
    return messenger.endRequested() ? 0 : result;
}
