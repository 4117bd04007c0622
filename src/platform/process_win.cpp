#include "qtservices.h"

#include "ansi.h"
#include "winmessage.h"

#include <string>
#include <windows.h>

qint64 SystemProcessLauncher::startDetached(const QString& program, const QStringList&,
    const QString& commandLine, const QString& workingFolder, QString* error)
{
    const std::string application = ansi::fromUnicode(program);
    std::string line = ansi::fromUnicode(commandLine); // CreateProcessA may write into it
    const std::string folder = ansi::fromUnicode(workingFolder);
    STARTUPINFOA startup {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL; // a normal window that gets the focus
    PROCESS_INFORMATION process {};
    if (!::CreateProcessA(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
            folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        if (error)
            *error = winMessage(::GetLastError());
        return 0;
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return qint64(process.dwProcessId);
}

void QtClipboard::beep()
{
    ::MessageBeep(MB_OK);
}
