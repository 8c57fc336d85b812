#pragma once

#include <QDate>
#include <QDateTime>
#include <functional>

// The counter's clock: the date and time a posting is dated by, and its trail row's
// moment. One reading serves both, so a posting made around midnight never bears
// one day in the ledger and another in the trail.
namespace wallclock {

// The local date and time now.
QDateTime now();
// Today's date.
QDate today();

// An offset from UTC as a trail row records it ("+07:00", "-03:30").
QString zoneText(int offsetSeconds);
// The machine's offset from UTC now (the system's clock, also in tests).
QString zoneNow();

// For tests only: the clock reads from `clock` instead of the system's; an empty
// function gives the system's clock back.
void setForTesting(std::function<QDateTime()> clock);

} // namespace wallclock
