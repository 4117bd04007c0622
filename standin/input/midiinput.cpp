#include "midiinput.h"

#include "playbackclock.h"

#include <RtMidi.h>
#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <atomic>
#include <mutex>

namespace standin {

namespace {

    // ALSA's and JACK's libraries print their complaints (no sequencer, no server) themselves;
    // they are ours to report.
    void quietAlsa(const char*, int, const char*, int, const char*, ...) { }
    void quietJack(const char*) { }

    void quietLibraries()
    {
        static std::once_flag once;
        std::call_once(once, [] {
            snd_lib_error_set_handler(quietAlsa);
            jack_set_error_function(quietJack);
            jack_set_info_function(quietJack);
        });
    }

    bool alsaSequencerRunning()
    {
        snd_seq_t* seq = nullptr;
        if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, 0) < 0)
            return false;
        snd_seq_close(seq);
        return true;
    }

    const char* apiName(RtMidi::Api api)
    {
        return api == RtMidi::LINUX_ALSA ? "ALSA" : "JACK";
    }

    // A client of the JACK server that only watches it: told when the server goes away.
    struct JackWatch {
        jack_client_t* client = nullptr;
        std::atomic<bool> down { false };

        static void onShutdown(void* arg) { static_cast<JackWatch*>(arg)->down = true; }

        bool open()
        {
            jack_status_t status {};
            client = jack_client_open("Tambrix stand-in watch", JackNoStartServer, &status);
            if (!client)
                return false;
            jack_on_shutdown(client, onShutdown, this);
            if (jack_activate(client) != 0) {
                jack_client_close(client);
                client = nullptr;
                return false;
            }
            return true;
        }
        ~JackWatch()
        {
            if (client && !down)
                jack_client_close(client);
        }
    };

} // namespace

struct MidiInput::Private {
    struct Source {
        RtMidi::Api api = RtMidi::UNSPECIFIED;
        std::string port; // empty: the virtual port
        std::unique_ptr<RtMidiIn> in;
        HandOverRing<InputStroke, 1024> ring;
        std::mutex errorsMutex;
        std::vector<std::string> errors;
        bool gone = false;

        std::string what() const
        {
            return port.empty()
                ? std::string("virtual port ") + kVirtualPortName + " on " + apiName(api)
                : std::string("MIDI port ") + apiName(api) + ": " + port;
        }
    };

    std::vector<std::unique_ptr<Source>> sources;
    std::unique_ptr<JackWatch> jack;
    bool jackReported = false;

    static void onMessage(double, std::vector<unsigned char>* message, void* data)
    {
        const std::vector<unsigned char>& m = *message;
        if (m.size() < 3 || (m[0] & 0xf0) != 0x90 || m[2] == 0)
            return;
        static_cast<Source*>(data)->ring.push({ monotonicSeconds(), m[1], m[2], 0 });
    }

    static void onError(RtMidiError::Type, const std::string& text, void* data)
    {
        auto* source = static_cast<Source*>(data);
        std::lock_guard<std::mutex> lock(source->errorsMutex);
        source->errors.push_back(text);
    }

    // Opens the virtual port (port empty) or the port of that name; false with error set.
    bool add(RtMidi::Api api, const std::string& port, std::string& error)
    {
        auto source = std::make_unique<Source>();
        source->api = api;
        source->port = port;
        try {
            source->in = std::make_unique<RtMidiIn>(api, kVirtualPortName);
            source->in->setErrorCallback(onError, source.get());
            source->in->setCallback(onMessage, source.get());
            if (port.empty()) {
                source->in->openVirtualPort(kVirtualPortName);
            } else {
                const unsigned count = source->in->getPortCount();
                unsigned index = count;
                for (unsigned i = 0; i < count; ++i)
                    if (source->in->getPortName(i) == port)
                        index = i;
                if (index == count) {
                    error = std::string("the MIDI port ") + apiName(api) + ": " + port
                        + " is not there";
                    return false;
                }
                source->in->openPort(index, kVirtualPortName);
            }
        } catch (const RtMidiError& e) {
            error = source->what() + ": " + e.getMessage();
            return false;
        }
        std::lock_guard<std::mutex> lock(source->errorsMutex);
        if (!source->errors.empty()) {
            error = source->what() + ": " + source->errors.front();
            return false;
        }
        sources.push_back(std::move(source));
        return true;
    }
};

