#include "data/base/wallclock.h"

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

QDate today()
{
    return now().date();
}

void setForTesting(std::function<QDateTime()> clock)
{
    testClock() = std::move(clock);
}

} // namespace wallclock
