#include "practicewindow.h"

#include "exitcodes.h"
#include "hostlog.h"
#include "hostpaths.h"
#include "listenpanel.h"
#include "patterngrid.h"
#include "regularfile.h"
#include "savefile.h"
#include "sheetpanel.h"
#include "trainerpanel.h"

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
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <iostream>

namespace standin {

namespace {

    constexpr int kRecentFiles = 5;

    // An on button filled with the highlight colour and ticked, so that "on" is plain to see.
    const QString kToggleStyle = QStringLiteral(
        "QPushButton:checked { background-color: palette(highlight); color: "
        "palette(highlighted-text); border: 1px solid palette(shadow); border-radius: 3px; }");
    const QString kTick = QStringLiteral("\u2713 ");

    // A caption's last letter is drawn a pixel or two beyond its advance: a little room more
    // than the style asks for, so that nothing is clipped even at the window's minimum size.
    void fitWidth(QWidget* widget, const QString& caption)
    {
        const QFontMetrics metrics = widget->fontMetrics();
        widget->setMinimumWidth(std::max(widget->sizeHint().width(),
            metrics.horizontalAdvance(QString(caption).remove(u'&')) + 2 * metrics.height()));
    }

    QLabel* addLabel(const QString& text, QWidget* buddy)
    {
        auto* label = new QLabel(text);
        label->setBuddy(buddy);
        label->setMinimumWidth(label->sizeHint().width() + label->fontMetrics().averageCharWidth());
        return label;
    }

    std::filesystem::path toPath(const QString& path)
    {
        return std::filesystem::path(QFile::encodeName(path).toStdString());
    }

    // A saved size within what the screens show (a corrupt or foreign setting can ask for any).
    QSize onScreen(QSize size)
    {
        QRect screens;
        for (const QScreen* screen : QGuiApplication::screens())
            screens |= screen->availableGeometry();
        if (!size.isValid())
            size = QSize(1000, 360);
        return screens.isEmpty() ? size.boundedTo(QSize(4096, 4096))
                                 : size.boundedTo(screens.size()).expandedTo(QSize(320, 200));
    }

