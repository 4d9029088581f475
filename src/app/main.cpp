#include "dialogs/DialogLook.h"
#include "main_window/QtMessenger.h"
#include "main_window/frmFerulan.h"
#include "settings/ProgramLocation.h"

#include <QApplication>
#include <QFile>

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
    DialogLook::useFrenchToolkitTexts();
    // Named and placed as started: a link named catalogue5 reads
    // catalogue5.ini beside itself.
    const ProgramLocation program = ProgramLocation::fromStart(argc > 0 ? QFile::decodeName(argv[0]) : QString(),
                                                               QCoreApplication::applicationFilePath());
    QtMessenger messenger;
    frmFerulan window(program.folder, messenger, nullptr, program.name);
    if (!window.start())
        return 1;
    window.show();
    const int result = app.exec();
    return messenger.endRequested() ? 0 : result;
}
