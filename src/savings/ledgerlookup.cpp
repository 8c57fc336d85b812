#include "ledgerlookup.h"

#include "data/base/criteria.h"
#include "data/trail/ledgerchain.h"
#include "data/records/recordsource.h"

namespace savings {

namespace {
constexpr int kNamaColumn = 1;
constexpr int kSaldoColumn = 7;
} // namespace

QString accountCriteria(const QString &account)
{
    return criteria::build(QStringLiteral("NOREKENING"), account);
}

CustomerLookup findCustomer(RecordSource *customers, const QString &account)
{
    CustomerLookup result;
    // The register as it stands now, as "SAVE" reads it: a customer registered at
    // another counter since the screen opened is found too. The first of several
    // rows of one number is the one found.
    if (!customers->setFilter(accountCriteria(account), RecordSource::Reading::Current)) {
        result.ok = false;
        return result;
    }
    if (!customers->hasCurrent()) {
        // Not registered: the register shows all its rows again.
        result.ok = customers->setFilter(QString());
        return result;
    }
    const QVariant name = customers->value(kNamaColumn, &result.ok);
    result.found = result.ok;
    result.name = name.toString();
    return result;
}

LedgerLookup lookUpLedger(RecordSource *ledger, const QString &account)
{
    LedgerLookup result;
    const auto failed = [&](const QString &why) {
        result.ok = false;
        result.error = why;
        return result;
    };
    // A filter replaces any earlier one and is answered from the whole ledger, so
    // narrowing to the account finds its rows whatever an earlier lookup left
    // narrowed or current, with one indexed query. It reads the ledger as it
    // stands now, as "SAVE" does: the balance is the account's latest, and the
    // rows other counters posted since the screen opened are listed too. An
    // account without rows shows none: never the rows of the account before it.
    if (!ledger->setFilter(accountCriteria(account), RecordSource::Reading::Current))
        return failed(ledger->lastError());
    result.hasRows = ledger->hasCurrent();
    if (!ledger->moveLast())
        return failed(ledger->lastError());
    if (result.hasRows) {
        bool read = true;
        const QVariant stored = ledger->value(kSaldoColumn, &read);
        if (!read)
            return failed(ledger->lastError());
        const std::optional<Money> balance = ledger::balanceOf(stored);
        if (!balance)
            return failed(ledger::unreadableBalanceText(account, ledger->currentKey().value_or(0)));
        result.balance = *balance;
    }
    result.balanceText = result.balance.toText();
    return result;
}

} // namespace savings
