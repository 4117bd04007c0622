#pragma once

#include "handover.h"
#include "script.h"
#include "transport.h"

#include <QMainWindow>
#include <string>

class QAction;
class QLabel;
class QMenu;
class QSettings;
class QSpinBox;
class QPushButton;

// The stand-in host's practice window: the pattern drawn, the transport (play and stop, loop,
// tempo, click) and the File menu that keeps a script. One window serves every TEST.
namespace standin {

class PatternGrid;

class PracticeWindow : public QMainWindow {
    Q_OBJECT
public:
    // settings: the host's own (size, Loop, Click, recent files); logFolder: where TAMBRIX.LOG
    // goes. The transport has been started.
    PracticeWindow(Transport& transport, QSettings& settings, const QString& logFolder,
        QWidget* parent = nullptr);

    // Reads the script and plays it from the top; a malformed one is reported in the status
    // line, on stderr and in the log, and the pattern loaded before stays. startedAt: when the
    // TAMBRIX.EXE that asked for it started (CLOCK_BOOTTIME seconds), 0 for the window's own.
    bool load(const QString& path, bool noTimeSignature, double startedAt);

    // A script read for the window: its bytes, the script and the schedule to play, the loop
    // setting and the click (as the script's PLAYBEAT says, or on when the user keeps it on)
    // applied. readScript() reads and checks it as load() does: false, with error set ("path:
    // line 1: ...") when it cannot be played.
    struct PracticeScript {
        std::string bytes;
        Script script;
        PracticeSchedule schedule;
        QString path; // absolute
        bool noTimeSignature = false;
    };
    static bool readScript(const QString& path, bool noTimeSignature, bool loop, bool keepClick,
        PracticeScript& read, std::string& error);
    // Shows a script that the transport plays already (the first one, played while the window
    // was made); lockError: why it could not be played, if it could not.
    void showPlaying(PracticeScript read, double startedAt, const std::string& lockError);
    void take(const Handover& handover);

    // The script as it was read, for Save As.
    const std::string& scriptBytes() const { return mBytes; }
    bool saveAs(const QString& path);
    // The selected pattern's RAW line, as Rudimix's Paste takes it.
    QString rawLine() const;
    QString statusText() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    static QPushButton* addButton(
        const QString& text, const QString& name, const QString& accessible, const QString& tip);
    void togglePlay();
    void openScript();
    void saveScript();
    void addRecent(const QString& path);
    void fillRecent();
    void report(const QString& message, bool failure);
    void updatePlayButton(bool playing);
    void showSilence(const QString& silence);

    Transport& mTransport;
    QSettings& mSettings;
    QString mLogFolder;
    PatternGrid* mGrid;
    QSpinBox* mTempo;
    QPushButton* mPlay;
    QPushButton* mLoop;
    QPushButton* mClick;
    QMenu* mRecent = nullptr;
    QLabel* mStatus;
    QLabel* mSilence; // why nothing is heard, shown while it lasts
    Script mScript;
    std::string mBytes;
    QString mPath;
    bool mNoTimeSignature = false;
    QString mRequest; // what the first note's time is counted from
};

} // namespace standin
