// The stand-in host TAMBRIX.EXE as a process, under the failures a user meets: the time to its
// failure exit, its processor time and its peak memory (the child's maxrss from wait4). Every run
// is bounded: a host that has not ended within the limit is killed and reported as such.
//
//   host_bench [-n RUNS] [-t SECONDS] [CASE...]   (CASE: a part of a case's name; none: all)
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A child process with its stdout and stderr read through pipes.
struct Child {
    pid_t pid = -1;
    int out = -1, err = -1;
    std::string outHead, errText; // the first bytes of stdout, all of stderr
    long outBytes = 0;
};

// Its output goes into pipes, or into logFile when one is given.
Child spawn(const std::vector<std::string>& argv, const fs::path& workingFolder,
    const fs::path& logFile = {})
{
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        std::perror("host_bench: pipe");
        std::exit(2);
    }
    Child child;
    child.pid = ::fork();
    if (child.pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL); // nothing (a stopped sound server) outlives the bench
        if (!logFile.empty()) {
            out[1] = err[1] = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        }
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        if (::chdir(workingFolder.c_str()) == 0)
            ::execvp(args[0], args.data());
        std::perror(args[0]);
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    child.out = out[0];
    child.err = err[0];
    return child;
}

// Reads what the child has written so far; false once both pipes are closed.
bool drain(Child& child, int waitMs)
{
    pollfd fds[2] = { { child.out, POLLIN, 0 }, { child.err, POLLIN, 0 } };
    if (child.out < 0 && child.err < 0)
        return false;
    if (::poll(fds, 2, waitMs) <= 0)
        return true;
    char buffer[65536];
    for (int i = 0; i < 2; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP)))
            continue;
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n <= 0) {
            ::close(fds[i].fd);
            (i == 0 ? child.out : child.err) = -1;
            fds[i].fd = -1;
        } else if (i == 0) {
            child.outBytes += n;
            if (child.outHead.size() < 65536)
                child.outHead.append(buffer, std::size_t(n));
        } else if (child.errText.size() < 4096) {
            child.errText.append(buffer, std::size_t(n));
        }
    }
    return child.out >= 0 || child.err >= 0;
}

struct Outcome {
    bool ended = false;
    int status = 0;
    double seconds = 0; // from the start, or from SIGTERM when one was sent
    double processor = 0;
    long maxrssKb = 0;
    long outBytes = 0;
    std::string firstError;
    bool signalSent = false;
};

// Runs the host with these arguments until it ends or limitSeconds pass. With signalAfter, sends
// SIGTERM once stdout holds that text (the host is then starting its audio driver) and times
// the end from there.
Outcome run(const std::vector<std::string>& argv, const fs::path& folder, double limitSeconds,
    const char* signalAfter = nullptr)
{
    const auto start = Clock::now();
    Child child = spawn(argv, folder);
    Outcome outcome;
    auto timedFrom = start;
    rusage usage {};
    while (secondsSince(start) < limitSeconds) {
        drain(child, 20);
        if (signalAfter && !outcome.signalSent
            && child.outHead.find(signalAfter) != std::string::npos) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ::kill(child.pid, SIGTERM);
            timedFrom = Clock::now();
            outcome.signalSent = true;
        }
        const pid_t done = ::wait4(child.pid, &outcome.status, WNOHANG, &usage);
        if (done == child.pid) {
            outcome.ended = true;
            break;
        }
    }
    outcome.seconds = secondsSince(timedFrom);
    if (!outcome.ended) {
        ::kill(child.pid, SIGKILL);
        ::wait4(child.pid, &outcome.status, 0, &usage);
    }
    while (drain(child, 100)) { }
    outcome.processor = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    outcome.maxrssKb = usage.ru_maxrss;
    outcome.outBytes = child.outBytes;
    outcome.firstError = child.errText.substr(0, child.errText.find('\n'));
    return outcome;
}

std::string size(double bytes)
{
    char text[32];
    if (bytes < 1e6)
        std::snprintf(text, sizeof text, "%.1f kB", bytes / 1e3);
    else
        std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
    return text;
}

std::string describe(const Outcome& o, double limitSeconds)
{
    char text[512];
    if (!o.ended) {
        std::snprintf(text, sizeof text, "did not end within %.0f s", limitSeconds);
    } else if (WIFSIGNALED(o.status)) {
        std::snprintf(
            text, sizeof text, "%.2f s, killed by signal %d", o.seconds, WTERMSIG(o.status));
    } else {
        std::snprintf(text, sizeof text, "%.2f s, exit %d", o.seconds, WEXITSTATUS(o.status));
    }
    return text;
}

// A private PulseAudio server with a null sink, stopped with SIGSTOP: it takes connections
// and never answers. One for each run, since a run's abandoned connections fill its backlog,
// after which connecting is refused at once.
struct FrozenSoundServer {
    pid_t pid = -1;
    explicit FrozenSoundServer(const fs::path& folder)
    {
        const fs::path socket = folder / "pulse" / "native";
        fs::remove_all(folder / "pulse");
        ::setenv("PULSE_RUNTIME_PATH", (folder / "pulse").c_str(), 1);
        Child server = spawn({ "pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n",
                                 "--load=module-native-protocol-unix auth-anonymous=1",
                                 "--load=module-null-sink sink_name=rudimix" },
            folder, folder / "pulseaudio.log");
        ::close(server.out);
        ::close(server.err);
        for (int i = 0; i < 200 && !fs::exists(socket); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pid = server.pid;
        if (fs::exists(socket) && ::waitpid(pid, nullptr, WNOHANG) == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200)); // modules loaded
            ::kill(pid, SIGSTOP);
            ::setenv("PULSE_SERVER", ("unix:" + socket.string()).c_str(), 1);
        } else {
            stop();
        }
    }
    ~FrozenSoundServer() { stop(); }
    void stop()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        pid = -1;
    }
    bool running() const { return pid > 0; }
};

