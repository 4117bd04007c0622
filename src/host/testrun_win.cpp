#include "testrun.h"

#include "ansi.h"
#include "winmessage.h"

#include <algorithm>
#include <windows.h>

namespace {

void fail(QString* error, DWORD code)
{
    if (error)
        *error = winMessage(code);
}

// Writes all the bytes to the open file; false with the system's code in *code on a failure.
bool writeAll(HANDLE file, const std::string& bytes, DWORD* code)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = DWORD(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            *code = ::GetLastError();
            return false;
        }
        done += written;
    }
    return true;
}

} // namespace

void writeTestScript(const QString& path, const std::string& bytes, QString* error)
{
    const std::string name = ansi::fromUnicode(path);
    const DWORD attributes = ::GetFileAttributesA(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return fail(error, ERROR_ACCESS_DENIED);
    // Beside the script, so that moving it into place never crosses a volume.
    const std::string temporary = ansi::fromUnicode(testScriptTemporaryPath(path));
    const HANDLE file = ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return fail(error, ::GetLastError());
    DWORD code = 0;
    bool done = writeAll(file, bytes, &code);
    if (!::CloseHandle(file) && done) {
        code = ::GetLastError();
        done = false;
    }
    if (done && !::MoveFileExA(temporary.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        code = ::GetLastError();
        done = false;
    }
    if (!done) {
        ::DeleteFileA(temporary.c_str());
        fail(error, code);
    }
}

QString testScriptTemporaryPath(const QString& path)
{
    return path + QStringLiteral(".new");
}

void gsbDeleteFile(const QString& path, QString* error)
{
    if (::DeleteFileA(ansi::fromUnicode(path).c_str()))
        return;
    const DWORD code = ::GetLastError();
    if (code != ERROR_FILE_NOT_FOUND) // nothing there: nothing to delete
        fail(error, code);
}

void gsbAppendLine(const QString& line, const QString& path, QString* error)
{
    const HANDLE file = ::CreateFileA(ansi::fromUnicode(path).c_str(), FILE_APPEND_DATA,
        FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return fail(error, ::GetLastError());
    DWORD code = 0;
    const bool done = writeAll(file, ansi::fromUnicode(line) + "\r\n", &code);
    if (!::CloseHandle(file) && done)
        code = ::GetLastError();
    if (!done || code)
        fail(error, code);
}
