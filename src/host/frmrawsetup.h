#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

class QComboBox;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class modRudimix;

// "Setup": the header lines of the test script and the maximum number of note columns.
// Created afresh for every opening and shown modally over the editor; it reads the module's
// gsTestHeader and giMaxNotes when it is constructed and writes them only on OK.
class frmRAWsetup : public QDialog {
    Q_OBJECT

public:
    explicit frmRAWsetup(modRudimix& module, QWidget* parent = nullptr);

    // The two fixed lines that every test script ends with, as the window shows them.
    static QString tailText();
    static QString panelCaption();

    // ---- controls, in tab order ----
    QPlainTextEdit* txtHeader = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPlainTextEdit* txtTail = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QFrame* SSPanel1 = nullptr;
    QLabel* SSPanel1Caption = nullptr; // the panel's caption, drawn centred on the panel
    QComboBox* cboMaxNotes = nullptr;

    // ---- event handlers ----
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    void buildControls();
    void Form_Load();
    // What txtHeader holds, every character as typed, with LF between lines.
    QString headerBoxText() const;
    // The header as the user left it, with CR LF between lines.
    QString editedHeader() const;
    // Writes a changed maximum after the user confirmed it; false when the write failed.
    bool storeMaxNotes(std::int16_t maxNotes, const QString& text);

    modRudimix& mModule;
    QString mShownHeader; // gsTestHeader as it was when the window opened
    QString mShownText; // what txtHeader held right after loading it
};
