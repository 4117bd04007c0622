#pragma once

#include <QString>

// The system clipboard (plain text only) and the system beep.
class IClipboard {
public:
    virtual ~IClipboard() = default;
    virtual void setText(const QString& text) = 0;
    virtual void beep() = 0;
};
