#pragma once

#include "strokequeue.h"

#include <memory>
#include <string>
#include <vector>

// Strokes from a microphone through PulseAudio (its own API): a source captured at 44.1 or
// 48 kHz, its strokes found by aubio's onset detection at a hop of under 3 ms, each stroke's
// moment taken from the capture's sample clock as the server reports its latency. PulseAudio's
// thread only copies the samples and the moment they were captured; the detection runs on a
// thread of its own, the rest in the caller's thread.
namespace standin {

struct SoundSource {
    std::string name; // PulseAudio's name, as "mic:NAME" takes it
    std::string description;
};

// The sources there are, the default first; empty with error set when no server answers.
std::vector<SoundSource> listSoundSources(std::string& error);

class MicInput {
public:
    MicInput();
    ~MicInput();
    MicInput(const MicInput&) = delete;
    MicInput& operator=(const MicInput&) = delete;

    // Captures the source (empty: the default one). False, with error set, when there is no
    // server or no such source.
    bool open(const std::string& source, std::string& error);
    void close();
    std::string opened() const; // "microphone NAME at 48000 Hz"

    void take(std::vector<InputStroke>& strokes);
    // The source gone, the server gone, samples lost: a line for each.
    void check(std::vector<std::string>& problems);

    struct Private;

private:
    std::unique_ptr<Private> d;
};

// How long the sound server holds this process's own playback (the synthesiser's stream) before
// it is heard, as the server reports it; asked again now and then.
class PlaybackLatency {
public:
    PlaybackLatency();
    ~PlaybackLatency();
    PlaybackLatency(const PlaybackLatency&) = delete;
    PlaybackLatency& operator=(const PlaybackLatency&) = delete;

    // False when no server answers (the sound goes elsewhere): then there is no figure.
    bool open();
    // Asks the server again (the answer comes later); called about once a second.
    void refresh();
    // Seconds, or a negative number while none is known.
    double seconds() const;

    struct Private;

private:
    std::unique_ptr<Private> d;
};

} // namespace standin
