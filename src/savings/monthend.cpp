#include "monthend.h"

#include "data/engine/writealone.h"
#include "monthend_p.h"

#include "data/base/wallclock.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/pool.h"
#include "data/operators/supervision.h"
#include "data/trail/audit.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace monthend {

namespace text {
const char *const kNotEnded = "BULAN INI BELUM BERAKHIR: BAGI HASIL DIPOSTING SESUDAH AKHIR BULAN";
const char *const kNotUpgraded = "DATABASE INI BELUM DITINGKATKAN UNTUK BAGI HASIL: MINTA BAGIAN TI MENJALANKAN "
                                 "simparo-initdb --upgrade";
const char *const kNothingShared = "TIDAK ADA YANG DIBAGI: TIDAK ADA REKENING BERSALDO ATAU JUMLAHNYA 0";
} // namespace text

using namespace profitshare;

QString shareKind(Contract contract)
{
    return contract == Contract::Wadiah ? QStringLiteral("Bonus") : QStringLiteral("Bagi Hasil");
}

QString contractText(Contract contract)
{
    return contract == Contract::Wadiah ? QStringLiteral("wadiah") : QStringLiteral("mudharabah");
}

namespace detail {

QString storedMonth(const Month &month)
{
    return month.first.toString(QStringLiteral("yyyy-MM"));
}

} // namespace detail

namespace {

using detail::run;
using detail::storedMonth;

// A date as a stream gives it ("YYYY-MM-DD", maybe with a time of day).
QDate dateOf(const db::Value &value)
{
    if (value.type != db::Value::Type::Text || value.text.size() < 10)
        return {};
    const QByteArrayView t = value.text;
    const auto digits = [&](int from, int count) {
        int n = 0;
        for (int i = from; i < from + count; ++i) {
            if (t[i] < '0' || t[i] > '9')
                return -1;
            n = n * 10 + (t[i] - '0');
        }
        return n;
    };
    if (t[4] != '-' || t[7] != '-')
        return {};
    return QDate(digits(0, 4), digits(5, 2), digits(8, 2));
}

std::optional<Money> amountOf(const db::Value &value)
{
    switch (value.type) {
    case db::Value::Type::Integer: return Money::fromStored(QVariant(value.integer));
    case db::Value::Type::Real: return Money::fromStored(QVariant(value.real));
    case db::Value::Type::Text: return Money::fromStored(QVariant(QString::fromUtf8(value.text)));
    case db::Value::Type::Null: break;
    }
    return std::nullopt;
}

// Account numbers to their place in the register, looked up by the bytes a
// stream gives without making a string of each.
struct NumberHash {
    using is_transparent = void;
    size_t operator()(std::string_view number) const { return std::hash<std::string_view>{}(number); }
};
using NumberIndex = std::unordered_map<std::string, int, NumberHash, std::equal_to<>>;

qint64 integerOf(const db::Value &value)
{
    return value.type == db::Value::Type::Integer ? value.integer
           : value.type == db::Value::Type::Real  ? qint64(value.real)
                                                  : value.text.toLongLong();
}

} // namespace

QString alreadyPostedText(const Run &run)
{
    return QStringLiteral("BAGI HASIL BULAN %1 SUDAH DIPOSTING pada %2 oleh %3.")
        .arg(run.month.text(), run.time.toString(QStringLiteral("dd/MM/yyyy HH:mm")), run.supervisor);
}

Outcome postedRun(QSqlDatabase &database, const Month &month, std::optional<Run> *found)
{
    found->reset();
    // A database made before the month end, and not yet upgraded, has no runs and takes none.
    QStringList tables, views;
    QSqlError failure;
    if (!db::dialect(database).relationNames(database, &tables, &views, &failure))
        return Outcome::failed(db::describeError(failure, database));
    if (!tables.contains(QStringLiteral("bagi_hasil"), Qt::CaseInsensitive))
        return Outcome::refused(QString::fromLatin1(text::kNotUpgraded));
    // Only a run not taken back keeps its month posted (a database made before
    // runs could be taken back has none taken back).
    const bool takenBack = database.record(QStringLiteral("bagi_hasil")).contains(QStringLiteral("batal"));
    QSqlQuery query;
    Outcome outcome = run(database,
                          QStringLiteral("SELECT id, akad, pendapatan, nisbah, bonus, dibagi, pajak_batas, pajak_tarif, "
                                         "jumlah_bagi, jumlah_pajak, sisa, rekening, penyelia, waktu, "
                                         "nabubg_awal, nabubg_akhir, baris FROM bagi_hasil WHERE bulan = ?%1")
                              .arg(takenBack ? QStringLiteral(" AND batal IS NULL") : QString()),
                          {storedMonth(month)}, &query);
    if (!outcome.isOk() || !query.next())
        return outcome;
    Run r;
    r.id = query.value(0).toLongLong();
    r.month = month;
    r.inputs.contract = query.value(1).toString() == QLatin1String("wadiah") ? Contract::Wadiah : Contract::Mudharabah;
    r.inputs.revenue = Money::fromSen(query.value(2).toLongLong());
    r.inputs.nisbahBasisPoints = query.value(3).toInt();
    r.inputs.bonus = Money::fromSen(query.value(4).toLongLong());
    r.amount = Money::fromSen(query.value(5).toLongLong());
    r.inputs.taxThreshold = Money::fromSen(query.value(6).toLongLong());
    r.inputs.taxRateBasisPoints = query.value(7).toInt();
    r.totalGross = Money::fromSen(query.value(8).toLongLong());
    r.totalTax = Money::fromSen(query.value(9).toLongLong());
    r.remainder = Money::fromSen(query.value(10).toLongLong());
    r.accounts = query.value(11).toLongLong();
    r.supervisor = query.value(12).toString();
    // Both engines keep the counter's local time as text.
    const QDateTime time = QDateTime::fromString(query.value(13).toString(), Qt::ISODate);
    r.time = time;
    if (!query.value(14).isNull())
        r.firstKey = query.value(14).toLongLong();
    if (!query.value(15).isNull())
        r.lastKey = query.value(15).toLongLong();
    r.rows = query.value(16).toLongLong();
    query.finish();
    outcome = run(database,
                  QStringLiteral("SELECT nomor, segel FROM jejak WHERE tabel = 'bagi_hasil' AND kunci = ? AND tindakan = ? "
                                 "ORDER BY nomor DESC LIMIT 1"),
                  {r.id, QLatin1String(audit::action::kMonthEnd)}, &query);
    if (!outcome.isOk())
        return outcome;
    if (query.next()) {
        r.trailNumber = query.value(0).toLongLong();
        r.seal = query.value(1).toString();
    }
    *found = r;
    return Outcome::ok();
}

