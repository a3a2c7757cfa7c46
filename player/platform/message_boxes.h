#pragma once

#include <QString>

// Plain message boxes with an OK button (or OK and Cancel). Callers pass
// texts already translated into the interface language.
class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    virtual void information(const QString &title, const QString &text) = 0;
    virtual void error(const QString &title, const QString &text) = 0;
    // True for OK, false for Cancel.
    virtual bool confirm(const QString &title, const QString &text) = 0;
};
