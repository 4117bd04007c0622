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

    // Opens the range editor modally over this window; wired by the application, because the
    // range editor is built on this window.
    std::function<void(frmRudimix&)> rangeEditorOpener;

protected:
    void closeEvent(QCloseEvent* event) override; // Form_Unload: ends the program

private:
    void Form_Load();
    void createMenu();
    void createControls();
    void createColumn(int i);
    void wireColumn(int i);
    void setColumnEnabled(int i, bool enabled);
    void columnChanged(int i);
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
};
