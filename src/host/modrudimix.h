#pragma once

#include "services.h"

#include <QString>
#include <cstdint>
#include <functional>

// The program's module: its run-time values and general routines. One instance lives from
// start-up to the end of the program; every window is handed a reference to it.
class modRudimix {
public:
    explicit modRudimix(Services& services);

    // ---- run-time values ----
    QString gsHostFolder; // folder of TAMBRIX.EXE and TAMBRIX.INI, as found
    QString gsSettingsFile; // gfnAddBackslash(gsHostFolder) + "TAMBRIX.INI"
    std::int16_t giMaxNotes = 0; // 32..64 once start-up has passed
    QString gsTestHeader; // header lines of the test script, separated by CR LF

    // Folder of the running executable; main() sets it, tests set a temporary folder.
    QString ownFolder;
    // Creates the editor window and shows it without making it modal; main() sets it.
    std::function<void()> showEditor;

    Services& services() const { return mServices; }

    // The program's title, for message boxes that have none of their own.
    static QString programTitle();

    // ---- routines ----
    // Start-up. Returns true when the editor window was opened; false when the program was
    // ended (no settings file, or a bad maximum).
    bool Main();

    QString gfnRegGetString(HKEY root, const QString& keyPath, const QString& valueName);
    // defaultValue: a null QString stands for "no value at all".
    QString gfnINIgetBasic(const QString& section, const QString& key, const QString& defaultValue,
        const QString& file);
    bool gfnINIputBasic(const QString& section, const QString& key, const QString& value,
        const QString& file, QString* error = nullptr);
    // -1 on success, 0 on failure; writes into gsSettingsFile.
    std::int16_t gfnINIput(
        const QString& section, const QString& key, const QString& value, QString* error = nullptr);

    // Appends the platform's folder separator: "/" on Linux (nothing after a trailing "/"),
    // "\" on Windows (nothing after a trailing "\" or ":").
    static QString gfnAddBackslash(const QString& folder);
    static QString addBackslashWindows(const QString& folder);
    static QString addBackslashPosix(const QString& folder);
    static bool gfnFileExists(const QString& path);
    // "The host folder's name is too long (N characters, at most longest):", a blank line and
    // the folder wrapped; the start of the boxes for a folder too long for the system's paths.
    static QString hostFolderTooLong(const QString& folder, qsizetype longest);
    // The path in lines of at most width characters, each but the last ending after a "\" or
    // "/" where one leaves the line at least half full: a message box shows it whole.
    static QString wrappedPath(const QString& path, qsizetype width = 60);
    // An empty search text returns the text unchanged.
    static QString gfnReplaceAll(
        const QString& text, const QString& search, const QString& replacement);

    // ---- test run (the TEST button) ----
    // gsbDeleteFile, gsbAppendLine and gfnRunHost live in testrun.cpp.

private:
    QString regGetString(HKEY root, const QString& keyPath, const QString& valueName);

    Services& mServices;
};
