#include "app.h"
#include "commandline.h"
#include "qtservices.h"
#include "registry.h"
#include "runningmark.h"
#include "settingsfile.h"

#include <QApplication>
#include <iostream>

int main(int argc, char* argv[])
{
    if (const std::optional<int> code = answerInformationRequest(argc, argv, std::cout))
        return *code;
    // Held to the end, so that an installer or uninstaller meanwhile asks to close Rudimix.
    const RunningMark running;
    QApplication application(argc, argv);
    QApplication::setApplicationName(modRudimix::programTitle());

    QtDialogs dialogs;
    QtClipboard clipboard;
    SystemProcessLauncher launcher;
    RealProgramEnd programEnd;
    const std::unique_ptr<IRegistry> registry = systemRegistry();
    Services services { dialogs, clipboard, launcher, programEnd, *registry };

    RudimixApp app(services, settingsfile::programFolder());
    if (!app.start())
        return 0;
    return QApplication::exec();
}
