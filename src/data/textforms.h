#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QVariant>
#include <optional>

// How values are written for the operator and read back from what he types.
namespace textform {

// The plain text form of a number: no digit grouping, no currency sign, a full
// stop before decimals, whole numbers without decimals (6000, -2000, 1500.5).
QString number(double value);

// A date in the system's short date format.
QString shortDate(const QDate &date);

// A stored date ("YYYY-MM-DD", possibly with a time of day) as a date.
QDate storedDate(const QVariant &value);
// A date as it is stored ("YYYY-MM-DD").
QString storedDateText(const QDate &date);

// The text a field or grid cell shows for a stored value: numbers and dates as above,
// everything else as it is.
QString display(const QVariant &value);

// An amount typed by the operator, read once with the locale's digit grouping and
// decimal marks ("1.500" is 1500 under an Indonesian locale); nothing when the text
// is not a number.
std::optional<double> amount(const QString &text, const QLocale &locale = QLocale());

} // namespace textform
