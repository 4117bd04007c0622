#include "listener.h"

#include "micinput.h"
#include "midiinput.h"

#include <algorithm>

namespace standin {

namespace {

    constexpr double kCheckSeconds = 1.0; // how often the inputs are looked after
    constexpr double kLatencySeconds = 0.25; // how often the sound server is asked
    // How long after its moment a stroke may still come: MIDI through its queue (a JACK period
    // included), a microphone through the capture and the onset detection.
    constexpr double kMidiDelay = 0.030;
    constexpr double kMicDelay = 0.150;
    // The sound server's figure for the playback latency varies with the moment it is asked
    // (how full the buffer is): the median of the last few is used.
    constexpr std::size_t kLatenciesKept = 41;

} // namespace

struct Listener::Inputs {
    MidiInput midi;
    MicInput mic;
    PlaybackLatency playback;
};

bool InputChoice::parse(const std::string& text, InputChoice& choice, std::string& error)
{
    choice = InputChoice();
    if (text == "midi" || text == "mic") {
        choice.kind = text == "midi" ? Kind::Midi : Kind::Microphone;
        return true;
    }
    for (const auto& [prefix, kind] :
        { std::pair { "midi:", Kind::Midi }, std::pair { "mic:", Kind::Microphone } }) {
        const std::string p = prefix;
        if (text.size() > p.size() && text.compare(0, p.size(), p) == 0) {
            choice.kind = kind;
            choice.name = text.substr(p.size());
            return true;
        }
    }
    error = "the input must be midi, mic or mic:SOURCE, not \"" + text + "\"";
    return false;
}

std::string InputChoice::text() const
{
    const std::string kind = this->kind == Kind::Midi ? "midi" : "mic";
    return name.empty() ? kind : kind + ":" + name;
}

Listener::Listener() = default;

Listener::~Listener()
{
    stop();
}

bool Listener::start(const InputChoice& choice, std::string& error)
{
    stop();
    auto inputs = std::make_unique<Inputs>();
    const bool opened = choice.kind == InputChoice::Kind::Midi
        ? inputs->midi.open(choice.name, error)
        : inputs->mic.open(choice.name, error);
    if (!opened)
        return false;
    inputs->playback.open();
    mInputs = std::move(inputs);
    mChoice = choice;
    mListening = true;
    mPlayCount = -1;
    mServerLatencies.clear();
    mLastCheck = monotonicSeconds();
    return true;
}

void Listener::stop()
{
    mInputs.reset();
    mListening = false;
    mMatching = false;
}

bool Listener::listening() const
{
    return mListening;
}

std::vector<std::string> Listener::opened() const
{
    if (!mInputs)
        return {};
    if (mChoice.kind == InputChoice::Kind::Midi)
        return mInputs->midi.opened();
    return { mInputs->mic.opened() };
}

double Listener::playbackLatency(const PlaybackView& view) const
{
    if (mServerLatencies.empty())
        return view.bufferSeconds;
    std::vector<double> sorted(mServerLatencies.begin(), mServerLatencies.end());
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    return sorted[sorted.size() / 2];
}

void Listener::begin(const PlaybackView& view)
{
    mPlayCount = view.playCount;
    StrokeMatcher::Settings settings;
    settings.latency = mLatency;
    settings.anyPad = anyPad();
    settings.window = mWindow;
    settings.lanes = soundingVoices(*view.schedule);
    mMatcher.reset(settings);
    mStartedAt = monotonicSeconds();
    // Listening from the middle of a play: the notes already past are not this listening's.
    mFeed.reset(view.clock->positionAt(mStartedAt));
    mResults.clear();
    mMatching = true;
}

std::vector<MatchEvent> Listener::poll(const PlaybackView& view)
{
    if (!mInputs)
        return {};
    const double now = monotonicSeconds();
    const bool midi = mChoice.kind == InputChoice::Kind::Midi;
    if (now - mLastCheck >= kCheckSeconds) {
        mLastCheck = now;
        if (midi)
            mInputs->midi.check(mProblems);
        else
            mInputs->mic.check(mProblems);
    }
    if (now - mLastLatency >= kLatencySeconds) {
        mLastLatency = now;
        if (const double server = mInputs->playback.seconds(); server >= 0) {
            mServerLatencies.push_back(server);
            if (mServerLatencies.size() > kLatenciesKept)
                mServerLatencies.pop_front();
        }
        mInputs->playback.refresh();
    }
    std::vector<InputStroke> strokes;
    if (midi)
        mInputs->midi.take(strokes);
    else
        mInputs->mic.take(strokes);

    if (!view.playing || !view.schedule || !view.clock || !view.clock->valid()) {
        mMatching = false;
        return {};
    }
    if (!mMatching || view.playCount != mPlayCount)
        begin(view);
    const double heard = playbackLatency(view);
    if (view.progress)
        mFeed.feed(*view.progress, *view.schedule, mMatcher);
    else
        mFeed.feed(*view.schedule, mMatcher);
    for (const InputStroke& s : strokes) {
        if (s.monotonic < mStartedAt)
            continue;
        PlayedStroke played;
        played.seconds = view.clock->positionAt(s.monotonic) - heard;
        if (midi) {
            played.velocity = s.velocity;
            const unsigned voices = voicesForKey(view.schedule->header(), s.key);
            played.voices = anyPad() || voices == 0 ? kAnyVoice : voices;
        } else {
            played.level = s.level;
        }
        mMatcher.addStroke(played);
    }
    mMatcher.advance(view.clock->positionAt(now - (midi ? kMidiDelay : kMicDelay)) - heard);
    std::vector<MatchEvent> events = mMatcher.take();
    mResults.insert(mResults.end(), events.begin(), events.end());
    return events;
}

std::vector<std::string> Listener::takeProblems()
{
    std::vector<std::string> problems;
    problems.swap(mProblems);
    return problems;
}

} // namespace standin
