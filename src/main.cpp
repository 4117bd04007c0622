#include "app.h"
#include "qtservices.h"
#include "registry.h"

#include <QApplication>

int main(int argc, char* argv[])
{
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
