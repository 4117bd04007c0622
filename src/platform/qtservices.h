#pragma once

#include "clipboard.h"
#include "dialogs.h"
#include "process.h"
#include "programend.h"

// The real platform services, on Qt.
class QtDialogs : public IDialogs {
public:
    MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
        MsgButtons buttons = MsgButtons::Ok) override;
    QString inputBox(const QString& prompt, const QString& title,
        const QString& defaultText = QString()) override;
};

class QtClipboard : public IClipboard {
public:
    void setText(const QString& text) override;
    void beep() override;
};

class QtProcessLauncher : public IProcessLauncher {
public:
    qint64 startDetached(const QString& program, const QStringList& arguments,
        const QString& workingFolder, QString* error = nullptr) override;
};

class RealProgramEnd : public IProgramEnd {
public:
    [[noreturn]] void endProgram() override;
};
