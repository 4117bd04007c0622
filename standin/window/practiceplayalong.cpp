// The practice window's play-along and speed trainer, wired in: the Listen and Trainer buttons,
// the marks, the loop lines beside the grid, the calibration's run.
#include "listenpanel.h"
#include "patterngrid.h"
#include "practicewindow.h"
#include "sheetpanel.h"
#include "staffview.h"
#include "trainerpanel.h"

#include <QDir>
#include <QPushButton>
#include <QSettings>

namespace standin {

PracticeWindow::~PracticeWindow() = default;

void PracticeWindow::buildPlayAlong(ListenConsole* listening)
{
    if (!listening) {
        mOwnListening = std::make_unique<ListenConsole>(mTransport);
        listening = mOwnListening.get();
    }
    mListenPanel = new ListenPanel(mTransport, *listening,
        addToggle(QStringLiteral("Listen"), QStringLiteral("listenButton"),
            QStringLiteral(
                "Listen to the input chosen in the Input menu and mark each stroke (I)")),
        mSettings, mLogFolder, this);
    mTrainerPanel = new TrainerPanel(mTransport,
        addToggle(QStringLiteral("Trainer"), QStringLiteral("trainerButton"), QString()), mSettings,
        this);
    mTrainerPanel->setListening(mListenPanel->listening());
    mGrid->setMarks(&mListenPanel->marks());
    mSheetPanel->staffView()->setMarks(&mListenPanel->marks());
    connect(&mListenPanel->marks(), &StrokeMarks::changed, mGrid, qOverload<>(&QWidget::update));
    connect(&mListenPanel->marks(), &StrokeMarks::changed, mSheetPanel->staffView()->viewport(),
        qOverload<>(&QWidget::update));
    connect(mListenPanel, &ListenPanel::message, this, &PracticeWindow::report);
    connect(mListenPanel->toggle(), &QAbstractButton::toggled, mTrainerPanel,
        &TrainerPanel::setListening);
    connect(mListenPanel, &ListenPanel::loopDone, mTrainerPanel, &TrainerPanel::loopDone);
    connect(&mTransport, &Transport::positionChanged, mTrainerPanel, &TrainerPanel::setPosition);
    connect(mListenPanel, &ListenPanel::calibrationWanted, this, &PracticeWindow::calibrate);
    connect(mListenPanel, &ListenPanel::calibrationDone, this, &PracticeWindow::endCalibration);
}

void PracticeWindow::calibrate()
{
    if (mListenPanel->calibrating() || mClosing)
        return;
    auto file = std::make_unique<QTemporaryFile>(
        QDir::temp().filePath(QStringLiteral("tambrix-calibration-XXXXXX.drum")));
    if (!file->open() || file->write(QByteArray::fromStdString(calibrationScript())) < 0
        || !file->flush()) {
        report(QStringLiteral("Not calibrated: cannot write %1: %2")
                   .arg(file->fileName(), file->errorString()),
            true);
        return;
    }
    const QString path = file->fileName();
    file->close();
    mCalibrationFile = std::move(file);
    mTransport.stop();
    mBeforeCalibration = mPath;
    mTypedBeforeCalibration = mTypedTempo;
    mTypedTempo = 0; // its own 100 q/min, once
    mTrainerPanel->suspend(true);
    mTransport.change([](PracticeSchedule& s) { s.setLoop(false); });
    mListenPanel->beginCalibration();
    if (!mListenPanel->calibrating() || !load(path, false, 0)) {
        endCalibration();
        return;
    }
    report(QStringLiteral("Calibrating: play a stroke on each of the %1 clicks")
               .arg(kCalibrationClicks),
        false);
}

void PracticeWindow::endCalibration()
{
    mCalibrationFile.reset();
    mTypedTempo = mTypedBeforeCalibration;
    mTransport.change([loop = mLoop->isChecked()](PracticeSchedule& s) { s.setLoop(loop); });
    mTrainerPanel->suspend(false);
    const QString before = mBeforeCalibration;
    mBeforeCalibration.clear();
    if (!before.isEmpty() && load(before, mNoTimeSignature, 0))
        mTransport.stop(); // back where it was, ready to play
}

} // namespace standin
