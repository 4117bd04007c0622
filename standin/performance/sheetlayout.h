#pragma once

#include "scriptheader.h"
#include "sheet.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

// How the notes of one section fall into the measures of the staff: the meter's beam groups, the
// pattern's notes as strokes of the two voices, and one voice of one measure laid out as notes and
// rests, tuplets and beams. Used by buildSheet.
namespace standin::sheet {

inline constexpr int kWholeTicks = 4 * kTicksPerQuarter;

// A bar of the meter: where its beam groups (beats, or dotted quarters in 6/8, 9/8 and
// 12/8) begin, and the length of each.
struct Meter {
    int beats = 4;
    int beatType = 4;
    long long bar = kWholeTicks;
    long long group = kTicksPerQuarter;
    bool mergeLast = false; // eighths and shorter: groups of a quarter, the rest joined to the last

    Meter(int b, int d)
        : beats(b)
        , beatType(d)
        , bar((long long)(kWholeTicks) / d * b)
    {
        const long long beat = kWholeTicks / d;
        if (d >= 8 && b % 3 == 0 && b > 3)
            group = 3 * beat;
        else if (d >= 8)
            group = kTicksPerQuarter, mergeLast = true;
        else
            group = std::min<long long>(beat, 2 * kTicksPerQuarter);
    }

    // The groups of a measure of that length: their starts, then the measure's end.
    std::vector<long long> groups(long long length) const
    {
        std::vector<long long> starts;
        for (long long t = 0; t < length; t += group)
            starts.push_back(t);
        if (mergeLast && starts.size() > 1 && length - starts.back() < group)
            starts.pop_back();
        starts.push_back(length);
        return starts;
    }
};

// The time signature of a measure shorter than the bar: the smallest power of two from the
// bar's unit up to 64 that holds it exactly, else the fraction of a whole note itself.
std::array<int, 2> shortSignature(long long ticks, int beatType);

// One note of the pattern as the staff shows it.
struct Column {
    long long start = 0;
    int length = 0;
    Dynamic dynamic = Dynamic::Plain;
    bool flam = false;
    std::array<std::vector<Stroke>, kVoices> strokes;
};

// The notes as the header plays them: their ticks, and the strokes of each voice, one per staff
// position and notehead (two keys at one place make one notehead).
std::vector<Column> columnsOf(const ScriptHeader& header, const std::vector<PatternNote>& notes);

// One voice of the measure from tick from to tick to of its section (of sectionTicks in all), with
// the section's sticking.
VoiceBar layoutVoice(const std::vector<Column>& columns, const std::vector<std::string>& sticking,
    Voice voice, const Meter& meter, long long from, long long to, long long sectionTicks);

} // namespace standin::sheet
