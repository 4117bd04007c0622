#include "strokematch.h"

#include "performance.h"
#include "scriptheader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <numeric>

namespace standin {

namespace {

    long ms(double seconds)
    {
        return std::lround(seconds * 1000);
    }

    std::string signedMs(double seconds)
    {
        const long value = ms(seconds);
        return (value < 0 ? "" : "+") + std::to_string(value);
    }

    std::string tenths(double value)
    {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", value);
        return text;
    }

    std::string decimal(double seconds)
    {
        return tenths(seconds * 1000);
    }

    // A velocity, or a level in dBFS: the loudness a stroke is compared by.
    double loudness(const PlayedStroke& stroke)
    {
        return stroke.velocity >= 0 ? double(stroke.velocity) : stroke.level;
    }

    std::string loudnessField(const PlayedStroke& stroke)
    {
        if (stroke.velocity >= 0)
            return "velocity=" + std::to_string(stroke.velocity);
        if (std::isnan(stroke.level))
            return "level=?";
        return "level=" + std::to_string(std::lround(stroke.level));
    }

    constexpr std::size_t kPlainStrokesKept = 16;
    constexpr std::size_t kPlainStrokesNeeded = 3;
    constexpr double kKeptSeconds = 1.0; // decided notes kept behind the strokes, for windows

} // namespace

std::string voiceLetters(unsigned voices)
{
    std::string letters;
    for (int k = 0; k < 6; ++k)
        if (voices & (1u << k))
            letters += char('A' + k);
    return letters;
}

std::string resultLine(const StrokeResult& r)
{
    const std::string where = "loop=" + std::to_string(r.expected.loop)
        + " note=" + std::to_string(r.expected.note) + " voice=" + voiceLetters(r.expected.voices);
    switch (r.kind) {
    case StrokeResult::Kind::Hit: {
        std::string line
            = "stroke " + where + " offset=" + signedMs(r.offset) + " " + loudnessField(r.played);
        if (r.dynamicsOff)
            line += r.expected.dynamics == Dynamics::Accent ? " soft-accent" : " loud-ghost";
        return line;
    }
    case StrokeResult::Kind::Missed:
        return "missed " + where;
    case StrokeResult::Kind::Extra:
        break;
    }
    return "extra loop=" + std::to_string(r.loop) + " at=" + std::to_string(ms(r.at));
}

std::string summaryLine(const LoopSummary& s)
{
    return "Loop " + std::to_string(s.loop) + ": " + std::to_string(s.hit) + " of "
        + std::to_string(s.expected) + ", " + std::to_string(s.missed) + " missed, "
        + std::to_string(s.extra) + " extra, mean " + signedMs(s.mean) + " ms, spread "
        + std::to_string(ms(s.spread)) + " ms";
}

std::string eventLine(const MatchEvent& event)
{
    if (const auto* result = std::get_if<StrokeResult>(&event))
        return resultLine(*result);
    return summaryLine(std::get<LoopSummary>(event));
}

std::string resultsCsv(const std::vector<MatchEvent>& events, bool microphone)
{
    struct Row {
        double at;
        std::string text;
    };
    std::map<int, std::vector<Row>> loops;
    std::map<int, std::string> lines;
    for (const MatchEvent& event : events) {
        if (const auto* s = std::get_if<LoopSummary>(&event)) {
            lines[s->loop] = summaryLine(*s);
            continue;
        }
        const StrokeResult& r = std::get<StrokeResult>(event);
        const std::string level = r.played.velocity >= 0 ? std::to_string(r.played.velocity)
            : std::isnan(r.played.level)                 ? std::string()
                                                         : tenths(r.played.level);
        if (r.kind == StrokeResult::Kind::Extra) {
            loops[r.loop].push_back({ r.at,
                std::to_string(r.loop) + ",,," + "," + decimal(r.at) + ",," + level + ",extra" });
            continue;
        }
        const ExpectedStroke& e = r.expected;
        const double expected = e.seconds - e.loopStart;
        std::string row = std::to_string(e.loop) + "," + std::to_string(e.note) + ","
            + voiceLetters(e.voices) + "," + decimal(expected) + ",";
        if (r.kind == StrokeResult::Kind::Missed) {
            row += ",,,missed";
        } else {
            row += decimal(expected + r.offset) + "," + decimal(r.offset) + "," + level + ",";
            if (r.dynamicsOff)
                row += e.dynamics == Dynamics::Accent ? "soft accent" : "loud ghost";
        }
        loops[e.loop].push_back({ expected, row });
    }
    for (const auto& [loop, line] : lines)
        loops[loop];
    std::string csv = std::string("loop,note,voice,expected ms,stroke ms,offset ms,")
        + (microphone ? "level dBFS" : "velocity") + ",result\n";
    for (auto& [loop, rows] : loops) {
        std::stable_sort(
            rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.at < b.at; });
        for (const Row& row : rows)
            csv += row.text + "\n";
        if (const auto line = lines.find(loop); line != lines.end())
            csv += std::to_string(loop) + ",,,,,,,\"" + line->second + "\"\n";
    }
    return csv;
}

