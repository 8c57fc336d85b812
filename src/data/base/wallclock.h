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

// For tests only: the clock reads from `clock` instead of the system's; an empty
// function gives the system's clock back.
void setForTesting(std::function<QDateTime()> clock);

} // namespace wallclock
