#include "ledgerlookup.h"

#include "data/criteria.h"
#include "data/recordsource.h"
#include "data/textforms.h"

namespace savings {

namespace {
constexpr int kNamaColumn = 1;
constexpr int kSaldoColumn = 7;
} // namespace

QString accountCriteria(const QString &account)
{
    return criteria::build(QStringLiteral("NOREKENING"), account);
}

std::optional<QString> findCustomer(RecordSource *customers, const QString &account)
{
    customers->moveFirst();
    if (!customers->find(accountCriteria(account))) {
        customers->moveFirst();
        return std::nullopt;
    }
    return customers->value(kNamaColumn).toString();
}

LedgerLookup lookUpLedger(RecordSource *ledger, const QString &account)
{
    LedgerLookup result;
    const QString earlier = ledger->filter();
    // A filter replaces any earlier one and is answered from the whole ledger, so
    // narrowing to the account finds its rows whatever an earlier lookup left
    // narrowed or current, with one indexed query.
    if (!ledger->setFilter(accountCriteria(account))) {
        result.ok = false;
        return result;
    }
    result.hasRows = ledger->recordCount() > 0;
    // An account without rows leaves the ledger as the earlier lookup left it.
    if (!result.hasRows && !ledger->setFilter(earlier)) {
        result.ok = false;
        return result;
    }
    ledger->moveLast();
    result.balance = result.hasRows ? ledger->value(kSaldoColumn).toDouble() : 0.0;
    result.balanceText = textform::number(result.balance);
    return result;
}

} // namespace savings
