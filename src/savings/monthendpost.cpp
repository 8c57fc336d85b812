#include "monthend.h"
#include "monthend_p.h"

#include "data/base/session.h"
#include "data/base/wallclock.h"
#include "data/engine/dialect.h"
#include "data/engine/pool.h"
#include "data/engine/writealone.h"
#include "data/operators/supervision.h"
#include "data/trail/audit.h"
#include "data/trail/ledgerchain.h"

#include <QSqlQuery>
#include <algorithm>

// The posting of a month (see monthend.h).
namespace monthend {

using namespace profitshare;
using detail::run;
using detail::storedMonth;

using detail::RunRow;

namespace {

// Appends the rows in their order, one statement each (a file's engine is in
// this process); their keys.
Outcome appendEach(QSqlDatabase &database, const QList<RunRow> &rows, const QDate &today, QList<qint64> *keys)
{
    QSqlQuery insert(database);
    if (!insert.prepare(QStringLiteral("INSERT INTO nabubg (norekening, nama, tanggal, kode, jenis, debet, kredit, saldo) "
                                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?) RETURNING %1")
                            .arg(db::keyColumn(database))))
        return Outcome::failed(db::describeError(insert.lastError(), database));
    for (const RunRow &row : rows) {
        for (const QVariant &value : QVariantList{row.account, row.name, today, row.code, row.kind, row.debet.toDouble(),
                                                  row.kredit.toDouble(), row.saldo.toDouble()})
            insert.addBindValue(value);
        if (!insert.exec() || !insert.next())
            return Outcome::failed(db::describeError(insert.lastError(), database));
        *keys << insert.value(0).toLongLong();
        insert.finish();
    }
    return Outcome::ok();
}

} // namespace

// Appends the rows of one code in one statement (a server is a round trip away):
// the values go as texts joined by the unit separator, a name that is NULL as
// the record separator. The ledger's rule still judges every row.
Outcome detail::appendAtOnce(QSqlDatabase &database, const QList<RunRow> &rows, const QString &code, const QString &kind,
                     QList<qint64> *keys)
{
    if (rows.isEmpty())
        return Outcome::ok();
    QStringList accounts, names, debets, kredits, saldos;
    for (const RunRow &row : rows) {
        accounts << row.account;
        names << (row.name.isNull() ? QString(QChar(0x1e)) : row.name);
        debets << QString::number(row.debet.sen());
        kredits << QString::number(row.kredit.sen());
        saldos << QString::number(row.saldo.sen());
    }
    const QChar separator(0x1f);
    QSqlQuery query;
    const Outcome outcome = run(
        database,
        QStringLiteral("INSERT INTO nabubg (norekening, nama, tanggal, kode, jenis, debet, kredit, saldo) "
                       "SELECT r.n, r.m, current_date, CAST(? AS text), CAST(? AS text), "
                       "CAST(r.d AS double precision) / 100, CAST(r.k AS double precision) / 100, "
                       "CAST(r.s AS double precision) / 100 "
                       "FROM unnest(string_to_array(CAST(? AS text), chr(31)), "
                       "string_to_array(CAST(? AS text), chr(31), chr(30)), string_to_array(CAST(? AS text), chr(31)), "
                       "string_to_array(CAST(? AS text), chr(31)), string_to_array(CAST(? AS text), chr(31))) "
                       "WITH ORDINALITY AS r(n, m, d, k, s, i) ORDER BY r.i RETURNING %1")
            .arg(db::keyColumn(database)),
        {code, kind, accounts.join(separator), names.join(separator), debets.join(separator), kredits.join(separator),
         saldos.join(separator)},
        &query);
    if (!outcome.isOk())
        return outcome;
    while (query.next())
        *keys << query.value(0).toLongLong();
    if (query.lastError().isValid())
        return Outcome::failed(db::describeError(query.lastError(), database));
    return Outcome::ok();
}

namespace {

using detail::appendAtOnce;

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

    detail::Latest latest;
    outcome = readTaxSettings(database, &inputs);
    if (outcome.isOk())
        outcome = detail::computeWithLatest(database, inputs, month, result, &latest);
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

    QList<RunRow> shares, taxes;
    const QString kindOfShare = shareKind(inputs.contract);
    for (const Share &share : std::as_const(result->shares)) {
        if (share.gross.sen() <= 0)
            continue;
        const std::optional<Money> stored = latest.value(share.number, Money());
        if (!stored)
            return Outcome::failed(ledger::unreadableBalanceText(share.number, 0));
        const Money credited = Money::fromSen(stored->sen() + share.gross.sen());
        shares << RunRow{share.number, share.name, QLatin1String(kShareCode), kindOfShare, Money(), share.gross, credited};
        if (share.tax.sen() > 0)
            taxes << RunRow{share.number,        share.name, QLatin1String(kTaxCode),
                            QLatin1String(kTaxKind), share.tax, Money(),
                            Money::fromSen(credited.sen() - share.tax.sen())};
    }
    QList<qint64> keys;
    if (server) {
        // All shares, then all taxes: each tax row follows its share row.
        outcome = appendAtOnce(database, shares, QLatin1String(kShareCode), kindOfShare, &keys);
        if (outcome.isOk())
            outcome = appendAtOnce(database, taxes, QLatin1String(kTaxCode), QLatin1String(kTaxKind), &keys);
    } else {
        QList<RunRow> rows;
        qsizetype t = 0;
        for (const RunRow &row : std::as_const(shares)) {
            rows << row;
            if (t < taxes.size() && taxes.at(t).account == row.account)
                rows << taxes.at(t++);
        }
        outcome = appendEach(database, rows, today, &keys);
    }
    if (!outcome.isOk())
        return outcome;
    const qint64 written = keys.size();
    if (written != shares.size() + taxes.size())
        return Outcome::failed(QStringLiteral("Bagi hasil: %1 baris tertulis, seharusnya %2.")
                                   .arg(written)
                                   .arg(shares.size() + taxes.size()));
    const qint64 first = *std::min_element(keys.cbegin(), keys.cend());
    const qint64 last = *std::max_element(keys.cbegin(), keys.cend());
    // The run's rows as they stand now, the counters' rows between them left out.
    audit::Coverage coverage;
    outcome = audit::coverRun(database, &coverage, first, last);
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
