#pragma once

#include <QString>

// Where short messages for the user go: the desktop's notifications, or
// whatever stands in for them.
class Notifier
{
public:
    virtual ~Notifier() = default;
    // Shows `title` and `body`, both plain text. False when nothing could
    // take the message.
    virtual bool notify(const QString &title, const QString &body) = 0;
};
