// rudimix-launch: the desktop entry's command. Gives a user without a registered host a host
// folder of their own (see launcher.h), then replaces itself with rudimix from its own folder,
// passing on its arguments. "--version" and "--help" go straight to rudimix. A per-user host
// folder that someone else could change stops it with exit code 1 (see unsafeHostFolder()).
#include "launcher.h"

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <unistd.h>
#include <vector>

int main(int argc, char* argv[])
{
    QByteArray rudimix;
    {
        QCoreApplication application(argc, argv);
        const QString folder = QCoreApplication::applicationDirPath();
        rudimix = QFile::encodeName(folder + QStringLiteral("/rudimix"));

        const QStringList arguments = QCoreApplication::arguments();
        if (!arguments.contains(QStringLiteral("--version"))
            && !arguments.contains(QStringLiteral("--help"))) {
            IniRegistry registry(IniRegistry::defaultFile());
            // A failure is reported here; rudimix then tells the user what is missing.
            const QString userFolder = launcher::userHostFolder();
            const QString standIn = launcher::standInHost(folder);
            // A host folder that others could change is never run from: the launcher stops.
            if (!launcher::prepareHostFolder(registry, userFolder, standIn, std::cout, std::cerr)
                && !launcher::unsafeHostFolder(userFolder, standIn).isEmpty())
                return 1;
        }
    }

    std::vector<char*> args(argv, argv + argc);
    args.push_back(nullptr);
    args[0] = rudimix.data();
    std::cout.flush();
    ::execv(rudimix.constData(), args.data());
    std::cerr << "rudimix-launch: cannot start " << rudimix.constData() << ": "
              << std::strerror(errno) << "\n";
    return 127;
}
