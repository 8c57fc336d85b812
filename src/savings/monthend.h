#pragma once

#include "data/base/outcome.h"
#include "data/operators/supervision.h"
#include "savings/profitshare.h"

#include <QSqlDatabase>
#include <QString>
#include <optional>

// The month end: every account's share of the month (profitshare) read from the
// ledger in one ordered pass, and its posting in one write transaction: a share
// row ("03", "Bagi Hasil" or "Bonus") and where tax is due a tax row ("04",
// "Pajak") for each account with a share, the run's row in bagi_hasil, and one
// trail row (bagi hasil) that covers the run's ledger rows by key range, count
// and digest. A month is posted once.
//
// On a server only a supervisor's role may open a run (the server's function
// checks it), and the ledger takes share and tax rows only from the transaction
// that opened one. The accounts are locked one after another in account order,
// as a counter's posting locks its one account, so counters post on meanwhile
// and every balance chain stays whole. In a file the write shuts out every other
// writer, and the program checks the operator's kind itself.
namespace monthend {

inline constexpr char kShareCode[] = "03";
inline constexpr char kTaxCode[] = "04";
QString shareKind(profitshare::Contract contract); // "Bagi Hasil", "Bonus"
inline constexpr char kTaxKind[] = "Pajak";
QString contractText(profitshare::Contract contract); // "mudharabah", "wadiah"

// A month posted: what its row in bagi_hasil keeps, and its trail row.
struct Run {
    qint64 id = 0;
    profitshare::Month month;
    profitshare::Inputs inputs;
    Money amount, totalGross, totalTax, remainder;
    qint64 accounts = 0;
    QString supervisor;
    QDateTime time;
    std::optional<qint64> firstKey, lastKey;
    qint64 rows = 0;
    std::optional<qint64> trailNumber;
    QString seal;
};

// The month's run, when it was posted.
Outcome postedRun(QSqlDatabase &database, const profitshare::Month &month, std::optional<Run> *run);
Outcome postedRun(const QString &connectionText, const profitshare::Month &month, std::optional<Run> *run);
// The refusal of a second run of a month: when and by whom it was posted.
QString alreadyPostedText(const Run &run);

// The tax settings as they stand (threshold and rate) put into the inputs.
Outcome readTaxSettings(QSqlDatabase &database, profitshare::Inputs *inputs);

// Every account of the register with its weight over the month and its balance
// at the month's end, from one pass over the ledger, and their shares.
Outcome compute(QSqlDatabase &database, const profitshare::Inputs &inputs, const profitshare::Month &month,
                profitshare::Result *result);
// The same on a connection of its own, with the tax settings as they stand.
Outcome compute(const QString &connectionText, profitshare::Inputs inputs, const profitshare::Month &month,
                profitshare::Result *result);

// Posts the month for the operator who logged in: refused for a month posted
// already (before anything is computed), a month not yet ended, a clerk, and a
// run that shares nothing. *result is what was posted, *run its stored row.
Outcome post(const QString &connectionText, profitshare::Inputs inputs, const profitshare::Month &month,
             profitshare::Result *result, Run *run);

// --- Taking a posted month back whole
// A correction row ("05", "Koreksi") for every share and tax row of the run, the
// amounts swapped, each linked in koreksi to the row it reverses, and one trail
// row (batal bagi hasil) that names the run and covers the correction rows by key
// range, count and digest; the run is marked taken back, and its month may be
// posted again. A supervisor asks it; another supervisor, not the one who posted
// the run, approves it. Refused, naming the account, where an account's balance
// is now below its share less its tax (the money was withdrawn).
//
// The month's run that may be taken back, judged as the database stands (before
// the approval is asked).
Outcome judgeTakeBack(const QString &connectionText, const profitshare::Month &month, Run *run);
// What the other supervisor is asked to approve.
supervision::Request takeBackRequest(const Run &run);
// Takes the run back for the supervisor who logged in, judging it all again
// inside the write; *rows the correction rows written.
Outcome takeBack(const QString &connectionText, const Run &run, const std::optional<supervision::Approval> &approval,
                 qint64 *rows);
// The refusal of a month that has no run to take back.
QString notPostedText(const profitshare::Month &month);
// The refusal where an account no longer holds its share.
QString withdrawnText(const QString &account, const QString &name, Money balance, Money kept);

// Messages.
namespace text {
extern const char *const kNotEnded;      // the month has not ended yet
extern const char *const kNothingShared;
extern const char *const kNotUpgraded;   // a database made before the month end // no account has a balance, or nothing to share
} // namespace text

} // namespace monthend
