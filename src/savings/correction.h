#pragma once

#include "data/base/money.h"
#include "data/base/outcome.h"
#include "data/operators/supervision.h"
#include "data/records/recordwriter.h"
#include "data/trail/audit.h"

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVector>
#include <optional>

// A correction reverses one deposit or withdrawal by a new ledger row, code "05"
// kind "Koreksi", that carries the reversed row's amounts swapped (a deposit's
// kredit becomes debet, a withdrawal's debet kredit) and the balance that follows
// from the account's latest row. Nothing is ever changed or taken away: the
// ledger, the reports and the passbook show both rows. Each row is corrected at
// most once, never a correction itself, with a reason and a supervisor's approval;
// the table koreksi links the two rows.
namespace correction {

inline constexpr char kCode[] = "05";
inline constexpr char kKind[] = "Koreksi";

// The row to be reversed, as the ledger holds it.
struct Original {
    qint64 key = 0;
    QString account;
    QString code;
    Money debet, kredit;
    // The amount the correction moves: the row's one amount.
    Money amount() const { return Money::fromSen(debet.sen() + kredit.sen()); }
    bool deposit() const { return kredit.sen() > 0; }
};

// Reads the row with this key and judges whether it may be reversed: refused for
// a row that is itself a correction, a row that is no deposit or withdrawal, a row
// corrected before, and (with `balance`) when the account's latest balance cannot
// give the money back (a deposit whose money was taken out since). Reads the
// database as it stands.
Outcome judge(QSqlDatabase &database, qint64 key, Original *row, bool balance = true);
Outcome judge(const QString &connectionText, qint64 key, Original *row);

// What the supervisor is asked to approve.
supervision::Request request(const Original &row, const QString &reason);

// The correction's ledger row, dated `date`; name and saldo are filled in by check().
QVector<QVariant> ledgerRow(const Original &row, const QDate &date);

// The check of the correction's write: under the account's lock, the row judged
// again (another counter may have corrected it, or taken the money out), the
// account's block, the register's name and the new balance, and the approval used
// (on a server its grant, for exactly this row). In a file the link to the
// reversed row is written here; on a server the ledger's rule writes it.
recordwrite::Check check(const Original &row, const QString &reason,
                         const std::optional<supervision::Approval> &approval);

// The correction's trail row: the reversed row, the reason and the supervisor (the
// clerk is the row's operator), with the token that names this "Koreksi".
audit::Entry trailEntry(const Original &row, const QString &reason, const supervision::Approval &approval,
                        const QString &token);

namespace text {
extern const char *const kNoRow;            // no ledger row chosen
extern const char *const kReasonMissing;    // no reason typed
extern const char *const kIsCorrection;     // the row is itself a correction
extern const char *const kNotPosting;       // the row is no deposit or withdrawal
extern const char *const kAlreadyCorrected; // the row was corrected before
extern const char *const kMoneyGone;        // a deposit whose money was taken out since
extern const char *const kNotUpgraded;      // a database made before corrections
} // namespace text

// The refusal a server's words stand for, when they are one of the above; else the words.
QString refusalOf(const QString &serverWords);

} // namespace correction
