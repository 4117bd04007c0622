#include "practicewindow.h"

#include "hostlog.h"
#include "hostpaths.h"
#include "patterngrid.h"
#include "regularfile.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QSpinBox>
#include <QStatusBar>
#include <QVBoxLayout>
#include <iostream>

namespace standin {

namespace {

    constexpr int kRecentFiles = 5;

    std::filesystem::path toPath(const QString& path)
    {
        return std::filesystem::path(QFile::encodeName(path).toStdString());
    }

} // namespace

PracticeWindow::PracticeWindow(
    Transport& transport, QSettings& settings, const QString& logFolder, QWidget* parent)
    : QMainWindow(parent)
    , mTransport(transport)
    , mSettings(settings)
    , mLogFolder(logFolder)
    , mGrid(new PatternGrid)
    , mTempo(new QSpinBox)
    , mPlay(addButton(QStringLiteral("Play"), QStringLiteral("playButton"),
          QStringLiteral("Play or stop"), QStringLiteral("Play or stop the pattern (Space)")))
    , mLoop(addButton(QStringLiteral("Loop"), QStringLiteral("loopButton"), QStringLiteral("Loop"),
          QStringLiteral("Play the pattern until stopped (L)")))
    , mClick(addButton(QStringLiteral("Click"), QStringLiteral("clickButton"),
          QStringLiteral("Click"), QStringLiteral("Click on every beat (C)")))
    , mStatus(new QLabel)
    , mSilence(new QLabel)
{
    setObjectName(QStringLiteral("practiceWindow"));
    setWindowTitle(QStringLiteral("Tambrix stand-in"));
    // The keys act at once (a button's own shortcut would animate a press for 100 ms first).
    mLoop->setCheckable(true);
    mClick->setCheckable(true);
    connect(new QShortcut(Qt::Key_Space, this), &QShortcut::activated, this,
        &PracticeWindow::togglePlay);
    connect(new QShortcut(Qt::Key_L, this), &QShortcut::activated, mLoop, &QAbstractButton::toggle);
    connect(
        new QShortcut(Qt::Key_C, this), &QShortcut::activated, mClick, &QAbstractButton::toggle);

    auto* controls = new QHBoxLayout;
    controls->addWidget(mPlay);
    controls->addWidget(mLoop);
    auto* tempoLabel = new QLabel(QStringLiteral("&Tempo"));
    tempoLabel->setBuddy(mTempo);
    mTempo->setObjectName(QStringLiteral("tempoSpinBox"));
    mTempo->setAccessibleName(QStringLiteral("Tempo"));
    mTempo->setRange(kMinTempo, kMaxTempo);
    mTempo->setSuffix(QStringLiteral(" quarter notes per minute"));
    mTempo->setToolTip(QStringLiteral("Tempo from the next note on (Alt+T)"));
    controls->addWidget(tempoLabel);
    controls->addWidget(mTempo);
    controls->addWidget(mClick);
    controls->addStretch();

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->addLayout(controls);
    // Why nothing is heard, over the grid until sound works.
    mSilence->setObjectName(QStringLiteral("silenceLine"));
    mSilence->setAccessibleName(QStringLiteral("Sound"));
    mSilence->setWordWrap(true);
    mSilence->setTextInteractionFlags(Qt::TextSelectableByMouse);
    mSilence->setStyleSheet(QStringLiteral("QLabel { background: #fff3cd; color: #5c4400; border: "
                                           "1px solid #e0c060; padding: 4px; }"));
    mSilence->hide();
    layout->addWidget(mSilence);
    layout->addWidget(mGrid, 1);
    setCentralWidget(central);
    mStatus->setObjectName(QStringLiteral("statusLine"));
    mStatus->setAccessibleName(QStringLiteral("Status"));
    mStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addWidget(mStatus, 1);
    buildMenus();

    mLoop->setChecked(mSettings.value(QStringLiteral("loop"), false).toBool());
    mTransport.setLoop(mLoop->isChecked());
    resize(mSettings.value(QStringLiteral("size"), QSize(1000, 360)).toSize());

    connect(mPlay, &QAbstractButton::clicked, this, &PracticeWindow::togglePlay);
    connect(mLoop, &QAbstractButton::toggled, this, [this](bool on) { mTransport.setLoop(on); });
    connect(mClick, &QAbstractButton::toggled, this, [this](bool on) { mTransport.setClick(on); });
    connect(
        mTempo, &QSpinBox::valueChanged, this, [this](int tempo) { mTransport.setTempo(tempo); });
    // Back to the grid after a tempo is typed in, so that Space plays and stops again.
    connect(mTempo, &QSpinBox::editingFinished, mGrid, qOverload<>(&QWidget::setFocus));
    connect(&mTransport, &Transport::positionChanged, mGrid, &PatternGrid::setPosition);
    connect(&mTransport, &Transport::playingChanged, this, &PracticeWindow::updatePlayButton);
    connect(&mTransport, &Transport::silenceChanged, this, &PracticeWindow::showSilence);
    connect(&mTransport, &Transport::sounding, this, [this](double seconds) {
        report(QStringLiteral("Playing %1 (first note made %2 ms after %3)")
                   .arg(QFileInfo(mPath).fileName())
                   .arg(qRound(seconds * 1000))
                   .arg(mRequest),
            false);
    });
    mGrid->setFocus();
}

QPushButton* PracticeWindow::addButton(
    const QString& text, const QString& name, const QString& accessible, const QString& tip)
{
    auto* button = new QPushButton(text);
    button->setObjectName(name);
    button->setAccessibleName(accessible);
    button->setToolTip(tip);
    button->setFocusPolicy(Qt::NoFocus); // Space plays and stops, never presses a button
    return button;
}

void PracticeWindow::buildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    auto command = [this, file](const char* name, const QString& text, QKeySequence keys) {
        QAction* action = file->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(keys);
        return action;
    };
    connect(command("openAction", QStringLiteral("&Open..."), QKeySequence::Open),
        &QAction::triggered, this, &PracticeWindow::openScript);
    mRecent = file->addMenu(QStringLiteral("Open &Recent"));
    mRecent->setObjectName(QStringLiteral("recentMenu"));
    connect(command("saveAsAction", QStringLiteral("Save &As..."), QKeySequence::SaveAs),
        &QAction::triggered, this, &PracticeWindow::saveScript);
    connect(command("copyRawAction", QStringLiteral("&Copy RAW line"), QKeySequence::Copy),
        &QAction::triggered, this, [this] {
            QApplication::clipboard()->setText(rawLine());
            report(QStringLiteral("Copied: ") + rawLine(), false);
        });
    file->addSeparator();
    connect(command("quitAction", QStringLiteral("&Quit"), QKeySequence::Quit), &QAction::triggered,
        this, &QWidget::close);
    fillRecent();
}

