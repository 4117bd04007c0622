#include "app.h"
#include "commandline.h"
#include "qtservices.h"
#include "registry.h"

#include <QApplication>
#include <iostream>

int main(int argc, char* argv[])
{
    if (const std::optional<int> code = answerInformationRequest(argc, argv, std::cout))
        return *code;
    QApplication application(argc, argv);
    QApplication::setApplicationName(modRudimix::programTitle());

    QtDialogs dialogs;
    QtClipboard clipboard;
    QtProcessLauncher launcher;
    RealProgramEnd programEnd;
    IniRegistry registry(IniRegistry::defaultFile());
    Services services { dialogs, clipboard, launcher, programEnd, registry };

    RudimixApp app(services, QCoreApplication::applicationDirPath());
    if (!app.start())
        return 0;
    return QApplication::exec();
}
