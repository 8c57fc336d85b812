#pragma once

#include "data/trail/audit.h"
#include "data/base/money.h"
#include "data/base/outcome.h"
#include "data/records/recordwriter.h"

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <memory>
#include <optional>

// The rules of a posting: the transaction codes and kinds, how an amount is read
// and checked, and how the new balance follows from the previous one.
namespace posting {

// "01" is a deposit into kredit, "02" a withdrawal from debet.
enum class Code { Deposit, Withdrawal };

QString codeText(Code code); // "01", "02"
QString kind(Code code);     // "Penyetoran", "Penarikan"

// The least amount that may be deposited.
constexpr Money kMinimumDeposit = Money::fromRupiah(1000);

enum class AmountProblem { None, Missing, NotANumber, TooManyDecimals, TooLarge, NotPositive, BelowMinimum };

// Reads an amount as the operator typed it, once, with the locale's digit grouping
// and decimal sign, to the sen; the same amount serves the checks, the balance and
// the stored row. A deposit below the minimum is a problem, a withdrawal is checked
// against the balance separately.
AmountProblem readAmount(const QString &text, Code code, Money *value);

// The message for an amount problem.
QString refusal(AmountProblem problem, Code code);

// How the transaction screen refuses an amount, the same after Enter and at "SAVE":
// a deposit below the minimum (none, 0 or 999 alike) and a withdrawal beyond the
// balance empty the field; a text that is no amount stays, to be corrected.
struct AmountRefusal {
    QString text;
    bool emptiesField = false;
};
AmountRefusal amountRefusal(AmountProblem problem, Code code);
// The same when the new balance cannot be had (newBalance() gives nothing).
AmountRefusal balanceProblem(Code code);

// The new balance after the transaction; nothing for a withdrawal larger than the
// balance (or a deposit beyond what a balance can hold). A withdrawal of the whole
// balance gives exactly 0.
std::optional<Money> newBalance(Money previous, Code code, Money amount);
// The refusal when newBalance() gives nothing.
QString balanceRefusal(Code code);

// The account's latest balance in the database as it stands now (not a snapshot),
// 0 when it has no rows. Failed when the database could not be read, or when the
// latest row's saldo is empty or no number (never taken as 0).
Outcome latestBalance(QSqlDatabase &database, const QString &account, Money *balance);
// The register's name for the account as it stands now; refused (kAccountUnknown)
// when the account is not registered, failed when the register could not be read.
Outcome registeredName(QSqlDatabase &database, const QString &account, QString *name);

// The ledger row of a posting as "SAVE" appends it: name and saldo are filled in
// by postingCheck() inside the write.
QVector<QVariant> ledgerRow(const QString &account, const QString &name, const QDate &date, Code code,
                            Money amount);
// The previous balance of the account as the transaction screen showed it when
// "SAVE" was clicked, and whether the write found another.
struct ShownBalance {
    std::optional<Money> previous; // nothing when the screen showed none of this account
    bool differed = false;         // set by the check when the balance was not the one shown
};

// The check of a posting's write: inside the write transaction, serialised with
// every other posting on the same account (on every counter), it takes the
// register's name and the account's latest balance as they stand now, refuses a
// withdrawal beyond it, and puts name and new balance into the row (columns 1 and 7).
// With `shown`, it also refuses (and sets shown->differed) when the balance is
// not the one the clerk was shown: nothing is stored that he was not told of.
recordwrite::Check postingCheck(const QString &account, Code code, Money amount,
                                const std::shared_ptr<ShownBalance> &shown = nullptr);
// The question put to the clerk when the balance at "SAVE" is not the one he was
// shown (`shown`, or nothing when he was shown none of this account): the previous
// balance now and the new balance it gives.
QString balanceQuestion(const QString &account, const std::optional<Money> &shown, Money now, Money next);
// The question put to the clerk when the new balance on screen was computed for
// another amount than the one now typed (changed after its Enter).
QString amountChangedQuestion(Money amount, Money next);

// The audit trail's entry of one "SAVE": a deposit or a withdrawal on the account,
// with the token that names this "SAVE" (audit::newToken()).
audit::Entry trailEntry(Code code, const QString &account, const QString &token);

// Messages of the transaction screen.
namespace text {
extern const char *const kNotFound;          // failed account lookup
extern const char *const kBelowMinimum;      // deposit below the minimum
extern const char *const kZeroBalance;       // withdrawal of the whole balance (a warning)
extern const char *const kInsufficient;      // withdrawal larger than the balance
extern const char *const kAccountMissing;    // no account number typed
extern const char *const kAccountUnknown;    // account number not in the register
extern const char *const kCodeMissing;       // no code chosen from the list
extern const char *const kDebetNotEmpty;     // a deposit with an amount in the withdrawal field
extern const char *const kKreditNotEmpty;    // a withdrawal with an amount in the deposit field
} // namespace text

} // namespace posting
