#include "commandline.h"

#include "tambrix.h"

#include <QApplication>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <cstring>

std::optional<int> answerInformationRequest(int argc, char* argv[], std::ostream& out)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            out << "rudimix " RUDIMIX_VERSION "\n";
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            out << "Usage: rudimix [--version | --help]\n"
                   "Rudimix builds drum patterns (rudiments) for the drum sequencer Tambrix.\n"
                   "It finds the host's folder in the registry value "
                << tambrix::kRegistryValue << " under\nHKEY_CURRENT_USER\\" << tambrix::kRegistryKey
                << " (the file\n"
                   "~/.config/winreg/HKEY_CURRENT_USER.ini), else in its own folder, and needs\n"
                   "the host's settings file "
                << tambrix::kSettingsFile
                << " there. rudimix-launch, which the\n"
                   "desktop entry runs, prepares a host folder of your own the first time.\n"
                   "  --version  print the version and exit\n"
                   "  --help     print this text and exit\n";
            return 0;
        }
    }
    return std::nullopt;
}

namespace {

void armWindowReport()
{
    const QString reportFile = qEnvironmentVariable("RUDIMIX_WINDOW_REPORT");
    if (reportFile.isEmpty())
        return;
    // Queued, so that the timer starts once an event loop runs: the editor's, or the one of a
    // message box that start-up shows instead.
    QMetaObject::invokeMethod(
        qApp,
        [reportFile] {
            QTimer::singleShot(1000, qApp, [reportFile] {
                QFile file(reportFile);
                if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                    for (const QWidget* widget : QApplication::topLevelWidgets()) {
                        if (widget->isVisible())
                            file.write(
                                (widget->objectName() + u'\t' + widget->windowTitle() + u'\n')
                                    .toUtf8());
                    }
                }
                file.close();
                std::fflush(nullptr);
                std::_Exit(0);
            });
        },
        Qt::QueuedConnection);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(armWindowReport)
