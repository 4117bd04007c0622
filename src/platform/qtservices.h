#pragma once

#include "clipboard.h"
#include "dialogs.h"
#include "processlauncher.h"
#include "programend.h"

// The real platform services, on Qt.
class QtDialogs : public IDialogs {
public:
    MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
        MsgButtons buttons = MsgButtons::Ok) override;
    QString inputBox(const QString& prompt, const QString& title,
        const QString& defaultText = QString()) override;
};

// The clipboard through Qt; the beep is the system's own (MessageBeep on Windows).
class QtClipboard : public IClipboard {
public:
    void setText(const QString& text) override;
    void beep() override;
};

// The system's way of starting a program: QProcess on POSIX systems, CreateProcessA on Windows.
class SystemProcessLauncher : public IProcessLauncher {
public:
    qint64 startDetached(const QString& program, const QStringList& arguments,
        const QString& commandLine, const QString& workingFolder,
        QString* error = nullptr) override;
};

// Ends the program by leaving every event loop at once: from then on no event of a window or of
// its controls runs (no input, timer, queued call or closing), and the return from the main
// event loop destroys the application, which hands a text that the program put on the
// clipboard to a running clipboard manager. Before any event loop ran (start-up), main()
// returns by itself; without an application the process ends at once.
class RealProgramEnd : public IProgramEnd {
public:
    void endProgram() override;

private:
    bool mEnded = false;
};