// One RAW line of 5 million one-character tokens (10 MB), written without holding it in memory.
void writeHugeScript(const fs::path& path)
{
    std::ofstream file(path, std::ios::binary);
    file << "SET TEMPO=100;SET REPEATS=1\r\nRAW [new-rud]=4";
    const std::string block = [] {
        std::string b;
        for (int i = 0; i < 10000; ++i)
            b += ",4";
        return b;
    }();
    for (int i = 0; i < 500; ++i)
        file.write(block.data(), std::streamsize(block.size()));
    file.seekp(-2, std::ios::cur); // 5,000,000 tokens in all
    file << "\r\n[new-rud]\r\n";
}

struct Case {
    const char* name;
    const char* what;
    std::vector<std::string> arguments;
    bool needsFrozenServer = false;
    const char* signalAfter = nullptr;
};

} // namespace

int main(int argc, char** argv)
{
    int runs = 3;
    double limit = 70;
    std::vector<std::string> filters;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-n") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "-t") == 0 && i + 1 < argc)
            limit = std::max(1.0, std::atof(argv[++i]));
        else
            filters.emplace_back(argv[i]);
    }

    // The host copied into a folder of its own, so that its log, lock and registry stay there.
    char pattern[] = "/tmp/rudimix-host-bench-XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::perror("host_bench: mkdtemp");
        return 2;
    }
    const fs::path folder = pattern;
    fs::copy_file(TAMBRIX_EXE, folder / "TAMBRIX.EXE");
    for (const char* variable : { "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "HOME" })
        ::setenv(variable, folder.c_str(), 1);
    std::ofstream(folder / "ok.drum", std::ios::binary)
        << "SET TEMPO=100;SET REPEATS=1\r\nRAW [new-rud]=48X,45,45,48X\r\n[new-rud]\r\n";
    const std::string exe = (folder / "TAMBRIX.EXE").string();

    const std::vector<Case> cases = {
        { "soundfont", "missing SoundFont (--soundfont none.sf2 --render)",
            { exe, "--soundfont", "none.sf2", "--render", "out.wav", "ok.drum" } },
        { "output", "unwritable output (--render missing/out.wav)",
            { exe, "--render", "missing/out.wav", "ok.drum" } },
        { "driver-pulseaudio", "stopped sound server, --audio-driver pulseaudio",
            { exe, "--audio-driver", "pulseaudio", "ok.drum" }, true },
        { "driver-default", "stopped sound server, the default driver order", { exe, "ok.drum" },
            true },
        { "sigterm", "SIGTERM 0.3 s after the SoundFont is loaded, stopped sound server",
            { exe, "ok.drum" }, true, "\nSoundFont " },
        { "big-script", "a 10 MB script (5,000,000 tokens on one RAW line)", { exe, "huge.drum" } },
    };

    std::unique_ptr<FrozenSoundServer> server;
    for (const Case& c : cases) {
        if (!filters.empty()
            && std::none_of(filters.begin(), filters.end(),
                [&](const std::string& f) { return std::strstr(c.name, f.c_str()); }))
            continue;
        auto freshServer = [&] {
            server.reset();
            server = std::make_unique<FrozenSoundServer>(folder);
            return server->running();
        };
        if (c.needsFrozenServer && !freshServer()) {
            std::printf("%-18s skipped: no PulseAudio server could be started\n", c.name);
            continue;
        }
        if (std::strcmp(c.name, "big-script") == 0 && !fs::exists(folder / "huge.drum"))
            writeHugeScript(folder / "huge.drum");
        std::printf("%-18s %s\n", c.name, c.what);
        std::fflush(stdout);
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            for (const char* log : { "TAMBRIX.LOG", "TAMBRIX.LOG.1" })
                fs::remove(folder / log);
            if (c.needsFrozenServer && i > 0 && !freshServer())
                break;
            const Outcome o = run(c.arguments, folder, limit, c.signalAfter);
            std::uintmax_t logBytes = 0;
            for (const char* log : { "TAMBRIX.LOG", "TAMBRIX.LOG.1" })
                logBytes += fs::exists(folder / log) ? fs::file_size(folder / log) : 0;
            std::printf("  %s%s; %.2f s processor, peak %.1f MB; printed %s, logged %s\n",
                c.signalAfter ? (o.signalSent ? "after SIGTERM " : "(SIGTERM not sent) ") : "",
                describe(o, limit).c_str(), o.processor, o.maxrssKb / 1024.0,
                size(double(o.outBytes)).c_str(), size(double(logBytes)).c_str());
            if (!o.firstError.empty())
                std::printf("    %s\n", o.firstError.substr(0, 200).c_str());
            std::fflush(stdout);
            if (o.ended)
                times.push_back(o.seconds);
        }
        if (runs > 1 && !times.empty()) {
            std::sort(times.begin(), times.end());
            std::printf("  %zu of %d ended: %.2f to %.2f s, median %.2f s\n", times.size(), runs,
                times.front(), times.back(), times[times.size() / 2]);
        }
    }
    server.reset();
    fs::remove_all(folder);
    return 0;
}
