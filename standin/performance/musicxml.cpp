#include "musicxml.h"

#include "gmnames.h"

namespace standin::sheet {

namespace {

    std::string escaped(const std::string& text)
    {
        std::string out;
        for (char c : text) {
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
            }
        }
        return out;
    }

    const char* typeName(int type)
    {
        switch (type) {
        case 1:
            return "whole";
        case 2:
            return "half";
        case 4:
            return "quarter";
        case 8:
            return "eighth";
        case 16:
            return "16th";
        case 32:
            return "32nd";
        default:
            return "64th";
        }
    }

    const char* headName(Head head)
    {
        switch (head) {
        case Head::Normal:
            return "normal";
        case Head::X:
            return "x";
        case Head::CircledX:
            return "circle-x";
        case Head::Slash:
            return "slash";
        case Head::Diamond:
            return "diamond";
        case Head::Triangle:
            break;
        }
        return "triangle";
    }

    const char* beamName(Beam beam)
    {
        switch (beam) {
        case Beam::Begin:
            return "begin";
        case Beam::Continue:
            return "continue";
        case Beam::End:
            return "end";
        case Beam::ForwardHook:
            return "forward hook";
        case Beam::BackwardHook:
        case Beam::None:
            break;
        }
        return "backward hook";
    }

    std::string instrumentId(int key)
    {
        return "P1-I" + std::to_string(key + 1);
    }

    class Writer {
    public:
        Writer(const Sheet& sheet, const std::function<bool(std::string_view)>& sink)
            : sheet_(sheet)
            , sink_(sink)
        {
        }

        bool document()
        {
            out_ = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
                   "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 3.1 "
                   "Partwise//EN\" \"http://www.musicxml.org/dtds/partwise.dtd\">\n"
                   "<score-partwise version=\"3.1\">\n";
            line(1, "<work><work-title>" + escaped(sheet_.title) + "</work-title></work>");
            line(1,
                "<identification><encoding><software>TAMBRIX.EXE, the Rudimix stand-in "
                "host</software></encoding></identification>");
            partList();
            line(1, "<part id=\"P1\">");
            for (const Measure& m : sheet_.measures) {
                measure(m);
                if (!flush())
                    return false;
            }
            line(1, "</part>");
            out_ += "</score-partwise>\n";
            return flush();
        }

    private:
        bool flush()
        {
            const bool written = sink_(out_);
            out_.clear();
            return written;
        }

        void line(int depth, const std::string& text)
        {
            out_.append(std::size_t(2 * depth), ' ');
            out_ += text;
            out_ += '\n';
        }

        void partList()
        {
            line(1, "<part-list>");
            line(2, "<score-part id=\"P1\">");
            line(3, "<part-name>Drums</part-name>");
            for (int key : sheet_.keys) {
                line(3,
                    "<score-instrument id=\"" + instrumentId(key) + "\"><instrument-name>"
                        + escaped(percussionName(key).toStdString())
                        + "</instrument-name></score-instrument>");
            }
            for (int key : sheet_.keys) {
                line(3,
                    "<midi-instrument id=\"" + instrumentId(key)
                        + "\"><midi-channel>10</midi-channel><midi-program>"
                        + std::to_string(sheet_.program + 1) + "</midi-program><midi-unpitched>"
                        + std::to_string(key + 1) + "</midi-unpitched></midi-instrument>");
            }
            line(2, "</score-part>");
            line(1, "</part-list>");
        }

        void direction(
            const std::string& type, const std::string& placement, const std::string& sound = {})
        {
            line(3, "<direction placement=\"" + placement + "\">");
            line(4, "<direction-type>" + type + "</direction-type>");
            if (!sound.empty())
                line(4, sound);
            line(3, "</direction>");
        }