    // The exit code of a lock that cannot be taken, as a console run gives it.
    int lockCode(const std::string& error)
    {
        return int(error.find("could not be stopped") != std::string::npos
                ? SoundResult::PlayerNotStopped
                : SoundResult::LockUnusable);
    }

} // namespace

PracticeWindow::PracticeWindow(Transport& transport, QSettings& settings, const QString& logFolder,
    ListenConsole* listening, QWidget* parent)
    : QMainWindow(parent)
    , mTransport(transport)
    , mSettings(settings)
    , mLogFolder(logFolder)
    , mGrid(new PatternGrid)
    , mTempo(new QSpinBox)
    , mPlay(addButton(QStringLiteral("Play"), QStringLiteral("playButton"),
          QStringLiteral("Play or stop"), QStringLiteral("Play or stop the pattern (Space)")))
    , mLoop(addToggle(QStringLiteral("Loop"), QStringLiteral("loopButton"),
          QStringLiteral("Play the pattern until stopped (L)")))
    , mClick(addToggle(QStringLiteral("Click"), QStringLiteral("clickButton"),
          QStringLiteral("Click on every beat, the first of a bar accented (C)")))
    , mCountIn(addToggle(QStringLiteral("Count-in"), QStringLiteral("countInButton"),
          QStringLiteral("One bar of clicks before the first note (K)")))
    , mScriptTempo(addButton(QStringLiteral("Script tempo"), QStringLiteral("scriptTempoButton"),
          QStringLiteral("Script tempo"),
          QStringLiteral("Back to the script's tempo; a tempo typed holds until then (S)")))
    , mClickLevel(new QSlider(Qt::Horizontal))
    , mStatus(new QLabel)
    , mSilence(new QLabel)
{
    setObjectName(QStringLiteral("practiceWindow"));
    setWindowTitle(QStringLiteral("Tambrix stand-in"));
    mSheetPanel = new SheetPanel(mGrid,
        addToggle(QStringLiteral("Staff"), QStringLiteral("staffButton"),
            QStringLiteral("Show the pattern as a drum staff (N)")),
        mSettings, this);
    buildPlayAlong(listening);
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(buildControls());
    layout->addWidget(mTrainerPanel);
    // Why nothing is heard, over the grid until sound works.
    mSilence->setObjectName(QStringLiteral("silenceLine"));
    mSilence->setAccessibleName(QStringLiteral("Sound"));
    mSilence->setWordWrap(true);
    mSilence->setTextInteractionFlags(Qt::TextSelectableByMouse);
    mSilence->setStyleSheet(QStringLiteral("QLabel { background: #fff3cd; color: #5c4400; border: "
                                           "1px solid #e0c060; padding: 4px; }"));
    mSilence->hide();
    layout->addWidget(mSilence);
    auto* views = new QHBoxLayout;
    views->addWidget(mSheetPanel->views(), 1);
    views->addWidget(mListenPanel);
    layout->addLayout(views, 1);
    setCentralWidget(central);
    mStatus->setObjectName(QStringLiteral("statusLine"));
    mStatus->setAccessibleName(QStringLiteral("Status"));
    mStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addWidget(mStatus, 1);
    statusBar()->addPermanentWidget(mSheetPanel->toggle()); // under the view it switches
    buildMenus();

    // The keys act at once (a button's own shortcut would animate a press for 100 ms first).
    connect(new QShortcut(Qt::Key_Space, this), &QShortcut::activated, this,
        &PracticeWindow::togglePlay);
    connect(new QShortcut(Qt::Key_L, this), &QShortcut::activated, mLoop, &QAbstractButton::click);
    connect(new QShortcut(Qt::Key_C, this), &QShortcut::activated, mClick, &QAbstractButton::click);
    connect(
        new QShortcut(Qt::Key_K, this), &QShortcut::activated, mCountIn, &QAbstractButton::click);
    connect(new QShortcut(Qt::Key_S, this), &QShortcut::activated, this,
        &PracticeWindow::useScriptTempo);
    connect(new QShortcut(Qt::Key_I, this), &QShortcut::activated, mListenPanel->toggle(),
        &QAbstractButton::click);
    connect(new QShortcut(Qt::Key_R, this), &QShortcut::activated, mTrainerPanel->toggle(),
        &QAbstractButton::click);

    connect(mPlay, &QAbstractButton::clicked, this, &PracticeWindow::togglePlay);
    connect(mLoop, &QAbstractButton::toggled, this, [this](bool on) {
        mTransport.change([on](PracticeSchedule& s) { s.setLoop(on); });
        mSettings.setValue(QStringLiteral("loop"), on);
    });
    connect(mClick, &QAbstractButton::toggled, this,
        [this](bool on) { mTransport.change([on](PracticeSchedule& s) { s.setClick(on); }); });
    connect(mClick, &QAbstractButton::clicked, this, [this] { mClickChosen = true; });
    connect(mCountIn, &QAbstractButton::toggled, this, [this](bool on) {
        mTransport.change([on](PracticeSchedule& s) { s.setCountIn(on); });
        mSettings.setValue(QStringLiteral("countIn"), on);
    });
    connect(mClickLevel, &QSlider::valueChanged, this, [this](int level) {
        mTransport.change([level](PracticeSchedule& s) { s.setClickLevel(level); });
        mSettings.setValue(QStringLiteral("clickLevel"), level);
    });
    connect(mTempo, &QSpinBox::valueChanged, this, [this](int tempo) { setTempo(tempo, true); });
    connect(mScriptTempo, &QAbstractButton::clicked, this, &PracticeWindow::useScriptTempo);
    // Back to the grid after a tempo is typed in, so that Space plays and stops again.
    connect(mTempo, &QSpinBox::editingFinished, mGrid, qOverload<>(&QWidget::setFocus));
    connect(&mTransport, &Transport::positionChanged, mGrid, &PatternGrid::setPosition);
    connect(&mTransport, &Transport::positionChanged, mSheetPanel, &SheetPanel::setPosition);
    connect(mSheetPanel, &SheetPanel::message, this, &PracticeWindow::report);
    connect(&mTransport, &Transport::playingChanged, this, &PracticeWindow::updatePlayButton);
    connect(&mTransport, &Transport::silenceChanged, this, &PracticeWindow::showSilence);
    connect(&mTransport, &Transport::sounding, this, [this](double seconds) {
        report(QStringLiteral("Playing %1 (first note made %2 ms after %3)")
                   .arg(QFileInfo(mPath).fileName())
                   .arg(qRound(seconds * 1000))
                   .arg(mRequest),
            false);
    });

    mLoop->setChecked(mSettings.value(QStringLiteral("loop"), false).toBool());
    mCountIn->setChecked(mSettings.value(QStringLiteral("countIn"), true).toBool());
    mClickLevel->setValue(
        mSettings.value(QStringLiteral("clickLevel"), kDefaultClickLevel).toInt());
    mTransport.change([loop = mLoop->isChecked(), countIn = mCountIn->isChecked(),
                          level = mClickLevel->value()](PracticeSchedule& s) {
        s.setLoop(loop);
        s.setCountIn(countIn);
        s.setClickLevel(level);
    });
    mScriptTempo->setEnabled(false);
    resize(onScreen(mSettings.value(QStringLiteral("size"), QSize(1000, 360)).toSize()));
    mGrid->setFocus();
}

QWidget* PracticeWindow::buildControls()
{
    QLabel* tempoLabel = addLabel(QStringLiteral("&Tempo"), mTempo);
    mTempo->setObjectName(QStringLiteral("tempoSpinBox"));
    mTempo->setAccessibleName(QStringLiteral("Tempo"));
    mTempo->setRange(kMinTempo, kMaxTempo);
    mTempo->setSuffix(QStringLiteral(" quarter notes per minute"));
    mTempo->setToolTip(QStringLiteral("The tempo, from the next note on (Alt+T)"));
    // A tempo being typed plays once it is entered, not digit by digit.
    mTempo->setKeyboardTracking(false);
    mTempo->setMinimumWidth(mTempo->sizeHint().width());

    QLabel* levelLabel = addLabel(QStringLiteral("Click le&vel"), mClickLevel);
    mClickLevel->setObjectName(QStringLiteral("clickLevelSlider"));
    mClickLevel->setAccessibleName(QStringLiteral("Click level"));
    mClickLevel->setToolTip(
        QStringLiteral("How loud the click and the count-in sound, 0 to 127 (Alt+V)"));
    mClickLevel->setRange(0, 127);
    mClickLevel->setPageStep(8);
    mClickLevel->setMinimumWidth(100);

    auto* controls = new QWidget;
    auto* row = new QHBoxLayout(controls);
    row->setContentsMargins(0, 0, 0, 0);
    for (QWidget* widget :
        std::initializer_list<QWidget*> { mPlay, mLoop, mCountIn, mListenPanel->toggle(),
            tempoLabel, mTempo, mScriptTempo, mClick, levelLabel, mClickLevel })
        row->addWidget(widget);
    row->addStretch();
    return controls;
}

QPushButton* PracticeWindow::addButton(
    const QString& text, const QString& name, const QString& accessible, const QString& tip)
{
    auto* button = new QPushButton(text);
    button->setObjectName(name);
    button->setAccessibleName(accessible);
    button->setToolTip(tip);
    button->setFocusPolicy(Qt::NoFocus); // Space plays and stops, never presses a button
    fitWidth(button, text);
    return button;
}

QPushButton* PracticeWindow::addToggle(const QString& text, const QString& name, const QString& tip)
{
    QPushButton* button = addButton(text, name, text, tip);
    button->setCheckable(true);
    button->setStyleSheet(kToggleStyle);
    fitWidth(button, kTick + text); // the row does not move when it is switched
    button->setAccessibleName(text + QStringLiteral(", off"));
    connect(button, &QAbstractButton::toggled, button, [button, text](bool on) {
        button->setText(on ? kTick + text : text);
        button->setAccessibleName(text + (on ? QStringLiteral(", on") : QStringLiteral(", off")));
    });
    return button;
}

void PracticeWindow::setTempo(int tempo, bool typed)
{
    mTypedTempo = typed ? tempo : 0;
    const QSignalBlocker blocker(mTempo);
    mTempo->setValue(tempo);
    mTransport.change([tempo = mTempo->value()](PracticeSchedule& s) { s.setTempo(tempo); });
    mScriptTempo->setEnabled(typed);
}

void PracticeWindow::useScriptTempo()
{
    if (!mBytes.empty())
        setTempo(mTransport.schedule().header().tempo, false);
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
    // Ctrl+Shift+S on every desktop (QKeySequence::SaveAs has no keys on some).
    connect(command("saveAsAction", QStringLiteral("Save &As..."),
                QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)),
        &QAction::triggered, this, &PracticeWindow::saveScript);
    file->addAction(mListenPanel->saveResultsAction());
    connect(command("copyRawAction", QStringLiteral("&Copy RAW line"), QKeySequence::Copy),
        &QAction::triggered, this, [this] {
            QApplication::clipboard()->setText(rawLine());
            report(QStringLiteral("Copied: ") + rawLine(), false);
        });
    mSheetPanel->addMenuEntries(file);
    file->addSeparator();
    menuBar()->addMenu(mListenPanel->inputMenu());
    connect(command("quitAction", QStringLiteral("&Quit"), QKeySequence::Quit), &QAction::triggered,
        this, &QWidget::close);
    fillRecent();
}