std::vector<MidiPort> listMidiPorts()
{
    quietLibraries();
    std::vector<MidiPort> ports;
    for (RtMidi::Api api : { RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK }) {
        if (api == RtMidi::LINUX_ALSA && !alsaSequencerRunning())
            continue;
        if (api == RtMidi::UNIX_JACK) {
            JackWatch probe;
            if (!probe.open())
                continue;
        }
        try {
            RtMidiIn lister(api, "Tambrix stand-in list");
            lister.setErrorCallback([](RtMidiError::Type, const std::string&, void*) {}, nullptr);
            const unsigned count = lister.getPortCount();
            for (unsigned i = 0; i < count; ++i) {
                const std::string name = lister.getPortName(i);
                if (name.find(kVirtualPortName) == std::string::npos)
                    ports.push_back({ apiName(api), name });
            }
        } catch (const RtMidiError&) {
        }
    }
    return ports;
}

MidiInput::MidiInput()
    : d(std::make_unique<Private>())
{
}

MidiInput::~MidiInput()
{
    close();
}

bool MidiInput::open(const std::string& label, std::string& error)
{
    close();
    quietLibraries();
    std::string causes;
    const bool alsa = alsaSequencerRunning();
    auto jack = std::make_unique<JackWatch>();
    const bool jackRunning = jack->open();
    if (jackRunning)
        d->jack = std::move(jack);
    for (RtMidi::Api api : { RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK }) {
        if (!(api == RtMidi::LINUX_ALSA ? alsa : jackRunning))
            continue;
        std::string why;
        if (!d->add(api, "", why))
            causes += (causes.empty() ? "" : "; ") + why;
    }
    if (!label.empty()) {
        const std::size_t colon = label.find(": ");
        const std::string api = colon == std::string::npos ? "" : label.substr(0, colon);
        if (api != "ALSA" && api != "JACK") {
            error = "no MIDI port " + label + " (an ALSA: or JACK: port)";
            close();
            return false;
        }
        const RtMidi::Api which = api == "ALSA" ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
        if (!(which == RtMidi::LINUX_ALSA ? alsa : jackRunning)) {
            error = "the MIDI port " + label + " cannot be opened: "
                + (which == RtMidi::LINUX_ALSA ? "the ALSA sequencer is not there"
                                               : "no JACK server is running");
            close();
            return false;
        }
        if (!d->add(which, label.substr(colon + 2), error)) {
            close();
            return false;
        }
    }
    if (d->sources.empty()) {
        error = causes.empty()
            ? std::string("no MIDI input: neither the ALSA sequencer nor a JACK server is running")
            : "no MIDI input: " + causes;
        close();
        return false;
    }
    return true;
}

void MidiInput::close()
{
    // A JACK server gone leaves its clients behind: they are not closed then.
    if (d->jack && d->jack->down)
        for (auto& source : d->sources)
            if (source->api == RtMidi::UNIX_JACK)
                (void)source->in.release();
    d->sources.clear();
    d->jack.reset();
    d->jackReported = false;
}

std::vector<std::string> MidiInput::opened() const
{
    std::vector<std::string> lines;
    for (const auto& source : d->sources)
        lines.push_back(source->what());
    return lines;
}

void MidiInput::take(std::vector<InputStroke>& strokes)
{
    for (auto& source : d->sources) {
        InputStroke stroke;
        while (source->ring.pop(stroke))
            strokes.push_back(stroke);
    }
}

void MidiInput::check(std::vector<std::string>& problems)
{
    for (auto& source : d->sources) {
        std::lock_guard<std::mutex> lock(source->errorsMutex);
        for (const std::string& e : source->errors)
            problems.push_back(source->what() + ": " + e);
        source->errors.clear();
        if (const std::size_t dropped = source->ring.takeDropped())
            problems.push_back(
                source->what() + ": " + std::to_string(dropped) + " strokes came too fast, lost");
    }
    if (d->jack && d->jack->down && !d->jackReported) {
        d->jackReported = true;
        problems.push_back("the JACK server has stopped: its MIDI ports are gone");
    }
    bool anyPort = false;
    for (const auto& source : d->sources)
        anyPort = anyPort || !source->port.empty();
    if (!anyPort)
        return;
    const std::vector<MidiPort> ports = listMidiPorts();
    for (auto& source : d->sources) {
        if (source->port.empty() || (source->api == RtMidi::UNIX_JACK && d->jackReported))
            continue;
        bool there = false;
        for (const MidiPort& port : ports)
            there = there || (port.api == apiName(source->api) && port.name == source->port);
        if (there == !source->gone)
            continue;
        source->gone = !there;
        problems.push_back(source->what() + (there ? " is back" : " is gone"));
        if (there) {
            // Connected again: a port that went away and came back is a new port.
            try {
                source->in->closePort();
                const unsigned count = source->in->getPortCount();
                for (unsigned i = 0; i < count; ++i)
                    if (source->in->getPortName(i) == source->port) {
                        source->in->openPort(i, kVirtualPortName);
                        break;
                    }
            } catch (const RtMidiError& e) {
                problems.push_back(source->what() + ": " + e.getMessage());
            }
        }
    }
}

} // namespace standin
