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
    const QString criteria = accountCriteria(account);
    // An earlier lookup may have narrowed the ledger to another account and left
    // its last row current: search from the first row of the whole ledger.
    if (!ledger->filter().isEmpty() && !ledger->setFilter(QString())) {
        result.ok = false;
        return result;
    }
    ledger->moveFirst();
    if (ledger->find(criteria)) {
        if (!ledger->setFilter(criteria)) {
            result.ok = false;
            return result;
        }
        ledger->moveLast();
        result.hasRows = ledger->hasCurrent();
    }
    if (result.hasRows) {
        result.balance = ledger->value(kSaldoColumn).toDouble();
    } else {
        if (!ledger->filter().isEmpty() && !ledger->setFilter(QString())) {
            result.ok = false;
            return result;
        }
        ledger->moveLast();
        result.balance = 0;
    }
    result.balanceText = textform::number(result.balance);
    return result;
}

} // namespace savings