void PracticeWindow::report(const QString& message, bool failure)
{
    mStatus->setText(message);
    mFailed = failure;
    (failure ? std::cerr : std::cout) << "TAMBRIX.EXE: " << message.toStdString() << std::endl;
    const std::string heading = "==== "
        + QDateTime::currentDateTime().toString(Qt::ISODate).toStdString() + "  practice window\n";
    appendLog(mLogFolder, heading + message.toStdString() + "\n");
}

QString PracticeWindow::statusText() const
{
    return mStatus->text();
}

PracticeSchedule PracticeWindow::rememberedSchedule(QSettings& settings)
{
    PracticeSchedule schedule;
    schedule.setLoop(settings.value(QStringLiteral("loop"), false).toBool());
    schedule.setCountIn(settings.value(QStringLiteral("countIn"), true).toBool());
    schedule.setClickLevel(
        settings.value(QStringLiteral("clickLevel"), kDefaultClickLevel).toInt());
    return schedule;
}

bool PracticeWindow::readScript(const QString& path, bool noTimeSignature,
    const PracticeSchedule& settings, PracticeScript& read, std::string& error)
{
    const regular::Result readable = regular::read(toPath(path), read.bytes);
    read.schedule = settings;
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
    read.path = QFileInfo(path).absoluteFilePath();
    read.noTimeSignature = noTimeSignature;
    return true;
}

