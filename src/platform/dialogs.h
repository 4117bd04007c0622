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
    // A modal input box with one line of text; returns the empty text on Cancel.
    virtual QString inputBox(
        const QString& prompt, const QString& title, const QString& defaultText = QString())
        = 0;
};
