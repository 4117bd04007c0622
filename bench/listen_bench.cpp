// Play-along in the practice window, measured: TAMBRIX.EXE --listen midi on servers of its own
// (Xvfb, PulseAudio, a JACK server on the dummy driver, where the window also plays), a MIDI kit
// of the benchmark's own playing strokes at planted offsets from the window's quarter notes as
// recorded from its sound. Reports the time from each note-on to its line on the window's
// stdout, and how far each printed offset is from the one played (less their median, the
// window's reckoning of the sound path).
//   listen_bench [STROKES]
#include "listenrig.h"

#include <QRegularExpression>
#include <cstdio>
#include <fstream>

using namespace listenrig;

namespace {

constexpr double kBeat = 0.6; // quarter notes at 100 per minute
const double kOffsets[] = { -0.060, -0.030, -0.010, 0.0, 0.010, 0.030, 0.060 };

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size())))];
}

std::string load()
{
    std::ifstream file("/proc/loadavg");
    std::string a, b, c;
    file >> a >> b >> c;
    return a + " " + b + " " + c;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int strokes = argc > 1 ? std::max(7, std::atoi(argv[1])) : 42;
    Rig rig;
    if (!rig.startServers() || !rig.startJack()) {
        std::printf("Xvfb, PulseAudio or jackd is missing or does not start: nothing measured\n");
        return 1;
    }
    const QString script = rig.file("beats.drum");
    {
        QFile file(script);
        file.open(QIODevice::WriteOnly);
        file.write(
            "SET TEMPO=100\r\nSET REPEATS=100\r\nRAW [new-rud]=15,15,15,15\r\n[new-rud]\r\n");
    }
    Window window;
    rig.startWindow(window, TAMBRIX_EXE, { "--audio-driver", "jack", "--listen", "midi", script });
    MidiPlayer player;
    JackRecorder notes;
    if (!window.waitFor("listening to the virtual port", 30) || !player.connect()
        || !notes.open("fluidsynth") || !window.waitFor("first note made", 30)) {
        std::printf("the window did not start listening:\n%s\n", window.all().c_str());
        return 1;
    }
    // The beat as heard: the last onset, followed as the sound drifts.
    auto beatAfter = [&](double at) {
        const std::vector<double> heard = notes.onsets();
        if (heard.empty())
            return 0.0;
        return heard.back() + std::ceil((at - heard.back()) / kBeat) * kBeat;
    };
    while (notes.onsets().size() < 4)
        window.pump(10);

    const QRegularExpression line(R"(^stroke loop=\d+ note=\d+ voice=A offset=([+-]\d+) )");
    std::vector<double> delays, differences;
    for (int i = 0; i < strokes; ++i) {
        const double beat = beatAfter(now() + 0.3);
        const double planted = kOffsets[i % std::size(kOffsets)];
        window.until(beat + planted - 0.010);
        const double sent = player.play(beat + planted, 'A');
        const qsizetype seen = window.lines.size();
        double printed = NAN;
        while (std::isnan(printed) && now() < sent + 2) {
            window.pump(1);
            for (qsizetype k = seen; k < window.lines.size(); ++k)
                if (const auto m = line.match(window.lines[k]); m.hasMatch()) {
                    delays.push_back(now() - sent);
                    printed = m.captured(1).toDouble() / 1000;
                }
        }
        window.until(beat + 0.200); // the note is heard by then
        const double heard = notes.onsets().empty() ? 0 : [&] {
            double best = 0;
            for (double onset : notes.onsets())
                if (!best || std::abs(onset - beat) < std::abs(best - beat))
                    best = onset;
            return best;
        }();
        if (!std::isnan(printed) && std::abs(heard - beat) < 0.040)
            differences.push_back(printed - (sent - heard));
    }
    if (delays.empty() || differences.empty()) {
        std::printf("no stroke was printed:\n%s\n", window.all().c_str());
        return 1;
    }
    const double median = percentile(differences, 0.5);
    std::vector<double> deviation;
    double squares = 0;
    for (double d : differences) {
        deviation.push_back(std::abs(d - median));
        squares += (d - median) * (d - median);
    }
    std::printf("MIDI note-on to its line on stdout, %zu strokes: median %.1f ms, 95th "
                "percentile %.1f ms, max %.1f ms\n",
        delays.size(), percentile(delays, 0.5) * 1000, percentile(delays, 0.95) * 1000,
        percentile(delays, 1.0) * 1000);
    std::printf("printed offset less the one played, %zu strokes (planted -60 to +60 ms): "
                "median %+.1f ms; off that: standard deviation %.1f ms, 95th percentile %.1f ms, "
                "max %.1f ms\n",
        differences.size(), median * 1000, std::sqrt(squares / double(differences.size())) * 1000,
        percentile(deviation, 0.95) * 1000, percentile(deviation, 1.0) * 1000);
    std::printf("load average: %s\n", load().c_str());
    return 0;
}
