#pragma once

#include "data/base/money.h"
#include "data/base/outcome.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>

// The balance chain of the ledger (nabubg): in posting order (key order), each
// row's saldo is the account's previous saldo plus kredit minus debet, to the
// sen; an account's first row starts from 0. A saldo that is empty or no number
// breaks the chain too, and is never taken as 0.
namespace ledger {

// A stored saldo as a balance: nothing when it is empty or no number.
std::optional<Money> balanceOf(const QVariant &stored);
// The message for a saldo that cannot be read where a posting, a lookup or a
// check needs it: names the account and the row, and says nothing was saved.
QString unreadableBalanceText(const QString &account, qint64 key);

// Inside a write transaction: waits until no other write that reads or changes
// the ledger of this account is under way (a posting, the deletion of its
// customer or a change of his number, at any counter), and keeps them out until
// this one ends. Taken before the account's balance or rows are read.
Outcome lockAccount(QSqlDatabase &database, const QString &account);

// One ledger row as the walk reads it.
struct Row {
    qint64 key = 0;
    QString account;
    QVariant date;          // TANGGAL as stored
    QVariant storedSaldo;   // saldo as the database gives it
    std::optional<Money> debet, kredit, saldo; // nothing when empty or no number
};

// A row whose saldo does not follow from the account's previous one.
struct Break {
    Row row;
    Money previous;                 // the account's balance before the row (0 before its first)
    std::optional<Money> expected;  // previous + kredit - debet; nothing when an amount cannot be read
    // "Saldo tidak bersambung: rekening …, baris … (tanggal …): tercatat …, seharusnya … (…)."
    QString text() const;
};

struct Summary {
    qint64 rows = 0;
    qint64 accounts = 0;
    qint64 breaks = 0;
    QList<Break> shown; // the first breaks, as many as were asked for
};

// Follows the balance chains row after row in posting order, keeping only each
// account's last balance: a ledger of any size is walked in one pass.
class ChainWalker
{
public:
    explicit ChainWalker(int keep = 100) : keep_(keep) {}
    // Takes the next row in posting order; the break at it, if its saldo does not
    // follow from the account's previous one.
    std::optional<Break> add(const Row &row);
    // What was walked so far; the first `keep` breaks are in shown.
    Summary summary() const;

private:
    int keep_;
    Summary summary_;
    QHash<QString, Money> balances_;
};

// A ledger row as the walk reads it, from the values of its columns as stored.
Row rowOf(qint64 key, const QVariant &account, const QVariant &date, const QVariant &debet, const QVariant &kredit,
          const QVariant &saldo);

// Walks the whole ledger once in posting order on an open connection of either
// engine, reading it as a stream (it keeps only each account's last balance), and
// counts every break; the first `keep` are kept in summary->shown. eachRow (when
// given) sees every row as it is read. Failed when the ledger cannot be read.
Outcome checkChains(QSqlDatabase &database, Summary *summary, int keep = 100,
                    const std::function<void(const Row &)> &eachRow = {});
// The same on a connection of its own to the database a connection text names.
Outcome checkChains(const QString &connectionText, Summary *summary, int keep = 100);

} // namespace ledger
