#include "trainerpanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>

namespace standin {

namespace {

    const QString kOnKey = QStringLiteral("trainer/on");
    const QString kStepKey = QStringLiteral("trainer/step");
    const QString kCleanKey = QStringLiteral("trainer/cleanLoops");
    const QString kLimitKey = QStringLiteral("trainer/limit");

    QSpinBox* spinBox(const QString& name, const QString& accessible, int low, int high)
    {
        auto* box = new QSpinBox;
        box->setObjectName(name);
        box->setAccessibleName(accessible);
        box->setRange(low, high);
        box->setKeyboardTracking(false);
        return box;
    }

    // Not listening every loop is clean: the tempo of a repeat follows from the settings alone.
    int steppedTempo(int base, const TrainerSettings& settings, int repeat)
    {
        SpeedTrainer trainer;
        trainer.start(base, settings);
        for (int i = 0; i < repeat && trainer.tempo() != trainer.target(); ++i)
            trainer.loopEnded(nullptr);
        return trainer.tempo();
    }

} // namespace

TrainerPanel::TrainerPanel(
    Transport& transport, QPushButton* toggle, QSettings& settings, QWidget* parent)
    : QWidget(parent)
    , mTransport(transport)
    , mToggle(toggle)
    , mSettings(settings)
    , mStep(spinBox(QStringLiteral("trainerStep"), QStringLiteral("Step up by"), -40, 40))
    , mClean(
          spinBox(QStringLiteral("trainerCleanLoops"), QStringLiteral("After clean loops"), 1, 99))
    , mLimit(spinBox(QStringLiteral("trainerLimit"), QStringLiteral("Up to"), kMinTempo, kMaxTempo))
    , mShown(new QLabel)
{
    setObjectName(QStringLiteral("trainerPanel"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(mToggle);
    auto* by = new QLabel(QStringLiteral("Step up by"));
    auto* after = new QLabel(QStringLiteral("q/min after"));
    auto* upTo = new QLabel(QStringLiteral("clean loops, up to"));
    by->setBuddy(mStep);
    after->setBuddy(mClean);
    upTo->setBuddy(mLimit);
    for (QWidget* w : std::initializer_list<QWidget*> { by, mStep, after, mClean, upTo, mLimit })
        row->addWidget(w);
    mShown->setObjectName(QStringLiteral("trainerTempo"));
    mShown->setAccessibleName(QStringLiteral("Trainer"));
    row->addWidget(mShown);
    row->addStretch();
    mToggle->setToolTip(QStringLiteral(
        "Speed trainer: the tempo steps up after clean loops (listening: nothing missed or "
        "extra, every stroke within 25 ms) (R)"));

    const TrainerSettings defaults = trainerDefaults(mScriptTempo, 0, false);
    mStep->setValue(mSettings.value(kStepKey, defaults.step).toInt());
    mClean->setValue(mSettings.value(kCleanKey, defaults.cleanLoops).toInt());
    mLimit->setValue(mSettings.value(kLimitKey, defaults.limit).toInt());
    mToggle->setChecked(mSettings.value(kOnKey, false).toBool());
    connect(mToggle, &QAbstractButton::toggled, this, [this](bool on) {
        mSettings.setValue(kOnKey, on);
        apply();
    });
    for (QSpinBox* box : { mStep, mClean, mLimit })
        connect(box, &QSpinBox::valueChanged, this, &TrainerPanel::changed);
    connect(&mTransport, &Transport::playingChanged, this, [this](bool playing) {
        if (playing)
            apply(); // from the tempo shown, at the top
    });
    showText();
}

bool TrainerPanel::on() const
{
    return mToggle->isChecked();
}

TrainerSettings TrainerPanel::settings() const
{
    TrainerSettings s;
    s.step = mStep->value();
    s.cleanLoops = mClean->value();
    s.limit = mLimit->value();
    return s;
}

void TrainerPanel::changed()
{
    mSettings.setValue(kStepKey, mStep->value());
    mSettings.setValue(kCleanKey, mClean->value());
    mSettings.setValue(kLimitKey, mLimit->value());
    apply();
}

void TrainerPanel::scriptLoaded(int scriptTempo, int tempoChange)
{
    mScriptTempo = scriptTempo;
    const TrainerSettings defaults = trainerDefaults(scriptTempo, tempoChange, mListening);
    const QSignalBlocker blockStep(mStep), blockLimit(mLimit);
    if (!mSettings.contains(kStepKey))
        mStep->setValue(defaults.step);
    if (!mSettings.contains(kLimitKey))
        mLimit->setValue(defaults.limit);
    apply();
}

void TrainerPanel::setListening(bool listening)
{
    mListening = listening;
    apply();
}

void TrainerPanel::suspend(bool suspended)
{
    mSuspended = suspended;
    apply();
}

void TrainerPanel::apply()
{
    mBase = mTransport.schedule().tempo();
    mTrainer.start(mBase, settings());
    mSteps.clear();
    mRepeat = 0;
    mTempo = mBase;
    if (!on() || mSuspended) {
        mTransport.change([](PracticeSchedule& s) { s.setLoopTempo({}); });
    } else if (mListening) {
        mTransport.change([base = mBase](PracticeSchedule& s) {
            s.setLoopTempo([base](int, int) { return base; });
        });
    } else {
        mTransport.change([base = mBase, settings = settings()](PracticeSchedule& s) {
            s.setLoopTempo(
                [base, settings](int repeat, int) { return steppedTempo(base, settings, repeat); });
        });
    }
    showText();
}

void TrainerPanel::loopDone(const LoopSummary& summary)
{
    if (!on() || !mListening || mSuspended)
        return;
    const int before = mTrainer.tempo();
    const int tempo = mTrainer.loopEnded(&summary);
    if (tempo != before) {
        // Loop N's line comes while loop N + 1 plays: the step sounds from loop N + 2.
        mSteps[summary.loop + 1] = tempo;
        mTransport.change([base = mBase, steps = mSteps](PracticeSchedule& s) {
            s.setLoopTempo([base, steps](int repeat, int) {
                const auto from = steps.upper_bound(repeat);
                return from == steps.begin() ? base : std::prev(from)->second;
            });
        });
    }
    showText();
}

void TrainerPanel::setPosition(const PracticeSchedule::Position& position)
{
    if (!position.inside || (position.repeat == mRepeat && position.tempo == mTempo))
        return;
    mRepeat = position.repeat;
    mTempo = position.tempo;
    showText();
}

QString TrainerPanel::text() const
{
    if (!on())
        return QString();
    const TrainerSettings s = settings();
    int next = 0;
    if (mListening)
        next = mTrainer.target();
    else {
        const int now = steppedTempo(mBase, s, mRepeat);
        next = steppedTempo(mBase, s, mRepeat + s.cleanLoops);
        if (next == now)
            next = 0;
    }
    const QString tempo = QStringLiteral("Tempo %1").arg(mTempo > 0 ? mTempo : mBase);
    if (next == 0 || next == (mTempo > 0 ? mTempo : mBase))
        return tempo + QStringLiteral(", at the limit");
    return tempo
        + QStringLiteral(", next %1 after %2 clean loop%3")
              .arg(next)
              .arg(s.cleanLoops)
              .arg(s.cleanLoops == 1 ? QString() : QStringLiteral("s"));
}

void TrainerPanel::showText()
{
    mShown->setText(text());
}

} // namespace standin