bool PracticeWindow::load(const QString& path, bool noTimeSignature, double startedAt)
{
    PracticeScript read;
    std::string error;
    if (!readScript(path, noTimeSignature, mTransport.schedule(), read, error)) {
        mLastCode = BadScript;
        mLastError = QString::fromStdString(error);
        report(mLastError, true);
        return false;
    }
    // The tempo typed and the click set hold; else the script's TEMPO and PLAYBEAT.
    if (mTypedTempo > 0)
        read.schedule.setTempo(mTypedTempo);
    if (mClickChosen)
        read.schedule.setClick(mClick->isChecked());
    // The sound first: the window, the table, the log and the recent files after it.
    mTransport.stop();
    mTransport.change([schedule = read.schedule](PracticeSchedule& s) { s = schedule; });
    // A start time from the hand-over that cannot be this run's is not shown.
    const double now = Transport::bootSeconds();
    if (!std::isfinite(startedAt) || startedAt > now || startedAt < now - 60)
        startedAt = 0;
    std::string lockError;
    mTransport.play(startedAt > 0 ? startedAt : now, lockError);
    showPlaying(std::move(read), startedAt, lockError);
    return true;
}

void PracticeWindow::showPlaying(
    PracticeScript read, double startedAt, const std::string& lockError)
{
    mRequest
        = startedAt > 0 ? QStringLiteral("TAMBRIX.EXE started") : QStringLiteral("the request");
    mScript = std::move(read.script);
    mBytes = std::move(read.bytes);
    mPath = read.path;
    mNoTimeSignature = read.noTimeSignature;
    setWindowTitle(QFileInfo(mPath).fileName() + QStringLiteral(" - Tambrix stand-in"));
    const int scriptTempo = read.schedule.header().tempo;
    setTempo(mTypedTempo > 0 ? mTypedTempo : scriptTempo, mTypedTempo > 0);
    mScriptTempo->setToolTip(
        QStringLiteral("Back to the script's tempo, %1; a tempo typed holds until then (S)")
            .arg(scriptTempo));
    if (!mClickChosen)
        mClick->setChecked(read.schedule.click());
    mGrid->setSchedule(&mTransport.schedule());
    mGrid->setAccessibleDescription(describePattern(mTransport.schedule()));
    mSheetPanel->load(mScript, mNoTimeSignature, mTransport.schedule());
    mTrainerPanel->scriptLoaded(scriptTempo, read.schedule.header().tempoChange);
    updatePlayButton(mTransport.playing());
    mLastCode = lockError.empty() ? 0 : lockCode(lockError);
    mLastError = QString::fromStdString(lockError);
    if (!lockError.empty())
        report(mLastError, true);
    else
        showStatus(QStringLiteral("Playing ") + QFileInfo(mPath).fileName()
            + (mTransport.silence().isEmpty() ? QString() : ". " + mTransport.silence()));
    std::cout << "Script " << mPath.toStdString() << "\n" << formatPattern(mScript) << std::flush;
    appendLog(mLogFolder,
        "==== " + QDateTime::currentDateTime().toString(Qt::ISODate).toStdString()
            + "  practice window\nScript " + mPath.toStdString() + "\n" + formatPattern(mScript));
    addRecent(mPath);
}