void PracticeWindow::report(const QString& message, bool failure)
{
    mStatus->setText(message);
    (failure ? std::cerr : std::cout) << "TAMBRIX.EXE: " << message.toStdString() << std::endl;
    const std::string heading = "==== "
        + QDateTime::currentDateTime().toString(Qt::ISODate).toStdString() + "  practice window\n";
    appendLog(mLogFolder, heading + message.toStdString() + "\n");
}

QString PracticeWindow::statusText() const
{
    return mStatus->text();
}

bool PracticeWindow::readScript(const QString& path, bool noTimeSignature, bool loop,
    bool keepClick, PracticeScript& read, std::string& error)
{
    const regular::Result readable = regular::read(toPath(path), read.bytes);
    read.schedule.setLoop(loop);
    if (!readable.ok())
        error = "cannot read the script: " + readable.reason();
    else if (parseScript(read.bytes, read.script, error)
        && read.schedule.load(read.script, noTimeSignature, error)) {
        Performance whole; // the limits of a performance (length, notes) hold here too
        buildPerformance(read.script, noTimeSignature, whole, error);
    }
    if (!error.empty()) {
        error = path.toStdString() + ": " + error;
        return false;
    }
    // The click starts as the script's PLAYBEAT says, or on when the user keeps it on.
    read.schedule.setClick(read.schedule.click() || keepClick);
    read.path = QFileInfo(path).absoluteFilePath();
    read.noTimeSignature = noTimeSignature;
    return true;
}

bool PracticeWindow::load(const QString& path, bool noTimeSignature, double startedAt)
{
    PracticeScript read;
    std::string error;
    if (!readScript(path, noTimeSignature, mLoop->isChecked(),
            mSettings.value(QStringLiteral("click")).toBool(), read, error)) {
        report(QString::fromStdString(error), true);
        return false;
    }
    // The sound first: the window, the table, the log and the recent files after it.
    mTransport.stop();
    mTransport.setSchedule(read.schedule);
    std::string lockError;
    mTransport.play(startedAt > 0 ? startedAt : Transport::bootSeconds(), lockError);
    showPlaying(std::move(read), startedAt, lockError);
    return true;
}

