#include "midifile.h"

#include <algorithm>
#include <cmath>

namespace standin {

namespace {

    constexpr long kMaxMicrosPerQuarter = 0xFFFFFF;

    class TrackWriter {
    public:
        explicit TrackWriter(int microsPerQuarter)
            : micros_(microsPerQuarter)
        {
        }

        // Moves to the tick that the tempo map gives for the time. Where that tick misses the
        // time by too much (and correct is true), it moves at the tempo to one tick before the
        // time (or stays), lets a tempo change there make the next tick end on the time, and
        // restores the tempo at that tick.
        void place(double seconds, bool correct)
        {
            const double tickSeconds = micros_ / (1e6 * kMidiTicksPerQuarter);
            const double span = seconds - cursorSeconds_;
            const long ticks = std::max(0L, std::lround(span / tickSeconds));
            if (!correct || std::abs(ticks * tickSeconds - span) <= kMidiToleranceSeconds) {
                advance(ticks, tickSeconds);
                return;
            }
            advance(std::max(0L, long(std::floor(span / tickSeconds)) - 1), tickSeconds);
            const long micros
                = std::clamp(std::lround((seconds - cursorSeconds_) * 1e6 * kMidiTicksPerQuarter),
                    1L, kMaxMicrosPerQuarter);
            const int restore = micros_;
            tempo(int(micros));
            advance(1, micros / (1e6 * kMidiTicksPerQuarter));
            tempo(restore);
        }

        void tempo(int micros)
        {
            event({ 0xFF, 0x51, 0x03, std::uint8_t(micros >> 16), std::uint8_t(micros >> 8),
                std::uint8_t(micros) });
            micros_ = micros;
        }

        void event(std::initializer_list<std::uint8_t> data) { event(std::vector(data)); }
        // Writes the event at the current tick, after its delta time.
        void event(const std::vector<std::uint8_t>& data)
        {
            long delta = cursorTick_ - lastTick_;
            std::uint8_t groups[5];
            int n = 0;
            do {
                groups[n++] = std::uint8_t(delta & 0x7F);
                delta >>= 7;
            } while (delta > 0 && n < 5);
            while (n-- > 0)
                bytes_.push_back(std::uint8_t(groups[n] | (n > 0 ? 0x80 : 0)));
            bytes_.insert(bytes_.end(), data.begin(), data.end());
            lastTick_ = cursorTick_;
        }

        const std::vector<std::uint8_t>& bytes() const { return bytes_; }

    private:
        void advance(long ticks, double tickSeconds)
        {
            cursorTick_ += ticks;
            cursorSeconds_ += ticks * tickSeconds;
        }

        std::vector<std::uint8_t> bytes_;
        long cursorTick_ = 0;
        double cursorSeconds_ = 0; // the time of the cursor's tick, as a reader computes it
        long lastTick_ = 0; // of the last event written
        int micros_;
    };

    void put32(std::vector<std::uint8_t>& out, std::uint32_t value)
    {
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(std::uint8_t(value >> shift));
    }

    // Meta events at the start: the track's name and the time signature (its denominator as a
    // power of two, 24 MIDI clocks to a click, 8 32nd notes to a quarter).
    void startTrack(TrackWriter& track, const Performance& performance)
    {
        std::vector<std::uint8_t> name { 0xFF, 0x03,
            std::uint8_t(std::min<std::size_t>(performance.name.size(), 127)) };
        name.insert(name.end(), performance.name.begin(), performance.name.begin() + name[2]);
        track.event(name);
        std::uint8_t power = 0;
        while ((1 << power) < performance.beatUnit && power < 5)
            ++power;
        track.event({ 0xFF, 0x58, 0x04, std::uint8_t(performance.beatsPerBar), power, 24, 8 });
    }

} // namespace

std::vector<std::uint8_t> midiFileBytes(const Performance& performance)
{
    const auto firstTempo = std::find_if(performance.events.begin(), performance.events.end(),
        [](const MidiEvent& e) { return e.type == MidiEvent::Type::Tempo; });
    const int initial
        = firstTempo == performance.events.end() ? 500000 : firstTempo->microsPerQuarter;
    TrackWriter track(initial);
    startTrack(track, performance);
    if (performance.events.empty() || performance.events.front().type != MidiEvent::Type::Tempo)
        track.tempo(initial); // a tempo at the start, always

    // The lead-in is left out: the start falls on tick 0, or on the second bar (at the first
    // tempo) when a grace note comes before it.
    const bool countIn = std::any_of(
        performance.events.begin(), performance.events.end(), [&](const MidiEvent& e) {
            return e.type == MidiEvent::Type::NoteOn && e.seconds < performance.startSeconds;
        });
    const double bar = initial / 1e6 * performance.beatsPerBar * 4.0 / performance.beatUnit;
    const double shift = performance.startSeconds - (countIn ? bar : 0.0);
    for (const MidiEvent& event : performance.events) {
        MidiEvent e = event;
        e.seconds = e.seconds <= 0 ? 0.0 : std::max(0.0, e.seconds - shift); // the start stays
        const std::uint8_t channel = std::uint8_t(e.channel & 0x0F);
        switch (e.type) {
        case MidiEvent::Type::Tempo:
            track.place(e.seconds, true);
            track.tempo(e.microsPerQuarter);
            break;
        case MidiEvent::Type::ProgramChange:
            track.place(e.seconds, true);
            track.event({ std::uint8_t(0xC0 | channel), std::uint8_t(e.key & 0x7F) });
            break;
        case MidiEvent::Type::NoteOn:
        case MidiEvent::Type::NoteOff:
            track.place(e.seconds, true);
            track.event({ std::uint8_t((e.type == MidiEvent::Type::NoteOn ? 0x90 : 0x80) | channel),
                std::uint8_t(e.key & 0x7F), std::uint8_t(e.velocity & 0x7F) });
            break;
        }
    }
    track.place(std::max(0.0, performance.endSeconds - shift), false);
    track.event({ 0xFF, 0x2F, 0x00 });

    std::vector<std::uint8_t> out { 'M', 'T', 'h', 'd' };
    put32(out, 6);
    out.insert(out.end(), { 0, 0, 0, 1, kMidiTicksPerQuarter >> 8, kMidiTicksPerQuarter & 0xFF });
    out.insert(out.end(), { 'M', 'T', 'r', 'k' });
    put32(out, std::uint32_t(track.bytes().size()));
    out.insert(out.end(), track.bytes().begin(), track.bytes().end());
    return out;
}

} // namespace standin
