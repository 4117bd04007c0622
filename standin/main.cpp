// TAMBRIX.EXE: a later TEST hands its script to the practice window that is open before this
// program loads any of the host's libraries (Qt, FluidSynth and theirs, some hundred files that
// take a busy machine longer to load than the hand-over itself); only when no window takes the
// script does it load the host, libtambrix-host.so beside it (found through its run path), and
// run it with the same arguments.
#include "exitcodes.h"
#include "host.h"
#include "processtime.h"
#include "quickhandover.h"

#include <cstdio>
#include <dlfcn.h>

int main(int argc, char* argv[])
{
    std::string script;
    bool noTimeSignature = false;
    std::string error;
    if (standin::plainWindowArguments(argc, argv, script, noTimeSignature)) {
        const std::string socket = standin::handoverSocketPath(error);
        const double startedAt = standin::bootSeconds() - standin::secondsSinceProcessStart();
        standin::HandoverAnswer answer;
        if (!socket.empty()
            && standin::quickHandOver(
                socket, standin::handoverMessage(script, noTimeSignature, startedAt), answer)) {
            // A window that is closing leaves the script to the host, which plays it on its own.
            if (answer.outcome == standin::HandoverOutcome::Played) {
                std::printf("Handed %s to the practice window.\n", script.c_str());
                return standin::Success;
            }
            if (answer.outcome == standin::HandoverOutcome::Refused) {
                std::fprintf(stderr, "TAMBRIX.EXE: the practice window refused the script: %s\n",
                    answer.message.c_str());
                return answer.code > 0 ? answer.code : int(standin::BadScript);
            }
        }
    }
    void* host = ::dlopen("libtambrix-host.so", RTLD_NOW | RTLD_LOCAL);
    auto* run
        = host ? reinterpret_cast<int (*)(int, char**)>(::dlsym(host, "tambrixHostMain")) : nullptr;
    if (!run) {
        std::fprintf(stderr, "TAMBRIX.EXE: cannot load the host: %s\n", ::dlerror());
        return 127;
    }
    return run(argc, argv);
}
