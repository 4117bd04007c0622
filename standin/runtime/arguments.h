#pragma once

#include <QString>
#include <QStringList>
#include <string>

// The stand-in host's command line. Options are matched exactly (case counts); a value follows
// its option as the next argument or after "=" ("--render=out.wav"); "--" ends the options;
// each option may be given once. "--version", "--help", "--stop" and "--init DIR" stand alone.
namespace standin {

// How a script is performed.
struct PlayOptions {
    bool noTimeSignature = false;
    std::string soundFont; // empty: the system's General MIDI SoundFont
    std::string audioDriver; // empty: PulseAudio, else FluidSynth's default
    std::string renderFile; // a WAV file to write instead of playing live
    std::string midiFile; // a Standard MIDI File to write instead of playing live
    std::string sheetFile; // the sheet (MusicXML) to write instead of playing live
    bool writesFiles() const
    {
        return !renderFile.empty() || !midiFile.empty() || !sheetFile.empty();
    }
};

struct CommandLine {
    enum class Mode { Initialise, InitialiseFolder, Play, Stop, Version, Help };
    Mode mode = Mode::Initialise; // no argument at all: initialise the host's own folder
    QString folder; // --init DIR, as given
    QString script;
    PlayOptions options;
    bool noWindow = false; // --no-window: a live performance plays in the console
};

// False on wrong arguments, with error set to one line that names the wrong argument.
bool parseArguments(const QStringList& arguments, CommandLine& line, std::string& error);

} // namespace standin
