// Play-along's marks, measured: the practice window in this process on servers of its own (Xvfb,
// PulseAudio, a JACK server on the dummy driver, where the window plays and listens), a MIDI kit
// of the benchmark's own playing one stroke near each beat it picks. Reports the time from each
// note-on to the stroke's decision (its line is printed on stdout in the same call) and to the
// start of the grid's next painting, which draws its mark.
//   listen_mark_bench [STROKES]
#include "listenconsole.h"
#include "listenpanel.h"
#include "listenrig.h"
#include "patterngrid.h"
#include "practicewindow.h"

#include <QApplication>
#include <QEventLoop>
#include <QSettings>
#include <QTimer>
#include <cstdio>

using namespace listenrig;

namespace {

constexpr double kBeat = 0.6;

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size())))];
}

void pumpUntil(double at)
{
    while (now() < at) {
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

struct PaintWatch : QObject {
    double* paintedAt = nullptr;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && paintedAt && *paintedAt == 0)
            *paintedAt = now();
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    const int strokes = argc > 1 ? std::max(5, std::atoi(argv[1])) : 30;
    Rig rig;
    if (!rig.startServers() || !rig.startJack()) {
        std::printf("Xvfb, PulseAudio or jackd is missing or does not start: nothing measured\n");
        return 1;
    }
    QApplication application(argc, argv);
    standin::Transport transport;
    std::string error;
    if (transport.start("", "jack", error) != 0) {
        std::printf("no sound: %s\n", error.c_str());
        return 1;
    }
    QSettings settings(rig.file("practice.ini"), QSettings::IniFormat);
    settings.setValue("listen/input", "midi");
    settings.setValue("loop", true);
    standin::ListenConsole console(transport);
    standin::PracticeWindow window(transport, settings, rig.dir.path(), &console);
    window.resize(1000, 400);
    window.show();
    const QString script = rig.file("beats.drum");
    {
        QFile file(script);
        file.open(QIODevice::WriteOnly);
        file.write("SET TEMPO=100\r\nRAW [new-rud]=15,15,15,15\r\n[new-rud]\r\n");
    }
    window.load(script, false, 0);
    if (!window.listenPanel().setListening(true)) {
        std::printf("not listening: %s\n", window.statusText().toStdString().c_str());
        return 1;
    }
    MidiPlayer player;
    JackRecorder notes;
    if (!player.connect() || !notes.open("fluidsynth")) {
        std::printf("the kit or the recorder did not connect\n");
        return 1;
    }
    double decidedAt = 0, paintedAt = 0;
    bool waiting = false;
    QObject::connect(&console, &standin::ListenConsole::decided,
        [&](const std::vector<standin::MatchEvent>& events) {
            for (const standin::MatchEvent& e : events)
                if (const auto* r = std::get_if<standin::StrokeResult>(&e);
                    waiting && r && r->kind == standin::StrokeResult::Kind::Hit && !decidedAt)
                    decidedAt = now();
        });
    PaintWatch watch;
    auto* grid = window.findChild<standin::PatternGrid*>();
    grid->installEventFilter(&watch);
    for (const double until = now() + 30; notes.onsets().size() < 4 && now() < until;)
        pumpUntil(now() + 0.01);
    if (notes.onsets().size() < 4) {
        std::printf("the window's notes are not heard\n");
        return 1;
    }

    std::vector<double> decided, painted;
    for (int i = 0; i < strokes; ++i) {
        const std::vector<double> heard = notes.onsets();
        const double beat = heard.back() + std::ceil((now() + 0.3 - heard.back()) / kBeat) * kBeat;
        pumpUntil(beat - 0.005);
        decidedAt = paintedAt = 0;
        watch.paintedAt = nullptr;
        waiting = true;
        const double sent = player.play(now(), 'A');
        while (!decidedAt && now() < sent + 1)
            pumpUntil(now() + 0.0005);
        watch.paintedAt = &paintedAt;
        while (decidedAt && !paintedAt && now() < sent + 1)
            pumpUntil(now() + 0.0005);
        waiting = false;
        if (decidedAt && paintedAt) {
            decided.push_back(decidedAt - sent);
            painted.push_back(paintedAt - sent);
        }
    }
    if (painted.empty()) {
        std::printf("no stroke was marked\n");
        return 1;
    }
    for (const auto& [name, v] : { std::pair { "its decision (the stdout line)", decided },
             std::pair { "the grid's painting of its mark", painted } })
        std::printf("MIDI note-on to %s, %zu strokes: median %.1f ms, 95th percentile %.1f ms, "
                    "max %.1f ms\n",
            name, v.size(), percentile(v, 0.5) * 1000, percentile(v, 0.95) * 1000,
            percentile(v, 1.0) * 1000);
    return 0;
}
