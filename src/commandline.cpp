#include "commandline.h"

#include "tambrix.h"

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
