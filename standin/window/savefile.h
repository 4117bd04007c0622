#pragma once

#include <QString>
#include <string>

class QWidget;

// The practice window's Save As for every kind of file it writes (the script, the play-along
// results): the dialog, which asks before replacing a file, and the writing, which replaces only
// a missing or regular file and refuses a read-only one whatever its size (as --render does).
namespace standin {

struct SaveDialog {
    QString title; // "Save the script as"
    QString objectName; // "saveAsDialog"
    QString filter; // "Scripts (*.drum)"
    QString suffix; // "drum": added when the name has none, asking again before it replaces
    QString folder;
    QString fileName;
};

// The path chosen, empty when cancelled.
QString askSavePath(QWidget* parent, const SaveDialog& dialog);

// False, with error set in the user's words, when the target is refused or cannot be written.
bool writeChecked(const QString& path, const std::string& bytes, QString& error);

} // namespace standin
