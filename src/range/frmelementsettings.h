#pragma once

#include <QDialog>
#include <QFont>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class frmRudimix;

// "Change Multiple Note Settings": gives every note of the editor's selected range one note
// type, one volume, or a straight-line (de)crescendo between the range's end volumes. It keeps
// no copy of the pattern: it sets the editor's type and volume scroll bars, so the editor's own
// change handling keeps the RAW line and the tooltips current. Created afresh at every opening.
class frmElementSettings : public QDialog {
    Q_OBJECT

public:
    explicit frmElementSettings(frmRudimix& editor, QWidget* parent = nullptr);

    // ---- window state ----
    frmRudimix& fxEditor;
    std::int16_t fiNoteType = 0; // type code of the latest note-type edit
    bool fbActivated = false; // the presets of the first activation have run

    // ---- controls ----
    QLabel* Label1 = nullptr;
    QGroupBox* SSFrame1 = nullptr; // "Volume Changes"
    QComboBox* cboVolume = nullptr;
    std::array<QRadioButton*, 2> optVolume {}; // 0: fixed volume, 1: (de)crescendo
    QButtonGroup* optVolumeGroup = nullptr;
    QPushButton* cmdSetVolume = nullptr;
    QGroupBox* SSFrame2 = nullptr; // "Note Type"
    QComboBox* cboType = nullptr;
    QPushButton* cmdApplyNoteChanges = nullptr;
    QPushButton* cmdClose = nullptr;

    // ---- event handlers ----
    void cmdApplyNoteChanges_Click(); // the note-type edit
    void cmdSetVolume_Click(); // the volume edit, fixed or (de)crescendo
    void cmdClose_Click();

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    struct Range {
        int iFrom = 0;
        int iTo = -1;
    };

    void Form_Load();
    void Form_Activate();
    void createControls();
    static void shrinkToFit(
        std::initializer_list<QWidget*> widgets, QFont font, bool (*fits)(const QWidget*));
    // The editor's txtFrom and txtTo as 0-based column indexes; nothing when either text is not
    // a number that fits a 16-bit integer.
    std::optional<Range> readRange() const;
    bool columnExists(int i) const;
};