void StrokeMatcher::reset(const Settings& settings)
{
    *this = StrokeMatcher();
    mSettings = settings;
}

void StrokeMatcher::addLoop(int loop, double start)
{
    if (!loopNumbered(loop))
        mLoops.push_back({ loop, start, { loop }, {}, false });
}

void StrokeMatcher::addExpected(const ExpectedStroke& stroke)
{
    if (mSettings.anyPad && !mSlots.empty()) {
        Slot& last = mSlots.back();
        if (last.stroke.seconds == stroke.seconds && last.stroke.loop == stroke.loop) {
            last.stroke.voices |= stroke.voices;
            return;
        }
    }
    Slot slot;
    slot.stroke = stroke;
    mSlots.push_back(slot);
    place(mSlots.size() - 1);
    if (stroke.graded) {
        addLoop(stroke.loop, stroke.loopStart);
        ++loopNumbered(stroke.loop)->summary.expected;
    }
}

// The window of the slot just added, and the end of its lane's previous one: half the way to
// the neighbour, at most the window setting.
void StrokeMatcher::place(std::size_t index)
{
    Slot& slot = mSlots[index];
    const double w = mSettings.window;
    slot.low = slot.stroke.seconds - w;
    slot.high = slot.stroke.seconds + std::clamp((mKnownUntil - slot.stroke.seconds) / 2, 0.0, w);
    for (std::size_t i = index; i-- > 0;) {
        Slot& before = mSlots[i];
        if (!mSettings.anyPad && !(before.stroke.voices & slot.stroke.voices))
            continue;
        const double half = (slot.stroke.seconds - before.stroke.seconds) / 2;
        slot.low = slot.stroke.seconds - std::min(w, half);
        before.high = before.stroke.seconds + std::min(w, half);
        before.highFinal = true;
        break;
    }
}

void StrokeMatcher::setKnownUntil(double seconds)
{
    mKnownUntil = std::max(mKnownUntil, seconds);
    for (Slot& slot : mSlots) {
        if (slot.highFinal)
            continue;
        const double t = slot.stroke.seconds;
        slot.high = t + std::clamp((mKnownUntil - t) / 2, 0.0, mSettings.window);
        slot.highFinal = mKnownUntil >= t + 2 * mSettings.window;
    }
}

void StrokeMatcher::finish(double end)
{
    mFinished = true;
    mEnd = end;
    for (Slot& slot : mSlots)
        if (!slot.highFinal) {
            slot.high = slot.stroke.seconds + mSettings.window;
            slot.highFinal = true;
        }
}

// Whether a stroke of these voices at t can be decided now: no note still to come could take
// it. In a lane whose last known note is at p, a note to come (at knownUntil or later) has its
// window from (p + knownUntil) / 2 at the earliest; in a lane without notes, from
// knownUntil - window.
double StrokeMatcher::boundFor(unsigned voices) const
{
    if (mFinished)
        return 1e18;
    const double w = mSettings.window;
    double bound = 1e18;
    for (int k = 0; k < 6; ++k) {
        const unsigned lane = mSettings.anyPad ? kAnyVoice : (1u << k);
        if (!mSettings.anyPad && !(voices & lane & mSettings.lanes))
            continue;
        double laneBound = mKnownUntil - w;
        for (auto slot = mSlots.rbegin(); slot != mSlots.rend(); ++slot)
            if (slot->stroke.voices & lane) {
                laneBound = std::max(laneBound, (slot->stroke.seconds + mKnownUntil) / 2);
                break;
            }
        bound = std::min(bound, laneBound);
        if (mSettings.anyPad)
            break;
    }
    return bound;
}

void StrokeMatcher::addStroke(const PlayedStroke& stroke)
{
    const auto at = std::upper_bound(mPending.begin(), mPending.end(), stroke,
        [](const PlayedStroke& a, const PlayedStroke& b) { return a.seconds < b.seconds; });
    mPending.insert(at, stroke);
    while (!mPending.empty() && decide(mPending.front()))
        mPending.erase(mPending.begin());
}

