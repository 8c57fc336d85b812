#pragma once

#include "data/base/money.h"

#include <QString>

class RecordSource;

// The lookups both savings screens make, each on its own record sources.
namespace savings {

// The criteria text for an account: NOREKENING='...' with the number exactly as typed.
QString accountCriteria(const QString &account);

struct CustomerLookup {
    bool ok = true;     // false when the register could not be read (see its lastError())
    bool found = false; // the number is in the register
    QString name;       // the customer's name (column 1)
};

// Finds the customer in the register record source, searching from its first row;
// the customer's row is then current. When the number is not registered the
// register is back on its first row.
CustomerLookup findCustomer(RecordSource *customers, const QString &account);

struct LedgerLookup {
    bool ok = true;       // false when the ledger or the latest balance could not be read
    QString error;        // then why, for the operator
    bool hasRows = false; // the account has rows in the ledger
    Money balance;        // saldo of the account's latest row, 0 when it has none
    QString balanceText;  // its text as shown, "0" when the account has no rows
};

// The ledger lookup. It always searches the whole ledger as it stands now (not
// the snapshot of the screen's opening), whatever filter and current row an
// earlier lookup left. When the account has rows, the ledger is narrowed to all
// of them, other counters' included, and its last row, the account's latest, is
// current; when it has none, the ledger shows no row and the balance is 0. It reads only the account's rows (by index), never the whole ledger.
// A latest saldo that is empty or no number is a failure naming the account and
// the row, never a balance of 0.
LedgerLookup lookUpLedger(RecordSource *ledger, const QString &account);

} // namespace savings
