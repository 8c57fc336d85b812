#include "monthend.h"

#include "data/base/session.h"
#include "data/base/wallclock.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/pool.h"
#include "data/engine/writealone.h"
#include "data/operators/supervision.h"
#include "data/trail/audit.h"
#include "data/trail/ledgerchain.h"
#include "savings/posting.h"

#include <QSqlQuery>
#include <cmath>

namespace monthend {

namespace text {
const char *const kNotEnded = "BULAN INI BELUM BERAKHIR: BAGI HASIL DIPOSTING SESUDAH AKHIR BULAN";
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

namespace {

// The month as bagi_hasil keeps it: "YYYY-MM".
QString storedMonth(const Month &month)
{
    return month.first.toString(QStringLiteral("yyyy-MM"));
}

Outcome run(QSqlDatabase &database, const QString &sql, const QVariantList &values, QSqlQuery *query)
{
    *query = QSqlQuery(database);
    query->setForwardOnly(true);
    if (!query->prepare(sql))
        return Outcome::failed(db::describeError(query->lastError(), database));
    for (const QVariant &value : values)
        query->addBindValue(value);
    if (!query->exec())
        return Outcome::failed(db::describeError(query->lastError(), database));
    return Outcome::ok();
}

template<typename Work>
Outcome alone(const QString &connectionText, Work work)
{
    QString name, error;
    if (!db::openConnection(connectionText, &name, &error))
        return Outcome::failed(error);
    Outcome outcome;
    {
        QSqlDatabase database = db::connection(name);
        outcome = work(database);
    }
    db::closeConnection(name);
    return outcome;
}

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
    QSqlQuery query;
    Outcome outcome = run(database,
                          QStringLiteral("SELECT id, akad, pendapatan, nisbah, bonus, dibagi, pajak_batas, pajak_tarif, "
                                         "jumlah_bagi, jumlah_pajak, sisa, rekening, penyelia, waktu, "
                                         "nabubg_awal, nabubg_akhir, baris FROM bagi_hasil WHERE bulan = ?"),
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
    return alone(connectionText, [&](QSqlDatabase &database) { return postedRun(database, month, found); });
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

namespace {

// The latest balance of each account, as the pass over the ledger met it; nothing
// when that row's saldo is empty or no number.
using Latest = QHash<QString, std::optional<Money>>;

Outcome computeWithLatest(QSqlDatabase &database, const Inputs &inputs, const Month &month, Result *result,
                          Latest *latest)
{
    const QString key = db::keyColumn(database);
    // One pass: each account of the register (the first of a number in stored
    // order) beside its ledger rows in posting order.
    const std::unique_ptr<db::RowStream> rows = db::dialect(database).stream(
        database, QStringLiteral("SELECT d.norekening, d.nama, d.%1, n.%1, n.tanggal, n.saldo FROM daftar d "
                                 "LEFT JOIN nabubg n ON n.norekening = d.norekening "
                                 "ORDER BY d.norekening, d.%1, n.%1")
                      .arg(key));
    QList<Account> accounts;
    std::optional<DailyBalances> balances;
    QByteArray number;
    qint64 registerKey = 0;
    const auto finish = [&] {
        if (balances) {
            accounts.last().weight = balances->weight();
            accounts.last().endBalance = balances->endOfMonth();
        }
    };
    while (rows->next()) {
        const db::Value account = rows->value(0);
        const QByteArrayView accountText = account.type == db::Value::Type::Text ? account.text : QByteArrayView();
        const qint64 at = integerOf(rows->value(2));
        if (!balances || accountText != QByteArrayView(number)) {
            finish();
            number = accountText.toByteArray();
            registerKey = at;
            balances.emplace(month);
            const db::Value name = rows->value(1);
            accounts << Account{QString::fromUtf8(number),
                                name.type == db::Value::Type::Null ? QString() : QString::fromUtf8(name.text), 0, Money()};
        } else if (at != registerKey) {
            continue; // a second register row of the same number: its rows were counted once
        }
        const db::Value ledgerKey = rows->value(3);
        if (ledgerKey.type == db::Value::Type::Null)
            continue;
        const std::optional<Money> saldo = amountOf(rows->value(5));
        if (latest)
            latest->insert(accounts.last().number, saldo);
        const QDate date = dateOf(rows->value(4));
        if (date.isValid() && date > month.last)
            continue;
        if (!date.isValid() || !saldo)
            return Outcome::failed(
                QStringLiteral("Bagi hasil tidak bisa dihitung: baris %1 rekening %2 tanggal atau saldonya tidak terbaca.")
                    .arg(integerOf(ledgerKey))
                    .arg(QString::fromUtf8(number)));
        balances->add(Row{integerOf(ledgerKey), date, *saldo});
    }
    if (rows->error().isValid())
        return Outcome::failed(db::describeError(rows->error(), database));
    finish();
    *result = profitshare::compute(inputs, month, accounts);
    return Outcome::ok();
}

} // namespace

Outcome compute(QSqlDatabase &database, const Inputs &inputs, const Month &month, Result *result)
{
    return computeWithLatest(database, inputs, month, result, nullptr);
}

Outcome compute(const QString &connectionText, Inputs inputs, const Month &month, Result *result)
{
    return alone(connectionText, [&](QSqlDatabase &database) {
        const Outcome outcome = readTaxSettings(database, &inputs);
        return outcome.isOk() ? compute(database, inputs, month, result) : outcome;
    });
}

namespace {

// Appends one ledger row of the run; its key.
Outcome appendRow(QSqlQuery &insert, QSqlDatabase &database, const Share &share, const QDate &today,
                  const QString &code, const QString &kind, Money debet, Money kredit, Money saldo, qint64 *key)
{
    insert.addBindValue(share.number);
    insert.addBindValue(share.name);
    insert.addBindValue(today);
    insert.addBindValue(code);
    insert.addBindValue(kind);
    insert.addBindValue(debet.toDouble());
    insert.addBindValue(kredit.toDouble());
    insert.addBindValue(saldo.toDouble());
    if (!insert.exec() || !insert.next())
        return Outcome::failed(db::describeError(insert.lastError(), database));
    *key = insert.value(0).toLongLong();
    insert.finish();
    return Outcome::ok();
}

Outcome writeRun(QSqlDatabase &database, Inputs &inputs, const Month &month, Result *result)
{
    // A month posted once: refused before anything is computed.
    std::optional<Run> earlier;
    Outcome outcome = postedRun(database, month, &earlier);
    if (!outcome.isOk())
        return outcome;
    if (earlier)
        return Outcome::refused(alreadyPostedText(*earlier));
    const QDate today = wallclock::today();
    if (month.last >= today)
        return Outcome::refused(QString::fromLatin1(text::kNotEnded));
    supervision::Kind kind = supervision::Kind::Clerk;
    outcome = supervision::kindOf(database, session::operatorName(), &kind);
    if (!outcome.isOk())
        return outcome;
    if (kind != supervision::Kind::Supervisor)
        return Outcome::refused(QString::fromLatin1(supervision::text::kSupervisorsOnly));

    Latest latest;
    outcome = readTaxSettings(database, &inputs);
    if (outcome.isOk())
        outcome = computeWithLatest(database, inputs, month, result, &latest);
    if (!outcome.isOk())
        return outcome;
    if (result->shares.isEmpty() || result->totalGross.sen() <= 0)
        return Outcome::refused(QString::fromLatin1(text::kNothingShared));

    // The run's row, opened by the server's function for a supervisor only.
    const bool server = db::dialect(database).hasOperatorRoles();
    const QVariantList values{storedMonth(month),
                              contractText(inputs.contract),
                              inputs.contract == Contract::Mudharabah ? inputs.revenue.sen() : 0,
                              inputs.contract == Contract::Mudharabah ? inputs.nisbahBasisPoints : 0,
                              inputs.contract == Contract::Wadiah ? inputs.bonus.sen() : 0,
                              result->amount.sen(),
                              inputs.taxThreshold.sen(),
                              inputs.taxRateBasisPoints,
                              result->totalGross.sen(),
                              result->totalTax.sen(),
                              result->remainder.sen(),
                              qint64(result->shares.size())};
    QSqlQuery query;
    if (server) {
        outcome = run(database,
                      QStringLiteral("SELECT simparo_bagi_hasil_buka(CAST(? AS text), CAST(? AS text), CAST(? AS bigint), "
                                     "CAST(? AS integer), CAST(? AS bigint), CAST(? AS bigint), CAST(? AS bigint), "
                                     "CAST(? AS integer), CAST(? AS bigint), CAST(? AS bigint), CAST(? AS bigint), "
                                     "CAST(? AS bigint))"),
                      values, &query);
        if (!outcome.isOk() && outcome.message().contains(QLatin1String("hanya penyelia")))
            return Outcome::refused(QString::fromLatin1(supervision::text::kSupervisorsOnly));
    } else {
        outcome = run(database,
                      QStringLiteral("INSERT INTO bagi_hasil (bulan, akad, pendapatan, nisbah, bonus, dibagi, pajak_batas, "
                                     "pajak_tarif, jumlah_bagi, jumlah_pajak, sisa, rekening, penyelia, waktu) "
                                     "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"),
                      values + QVariantList{session::operatorName(),
                                            wallclock::now().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))},
                      &query);
    }
    if (!outcome.isOk())
        return outcome;
    if (!query.next())
        return Outcome::failed(db::describeError(query.lastError(), database));
    const qint64 runId = query.value(0).toLongLong();
    query.finish();

    // Every account with a share is locked, in one order, with the lock a
    // counter's posting takes; then its latest balance is the one its rows go on
    // from. A file's write shuts every other writer out: there the pass over the
    // ledger, made inside this write, met the latest rows already.
    if (server) {
        QStringList numbers;
        for (const Share &share : std::as_const(result->shares))
            if (share.gross.sen() > 0)
                numbers << share.number;
        const QString list = numbers.join(QChar(0x1f));
        outcome = run(database,
                      QStringLiteral("SELECT simparo_kunci('nabubg.norekening', s.n) FROM (SELECT n FROM "
                                     "unnest(string_to_array(CAST(? AS text), chr(31))) AS n ORDER BY n) AS s"),
                      {list}, &query);
        if (outcome.isOk()) {
            query.finish();
            outcome = run(database,
                          QStringLiteral("SELECT DISTINCT ON (norekening) norekening, saldo FROM nabubg "
                                         "WHERE norekening = ANY (string_to_array(CAST(? AS text), chr(31))) "
                                         "ORDER BY norekening, %1 DESC")
                              .arg(db::keyColumn(database)),
                          {list}, &query);
        }
        if (!outcome.isOk())
            return outcome;
        while (query.next())
            latest.insert(query.value(0).toString(), ledger::balanceOf(query.value(1)));
        if (query.lastError().isValid())
            return Outcome::failed(db::describeError(query.lastError(), database));
        query.finish();
    }

    QSqlQuery insert(database);
    if (!insert.prepare(QStringLiteral("INSERT INTO nabubg (norekening, nama, tanggal, kode, jenis, debet, kredit, saldo) "
                                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?) RETURNING %1")
                            .arg(db::keyColumn(database))))
        return Outcome::failed(db::describeError(insert.lastError(), database));
    std::optional<qint64> first;
    qint64 last = 0, written = 0;
    const QString kindOfShare = shareKind(inputs.contract);
    for (const Share &share : std::as_const(result->shares)) {
        if (share.gross.sen() <= 0)
            continue;
        const std::optional<Money> stored = latest.value(share.number, Money());
        if (!stored)
            return Outcome::failed(ledger::unreadableBalanceText(share.number, 0));
        const Money previous = *stored;
        const Money credited = Money::fromSen(previous.sen() + share.gross.sen());
        qint64 key = 0;
        outcome = appendRow(insert, database, share, today, QLatin1String(kShareCode), kindOfShare, Money(), share.gross,
                            credited, &key);
        if (!outcome.isOk())
            return outcome;
        ++written;
        if (!first)
            first = key;
        if (share.tax.sen() > 0) {
            outcome = appendRow(insert, database, share, today, QLatin1String(kTaxCode), QLatin1String(kTaxKind),
                                share.tax, Money(), Money::fromSen(credited.sen() - share.tax.sen()), &key);
            if (!outcome.isOk())
                return outcome;
            ++written;
        }
        last = key;
    }
    // The run's rows as they stand now, the counters' rows between them left out.
    audit::Coverage coverage;
    outcome = audit::coverRun(database, &coverage, *first, last);
    if (!outcome.isOk())
        return outcome;
    if (coverage.count != written)
        return Outcome::failed(QStringLiteral("Bagi hasil: %1 baris ditulis, %2 terbaca kembali.")
                                   .arg(written)
                                   .arg(coverage.count));
    outcome = server ? run(database,
                           QStringLiteral("SELECT simparo_bagi_hasil_tutup(CAST(? AS bigint), CAST(? AS bigint), "
                                          "CAST(? AS bigint), CAST(? AS bigint))"),
                           {runId, *coverage.first, *coverage.last, coverage.count}, &query)
                     : run(database,
                           QStringLiteral("UPDATE bagi_hasil SET nabubg_awal = ?, nabubg_akhir = ?, baris = ? WHERE id = ?"),
                           {*coverage.first, *coverage.last, coverage.count, runId}, &query);
    if (!outcome.isOk())
        return outcome;
    query.finish();

    audit::Entry entry;
    entry.tindakan = QLatin1String(audit::action::kMonthEnd);
    entry.tabel = QStringLiteral("bagi_hasil");
    entry.kunci = runId;
    const auto line = [](const char *name, const QString &value) { return audit::detail(QLatin1String(name), value); };
    QStringList lines{line("bulan", month.text()),
                      line("akad", contractText(inputs.contract)),
                      line("pendapatan", QString::number(values.at(2).toLongLong())),
                      line("nisbah", QString::number(values.at(3).toInt())),
                      line("bonus", QString::number(values.at(4).toLongLong())),
                      line("dibagi", QString::number(result->amount.sen())),
                      line("pajak_batas", QString::number(inputs.taxThreshold.sen())),
                      line("pajak_tarif", QString::number(inputs.taxRateBasisPoints)),
                      line("rekening", QString::number(result->shares.size())),
                      line("total_bagi", QString::number(result->totalGross.sen())),
                      line("total_pajak", QString::number(result->totalTax.sen())),
                      line("sisa", QString::number(result->remainder.sen()))};
    entry.rincian = lines.join(u'\n') + u'\n' + audit::coverageDetails(coverage);
    return audit::append(database, entry);
}

} // namespace

Outcome post(const QString &connectionText, Inputs inputs, const Month &month, Result *result, Run *posted)
{
    const Outcome outcome =
        db::writeAlone(connectionText, [&](QSqlDatabase &database) { return writeRun(database, inputs, month, result); });
    if (!outcome.isOk())
        return outcome;
    std::optional<Run> stored;
    const Outcome read = postedRun(connectionText, month, &stored);
    if (read.isOk() && stored)
        *posted = *stored;
    // Stored whatever the reading back says.
    return Outcome::ok();
}

} // namespace monthend
