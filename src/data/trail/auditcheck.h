#pragma once

#include "data/trail/audit.h"
#include "data/trail/ledgerchain.h"
#include "data/base/outcome.h"
#include "data/trail/trailhead.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <optional>

// The check of the audit trail and the ledger that simparo-verify makes, and
// simparo-backup on its copy:
// - the chain of jejak in nomor order: numbers 1, 2, 3 ... without a gap, and
//   every seal recomputed from the row and the seal before it;
// - every ledger row has its posting row in jejak (setoran or penarikan) whose
//   content is the row as it stands, or lies in the key range of an import or of
//   the trail's installation whose count and digest match; no ledger row has two,
//   and no posting row's ledger row is gone;
// - every balance chain holds, but for the breaks known: those named by an import,
//   the installation of the trail, or a supervisor's acceptance (putus diterima);
// - the rows only the owner's tools write (putus diterima, impor, pasang jejak,
//   pindah, operator tambah/hapus/reset) are honoured only when the owner wrote
//   them: on a server their peran is the role that owns the tables (or none, when
//   the owner wrote them with the sealing rule lifted, or they were copied from a
//   file by a move); a row copied by a move keeps the peran of its source, which
//   is honoured unless it is an operator's or the lookup role;
// - every customer row (daftar) is as the trail's last row for it holds it, or
//   lies in the register's rows an import or the trail's installation recorded
//   (registertrail.h);
// - the rules that keep nabubg and jejak append-only are in force (the dialect's
//   trailTriggers());
// - the head seen before (trailhead.h), when given, is still in the chain with
//   its seal: the newest rows were not cut off or rewritten.
// Each table is read once as a stream, all from one snapshot; nothing is held
// beyond each account's last balance and the few rows that name known breaks.
namespace audit {

// One row that does not match.
struct Finding {
    QString table; // "jejak" or "nabubg"
    qint64 key = 0; // nomor, or the ledger row's key
    QString text;   // names the table, the row and what differs
};

// A break of a balance chain that is known, and the jejak row that says so.
struct KnownNotice {
    ledger::Break link;
    qint64 nomor = 0;
    QString tindakan;
};

struct CheckResult {
    bool hasTrail = false;
    qint64 trailRows = 0;
    std::optional<Record> head; // the last row of the chain
    ledger::Summary ledger;     // rows and accounts of the ledger (its breaks: see below)
    qint64 findings = 0;
    QList<Finding> shown;       // the first findings, in the order found
    QList<KnownNotice> known;   // the known breaks met
    QStringList notices;        // what could not be vouched for, told but no finding
    bool headHolds = true;      // the head seen before (if given) is still in the chain
    bool holds() const { return findings == 0; }
};

// Checks an open database (one with the trail; without it only the balance
// chains, every break a finding). Failed when it cannot be read.
// `seen`: the head the tools saw last (trailhead.h), which the chain must still hold.
Outcome check(QSqlDatabase &database, CheckResult *result, int keep = 100,
              const std::optional<trailhead::Head> &seen = std::nullopt);
// The lines that tell a result, in Indonesian: the head seal, the known breaks as
// notices, then the findings (the first ones, and how many more).
QStringList describe(const CheckResult &result);

// Records a supervisor's acceptance of the break of the balance chain at this
// ledger row (a putus diterima row, by the operator of the session), in a write
// transaction of its own on the open database. Refused when the row does not
// break its account's chain, or the break is known already.
Outcome acceptBreak(QSqlDatabase &database, const QString &account, qint64 key);

} // namespace audit
