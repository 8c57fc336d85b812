#include "profitshare.h"

#include <QRegularExpression>
#include <algorithm>

namespace profitshare {

std::optional<Month> Month::of(int year, int month)
{
    const QDate first(year, month, 1);
    if (!first.isValid() || year < 1900 || year > 9999)
        return std::nullopt;
    return Month{first, first.addMonths(1).addDays(-1)};
}

std::optional<Month> Month::parse(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{2})/(\\d{4})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return of(match.captured(2).toInt(), match.captured(1).toInt());
}

QString Month::text() const
{
    return first.toString(QStringLiteral("MM/yyyy"));
}

DailyBalances::DailyBalances(const Month &month) : month_(month) {}

void DailyBalances::add(const Row &row)
{
    if (!row.date.isValid() || row.date > month_.last)
        return;
    if (row.date < month_.first) {
        if (!before_ || before_->key < row.key)
            before_ = row;
        return;
    }
    const int day = int(month_.first.daysTo(row.date));
    const auto at = std::lower_bound(lastOfDay_.begin(), lastOfDay_.end(), day,
                                     [](const OfDay &ofDay, int wanted) { return ofDay.day < wanted; });
    if (at == lastOfDay_.end() || at->day != day)
        lastOfDay_.insert(at, OfDay{day, row});
    else if (at->row.key < row.key)
        at->row = row;
}

qint64 DailyBalances::weight() const
{
    // Day after day, the last row in posting order among those dated so far.
    std::optional<Row> latest = before_;
    qint64 sum = 0;
    int day = 0;
    for (const OfDay &ofDay : lastOfDay_) {
        // The days before this one hold the balance so far.
        sum += qint64(ofDay.day - day) * (latest ? latest->saldo.sen() : 0);
        if (!latest || latest->key < ofDay.row.key)
            latest = ofDay.row;
        day = ofDay.day;
    }
    sum += qint64(month_.days() - day) * (latest ? latest->saldo.sen() : 0);
    return sum;
}

Money DailyBalances::endOfMonth() const
{
    std::optional<Row> latest = before_;
    for (const OfDay &ofDay : lastOfDay_)
        if (!latest || latest->key < ofDay.row.key)
            latest = ofDay.row;
    return latest ? latest->saldo : Money();
}

Money amountShared(const Inputs &inputs)
{
    if (inputs.contract == Contract::Wadiah)
        return inputs.bonus;
    // Rounded down to the sen.
    return Money::fromSen(qint64((__int128(inputs.revenue.sen()) * inputs.nisbahBasisPoints) / 10000));
}

namespace {
// Rounded down to the whole rupiah, in sen.
qint64 wholeRupiah(__int128 sen)
{
    return qint64(sen / 100 * 100);
}
} // namespace

Result compute(const Inputs &inputs, const Month &month, const QList<Account> &accounts)
{
    Result result;
    result.month = month;
    result.amount = amountShared(inputs);
    __int128 total = 0;
    for (const Account &account : accounts)
        if (account.weight > 0)
            total += account.weight;
    qint64 gross = 0, tax = 0;
    for (const Account &account : accounts) {
        if (account.weight <= 0 || total == 0)
            continue;
        Share share;
        share.number = account.number;
        share.name = account.name;
        share.weight = account.weight;
        share.averageBalance = Money::fromSen(account.weight / month.days());
        share.portionMillionths = int((__int128(account.weight) * 1000000) / total);
        share.gross = Money::fromSen(wholeRupiah(__int128(result.amount.sen()) * account.weight / total));
        if (account.endBalance > inputs.taxThreshold)
            share.tax = Money::fromSen(wholeRupiah(__int128(share.gross.sen()) * inputs.taxRateBasisPoints / 10000));
        share.net = Money::fromSen(share.gross.sen() - share.tax.sen());
        gross += share.gross.sen();
        tax += share.tax.sen();
        result.shares << share;
    }
    result.totalGross = Money::fromSen(gross);
    result.totalTax = Money::fromSen(tax);
    result.totalNet = Money::fromSen(gross - tax);
    result.remainder = Money::fromSen(result.amount.sen() - gross);
    return result;
}

} // namespace profitshare
