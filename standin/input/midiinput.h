#pragma once

#include "strokequeue.h"

#include <memory>
#include <string>
#include <vector>

// Strokes from MIDI: the input ports that RtMidi finds on the ALSA sequencer and on JACK, and a
// virtual input port "Tambrix stand-in" on each of the two that is running, which a kit or
// another program can connect to. A note-on becomes a stroke stamped on the monotonic clock in
// RtMidi's own thread (nothing more is done there); the rest happens in the caller's thread.
namespace standin {

inline constexpr const char* kVirtualPortName = "Tambrix stand-in";

struct MidiPort {
    std::string api; // "ALSA" or "JACK"
    std::string name; // as the API names it
    std::string label() const { return api + ": " + name; } // "JACK: system:midi_capture_1"
};

// Every MIDI input port there is now, on the APIs that are running (our own ports left out).
std::vector<MidiPort> listMidiPorts();

class MidiInput {
public:
    MidiInput();
    ~MidiInput();
    MidiInput(const MidiInput&) = delete;
    MidiInput& operator=(const MidiInput&) = delete;

    // Opens the virtual port on each API that is running and, when label is not empty, that
    // port (a MidiPort's label). False, with error set, when nothing could be opened or the port
    // named is not there.
    bool open(const std::string& label, std::string& error);
    void close();
    // What is open, one line each: "virtual port Tambrix stand-in on JACK".
    std::vector<std::string> opened() const;

    // The strokes that have come since the last call, in the order they came.
    void take(std::vector<InputStroke>& strokes);
    // Looks for what has gone (the port chosen, a server) or come back; a line for each change.
    // Called now and then (about once a second).
    void check(std::vector<std::string>& problems);

    struct Private;

private:
    std::unique_ptr<Private> d;
};

} // namespace standin
