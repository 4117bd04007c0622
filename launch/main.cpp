// rudimix-launch: the desktop entry's command. Gives a user without a registered host a host
// folder of their own (see launcher.h), then replaces itself with rudimix from its own folder,
// passing on its arguments. "--version" and "--help" go straight to rudimix.
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
            launcher::prepareHostFolder(registry, launcher::userHostFolder(),
                launcher::standInHost(folder), std::cout, std::cerr);
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
