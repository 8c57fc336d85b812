#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QVariant>

// How values are written for the operator.
namespace textform {

// Dates are shown the Indonesian way whatever the system's locale (Debian's
// default C.UTF-8 included): day/month/year with the year in four digits, and
// Indonesian names of months and days.
QLocale indonesian();
QString dateFormat(); // "dd/MM/yyyy"
// A date as the operator reads it ("10/12/2026").
QString shortDate(const QDate &date);

// A stored date ("YYYY-MM-DD", possibly with a time of day) as a date.
QDate storedDate(const QVariant &value);
// A date as it is stored ("YYYY-MM-DD").
QString storedDateText(const QDate &date);

// The text a field or grid cell shows for a stored value: numbers as amounts of
// money (Money::toText: 6000, -2000, 1500.5 with the locale's decimal sign),
// dates as shortDate(), everything else as it is.
QString display(const QVariant &value);

// Text from the data (or a file name) as a terminal may show it: control and
// format characters, which could move the cursor or rewrite what the reader sees,
// stand escaped as \x1b or \u202e. Everything else is kept.
QString printable(const QString &text);
// The same for a message of several lines: its line breaks stay line breaks.
QString printableLines(const QString &text);

} // namespace textform