double StrokeMatcher::plainLevel() const
{
    if (mPlainLevels.size() < kPlainStrokesNeeded)
        return NAN;
    return std::accumulate(mPlainLevels.begin(), mPlainLevels.end(), 0.0)
        / double(mPlainLevels.size());
}

StrokeMatcher::Loop* StrokeMatcher::loopNumbered(int number)
{
    for (Loop& loop : mLoops)
        if (loop.number == number)
            return &loop;
    return nullptr;
}

StrokeMatcher::Loop* StrokeMatcher::loopAt(double t)
{
    Loop* found = nullptr;
    for (Loop& loop : mLoops)
        if (loop.start <= t)
            found = &loop;
    return t <= mEnd ? found : nullptr;
}

void StrokeMatcher::hit(Slot& slot, const PlayedStroke& stroke, double t)
{
    slot.state = Slot::State::Hit;
    slot.played = stroke;
    if (!slot.stroke.graded)
        return;
    StrokeResult result;
    result.kind = StrokeResult::Kind::Hit;
    result.expected = slot.stroke;
    result.played = stroke;
    result.offset = t - slot.stroke.seconds;
    const double level = loudness(stroke);
    const double plain = plainLevel();
    if (!std::isnan(level)) {
        if (slot.stroke.dynamics == Dynamics::Plain) {
            mPlainLevels.push_back(level);
            if (mPlainLevels.size() > kPlainStrokesKept)
                mPlainLevels.pop_front();
        } else if (!std::isnan(plain)) {
            result.dynamicsOff
                = slot.stroke.dynamics == Dynamics::Accent ? level < plain : level > plain;
        }
    }
    if (Loop* loop = loopNumbered(slot.stroke.loop)) {
        ++loop->summary.hit;
        loop->summary.dynamicsOff += result.dynamicsOff ? 1 : 0;
        loop->offsets.push_back(result.offset);
    }
    mOut.push_back(result);
}

void StrokeMatcher::extra(const PlayedStroke& stroke, double t)
{
    Loop* loop = loopAt(t);
    if (!loop)
        return; // before the first loop (a count-in, an intro) or after the end
    StrokeResult result;
    result.kind = StrokeResult::Kind::Extra;
    result.played = stroke;
    result.loop = loop->number;
    result.at = t - loop->start;
    ++loop->summary.extra;
    mOut.push_back(result);
}

bool StrokeMatcher::decide(const PlayedStroke& stroke)
{
    const double t = stroke.seconds - mSettings.latency;
    if (t > boundFor(stroke.voices))
        return false;
    Slot* best = nullptr;
    for (Slot& slot : mSlots) {
        if (slot.state == Slot::State::Hit || slot.state == Slot::State::Closed)
            continue;
        if (!mSettings.anyPad && !(slot.stroke.voices & stroke.voices))
            continue;
        if (t < slot.low || t > slot.high)
            continue;
        if (!best || std::abs(t - slot.stroke.seconds) < std::abs(t - best->stroke.seconds))
            best = &slot;
    }
    if (!best) {
        extra(stroke, t);
        return true;
    }
    if (best->state == Slot::State::Held) {
        // A flam: the stroke held was its grace note when this one follows it closely.
        if (t - best->heldAt <= kGraceSpan) {
            hit(*best, stroke, t);
        } else {
            hit(*best, best->played, best->heldAt);
            extra(stroke, t);
        }
        return true;
    }
    if (best->stroke.flam) {
        best->state = Slot::State::Held;
        best->played = stroke;
        best->heldAt = t;
        return true;
    }
    hit(*best, stroke, t);
    return true;
}

void StrokeMatcher::advance(double strokesUntil)
{
    while (!mPending.empty() && decide(mPending.front()))
        mPending.erase(mPending.begin());
    double until = strokesUntil - mSettings.latency;
    if (!mPending.empty())
        until = std::min(until, mPending.front().seconds - mSettings.latency);
    for (Slot& slot : mSlots) {
        if (slot.state == Slot::State::Held
            && (slot.heldAt + kGraceSpan < until || (slot.highFinal && slot.high < until)))
            hit(slot, slot.played, slot.heldAt);
        if (slot.state != Slot::State::Open || !slot.highFinal || slot.high >= until)
            continue;
        slot.state = Slot::State::Closed;
        if (!slot.stroke.graded)
            continue;
        StrokeResult result;
        result.kind = StrokeResult::Kind::Missed;
        result.expected = slot.stroke;
        if (Loop* loop = loopNumbered(slot.stroke.loop))
            ++loop->summary.missed;
        mOut.push_back(result);
    }
    closeLoops(until);
    while (!mSlots.empty() && mSlots.front().state != Slot::State::Open
        && mSlots.front().state != Slot::State::Held
        && mSlots.front().stroke.seconds < until - kKeptSeconds)
        mSlots.pop_front();
}