void PracticeWindow::take(const Handover& handover, HandoverReply* reply)
{
    if (mClosing) {
        if (reply)
            *reply = { HandoverReply::Outcome::Closing, 0,
                QStringLiteral("the practice window is closing") };
        return;
    }
    const bool loaded = load(handover.script, handover.noTimeSignature, handover.startedAt);
    if (reply && (!loaded || mLastCode != 0))
        *reply = { HandoverReply::Outcome::Refused, mLastCode, mLastError };
    show();
    raise();
    activateWindow();
}

void PracticeWindow::silence()
{
    if (!mTransport.playing())
        return;
    mTransport.stop();
    report(QStringLiteral("Stopped: another performance began, or TAMBRIX.EXE --stop"), false);
}

void PracticeWindow::togglePlay()
{
    if (mTransport.playing()) {
        mTransport.stop();
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
    // Stopped, by the user or at the end; a failure reported last stays readable.
    if (!playing)
        showStatus(
            mFailed ? QStringLiteral("Stopped; ") + mStatus->text() : QStringLiteral("Stopped"));
}

void PracticeWindow::showStatus(const QString& text)
{
    mStatus->setText(text);
    mFailed = false;
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
    QString error;
    if (!writeChecked(path, mSheetPanel->scriptWithSticking(mBytes), error)) {
        report(error, true);
        return false;
    }
    addRecent(QFileInfo(path).absoluteFilePath());
    showStatus(QStringLiteral("Saved ") + path);
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
    const QString path = askSavePath(this,
        { QStringLiteral("Save the script as"), QStringLiteral("saveAsDialog"),
            QStringLiteral("Scripts (*.drum)"), QStringLiteral("drum"),
            QFileInfo(mPath).absolutePath(), QFileInfo(mPath).fileName() });
    if (!path.isEmpty() && !mClosing)
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
    mClosing = true;
    mTransport.stop();
    mSettings.setValue(QStringLiteral("size"), size());
    mSettings.setValue(QStringLiteral("loop"), mLoop->isChecked());
    mSettings.setValue(QStringLiteral("countIn"), mCountIn->isChecked());
    mSettings.setValue(QStringLiteral("clickLevel"), mClickLevel->value());
    mSettings.sync();
    event->accept();
}

} // namespace standin
