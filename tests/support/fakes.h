#pragma once

#include "services.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <deque>
#include <stdexcept>
#include <vector>

// Hand-written test doubles of the platform services.

// Records every box and answers from a script. A box with no scripted answer left fails the
// test: ScriptedDialogs throws, so an unexpected box never passes silently.
class ScriptedDialogs : public IDialogs {
public:
    struct Box {
        QString text;
        QString title;
        MsgIcon icon = MsgIcon::None;
        MsgButtons buttons = MsgButtons::Ok;
    };
    struct Input {
        QString prompt;
        QString title;
        QString defaultText;
    };

    std::vector<Box> boxes;
    std::vector<Input> inputs;
    std::deque<MsgAnswer> answers; // for Yes/No boxes; OK boxes answer Ok by themselves
    std::deque<QString> inputAnswers;

    MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
        MsgButtons buttons = MsgButtons::Ok) override
    {
        boxes.push_back({ text, title, icon, buttons });
        if (buttons == MsgButtons::Ok)
            return MsgAnswer::Ok;
        if (answers.empty())
            throw std::logic_error("unexpected question box: " + text.toStdString());
        const MsgAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    QString inputBox(const QString& prompt, const QString& title,
        const QString& defaultText = QString()) override
    {
        inputs.push_back({ prompt, title, defaultText });
        if (inputAnswers.empty())
            throw std::logic_error("unexpected input box: " + prompt.toStdString());
        const QString answer = inputAnswers.front();
        inputAnswers.pop_front();
        return answer;
    }
};

class FakeClipboard : public IClipboard {
public:
    QString text;
    int beeps = 0;
    void setText(const QString& t) override { text = t; }
    void beep() override { ++beeps; }
};

class FakeLauncher : public IProcessLauncher {
public:
    struct Start {
        QString program;
        QStringList arguments;
        QString commandLine;
        QString workingFolder;
    };
    std::vector<Start> starts;
    qint64 pid = 4242; // 0 makes every start fail with failReason
    QString failReason = QStringLiteral("No such file or directory");

    qint64 startDetached(const QString& program, const QStringList& arguments,
        const QString& commandLine, const QString& workingFolder, QString* error = nullptr) override
    {
        starts.push_back({ program, arguments, commandLine, workingFolder });
        if (pid == 0 && error)
            *error = failReason;
        return pid;
    }
};

class FakeProgramEnd : public IProgramEnd {
public:
    int calls = 0;
    void endProgram() override { ++calls; }
};

// A registry with no keys at all, unless a test fills it.
class FakeRegistry : public IRegistry {
public:
    bool keyExists = false;
    long queryResult = ERROR_FILE_NOT_FOUND;
    std::uint32_t type = REG_SZ;
    std::string value; // stored without its NUL
    int opened = 0;
    int closed = 0;

    long RegOpenKeyEx(HKEY, const std::string&, std::uint32_t, std::uint32_t, HKEY* result) override
    {
        if (!keyExists)
            return ERROR_FILE_NOT_FOUND;
        ++opened;
        *result = 77;
        return ERROR_SUCCESS;
    }
    long RegQueryValueEx(HKEY, const std::string&, std::uint32_t* t, unsigned char* data,
        std::uint32_t* size) override
    {
        if (queryResult != ERROR_SUCCESS)
            return queryResult;
        const std::uint32_t stored = std::uint32_t(value.size() + 1);
        *t = type;
        if (stored > *size) {
            *size = stored;
            return ERROR_MORE_DATA;
        }
        std::copy(value.begin(), value.end(), data);
        data[value.size()] = 0;
        *size = stored;
        return ERROR_SUCCESS;
    }
    long RegCloseKey(HKEY) override
    {
        ++closed;
        return ERROR_SUCCESS;
    }
};

// All fakes together, and the Services that refer to them.
struct FakeServices {
    ScriptedDialogs dialogs;
    FakeClipboard clipboard;
    FakeLauncher launcher;
    FakeProgramEnd programEnd;
    FakeRegistry registry;
    Services services { dialogs, clipboard, launcher, programEnd, registry };
};
