#pragma once

#include <QString>
#include <optional>

// Criteria texts: a column name, "=", and a value between apostrophes, for
// example NOREKENING='0120100001'. An apostrophe inside the value is written
// doubled (''). Criteria are parsed and their values bound as parameters; they
// never become part of an SQL statement.
namespace criteria {

struct Criterion {
    QString column; // as written; matched against the columns without regard to case
    QString value;  // compared exactly
};

// Parses a criteria text; nothing when it is not of the form above.
std::optional<Criterion> parse(const QString &text);

// Joins column name, "=", and the value between apostrophes, doubling any
// apostrophe inside the value, so that every typed text searches literally.
QString build(const QString &column, const QString &value);

} // namespace criteria
