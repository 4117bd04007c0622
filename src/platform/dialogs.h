#pragma once

#include <QString>

// Modal message and input boxes. Every box the program shows goes through this interface, so
// that tests can script the answers.
enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

class IDialogs {
public:
    virtual ~IDialogs() = default;
    // A modal message box. The title is never empty: callers pass the program's title when
    // they have none of their own.
    virtual MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
        MsgButtons buttons = MsgButtons::Ok)
        = 0;
    // A modal input box with one line of text; returns the empty text on Cancel. What is typed
    // or pasted keeps only its first line (see firstLine).
    virtual QString inputBox(
        const QString& prompt, const QString& title, const QString& defaultText = QString())
        = 0;
};

// The text of a one-line field: what comes before the first line end (LF, CR LF or CR), as a
// one-line edit control keeps of a pasted text.
inline QString firstLine(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' || text[i] == u'\r')
            return text.left(i);
    }
    return text;
}
