#pragma once

#include "data/recordsource.h"

#include <QString>
#include <optional>

// An account number identifies a customer: a register row is never stored with
// an empty number, a number of more than ten characters, or a number another
// customer already has. The rule is checked against the database as it stands
// at the moment of writing (not a screen's snapshot), inside the write itself,
// so that files made before the database enforced it are kept clean as well.
namespace customers {

// The most characters an account number may have.
constexpr int kAccountNumberLength = 10;

// The warning for a number that another customer already has.
extern const char *const kNumberInUse;
// The refusal of an empty number.
extern const char *const kNumberEmpty;
// The refusal of a number that is too long.
extern const char *const kNumberTooLong;

// The check for a register row about to be written (position 0 is the number).
// A row that keeps its stored number (pass that number as storedNumber) is not
// judged again: a customer of an older file keeps whatever number he has and
// his other details can still be corrected. New rows pass nothing.
RecordSource::WriteCheck accountNumberCheck(const std::optional<QString> &storedNumber = std::nullopt);

} // namespace customers
