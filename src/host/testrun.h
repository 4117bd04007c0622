#pragma once

#include <QString>
#include <QtGlobal>
#include <string>

class modRudimix;

// The test run of the TEST button: the test script "DudEderava.drum" in the host folder (the
// header, "RAW [new-rud]=" and the editor's RAW line, "[new-rud]"; each line ending with CR LF,
// in the ANSI code page), and the host TAMBRIX.EXE started on it without waiting. The script is
// written beside the old one and renamed into place, so that a host reading it meanwhile finds
// the old script or the new one, whole; a symbolic link of that name is replaced, not followed.
//
// A host folder whose name is too long for the system's paths is reported in an error box that
// names it (wrapped) and its longest length; nothing is written or started. A script that
// cannot be written completely is reported in an error box that names its path
// and the system's reason, and the host is then not started. A host that cannot be started is
// reported in an error box that names the host's path and the reason. Nothing is reported on
// success; the call returns as soon as the host has been started.
void gsbTestRun(modRudimix& module, const QString& rawText);

// The test script's path: the host folder with its separator, then "DudEderava.drum".
QString gfnTestScriptPath(const modRudimix& module);
// The host's path: the host folder with its separator, then "TAMBRIX.EXE".
QString gfnHostProgramPath(const modRudimix& module);

// The host's command line as the host receives it on Windows: the host folder unchanged,
// "\TAMBRIX.EXE -notimesig", a blank and the script's path between double quotes.
QString gfnHostCommandLine(const modRudimix& module, const QString& scriptPath);

// Puts the bytes into the file at path as its whole content: written beside it and moved into
// place, so that a reader finds the old file or the new one, whole. On a failure the old file
// stays and *error (when given) holds the system's reason, never empty.
void writeTestScript(const QString& path, const std::string& bytes, QString* error);

// The file beside the test script that writeTestScript writes first, at its longest: the
// longest path of the test run.
QString testScriptTemporaryPath(const QString& path);

// Deletes the file; no such file is no failure. A file that stays (a folder of that name, a file
// read-only by its mode bits, a folder read-only by its mode bits, any other refusal of the
// system) sets *error (when given) to the system's reason, which is never empty.
void gsbDeleteFile(const QString& path, QString* error = nullptr);

// Appends the line and CR LF to the file, creating it when missing; the text is written in the
// ANSI code page (Windows-1252 off Windows), "?" standing for a character outside it. Every write
// and the close are checked; on any failure (no such folder, a file or folder read-only by its mode
// bits, a full disk) *error (when given) is set to the system's reason, which is never empty. What
// was written before the failure stays in the file.
void gsbAppendLine(const QString& line, const QString& path, QString* error = nullptr);

// Starts the host program on the script, with the arguments "-notimesig" and the script's path
// (no shell in between; on Windows the command line of gfnHostCommandLine) and the host folder
// as its working folder, without waiting. Returns the
// started program's process id, or 0 when it could not be started; then *error (when given)
// holds the reason, never empty.
qint64 gfnRunHost(modRudimix& module, const QString& scriptPath, QString* error = nullptr);
