#include "data/base/wallclock.h"

#include <cstdlib>

namespace wallclock {

namespace {
std::function<QDateTime()> &testClock()
{
    static std::function<QDateTime()> clock;
    return clock;
}
} // namespace

QDateTime now()
{
    return testClock() ? testClock()() : QDateTime::currentDateTime();
}

QString zoneText(int offsetSeconds)
{
    const int minutes = std::abs(offsetSeconds) / 60;
    return QStringLiteral("%1%2:%3")
        .arg(offsetSeconds < 0 ? QStringLiteral("-") : QStringLiteral("+"))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString zoneNow()
{
    return zoneText(QDateTime::currentDateTime().offsetFromUtc());
}

QDate today()
{
    return now().date();
}

void setForTesting(std::function<QDateTime()> clock)
{
    testClock() = std::move(clock);
}

} // namespace wallclock
