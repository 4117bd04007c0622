#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QScrollBar;
class QFrame;
class QUndoStack;
class QAbstractButton;
class CellCheckBox;
class PictureButton;
class modRudimix;

// The main window: a row of note columns and the RAW line that is kept in step with them.
// Constructing it runs its load sequence.
class frmRudimix : public QMainWindow {
    Q_OBJECT

public:
    explicit frmRudimix(modRudimix& module, QWidget* parent = nullptr);
    ~frmRudimix() override;

    modRudimix& module() const { return mModule; }

    // ---- window fields ----
    std::int16_t fiMaxResValue = 0; // 15 once loaded
    std::int16_t fiNumNotes = 0;
    std::int16_t fiPrevNumNotes = 0;
    bool fbReadingRaw = false;

    // ---- note columns (control arrays, index 0 .. columnCount() - 1) ----
    int columnCount() const;
    QScrollBar* VertRes(int i) const;
    QScrollBar* VertVolume(int i) const;
    CellCheckBox* chkFlammed(int i) const;
    // letter 0 .. 5 stands for voice A .. F
    CellCheckBox* chkVoice(int letter, int i) const;
    // The nine controls of column i: flam, volume, type, voices A .. F.
    std::array<QWidget*, 9> columnControls(int i) const;

    // ---- other controls ----
    QLineEdit* txtRAW = nullptr;
    QLineEdit* txtFrom = nullptr;
    QLineEdit* txtTo = nullptr;
    QScrollBar* HVolFrom = nullptr;
    QScrollBar* HVolTo = nullptr;
    QFrame* lineSettings = nullptr; // the blue line under the selected range
    // The blue line's two ends (X1 under the range's first note, X2 under its last); X1 may lie
    // right of X2 when the range runs backwards. Its Y stays at 366.
    int lineX1() const { return mLineX1; }
    int lineX2() const { return mLineX2; }
    PictureButton* cmdTest = nullptr;
    PictureButton* cmdSetup = nullptr;
    PictureButton* cmdRangeSet = nullptr;
    QLabel* picStuff = nullptr;
    QFrame* picDescribeNote = nullptr;
    std::array<QLabel*, 5> Label1 {};
    std::array<QLabel*, 6> lblVoice {};
    QAction* mnuExit = nullptr;
    QAction* mnuPaste = nullptr;
    QAction* mnuCopy = nullptr;
    QAction* mnuSetNumber = nullptr;

    // ---- reader ----
    void ReadRawText(QString asRawText);
    bool AnalyzeSub(const QString& asNote, std::int16_t& aiRes, std::int16_t& aiVol,
        bool& abFlammed, std::int16_t& aiVoices);

    // ---- writer ----
    void UpdateRAWtext(std::int16_t aiIndex);
    QString MakeARAWsub(std::int16_t aiIndex);
    void MakeARawSubParts(std::int16_t aiIndex, QString& asRes, std::int16_t& aiVol,
        bool& abFlammed, QString& asVoiceList, QString& asToolTip);

    // ---- columns and number of notes ----
    void AddMoreControls();
    void SetNumberOfNotes(std::int16_t aiNumNotes);

    // ---- event handlers ----
    void HVolFrom_Change();
    void HVolTo_Change();
    void cmdRangeSet_Click();
    void cmdTest_Click();
    void cmdSetup_Click();
    void mnuExit_Click();
    void mnuPaste_Click();
    void mnuCopy_Click();
    void mnuSetNumber_Click();

    // ---- history of pattern changes: undo (Ctrl+Z) and redo (Ctrl+Shift+Z, Ctrl+Y) ----
    // What the columns hold: every column's bar positions and check boxes, and the number of
    // notes in use.
    struct ColumnValues {
        std::int16_t resPosition = 0;
        std::int16_t volPosition = 0;
        bool flammed = false;
        std::int16_t voices = 0;
        bool operator==(const ColumnValues&) const = default;
    };
    struct Pattern {
        std::vector<ColumnValues> columns;
        std::int16_t numNotes = 0;
        bool operator==(const Pattern&) const = default;
    };
    Pattern currentPattern() const;
    // Puts a pattern back into the columns as the reader does, then rebuilds the line (through
    // SetNumberOfNotes when the number of notes differs). Records no step.
    void applyPattern(const Pattern& pattern);

    // One user action. Every change of the columns while at least one PatternStep lives is part
    // of one step of the history, recorded when the outermost one ends; an action that changed
    // nothing records none. A column change outside any PatternStep is a step of its own.
    class PatternStep {
    public:
        explicit PatternStep(frmRudimix& editor);
        ~PatternStep();
        PatternStep(const PatternStep&) = delete;
        PatternStep& operator=(const PatternStep&) = delete;

    private:
        frmRudimix& mEditor;
    };

    QUndoStack* undoStack = nullptr; // at most kUndoLimit steps
    QAction* actUndo = nullptr; // shortcuts of the window, in no menu
    QAction* actRedo = nullptr;
    static constexpr int kUndoLimit = 200;
    void editUndo();
    void editRedo();
    // Milliseconds of a steady clock: arrow clicks on one bar less than a second apart form one
    // step.
    std::function<std::int64_t()> historyClock;

    // Opens the range editor modally over this window; wired by the application, because the
    // range editor is built on this window.
    std::function<void(frmRudimix&)> rangeEditorOpener;

protected:
    void closeEvent(QCloseEvent* event) override; // Form_Unload: ends the program
    bool event(QEvent* e) override;

private:
    void Form_Load();
    void createMenu();
    void createControls();
    void createColumn(int i);
    void wireColumn(int i);
    void nameColumn(int i);
    void setColumnEnabled(int i, bool enabled);
    void columnChanged(int i, QScrollBar* bar);
    void createHistory();
    void recordStep(int mergeId);
    void fitClientArea(int width);
    void setLine(int x1, int x2);
    QString wholeLine();
    void showLine(const QString& line);

    modRudimix& mModule;
    QWidget* mClient = nullptr; // the client area: every control's place is relative to it
    int mLineX1 = 0;
    int mLineX2 = 0;
    std::vector<QScrollBar*> mVertRes;
    std::vector<QScrollBar*> mVertVolume;
    std::vector<CellCheckBox*> mChkFlammed;
    std::array<std::vector<CellCheckBox*>, 6> mChkVoice;

    int mStepDepth = 0; // PatternSteps alive
    bool mApplying = false; // applyPattern at work
    bool mHistoryReady = false; // load done: changes from now on are recorded
    Pattern mRecorded; // the pattern as the history's latest step left it
    QScrollBar* mActionBar = nullptr; // the bar of the latest scroll-bar action, and the action
    int mBarAction = 0;
};
