#include "data/trail/audit.h"
#include "data/trail/audit_p.h"

#include "data/engine/dialect.h"
#include "data/engine/pool.h"
#include "data/trail/ledgerchain.h"
#include "data/trail/registertrail.h"

#include <QCryptographicHash>
#include <QSqlQuery>
#include <functional>

// The ledger rows brought in by bulk, or written by a month-end run or its
// take-back, as one trail row records them: their range, count and digest.
namespace audit {

using internal::failed;

namespace {

// The number of nabubg's content columns.
constexpr int kLedgerColumns = 8;

// Takes into the coverage, in the order the query gives them, the ledger rows it
// gives (each its key, then its content columns) that `keep` keeps: their range,
// their count and the digest of their contents.
Outcome takeRows(QSqlQuery &query, const QSqlDatabase &database, Coverage *coverage,
                 const std::function<bool(qint64 key, const QVector<QVariant> &values)> &keep)
{
    QCryptographicHash digest(QCryptographicHash::Sha256);
    QVector<QVariant> values(kLedgerColumns);
    while (query.next()) {
        const qint64 at = query.value(0).toLongLong();
        for (int c = 0; c < kLedgerColumns; ++c)
            values[c] = query.value(c + 1);
        if (keep && !keep(at, values))
            continue;
        if (!coverage->first)
            coverage->first = at;
        coverage->last = at;
        ++coverage->count;
        digest.addData(rowContent(QStringLiteral("nabubg"), values).toUtf8());
    }
    if (query.lastError().isValid())
        return failed(query.lastError(), database);
    coverage->digest = digest.result().toHex();
    return Outcome::ok();
}

// The same for the rows a statement gives with keys from `first` to `last`,
// bound to its two placeholders.
Outcome coverRange(QSqlDatabase &database, Coverage *coverage, const QString &statement, qint64 first, qint64 last,
                   const std::function<bool(qint64 key, const QVector<QVariant> &values)> &keep = {})
{
    *coverage = Coverage();
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        return failed(query.lastError(), database);
    query.addBindValue(first);
    query.addBindValue(last);
    if (!query.exec())
        return failed(query.lastError(), database);
    return takeRows(query, database, coverage, keep);
}

} // namespace

Outcome coverLedger(QSqlDatabase &database, Coverage *coverage, std::optional<qint64> first,
                    std::optional<qint64> last)
{
    *coverage = Coverage();
    const QString key = db::keyColumn(database);
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT %1, %2 FROM nabubg ORDER BY %1")
                        .arg(key, contentColumns(QStringLiteral("nabubg")).join(u','))))
        return failed(query.lastError(), database);
    // The breaks are those of the whole ledger's chains, at rows in the range.
    ledger::ChainWalker chains(0);
    return takeRows(query, database, coverage, [&](qint64 at, const QVector<QVariant> &values) {
        const std::optional<ledger::Break> broken =
            chains.add(ledger::rowOf(at, values[0], values[2], values[5], values[6], values[7]));
        if ((first && at < *first) || (last && at > *last))
            return false;
        if (broken)
            coverage->breaks << KnownBreak{broken->row.account, at};
        return true;
    });
}

bool isRunCode(const QString &kode)
{
    return kode == QLatin1String("03") || kode == QLatin1String("04");
}

Outcome coverRun(QSqlDatabase &database, Coverage *coverage, qint64 first, qint64 last)
{
    return coverRange(database, coverage,
                      QStringLiteral("SELECT %1, %2 FROM nabubg WHERE %1 BETWEEN ? AND ? ORDER BY %1")
                          .arg(db::keyColumn(database), contentColumns(QStringLiteral("nabubg")).join(u',')),
                      first, last, [](qint64, const QVector<QVariant> &values) { return isRunCode(values[3].toString()); });
}

Outcome coverTakeBack(QSqlDatabase &database, Coverage *coverage, qint64 first, qint64 last)
{
    return coverRange(database, coverage,
                      QStringLiteral("SELECT n.%1, %2 FROM nabubg n WHERE n.%1 BETWEEN ? AND ? AND n.kode = '05' "
                                     "AND NOT EXISTS (SELECT 1 FROM jejak j WHERE j.tabel = 'nabubg' AND j.kunci = n.%1 "
                                     "AND j.tindakan = '%3') ORDER BY n.%1")
                          .arg(db::keyColumn(database),
                               QStringLiteral("n.") + contentColumns(QStringLiteral("nabubg")).join(QStringLiteral(",n.")),
                               QLatin1String(action::kCorrection)),
                      first, last);
}

QString coverageDetails(const Coverage &coverage)
{
    QStringList lines;
    if (coverage.first && coverage.last)
        lines << QStringLiteral("nabubg=%1-%2").arg(*coverage.first).arg(*coverage.last);
    lines << QStringLiteral("jumlah=%1").arg(coverage.count);
    lines << QStringLiteral("digest=") + QString::fromLatin1(coverage.digest);
    for (const KnownBreak &known : coverage.breaks)
        lines << detail(QStringLiteral("putus"), QStringLiteral("%1@%2").arg(known.account).arg(known.key));
    return lines.join(u'\n');
}

std::optional<Coverage> coverageOf(const QString &rincian)
{
    Coverage coverage;
    bool counted = false;
    for (const auto &[key, value] : detailValues(rincian)) {
        if (key == QLatin1String("nabubg")) {
            const qsizetype dash = value.indexOf(u'-', 1);
            bool firstOk = false, lastOk = false;
            const qint64 first = value.left(dash).toLongLong(&firstOk);
            const qint64 last = value.mid(dash + 1).toLongLong(&lastOk);
            if (dash < 0 || !firstOk || !lastOk)
                return std::nullopt;
            coverage.first = first;
            coverage.last = last;
        } else if (key == QLatin1String("jumlah")) {
            coverage.count = value.toLongLong(&counted);
        } else if (key == QLatin1String("digest")) {
            coverage.digest = value.toLatin1();
        }
    }
    if (!counted)
        return std::nullopt;
    coverage.breaks = breaksOf(rincian);
    return coverage;
}

QList<KnownBreak> breaksOf(const QString &rincian)
{
    QList<KnownBreak> breaks;
    for (const auto &[key, value] : detailValues(rincian)) {
        if (key != QLatin1String("putus"))
            continue;
        const qsizetype at = value.lastIndexOf(u'@');
        bool ok = false;
        const qint64 row = value.mid(at + 1).toLongLong(&ok);
        if (at >= 0 && ok)
            breaks << KnownBreak{value.left(at), row};
    }
    return breaks;
}

Outcome appendImport(QSqlDatabase &database, qint64 first, qint64 last, const QString &details,
                     std::optional<qint64> registerFirst, std::optional<qint64> registerLast)
{
    Coverage coverage;
    Outcome covered = coverLedger(database, &coverage, first, last);
    if (!covered.isOk())
        return covered;
    RegisterCoverage customers;
    covered = coverRegister(database, &customers, registerFirst.value_or(1), registerLast.value_or(0));
    if (!covered.isOk())
        return covered;
    Entry entry;
    entry.tindakan = QLatin1String(action::kImport);
    entry.tabel = QStringLiteral("nabubg");
    entry.rincian = coverageDetails(coverage) + u'\n' + registerCoverageDetails(customers);
    if (!details.isEmpty())
        entry.rincian += u'\n' + details;
    return append(database, entry);
}

} // namespace audit
