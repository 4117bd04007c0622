#pragma once

#include "handover.h"
#include "script.h"
#include "transport.h"

#include <QMainWindow>
#include <QTemporaryFile>
#include <memory>
#include <string>

class QAction;
class QLabel;
class QMenu;
class QSettings;
class QSpinBox;
class QPushButton;
class QSlider;

// The stand-in host's practice window: the pattern drawn, the transport (play and stop, loop,
// count-in, tempo, click and its level) and the File menu that keeps a script. One window serves
// every TEST: a tempo typed or a click set by the user holds for every later script.
namespace standin {

class ListenConsole;
class ListenPanel;
class PatternGrid;
class SheetPanel;
class TrainerPanel;

class PracticeWindow : public QMainWindow {
    Q_OBJECT
public:
    // settings: the host's own (size, Loop, Count-in, the click's level, recent files, the
    // input, the trainer); logFolder: where TAMBRIX.LOG goes. The transport has been started.
    // listening: play-along's, opened already by TAMBRIX.EXE --listen; null: the window's own.
    PracticeWindow(Transport& transport, QSettings& settings, const QString& logFolder,
        ListenConsole* listening = nullptr, QWidget* parent = nullptr);
    ~PracticeWindow() override;

    // Reads the script and plays it from the top; a malformed one is reported in the status
    // line, on stderr and in the log, and the pattern loaded before stays. It plays at the tempo
    // the user typed, else at its TEMPO; with the click the user set, else as its PLAYBEAT says.
    // startedAt: when the TAMBRIX.EXE that asked for it started (CLOCK_BOOTTIME seconds), 0 for
    // the window's own.
    // A startedAt that is not a time of the last minute counts as 0.
    bool load(const QString& path, bool noTimeSignature, double startedAt);
    // A handed-over script; reply (when given) says whether it plays, and if not why and with
    // which exit code a console run would end. A window that is closing plays nothing.
    void take(const Handover& handover, HandoverReply* reply = nullptr);
    // SIGUSR1: another performance or TAMBRIX.EXE --stop wants the sound to end.
    void silence();

    // A script read for the window: its bytes, the script and the schedule to play. readScript()
    // reads and checks it as load() does, into a copy of settings (a schedule that holds Loop,
    // Count-in and the click's level): false, with error set ("path: line 1: ..."), when it
    // cannot be played. rememberedSchedule() holds those settings as the window remembers them,
    // for the first script, read and played before the window is made; showPlaying() then
    // shows it (lockError: why it could not be played, if it could not).
    struct PracticeScript {
        std::string bytes;
        Script script;
        PracticeSchedule schedule;
        QString path; // absolute
        bool noTimeSignature = false;
    };
    static PracticeSchedule rememberedSchedule(QSettings& settings);
    static bool readScript(const QString& path, bool noTimeSignature,
        const PracticeSchedule& settings, PracticeScript& read, std::string& error);
    void showPlaying(PracticeScript read, double startedAt, const std::string& lockError);

    // The script as it was read, for Save As.
    const std::string& scriptBytes() const { return mBytes; }
    // Refuses a target that is not a regular file (a FIFO or a device is never replaced) and a
    // read-only one, whatever its size.
    bool saveAs(const QString& path);
    // The selected pattern's RAW line, as Rudimix's Paste takes it.
    QString rawLine() const;
    QString statusText() const;
    // A message in the status line, on stdout (stderr for a failure) and in the log.
    void report(const QString& message, bool failure);
    // Back to the script's TEMPO: a tempo typed before no longer holds ("Script tempo").
    void useScriptTempo();
    // Play-along (the Listen button, the Input menu, the marks, the loop lines, Save Results)
    // and the speed trainer.
    ListenPanel& listenPanel() const { return *mListenPanel; }
    TrainerPanel& trainerPanel() const { return *mTrainerPanel; }
    // Input > Calibrate...: plays 16 clicks at 100 q/min once, listening, then the script again.
    void calibrate();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    QWidget* buildControls();
    static QPushButton* addButton(
        const QString& text, const QString& name, const QString& accessible, const QString& tip);
    // A button that is on or off: plain to see when on, and read as "Loop, on" or "Loop, off".
    static QPushButton* addToggle(const QString& text, const QString& name, const QString& tip);
    void buildPlayAlong(ListenConsole* listening);
    void endCalibration();
    void setTempo(int tempo, bool typed);
    void togglePlay();
    void openScript();
    void saveScript();
    void addRecent(const QString& path);
    void fillRecent();
    void updatePlayButton(bool playing);
    void showStatus(const QString& text);
    void showSilence(const QString& silence);

    Transport& mTransport;
    QSettings& mSettings;
    QString mLogFolder;
    PatternGrid* mGrid;
    SheetPanel* mSheetPanel; // the Staff view, the sticking, the sheet's export
    QSpinBox* mTempo;
    QPushButton* mPlay;
    QPushButton* mLoop;
    QPushButton* mClick;
    QPushButton* mCountIn;
    QPushButton* mScriptTempo;
    QSlider* mClickLevel;
    QMenu* mRecent = nullptr;
    QLabel* mStatus;
    QLabel* mSilence; // why nothing is heard, shown while it lasts
    Script mScript;
    std::string mBytes;
    QString mPath;
    bool mNoTimeSignature = false;
    QString mRequest; // what the first note's time is counted from
    int mLastCode = 0; // of the last load that failed, as a console run would exit
    QString mLastError;
    bool mClosing = false;
    int mTypedTempo = 0; // the tempo the user typed, 0 while none holds
    bool mClickChosen = false; // the user has set the click: PLAYBEAT no longer does
    bool mFailed = false; // the status line shows a failure
    std::unique_ptr<ListenConsole> mOwnListening;
    ListenPanel* mListenPanel = nullptr;
    TrainerPanel* mTrainerPanel = nullptr;
    QString mBeforeCalibration; // the script played before a calibration
    // The calibration's script while it plays: a file of its own in the temporary folder,
    // created anew (never one that was there, a link another user put in its place), removed
    // when the calibration ends.
    std::unique_ptr<QTemporaryFile> mCalibrationFile;
    int mTypedBeforeCalibration = 0;
};

} // namespace standin
