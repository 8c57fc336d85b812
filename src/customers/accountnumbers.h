#pragma once

#include "data/base/money.h"
#include "data/records/recordsource.h"

#include <QString>
#include <functional>
#include <optional>

class QWidget;

// An account number identifies a customer: a register row is never stored with
// an empty number, a number of more than ten characters, or a number another
// customer already has. The rule is checked against the database as it stands
// at the moment of writing (not a screen's snapshot), inside the write itself,
// so that files made before the database enforced it are kept clean as well.
//
// The ledger is kept by account number, and a customer's ledger rows stay when
// he is deleted. So a customer who has ledger rows keeps his number, a customer
// who still has money is not deleted, and a number whose ledger rows have no
// customer is given to one only after the operator agreed to it (the only way a
// customer deleted earlier gets back to his money).
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

// The ledger rows of one account number as the database holds them now.
struct LedgerRows {
    qint64 count = 0;
    Money balance;        // saldo of the latest row, 0 without rows
    qint64 latestKey = 0; // row key of the latest row
    friend bool operator==(const LedgerRows &, const LedgerRows &) = default;
};
// Failed when the ledger cannot be read, or when the latest row's saldo is empty
// or no number (never taken as 0). A write that judges by them takes the
// account's lock first (ledger::lockAccount), so no posting changes them meanwhile.
Outcome readLedgerRows(QSqlDatabase &database, const QString &number, LedgerRows *rows);

// The question asked before a number with ledger rows but no customer is stored.
QString reusedNumberQuestion(const QString &number, const LedgerRows &rows);

enum class Written { Stored, Declined, Failed };

// Writes a register row through `write`, which runs the record source's write
// with the check it is given. The check is accountNumberCheck(storedNumber);
// besides, a customer with ledger rows may not change his number, and when the
// number to be stored has ledger rows but no customer, the operator is asked
// first (Yes/No, naming their count and balance as the write found them). Only
// Yes stores, and only while the rows are still those he was told of; when they
// changed meanwhile he is asked again. Failed: the record source tells why.
Written writeRegisterRow(QWidget *screen, const std::optional<QString> &storedNumber,
                         const std::function<bool(const RecordSource::WriteCheck &)> &write);

// The check for deleting a register row: a customer whose balance is not 0 stays.
// Inside the deletion's write it holds off every posting on the account (as the
// check of a register row does for its old and new number) until the write ends.
RecordSource::WriteCheck deleteCheck();

} // namespace customers
