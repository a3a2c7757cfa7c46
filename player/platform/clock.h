#pragma once

#include <QDateTime>

// Wall-clock time, passed in so that logic deciding "is it time?" can be
// tested at any chosen moment.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
