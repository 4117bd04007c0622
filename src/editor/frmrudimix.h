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
    void createColumn(int i);
    void columnChanged(int i);

    modRudimix& mModule;
    std::vector<QScrollBar*> mVertRes;
    std::vector<QScrollBar*> mVertVolume;
    std::vector<CellCheckBox*> mChkFlammed;
    std::array<std::vector<CellCheckBox*>, 6> mChkVoice;
};
