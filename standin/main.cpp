// The stand-in host TAMBRIX.EXE, for a build without the real host. With no argument it
// initialises as the host would; on a test script it shows the pattern it would play. Its output
// also goes to TAMBRIX.LOG in its own folder (the one it was started from, see ownFolder()),
// since Rudimix starts it without a console.
#include "registry.h"
#include "standin.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <iostream>
#include <sstream>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QString folder
        = standin::ownFolder(QFile::decodeName(argv[0]), QCoreApplication::applicationDirPath());
    const QStringList arguments = QCoreApplication::arguments().mid(1);

    std::ostringstream out;
    std::ostringstream err;
    const int code = standin::run(arguments, folder, IniRegistry::defaultFile(), out, err);
    std::cout << out.str() << std::flush;
    std::cerr << err.str() << std::flush;

    const std::string heading
        = "==== " + QDateTime::currentDateTime().toString(Qt::ISODate).toStdString()
        + "  TAMBRIX.EXE " + arguments.join(u' ').toStdString() + "\n";
    const QString logFolder = standin::logFolder(arguments, folder);
    if (!logFolder.isEmpty()
        && !standin::appendLog(logFolder,
            heading + out.str() + err.str() + "==== exit code " + std::to_string(code) + "\n"))
        std::cerr << "TAMBRIX.EXE: cannot write TAMBRIX.LOG in " << logFolder.toStdString() << "\n";
    return code;
}