Outcome postedRun(const QString &connectionText, const Month &month, std::optional<Run> *found)
{
    return db::readAlone(connectionText, [&](QSqlDatabase &database) { return postedRun(database, month, found); });
}

Outcome readTaxSettings(QSqlDatabase &database, Inputs *inputs)
{
    qint64 threshold = 0, rate = 0;
    Outcome outcome = supervision::numberSetting(database, supervision::kTaxThreshold,
                                                 supervision::kDefaultTaxThreshold.sen(), &threshold);
    if (outcome.isOk())
        outcome = supervision::numberSetting(database, supervision::kTaxRate, supervision::kDefaultTaxRate, &rate);
    if (!outcome.isOk())
        return outcome;
    inputs->taxThreshold = Money::fromSen(threshold);
    inputs->taxRateBasisPoints = int(std::min<qint64>(rate, 10000));
    return Outcome::ok();
}

namespace detail {

Outcome computeWithLatest(QSqlDatabase &database, const Inputs &inputs, const Month &month, Result *result,
                          Latest *latest)
{
    const QString key = db::keyColumn(database);
    const db::Dialect &dialect = db::dialect(database);
    // The register in account order, the first row of a number standing for it (a
    // second row of the same number shares its rows, counted once).
    QList<Account> accounts;
    NumberIndex index;
    {
        const std::unique_ptr<db::RowStream> rows = dialect.stream(
            database, QStringLiteral("SELECT norekening, nama FROM daftar ORDER BY norekening, %1").arg(key));
        while (rows->next()) {
            const db::Value account = rows->value(0);
            const std::string number = account.type == db::Value::Type::Text
                                           ? std::string(account.text.data(), size_t(account.text.size()))
                                           : std::string();
            if (!index.emplace(number, int(accounts.size())).second)
                continue;
            const db::Value name = rows->value(1);
            accounts << Account{QString::fromStdString(number),
                                name.type == db::Value::Type::Null ? QString() : QString::fromUtf8(name.text), 0, Money()};
        }
        if (rows->error().isValid())
            return Outcome::failed(db::describeError(rows->error(), database));
    }
    // The ledger once, in posting order: it is read front to back as it lies,
    // where reading it account by account would jump about the whole file.
    std::vector<DailyBalances> balances(size_t(accounts.size()), DailyBalances(month));
    std::vector<std::optional<Money>> newest(size_t(accounts.size()));
    std::vector<bool> hasRows(size_t(accounts.size()), false);
    {
        const std::unique_ptr<db::RowStream> rows = dialect.stream(
            database, QStringLiteral("SELECT norekening, %1, tanggal, saldo FROM nabubg ORDER BY %1").arg(key));
        while (rows->next()) {
            const db::Value account = rows->value(0);
            if (account.type != db::Value::Type::Text)
                continue;
            const auto found = index.find(std::string_view(account.text.data(), size_t(account.text.size())));
            if (found == index.end())
                continue; // a row of no account in the register
            const size_t at = size_t(found->second);
            const std::optional<Money> saldo = amountOf(rows->value(3));
            newest[at] = saldo;
            hasRows[at] = true;
            const QDate date = dateOf(rows->value(2));
            if (date.isValid() && date > month.last)
                continue;
            if (!date.isValid() || !saldo)
                return Outcome::failed(
                    QStringLiteral("Bagi hasil tidak bisa dihitung: baris %1 rekening %2 tanggal atau saldonya tidak terbaca.")
                        .arg(integerOf(rows->value(1)))
                        .arg(accounts.at(qsizetype(at)).number));
            balances[at].add(Row{integerOf(rows->value(1)), date, *saldo});
        }
        if (rows->error().isValid())
            return Outcome::failed(db::describeError(rows->error(), database));
    }
    for (qsizetype i = 0; i < accounts.size(); ++i) {
        accounts[i].weight = balances[size_t(i)].weight();
        accounts[i].endBalance = balances[size_t(i)].endOfMonth();
        if (latest && hasRows[size_t(i)])
            latest->insert(accounts.at(i).number, newest[size_t(i)]);
    }
    *result = profitshare::compute(inputs, month, accounts);
    return Outcome::ok();
}

} // namespace detail

Outcome compute(QSqlDatabase &database, const Inputs &inputs, const Month &month, Result *result)
{
    return detail::computeWithLatest(database, inputs, month, result, nullptr);
}

Outcome compute(const QString &connectionText, Inputs inputs, const Month &month, Result *result)
{
    return db::readAlone(connectionText, [&](QSqlDatabase &database) {
        const Outcome outcome = readTaxSettings(database, &inputs);
        return outcome.isOk() ? compute(database, inputs, month, result) : outcome;
    });
}

} // namespace monthend
