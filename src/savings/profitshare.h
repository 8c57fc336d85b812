#pragma once

#include "data/base/money.h"

#include <QDate>
#include <QList>
#include <QString>
#include <optional>
#include <vector>

// The month's share of every account: profit sharing (mudharabah) or a bonus
// (wadiah), by the account's average daily balance, with the withholding tax on
// the share. Integers only, exact to the sen:
// - an account's balance at the end of a day is the saldo of its last ledger row
//   in posting order dated on or before that day, 0 before its first row; its
//   weight is the sum of those balances over the days of the month (sen-days),
//   and a weight of 0 or less gets nothing;
// - the amount shared: the revenue times the nisbah, rounded down to the sen
//   (mudharabah), or the bonus (wadiah);
// - an account's share: the amount times its weight over the sum of all weights,
//   rounded down to the whole rupiah; what the rounding leaves stays with the bank;
// - the tax: where the account's balance at the end of the month exceeds the
//   threshold (exactly the threshold is not taxed), the rate of the share, rounded
//   down to the whole rupiah.
namespace profitshare {

enum class Contract { Mudharabah, Wadiah };

struct Inputs {
    Contract contract = Contract::Mudharabah;
    Money revenue;              // mudharabah: the revenue of the savings pool to be shared
    int nisbahBasisPoints = 0;  // mudharabah: the depositors' part, in hundredths of a percent
    Money bonus;                // wadiah: the bonus the bank gives
    Money taxThreshold = Money::fromRupiah(7500000);
    int taxRateBasisPoints = 2000; // 20%
};

// The days of a month: the first and the last.
struct Month {
    QDate first, last;
    static std::optional<Month> of(int year, int month);
    // "MM/YYYY"; nothing when the text is no month.
    static std::optional<Month> parse(const QString &text);
    QString text() const; // "MM/YYYY"
    int days() const { return int(first.daysTo(last)) + 1; }
};

// One ledger row of an account as the computation needs it.
struct Row {
    qint64 key = 0;
    QDate date;
    Money saldo;
};

// The balance at the end of each day of the month, rows given in any order (only
// those dated on or before the month's last day count).
class DailyBalances
{
public:
    explicit DailyBalances(const Month &month);
    void add(const Row &row);
    // The sum over the month's days, in sen-days.
    qint64 weight() const;
    // The balance at the end of the month's last day.
    Money endOfMonth() const;

private:
    struct OfDay {
        int day; // from the month's first, 0-based
        Row row;
    };
    Month month_;
    std::optional<Row> before_; // the last row dated before the month
    // The last row dated on each day of the month that has rows, by day: most
    // accounts have few rows in a month, and a bank has many accounts.
    std::vector<OfDay> lastOfDay_;
};

struct Account {
    QString number, name;
    qint64 weight = 0; // sen-days
    Money endBalance;
};

struct Share {
    QString number, name;
    qint64 weight = 0;
    Money averageBalance; // weight over the month's days, rounded down to the sen
    int portionMillionths = 0; // its weight over the sum of all weights, in millionths
    Money gross, tax, net;
};

struct Result {
    Month month;
    Money amount; // what is shared
    QList<Share> shares; // every account given, in the order given (nothing for a weight of 0 or less)
    Money totalGross, totalTax, totalNet;
    Money remainder; // the amount less the shares: what the rounding leaves with the bank
};

// The amount shared under the inputs.
Money amountShared(const Inputs &inputs);
// The shares of the accounts.
Result compute(const Inputs &inputs, const Month &month, const QList<Account> &accounts);

} // namespace profitshare