void StrokeMatcher::closeLoops(double until)
{
    for (std::size_t i = 0; i < mLoops.size(); ++i) {
        Loop& loop = mLoops[i];
        if (loop.done)
            continue;
        const double end = i + 1 < mLoops.size() ? mLoops[i + 1].start : mFinished ? mEnd : 1e18;
        if (end > until)
            break;
        const bool open = std::any_of(mSlots.begin(), mSlots.end(), [&](const Slot& slot) {
            return slot.stroke.graded && slot.stroke.loop == loop.number
                && (slot.state == Slot::State::Open || slot.state == Slot::State::Held);
        });
        if (open)
            break;
        LoopSummary& s = loop.summary;
        const std::vector<double>& v = loop.offsets;
        if (!v.empty()) {
            s.mean = std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
            double squares = 0;
            for (double x : v) {
                squares += (x - s.mean) * (x - s.mean);
                s.worst = std::max(s.worst, std::abs(x));
            }
            s.spread = std::sqrt(squares / double(v.size()));
        }
        loop.done = true;
        mOut.push_back(s);
    }
    while (mLoops.size() > 2 && mLoops.front().done)
        mLoops.pop_front();
}

std::vector<MatchEvent> StrokeMatcher::take()
{
    std::vector<MatchEvent> out;
    out.swap(mOut);
    return out;
}

Calibration calibratedLatency(const std::vector<MatchEvent>& events, int clicks, double& latency)
{
    std::vector<double> offsets;
    for (const MatchEvent& event : events)
        if (const auto* r = std::get_if<StrokeResult>(&event);
            r && r->kind == StrokeResult::Kind::Hit)
            offsets.push_back(r->offset);
    latency = 0;
    if (offsets.empty() || 2 * int(offsets.size()) < clicks)
        return Calibration::TooFewStrokes;
    std::sort(offsets.begin(), offsets.end());
    const std::size_t n = offsets.size();
    latency = n % 2 ? offsets[n / 2] : (offsets[n / 2 - 1] + offsets[n / 2]) / 2;
    if (offsets[(3 * n) / 4 - (n % 4 == 0)] - offsets[n / 4] > kCalibrationSpread)
        return Calibration::Scattered;
    if (std::abs(latency) > kCalibrationFarthest)
        return Calibration::BetweenClicks;
    return Calibration::Done;
}

std::string calibrationScript()
{
    std::string notes;
    for (int i = 0; i < kCalibrationClicks; ++i)
        notes += i ? ",18" : "18";
    return "SET TEMPO=100\r\nSET TRACKVOICES(1)=" + std::to_string(kBeatClickKey)
        + ",35,42,46,50,45\r\nRAW [new-rud]=" + notes + "\r\n[new-rud]\r\n";
}

TrainerSettings trainerDefaults(int scriptTempo, int tempoChange, bool listening)
{
    TrainerSettings settings;
    if (!listening && tempoChange != 0)
        settings.step = tempoChange;
    settings.limit = std::clamp(scriptTempo + (settings.step < 0 ? -40 : 40), kMinTempo, kMaxTempo);
    return settings;
}

void SpeedTrainer::start(int tempo, const TrainerSettings& settings)
{
    mSettings = settings;
    mSettings.cleanLoops = std::max(1, settings.cleanLoops);
    mTempo = std::clamp(tempo, kMinTempo, kMaxTempo);
    mClean = 0;
}

bool SpeedTrainer::clean(const LoopSummary& s) const
{
    return s.missed == 0 && s.extra == 0 && s.worst <= mSettings.tolerance + 1e-9;
}

int SpeedTrainer::target() const
{
    const int limit = std::clamp(mSettings.limit, kMinTempo, kMaxTempo);
    if (mSettings.step >= 0)
        return mTempo >= limit ? mTempo : std::min(limit, mTempo + mSettings.step);
    return mTempo <= limit ? mTempo : std::max(limit, mTempo + mSettings.step);
}

int SpeedTrainer::loopEnded(const LoopSummary* summary)
{
    if (summary && !clean(*summary)) {
        mClean = 0;
        return mTempo;
    }
    if (++mClean >= mSettings.cleanLoops) {
        mTempo = target();
        mClean = 0;
    }
    return mTempo;
}

} // namespace standin
