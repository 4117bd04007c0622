#pragma once

#include "listenconsole.h"
#include "strokemarks.h"

#include <QString>
#include <QWidget>

class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QSettings;

// The practice window's play-along: the "Listen" button (I), the Input menu (every MIDI port
// and microphone source there is, each with its calibrated latency, "Any pad", "Calibrate"), the
// marks on the grid and the Staff view, the panel beside them with one line per loop (also in
// the log; every line on stdout through the ListenConsole), File > "Save Results...", and the
// input's troubles in the status line (the window plays on).
namespace standin {

class ListenPanel : public QWidget {
    Q_OBJECT
public:
    // console: the listening (TAMBRIX.EXE --listen may have opened it); toggle: the window's
    // checkable "Listen" button.
    ListenPanel(Transport& transport, ListenConsole& console, QPushButton* toggle,
        QSettings& settings, const QString& logFolder, QWidget* parent = nullptr);

    QPushButton* toggle() const { return mToggle; }
    const StrokeMarks& marks() const { return mMarks; }
    // The Input menu, and File's Save Results...
    QMenu* inputMenu() const { return mInputMenu; }
    QAction* saveResultsAction() const { return mSaveResults; }

    // Listen on or off with the input chosen; false (and off) when it cannot be opened.
    bool setListening(bool on);
    bool listening() const;
    InputChoice choice() const { return mChoice; }
    // Chooses the input (remembered); listening goes on with it when on.
    void choose(const InputChoice& choice);
    // The input's latency (seconds) as calibrated, 0 when it has not been.
    double latencyOf(const InputChoice& choice) const;
    // The Input menu's entries for what is there now (rebuilt each time it opens).
    void fillInputMenu();

    // The loop lines shown, in order.
    QStringList loopLines() const;
    // Writes the results since play last started from the top (resultsCsv); as Save As does, a
    // FIFO, a device or a read-only file is refused.
    bool saveResults(const QString& path);

    // Calibration: the window plays calibrationScript() once after begin, and says when its
    // play has ended; the median offset becomes the input's latency.
    void beginCalibration();
    bool calibrating() const { return mCalibrating; }

signals:
    void message(const QString& text, bool failure);
    // A loop has been summed up (for the speed trainer).
    void loopDone(const standin::LoopSummary& summary);
    void calibrationWanted();
    void calibrationDone();

private:
    void decided(const std::vector<MatchEvent>& events);
    void playingChanged(bool playing);
    void endCalibration();
    void saveDialog();
    QString choiceLabel(const InputChoice& choice, const QString& name) const;
    void remember();

    Transport& mTransport;
    ListenConsole& mConsole;
    QPushButton* mToggle;
    QSettings& mSettings;
    QString mLogFolder;
    StrokeMarks mMarks;
    QLabel* mHeading;
    QListWidget* mLines;
    QMenu* mInputMenu;
    QAction* mAnyPad;
    QAction* mSaveResults;
    InputChoice mChoice;
    bool mCalibrating = false;
    bool mWasListening = false; // before a calibration
};

} // namespace standin
