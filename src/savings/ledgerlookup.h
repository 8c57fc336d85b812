#pragma once

#include <QString>
#include <optional>

class RecordSource;

// The lookups both savings screens make, each on its own record sources.
namespace savings {

// The criteria text for an account: NOREKENING='...' with the number exactly as typed.
QString accountCriteria(const QString &account);

// Finds the customer in the register record source, searching from its first row.
// Gives the customer's name (column 1) with the customer's row current, or nothing
// when the number is not registered; the register is then back on its first row.
std::optional<QString> findCustomer(RecordSource *customers, const QString &account);

struct LedgerLookup {
    bool ok = true;         // false when the ledger could not be read (see the ledger's lastError())
    bool hasRows = false;   // the account has rows in the ledger
    double balance = 0;     // saldo of the account's latest row, 0 when it has none
    QString balanceText;    // its plain text form, "0" when the account has no rows
};

// The ledger lookup. It always searches the whole ledger, whatever filter and
// current row an earlier lookup left. When the account has rows, the ledger is
// narrowed to them and its last row, the account's latest, is current; when it
// has none, the whole ledger shows again with its last row current. It reads
// only the account's rows (by index), never the whole ledger.
LedgerLookup lookUpLedger(RecordSource *ledger, const QString &account);

} // namespace savings
