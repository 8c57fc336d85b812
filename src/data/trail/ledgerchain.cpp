#include "data/trail/ledgerchain.h"

#include "data/engine/dialect.h"
#include "data/engine/pool.h"
#include "data/base/textforms.h"

#include <QSqlError>
#include <QSqlQuery>

namespace ledger {

std::optional<Money> balanceOf(const QVariant &stored)
{
    return Money::fromStored(stored);
}

QString unreadableBalanceText(const QString &account, qint64 key)
{
    return QStringLiteral("Saldo rekening %1 pada baris %2 tidak terbaca (kosong atau bukan angka).\n"
                          "Hubungi pengelola data; tidak ada yang disimpan.")
        .arg(account)
        .arg(key);
}

Outcome lockAccount(QSqlDatabase &database, const QString &account)
{
    QSqlError error;
    if (!db::writeLock(database, QStringLiteral("nabubg.norekening"), account, &error))
        return Outcome::failed(db::describeError(error, database));
    return Outcome::ok();
}

namespace {
QString amountText(const std::optional<Money> &amount)
{
    return amount ? amount->toText() : QStringLiteral("(kosong atau bukan angka)");
}
} // namespace

QString Break::text() const
{
    return QStringLiteral("Saldo tidak bersambung: rekening %1, baris %2 (tanggal %3): "
                          "tercatat %4, seharusnya %5 (saldo sebelumnya %6 + kredit %7 - debet %8).")
        .arg(textform::printable(row.account))
        .arg(row.key)
        .arg(textform::printable(row.date.toString()), amountText(row.saldo), amountText(expected), previous.toText(),
             amountText(row.kredit), amountText(row.debet));
}

std::optional<Break> ChainWalker::add(const Row &row)
{
    ++summary_.rows;
    const auto known = balances_.constFind(row.account);
    const Money previous = known == balances_.constEnd() ? Money() : known.value();
    std::optional<Money> expected;
    if (row.debet && row.kredit)
        if (const std::optional<Money> added = previous.plus(*row.kredit))
            expected = added->minus(*row.debet);
    std::optional<Break> found;
    if (!row.saldo || !expected || *row.saldo != *expected) {
        found = Break{row, previous, expected};
        if (++summary_.breaks <= keep_)
            summary_.shown << *found;
    }
    // The chain goes on from the stored balance, so one wrong row is one break.
    balances_.insert(row.account, row.saldo ? *row.saldo : expected.value_or(previous));
    return found;
}

Summary ChainWalker::summary() const
{
    Summary summary = summary_;
    summary.accounts = balances_.size();
    return summary;
}

Row rowOf(qint64 key, const QVariant &account, const QVariant &date, const QVariant &debet, const QVariant &kredit,
          const QVariant &saldo)
{
    Row row;
    row.key = key;
    row.account = account.toString();
    row.date = date;
    row.debet = Money::fromStored(debet);
    row.kredit = Money::fromStored(kredit);
    row.storedSaldo = saldo;
    row.saldo = balanceOf(saldo);
    return row;
}

Outcome checkChains(QSqlDatabase &database, Summary *summary, int keep,
                    const std::function<void(const Row &)> &eachRow)
{
    *summary = Summary();
    const QString key = db::keyColumn(database);
    // Read forward only: a file's rows come as they are stepped through, a
    // server's one by one, so a ledger of any size is never held whole.
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT %1, norekening, TANGGAL, debet, kredit, saldo FROM nabubg ORDER BY %1")
                        .arg(key)))
        return Outcome::failed(db::describeError(query.lastError(), database));
    ChainWalker walker(keep);
    while (query.next()) {
        const Row row = rowOf(query.value(0).toLongLong(), query.value(1), query.value(2), query.value(3),
                              query.value(4), query.value(5));
        if (eachRow)
            eachRow(row);
        walker.add(row);
    }
    if (query.lastError().isValid())
        return Outcome::failed(db::describeError(query.lastError(), database));
    *summary = walker.summary();
    return Outcome::ok();
}

Outcome checkChains(const QString &connectionText, Summary *summary, int keep)
{
    *summary = Summary();
    db::Connection opened;
    QString error;
    if (!opened.open(connectionText, &error))
        return Outcome::failed(error);
    QSqlDatabase database = opened.database();
    return checkChains(database, summary, keep);
}

} // namespace ledger