        void measure(const Measure& m)
        {
            const bool first = m.number == 1;
            const Section& section = sheet_.sections[std::size_t(m.section)];
            const bool sectionStart = section.firstMeasure == m.number - 1;
            const bool sectionEnd = section.firstMeasure + section.measureCount == m.number;
            line(2, "<measure number=\"" + std::to_string(m.number) + "\">");
            if (m.repeatStart || m.endingStart) {
                line(3, "<barline location=\"left\">");
                if (m.repeatStart)
                    line(4, "<bar-style>heavy-light</bar-style>");
                if (m.endingStart)
                    line(4,
                        "<ending number=\"" + m.endingNumbers + "\" type=\"start\">"
                            + escaped(m.endingText) + "</ending>");
                if (m.repeatStart)
                    line(4, "<repeat direction=\"forward\"/>");
                line(3, "</barline>");
            }
            if (first || m.showTime) {
                line(3, "<attributes>");
                if (first)
                    line(4, "<divisions>" + std::to_string(kMusicXmlDivisions) + "</divisions>");
                if (m.showTime)
                    line(4,
                        "<time><beats>" + std::to_string(m.beats) + "</beats><beat-type>"
                            + std::to_string(m.beatType) + "</beat-type></time>");
                if (first) {
                    line(4, "<clef><sign>percussion</sign></clef>");
                    line(4, "<staff-details><staff-lines>5</staff-lines></staff-details>");
                }
                line(3, "</attributes>");
            }
            if (first) {
                const std::string tempo = std::to_string(sheet_.tempo);
                direction("<metronome><beat-unit>quarter</beat-unit><per-minute>" + tempo
                        + "</per-minute></metronome>",
                    "above", "<sound tempo=\"" + tempo + "\"/>");
                if (!sheet_.tempoText.empty())
                    direction("<words>" + escaped(sheet_.tempoText) + "</words>", "above");
                std::string legend;
                for (const LegendEntry& entry : sheet_.legend)
                    legend += (legend.empty() ? "Triangle: " : ", ") + entry.name;
                if (!legend.empty())
                    direction("<words>" + escaped(legend) + "</words>", "below");
            }
            if (sectionStart)
                direction("<rehearsal>" + escaped(section.mark) + "</rehearsal>", "above");
            if (!m.repeatText.empty())
                direction("<words>" + escaped(m.repeatText) + "</words>", "above");

            bool written = false;
            for (int v = 0; v < kVoices; ++v) {
                const VoiceBar& bar = m.voices[std::size_t(v)];
                if (bar.elements.empty())
                    continue;
                if (written)
                    line(
                        3, "<backup><duration>" + std::to_string(m.ticks) + "</duration></backup>");
                written = true;
                for (std::size_t i = 0; i < bar.elements.size(); ++i)
                    element(bar, i, Voice(v));
            }

            // The volta's end in a barline of its own before the one with the repeat sign:
            // LilyPond's musicxml2ly takes the two from one barline in the other order and leaves
            // the repeat inside the volta, with a warning.
            if (m.endingStop) {
                line(3, "<barline location=\"right\">");
                line(4, "<ending number=\"" + m.endingNumbers + "\" type=\"stop\"/>");
                line(3, "</barline>");
            }
            const bool last = m.number == int(sheet_.measures.size());
            if (m.repeatEnd || last || sectionEnd) {
                line(3, "<barline location=\"right\">");
                line(4,
                    std::string("<bar-style>")
                        + (m.repeatEnd || last ? "light-heavy" : "light-light") + "</bar-style>");
                if (m.repeatEnd)
                    line(4,
                        "<repeat direction=\"backward\" times=\"" + std::to_string(m.repeatTimes)
                            + "\"/>");
                line(3, "</barline>");
            }
            line(2, "</measure>");
        }

        // The note's parts that come after its duration and ties, in their order.
        std::string common(const Element& e, const Stroke* stroke, Voice voice, bool grace) const
        {
            std::string text;
            if (stroke)
                text += "<instrument id=\"" + instrumentId(stroke->key) + "\"/>";
            text += "<voice>" + std::to_string(int(voice) + 1) + "</voice>";
            if (grace) {
                text += "<type>eighth</type>";
            } else if (!e.wholeMeasure) {
                text += std::string("<type>") + typeName(e.length.type) + "</type>";
                for (int d = 0; d < e.length.dots; ++d)
                    text += "<dot/>";
            }
            return text;
        }