void PracticeWindow::showPlaying(
    PracticeScript read, double startedAt, const std::string& lockError)
{
    mRequest
        = startedAt > 0 ? QStringLiteral("TAMBRIX.EXE started") : QStringLiteral("the request");
    mTransport.setSchedule(read.schedule);
    mScript = std::move(read.script);
    mBytes = std::move(read.bytes);
    mPath = read.path;
    mNoTimeSignature = read.noTimeSignature;
    setWindowTitle(QFileInfo(mPath).fileName() + QStringLiteral(" - Tambrix stand-in"));
    mTempo->setValue(read.schedule.tempo());
    mClick->setChecked(read.schedule.click());
    mGrid->setSchedule(&mTransport.schedule());
    mGrid->setAccessibleDescription(describePattern(mTransport.schedule()));
    updatePlayButton(mTransport.playing());
    if (!lockError.empty())
        report(QString::fromStdString(lockError), true);
    else
        mStatus->setText(QStringLiteral("Playing ") + QFileInfo(mPath).fileName()
            + (mTransport.silence().isEmpty() ? QString() : ". " + mTransport.silence()));
    std::cout << "Script " << mPath.toStdString() << "\n" << formatPattern(mScript) << std::flush;
    appendLog(mLogFolder,
        "==== " + QDateTime::currentDateTime().toString(Qt::ISODate).toStdString()
            + "  practice window\nScript " + mPath.toStdString() + "\n" + formatPattern(mScript));
    addRecent(mPath);
}

void PracticeWindow::take(const Handover& handover)
{
    load(handover.script, handover.noTimeSignature, handover.startedAt);
    show();
    raise();
    activateWindow();
}

void PracticeWindow::togglePlay()
{
    if (mTransport.playing()) {
        mTransport.stop();
        mStatus->setText(QStringLiteral("Stopped"));
        return;
    }
    if (mBytes.empty())
        return;
    std::string error;
    mRequest = QStringLiteral("the request");
    if (!mTransport.play(Transport::bootSeconds(), error))
        report(QString::fromStdString(error), true);
}

void PracticeWindow::showSilence(const QString& silence)
{
    const bool wasSilent = mSilence->isVisibleTo(this);
    mSilence->setText(silence);
    mSilence->setVisible(!silence.isEmpty());
    if (!silence.isEmpty())
        report(silence, true);
    else if (wasSilent)
        report(QStringLiteral("Sound again, through ") + mTransport.driver(), false);
}

void PracticeWindow::updatePlayButton(bool playing)
{
    mPlay->setText(playing ? QStringLiteral("Stop") : QStringLiteral("Play"));
}

QString PracticeWindow::rawLine() const
{
    const SectionKind kind = mGrid->selected();
    QStringList tokens;
    for (const PatternNote& p : mTransport.schedule().notes(kind))
        tokens.append(QString::fromStdU16String(notation::canonicalToken(p.note)));
    return QStringLiteral("RAW ") + QString::fromStdString(mTransport.schedule().name(kind)) + u'='
        + tokens.join(u',');
}

bool PracticeWindow::saveAs(const QString& path)
{
    struct stat existing;
    const bool exists = regular::inspect(toPath(path), &existing).ok();
    const regular::Result written
        = regular::write(toPath(path), mBytes, exists ? &existing : nullptr);
    if (!written.ok()) {
        report(QStringLiteral("cannot write %1: %2")
                   .arg(path, QString::fromStdString(written.reason())),
            true);
        return false;
    }
    addRecent(QFileInfo(path).absoluteFilePath());
    mStatus->setText(QStringLiteral("Saved ") + path);
    return true;
}

void PracticeWindow::openScript()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open a script"),
        QFileInfo(mPath).absolutePath(), QStringLiteral("Scripts (*.drum);;All files (*)"));
    if (!path.isEmpty())
        load(path, mNoTimeSignature, 0);
}

void PracticeWindow::saveScript()
{
    if (mBytes.empty())
        return;
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save the script as"),
        QFileInfo(mPath).absoluteFilePath(), QStringLiteral("Scripts (*.drum)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QStringLiteral(".drum"), Qt::CaseInsensitive))
        path += QStringLiteral(".drum");
    saveAs(path);
}

void PracticeWindow::addRecent(const QString& path)
{
    QStringList recent = mSettings.value(QStringLiteral("recent")).toStringList();
    recent.removeAll(path);
    recent.prepend(path);
    mSettings.setValue(QStringLiteral("recent"), recent.mid(0, kRecentFiles));
    fillRecent();
}

void PracticeWindow::fillRecent()
{
    mRecent->clear();
    for (const QString& path : mSettings.value(QStringLiteral("recent")).toStringList()) {
        QAction* action = mRecent->addAction(path);
        connect(
            action, &QAction::triggered, this, [this, path] { load(path, mNoTimeSignature, 0); });
    }
    mRecent->setEnabled(!mRecent->isEmpty());
}

void PracticeWindow::closeEvent(QCloseEvent* event)
{
    mTransport.stop();
    mSettings.setValue(QStringLiteral("size"), size());
    mSettings.setValue(QStringLiteral("loop"), mLoop->isChecked());
    mSettings.setValue(QStringLiteral("click"), mClick->isChecked());
    mSettings.sync();
    event->accept();
}

} // namespace standin
