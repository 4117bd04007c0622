#pragma once

#include "strokematch.h"
#include "transport.h"

#include <QWidget>
#include <map>

class QLabel;
class QPushButton;
class QSettings;
class QSpinBox;

// The practice window's speed trainer: "Step up by N q/min after M clean loops, up to X", on
// and off (the "Trainer" button, R) and its settings remembered. Listening, a loop is clean when
// nothing was missed or extra and every stroke was within 25 ms, and a step sounds from the loop
// after the next (the loop's line comes once the next has begun); not listening, it steps by
// loops alone, from the loop that follows. It plugs in through PracticeSchedule::setLoopTempo,
// from the tempo the Tempo box shows when play starts; the current tempo and the next target
// are shown beside it.
namespace standin {

class TrainerPanel : public QWidget {
    Q_OBJECT
public:
    TrainerPanel(
        Transport& transport, QPushButton* toggle, QSettings& settings, QWidget* parent = nullptr);

    QPushButton* toggle() const { return mToggle; }
    bool on() const;
    TrainerSettings settings() const;
    // A new script: its tempo and TEMPOCHANGE give the defaults not set by the user.
    void scriptLoaded(int scriptTempo, int tempoChange);
    void setListening(bool listening);
    // While the window calibrates an input: no steps.
    void suspend(bool suspended);
    // What the user sees: "Tempo 104, next 108 after 1 clean loop" (or "at the limit").
    QString text() const;

    // A loop summed up by play-along; the playhead.
    void loopDone(const LoopSummary& summary);
    void setPosition(const PracticeSchedule::Position& position);

private:
    void apply();
    void changed();
    void showText();

    Transport& mTransport;
    QPushButton* mToggle;
    QSettings& mSettings;
    QSpinBox* mStep;
    QSpinBox* mClean;
    QSpinBox* mLimit;
    QLabel* mShown;
    bool mListening = false;
    bool mSuspended = false;
    int mScriptTempo = 100;
    int mBase = 100; // the tempo it started from
    SpeedTrainer mTrainer; // listening: the loops heard so far
    std::map<int, int> mSteps; // listening: repeat (from 0) -> tempo from it on
    int mRepeat = 0;
    int mTempo = 0; // now playing
};

} // namespace standin