        void element(const VoiceBar& bar, std::size_t index, Voice voice)
        {
            const Element& e = bar.elements[index];
            const std::string slurNumber = std::to_string(int(voice) + 1);
            const std::string stem = voice == Voice::Upper ? "up" : "down";
            std::string lyric;
            if (!e.sticking.empty())
                lyric = "<lyric number=\"1\"><syllabic>single</syllabic><text>" + e.sticking
                    + "</text></lyric>";
            if (e.rest) {
                std::string text = "<note>";
                text += e.wholeMeasure ? "<rest measure=\"yes\"/>" : "<rest/>";
                text += "<duration>" + std::to_string(e.length.ticks) + "</duration>";
                text += common(e, nullptr, voice, false) + timeModification(bar, e);
                const std::string notations = tupletMarks(bar, index, voice);
                if (!notations.empty())
                    text += "<notations>" + notations + "</notations>";
                line(3, text + "</note>");
                return;
            }
            for (std::size_t s = 0; e.flam && s < e.strokes.size(); ++s) {
                const Stroke& stroke = e.strokes[s];
                std::string text = "<note><grace slash=\"yes\"/>";
                text += s > 0 ? "<chord/>" : "";
                text += unpitched(stroke) + common(e, &stroke, voice, true);
                text += "<stem>" + stem + "</stem>" + notehead(e, stroke);
                if (s == 0)
                    text += "<notations><slur type=\"start\" number=\"" + slurNumber
                        + "\"/></notations>";
                line(3, text + "</note>");
            }
            for (std::size_t s = 0; s < e.strokes.size(); ++s) {
                const Stroke& stroke = e.strokes[s];
                std::string text = "<note>";
                text += s > 0 ? "<chord/>" : "";
                text += unpitched(stroke);
                text += "<duration>" + std::to_string(e.length.ticks) + "</duration>";
                if (e.tiedFromPrevious)
                    text += "<tie type=\"stop\"/>";
                if (e.tiedToNext)
                    text += "<tie type=\"start\"/>";
                text += common(e, &stroke, voice, false) + timeModification(bar, e);
                if (e.length.type > 1)
                    text += "<stem>" + stem + "</stem>";
                text += notehead(e, stroke);
                for (std::size_t level = 0; s == 0 && level < e.beams.size(); ++level) {
                    if (e.beams[level] != Beam::None)
                        text += "<beam number=\"" + std::to_string(level + 1) + "\">"
                            + beamName(e.beams[level]) + "</beam>";
                }
                std::string notations;
                if (e.tiedFromPrevious)
                    notations += "<tied type=\"stop\"/>";
                if (e.tiedToNext)
                    notations += "<tied type=\"start\"/>";
                if (s == 0 && e.flam)
                    notations += "<slur type=\"stop\" number=\"" + slurNumber + "\"/>";
                if (s == 0)
                    notations += tupletMarks(bar, index, voice);
                if (stroke.open && !e.tiedFromPrevious)
                    notations += "<technical><open-string/></technical>";
                if (s == 0 && e.dynamic == Dynamic::Accent && !e.tiedFromPrevious)
                    notations += "<articulations><accent/></articulations>";
                if (!notations.empty())
                    text += "<notations>" + notations + "</notations>";
                if (s == 0)
                    text += lyric;
                line(3, text + "</note>");
            }
        }

        static std::string unpitched(const Stroke& stroke)
        {
            return std::string("<unpitched><display-step>") + stepLetter(stroke.step)
                + "</display-step><display-octave>" + std::to_string(stepOctave(stroke.step))
                + "</display-octave></unpitched>";
        }

        static std::string notehead(const Element& e, const Stroke& stroke)
        {
            const bool ghost = e.dynamic == Dynamic::Ghost && !e.tiedFromPrevious;
            return std::string("<notehead") + (ghost ? " parentheses=\"yes\"" : "") + ">"
                + headName(stroke.head) + "</notehead>";
        }

        static std::string timeModification(const VoiceBar& bar, const Element& e)
        {
            if (!e.length.tuplet())
                return {};
            std::string text = "<time-modification><actual-notes>" + std::to_string(e.length.actual)
                + "</actual-notes><normal-notes>" + std::to_string(e.length.normal)
                + "</normal-notes>";
            const int unit = e.tuplet >= 0 ? bar.tuplets[std::size_t(e.tuplet)].normalType : 0;
            if (unit != 0 && unit != e.length.type)
                text += std::string("<normal-type>") + typeName(unit) + "</normal-type>";
            return text + "</time-modification>";
        }

        static std::string tupletMarks(const VoiceBar& bar, std::size_t index, Voice voice)
        {
            const Element& e = bar.elements[index];
            if (e.tuplet < 0)
                return {};
            const Tuplet& t = bar.tuplets[std::size_t(e.tuplet)];
            const std::string number = std::to_string(int(voice) + 1);
            std::string text;
            if (t.first == int(index))
                text += "<tuplet type=\"start\" number=\"" + number + "\" bracket=\"yes\""
                    + (t.ratioShown ? " show-number=\"both\"" : "") + "/>";
            if (t.last == int(index))
                text += "<tuplet type=\"stop\" number=\"" + number + "\"/>";
            return text;
        }

        const Sheet& sheet_;
        const std::function<bool(std::string_view)>& sink_;
        std::string out_; // not yet handed to the sink
    };

} // namespace

bool writeMusicXml(const Sheet& sheet, const std::function<bool(std::string_view)>& sink)
{
    return Writer(sheet, sink).document();
}

std::string musicXml(const Sheet& sheet)
{
    std::string text;
    writeMusicXml(sheet, [&](std::string_view part) {
        text += part;
        return true;
    });
    return text;
}

} // namespace standin::sheet
