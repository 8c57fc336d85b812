#pragma once

#include "savings/passbook.h"

// What the passbook's writes share: a row of cetak_buku, appended with its trail row.
namespace passbook {

struct Stored {
    Kind kind = Kind::Print;
    int book = 1;
    std::optional<qint64> firstKey, lastKey;
    Position first, last;
    std::optional<Money> carried;
    QString supervisor;
};

// Inside the caller's write transaction: the account locked, as its postings and
// the other counters' prints lock it, then its book read.
Outcome lockedBook(QSqlDatabase &database, const QString &account, Book *book);

// Appends the row and its trail row, inside the caller's write transaction.
Outcome appendPrint(QSqlDatabase &database, const QString &account, const Stored &row);

} // namespace passbook
