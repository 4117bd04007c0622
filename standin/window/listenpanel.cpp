#include "listenpanel.h"

#include "hostlog.h"
#include "micinput.h"
#include "midiinput.h"
#include "savefile.h"

#include <QAction>
#include <QActionGroup>
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>
#include <cmath>

namespace standin {

namespace {

    const QString kChoiceKey = QStringLiteral("listen/input");
    const QString kAnyPadKey = QStringLiteral("listen/anyPad");
    // A calibration's stroke may be far off its click: up to just under half their distance.
    constexpr double kCalibrationWindow = 0.29;

    QString latencyKey(const InputChoice& choice)
    {
        return QStringLiteral("listen/latency/")
            + QString::fromStdString(choice.text()).toUtf8().toPercentEncoding();
    }

} // namespace

ListenPanel::ListenPanel(Transport& transport, ListenConsole& console, QPushButton* toggle,
    QSettings& settings, const QString& logFolder, QWidget* parent)
    : QWidget(parent)
    , mTransport(transport)
    , mConsole(console)
    , mToggle(toggle)
    , mSettings(settings)
    , mLogFolder(logFolder)
    , mHeading(new QLabel(QStringLiteral("Play-along")))
    , mLines(new QListWidget)
    , mInputMenu(new QMenu(QStringLiteral("&Input"), this))
    , mAnyPad(new QAction(QStringLiteral("Any pad"), this))
    , mSaveResults(new QAction(QStringLiteral("Save &Results..."), this))
{
    setObjectName(QStringLiteral("listenPanel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(mHeading);
    layout->addWidget(mLines, 1);
    mLines->setObjectName(QStringLiteral("loopLines"));
    mLines->setAccessibleName(QStringLiteral("Loop results"));
    mHeading->setBuddy(mLines);
    // As wide as half a loop's line, each line wrapped in two: the grid keeps the room.
    mLines->setWordWrap(true);
    setFixedWidth(
        fontMetrics().horizontalAdvance(QStringLiteral("Loop 10: 15 of 16, 1 missed, 10 extra, "))
        + 3 * fontMetrics().height());
    mInputMenu->setObjectName(QStringLiteral("inputMenu"));
    mAnyPad->setObjectName(QStringLiteral("anyPadAction"));
    mAnyPad->setCheckable(true);
    mAnyPad->setChecked(mSettings.value(kAnyPadKey, false).toBool());
    mAnyPad->setToolTip(
        QStringLiteral("Every MIDI key counts for the nearest stroke of any voice"));
    mSaveResults->setObjectName(QStringLiteral("saveResultsAction"));
    mSaveResults->setEnabled(false);
    connect(mInputMenu, &QMenu::aboutToShow, this, &ListenPanel::fillInputMenu);
    connect(mAnyPad, &QAction::toggled, this, [this](bool on) {
        mSettings.setValue(kAnyPadKey, on);
        mConsole.listener().setAnyPad(on);
    });
    connect(mSaveResults, &QAction::triggered, this, &ListenPanel::saveDialog);
    connect(mToggle, &QAbstractButton::clicked, this, [this](bool on) { setListening(on); });
    connect(&mConsole, &ListenConsole::decided, this, &ListenPanel::decided);
    connect(&mConsole, &ListenConsole::problem, this,
        [this](const QString& text) { emit message(text, true); });
    connect(&mTransport, &Transport::playingChanged, this, &ListenPanel::playingChanged);

    InputChoice remembered;
    std::string ignored;
    if (!InputChoice::parse(
            mSettings.value(kChoiceKey).toString().toStdString(), remembered, ignored))
        remembered = InputChoice();
    mChoice = remembered;
    mConsole.listener().setAnyPad(mAnyPad->isChecked());
    if (mConsole.listener().listening()) {
        // Opened by --listen: that is the input chosen.
        mChoice = mConsole.listener().choice();
        mConsole.listener().setLatency(latencyOf(mChoice));
        mConsole.resume();
    }
    mToggle->setChecked(listening());
    // Filled as it opens: looking for ports and sources takes the sound servers' time, which
    // the window's start does not wait for.
    mInputMenu->addAction(QStringLiteral("Looking for inputs..."))->setEnabled(false);
}

bool ListenPanel::listening() const
{
    return mConsole.listener().listening();
}

double ListenPanel::latencyOf(const InputChoice& choice) const
{
    return mSettings.value(latencyKey(choice), 0.0).toDouble() / 1000;
}

bool ListenPanel::setListening(bool on)
{
    if (!on) {
        mConsole.stop();
        mToggle->setChecked(false);
        emit message(QStringLiteral("Not listening"), false);
        return true;
    }
    std::string error;
    mConsole.listener().setLatency(mCalibrating ? 0 : latencyOf(mChoice));
    mConsole.listener().setWindow(mCalibrating ? kCalibrationWindow : kMaxStrokeWindow);
    mConsole.listener().setAnyPad(mAnyPad->isChecked());
    // The same input stays open (a kit connected to the virtual port stays connected).
    if (listening() && mConsole.listener().choice() == mChoice) {
        mToggle->setChecked(true);
        return true;
    }
    mConsole.stop();
    if (!mConsole.start(mChoice, error)) {
        mToggle->setChecked(false);
        emit message(QStringLiteral("Not listening: ") + QString::fromStdString(error), true);
        return false;
    }
    mToggle->setChecked(true);
    QStringList opened;
    for (const std::string& line : mConsole.listener().opened())
        opened.append(QString::fromStdString(line));
    emit message(
        QStringLiteral("Listening to the ") + opened.join(QStringLiteral(" and the ")), false);
    return true;
}

void ListenPanel::choose(const InputChoice& choice)
{
    mChoice = choice;
    remember();
    if (listening())
        setListening(true);
}

void ListenPanel::remember()
{
    mSettings.setValue(kChoiceKey, QString::fromStdString(mChoice.text()));
}

QString ListenPanel::choiceLabel(const InputChoice& choice, const QString& name) const
{
    const double latency = latencyOf(choice);
    if (!mSettings.contains(latencyKey(choice)))
        return name;
    return QStringLiteral("%1  (latency %2%3 ms)")
        .arg(name)
        .arg(latency >= 0 ? QStringLiteral("+") : QString())
        .arg(std::lround(latency * 1000));
}

void ListenPanel::fillInputMenu()
{
    mInputMenu->clear();
    qDeleteAll(mInputMenu->findChildren<QActionGroup*>(Qt::FindDirectChildrenOnly));
    auto* group = new QActionGroup(mInputMenu);
    auto add = [&](const InputChoice& choice, const QString& name) {
        QAction* action = mInputMenu->addAction(choiceLabel(choice, name));
        action->setCheckable(true);
        action->setChecked(choice == mChoice);
        action->setData(QString::fromStdString(choice.text()));
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, choice] { choose(choice); });
    };
    mInputMenu->addSection(QStringLiteral("MIDI"));
    add({ InputChoice::Kind::Midi, "" },
        QStringLiteral("MIDI: the port \"%1\" only").arg(QString::fromLatin1(kVirtualPortName)));
    for (const MidiPort& port : listMidiPorts())
        add({ InputChoice::Kind::Midi, port.label() },
            QStringLiteral("MIDI: ") + QString::fromStdString(port.label()));
    mInputMenu->addSection(QStringLiteral("Microphone"));
    std::string error;
    const std::vector<SoundSource> sources = listSoundSources(error);
    add({ InputChoice::Kind::Microphone, "" }, QStringLiteral("Microphone: the default source"));
    for (const SoundSource& source : sources)
        add({ InputChoice::Kind::Microphone, source.name },
            QStringLiteral("Microphone: ") + QString::fromStdString(source.description));
    if (sources.empty() && !error.empty())
        mInputMenu
            ->addAction(QStringLiteral("(no microphone: %1)").arg(QString::fromStdString(error)))
            ->setEnabled(false);
    mInputMenu->addSeparator();
    mInputMenu->addAction(mAnyPad);
    QAction* calibrate = mInputMenu->addAction(QStringLiteral("&Calibrate..."));
    calibrate->setObjectName(QStringLiteral("calibrateAction"));
    calibrate->setToolTip(QStringLiteral(
        "16 clicks at 100 quarter notes per minute: play along, and the median offset becomes "
        "this input's latency"));
    connect(calibrate, &QAction::triggered, this, &ListenPanel::calibrationWanted);
}

QStringList ListenPanel::loopLines() const
{
    QStringList lines;
    for (int i = 0; i < mLines->count(); ++i)
        lines.append(mLines->item(i)->text());
    return lines;
}

void ListenPanel::decided(const std::vector<MatchEvent>& events)
{
    for (const MatchEvent& event : events) {
        if (const auto* result = std::get_if<StrokeResult>(&event)) {
            mMarks.add(*result);
            continue;
        }
        const LoopSummary& summary = std::get<LoopSummary>(event);
        QString line = QString::fromStdString(summaryLine(summary));
        if (summary.dynamicsOff > 0)
            line += QStringLiteral(", %1 accent or ghost off").arg(summary.dynamicsOff);
        if (mCalibrating)
            line = QStringLiteral("Calibration: ") + line;
        mLines->addItem(line);
        mLines->scrollToBottom();
        appendLog(mLogFolder,
            "==== " + QDateTime::currentDateTime().toString(Qt::ISODate).toStdString()
                + "  practice window\n" + line.toStdString() + "\n");
        if (!mCalibrating)
            emit loopDone(summary);
    }
    mSaveResults->setEnabled(!mConsole.listener().results().empty());
}

void ListenPanel::playingChanged(bool playing)
{
    if (playing) {
        mMarks.clear();
        mLines->clear();
        return;
    }
    // After every other part of the window has taken the end of the calibration's play (its
    // status line too), so that the calibration's outcome is what the status line says.
    if (mCalibrating)
        QMetaObject::invokeMethod(this, &ListenPanel::endCalibration, Qt::QueuedConnection);
}

void ListenPanel::beginCalibration()
{
    mWasListening = listening();
    mCalibrating = true;
    if (!setListening(true))
        mCalibrating = false;
}

void ListenPanel::endCalibration()
{
    if (!mCalibrating)
        return;
    mCalibrating = false;
    double latency = 0;
    const Calibration outcome
        = calibratedLatency(mConsole.listener().results(), kCalibrationClicks, latency);
    if (outcome == Calibration::Done)
        mSettings.setValue(latencyKey(mChoice), latency * 1000);
    setListening(mWasListening);
    fillInputMenu();
    emit calibrationDone();
    const QString ms = QStringLiteral("%1%2 ms")
                           .arg(latency >= 0 ? QStringLiteral("+") : QString())
                           .arg(std::lround(latency * 1000));
    switch (outcome) {
    case Calibration::Done:
        emit message(QStringLiteral("Calibrated %1: its latency is %2")
                         .arg(QString::fromStdString(mChoice.text()), ms),
            false);
        break;
    case Calibration::TooFewStrokes:
        emit message(QStringLiteral("Not calibrated: fewer than half of the %1 clicks had a stroke")
                         .arg(kCalibrationClicks),
            true);
        break;
    case Calibration::Scattered:
        emit message(QStringLiteral("Not calibrated: the strokes were too uneven to tell a latency "
                                    "(more than %1 ms between the middle half); play one on "
                                    "each click")
                         .arg(std::lround(kCalibrationSpread * 1000)),
            true);
        break;
    case Calibration::BetweenClicks:
        emit message(QStringLiteral("Not calibrated: the strokes came %1 off the clicks, nearly "
                                    "halfway to the next; play one on each click")
                         .arg(ms),
            true);
        break;
    }
}

bool ListenPanel::saveResults(const QString& path)
{
    QString error;
    const bool microphone = mConsole.listener().choice().kind == InputChoice::Kind::Microphone;
    if (!writeChecked(path, resultsCsv(mConsole.listener().results(), microphone), error)) {
        emit message(error, true);
        return false;
    }
    emit message(QStringLiteral("Saved the results in ") + path, false);
    return true;
}

void ListenPanel::saveDialog()
{
    const QString path = askSavePath(window(),
        { QStringLiteral("Save the results as"), QStringLiteral("saveResultsDialog"),
            QStringLiteral("Comma-separated values (*.csv)"), QStringLiteral("csv"),
            QFileInfo(mLogFolder).absoluteFilePath(), QStringLiteral("results.csv") });
    if (!path.isEmpty())
        saveResults(path);
}

} // namespace standin
