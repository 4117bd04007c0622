// The practice window's click against the kit, as WAV files for bench/practice-click.sh to
// measure: what the window plays (its schedule: count-in, click level, accent) rendered by the
// host's own synthesiser, without an audio device.
//   practice_click SOUNDFONT FOLDER LEVEL...
// writes FOLDER/kit-A.wav to kit-F.wav (one note of each voice at volume 5, the default keys)
// and FOLDER/click-LEVEL.wav for each level (a count-in of four beats at 60 quarter notes per
// minute: the accented first beat in its first second, three plain beats after).
#include "practiceschedule.h"
#include "script.h"
#include "synth.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

bool render(standin::Synthesiser& synth, const std::string& raw, int level, bool countIn,
    const std::filesystem::path& file)
{
    standin::Script script;
    standin::PracticeSchedule schedule;
    std::string error;
    const std::string text = "SET TEMPO=60\r\nRAW [new-rud]=" + raw + "\r\n[new-rud]\r\n";
    if (!standin::parseScript(text, script, error) || !schedule.load(script, false, error)) {
        std::fprintf(stderr, "practice_click: %s\n", error.c_str());
        return false;
    }
    schedule.setCountIn(countIn);
    schedule.setClickLevel(level);
    standin::Performance performance;
    performance.events = schedule.take(standin::kMaxSeconds);
    performance.endSeconds = schedule.endSeconds();
    if (synth.renderWav(performance, file, error) != standin::SoundResult::Ok) {
        std::fprintf(stderr, "practice_click: %s\n", error.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: practice_click SOUNDFONT FOLDER LEVEL...\n");
        return 2;
    }
    standin::Synthesiser synth;
    std::string error;
    if (synth.loadSoundFont(argv[1], error) != standin::SoundResult::Ok) {
        std::fprintf(stderr, "practice_click: %s\n", error.c_str());
        return 1;
    }
    const std::filesystem::path folder = argv[2];
    for (char voice = 'A'; voice <= 'F'; ++voice)
        if (!render(synth, std::string("15>") + voice, 0, false,
                folder / (std::string("kit-") + voice + ".wav")))
            return 1;
    for (int i = 3; i < argc; ++i)
        if (!render(synth, "10", std::atoi(argv[i]), true,
                folder / (std::string("click-") + argv[i] + ".wav")))
            return 1;
    return 0;
}
