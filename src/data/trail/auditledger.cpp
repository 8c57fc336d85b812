#include "data/trail/auditcheck.h"
#include "data/trail/auditcheck_p.h"

#include "data/engine/catalog.h"
#include "data/engine/dialect.h"
#include "data/base/money.h"
#include "data/trail/ownersrows.h"
#include "data/engine/pool.h"
#include "data/trail/registertrail.h"
#include "data/base/schema.h"
#include "data/base/textforms.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <memory>
#include <vector>
// The check's walk over the ledger, the rows gone from it, the supervisors'
// tables and the key ranges that imports and month ends cover.
namespace audit::checking {

Outcome Checker::walkLedger(QSqlDatabase &database)
{
    const QString key = db::keyColumn(database);
    QStringList columns;
    for (const QString &column : contentColumns(QStringLiteral("nabubg")))
        columns << QStringLiteral("n.") + column;
    // Posting rows of jejak come beside their ledger row (the index on tabel and kunci).
    const QString sql = result_->hasTrail
                            ? QStringLiteral("SELECT n.%1, %2, j.nomor, j.isi FROM nabubg n LEFT JOIN jejak j "
                                             "ON j.tabel = 'nabubg' AND j.kunci = n.%1 AND j.tindakan IN %3 ORDER BY n.%1")
                                  .arg(key, columns.join(u','), postingActions())
                            : QStringLiteral("SELECT n.%1, %2, NULL, NULL FROM nabubg n ORDER BY n.%1")
                                  .arg(key, columns.join(u','));
    const std::unique_ptr<db::RowStream> rows = db::dialect(database).stream(database, sql);
    Group group;
    bool pending = false;
    db::Value values[8];
    const QString table = QStringLiteral("nabubg");
    while (rows->next()) {
        const qint64 at = integerOf(rows->value(0));
        if (!pending || at != group.key) {
            if (pending)
                finishGroup(group);
            pending = true;
            group.key = at;
            for (int c = 0; c < 8; ++c)
                values[c] = rows->value(c + 1);
            group.isi = rowContent(table, values);
            group.runCode = textOf(values[3]) == "03" || textOf(values[3]) == "04";
            group.correctionCode = textOf(values[3]) == "05";
            group.row = ledger::rowOf(at, variantOf(values[0]), variantOf(values[2]), variantOf(values[5]),
                                      variantOf(values[6]), variantOf(values[7]));
            group.postings.clear();
        }
        const db::Value nomor = rows->value(9);
        if (nomor.type != db::Value::Type::Null) {
            const db::Value isi = rows->value(10);
            group.postings.append({integerOf(nomor), isi.type == db::Value::Type::Null ? QByteArray()
                                                                                       : isi.text.toByteArray()});
        }
    }
    if (pending)
        finishGroup(group);
    if (rows->error().isValid())
        return Outcome::failed(db::describeError(rows->error(), database));
    result_->ledger = chains_.summary();
    return Outcome::ok();
}

Outcome Checker::findGone(QSqlDatabase &database)
{
    // Only when some posting rows of the chain met no ledger row.
    if (!result_->hasTrail || matched_ >= postings_)
        return Outcome::ok();
    const QString key = db::keyColumn(database);
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT j.nomor, j.kunci, j.norekening, j.tindakan FROM jejak j "
                                   "WHERE j.tabel = 'nabubg' AND j.kunci IS NOT NULL AND j.tindakan IN %1 "
                                   "AND NOT EXISTS (SELECT 1 FROM nabubg n WHERE n.%2 = j.kunci) ORDER BY j.nomor")
                        .arg(postingActions(), key)))
        return Outcome::failed(db::describeError(query.lastError(), database));
    while (query.next())
        find(QStringLiteral("nabubg"), query.value(1).toLongLong(),
             QStringLiteral("nabubg baris %1 (rekening %2): hilang; jejak nomor %3 mencatat %4 baris itu: "
                            "dihapus di luar SIMPARO.")
                 .arg(query.value(1).toLongLong())
                 .arg(textform::printable(query.value(2).toString()))
                 .arg(query.value(0).toLongLong())
                 .arg(textform::printable(query.value(3).toString())));
    if (query.lastError().isValid())
        return Outcome::failed(db::describeError(query.lastError(), database));
    return Outcome::ok();
}

// The supervisors' rows: every setting is the new value of its latest trail row,
// and every block event has its trail row (written in the same transaction).
Outcome Checker::checkSupervision(QSqlDatabase &database)
{
    QStringList tables, views;
    QSqlError failure;
    if (!db::dialect(database).relationNames(database, &tables, &views, &failure))
        return Outcome::failed(db::describeError(failure, database));
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (tables.contains(QStringLiteral("pengaturan"), Qt::CaseInsensitive)) {
        QHash<QString, QPair<qint64, QString>> recorded; // key -> the latest trail row and its new value
        if (!query.exec(QStringLiteral("SELECT nomor, rincian FROM jejak WHERE tindakan = 'pengaturan ubah' "
                                       "ORDER BY nomor")))
            return Outcome::failed(db::describeError(query.lastError(), database));
        while (query.next()) {
            const QStringList lines = query.value(1).toString().split(u'\n');
            for (const QString &line : lines) {
                const qsizetype colon = line.indexOf(QLatin1String(": "));
                const qsizetype arrow = line.lastIndexOf(QLatin1String(" -> "));
                if (colon > 0 && arrow > colon)
                    recorded.insert(line.left(colon), {query.value(0).toLongLong(), line.mid(arrow + 4)});
            }
        }
        if (!query.exec(QStringLiteral("SELECT kunci, nilai FROM pengaturan ORDER BY kunci")))
            return Outcome::failed(db::describeError(query.lastError(), database));
        while (query.next()) {
            const QString key = query.value(0).toString();
            const QString value = query.value(1).toString();
            const auto found = recorded.constFind(key);
            if (found == recorded.constEnd())
                find(QStringLiteral("pengaturan"), 0,
                     QStringLiteral("pengaturan %1 = %2: tidak ada baris jejaknya: ditulis di luar SIMPARO.")
                         .arg(key, textform::printable(value)));
            else if (found->second != value)
                find(QStringLiteral("pengaturan"), 0,
                     QStringLiteral("pengaturan %1 = %2, jejak nomor %3 mencatat %4: diubah di luar SIMPARO.")
                         .arg(key, textform::printable(value))
                         .arg(found->first)
                         .arg(textform::printable(found->second)));
        }
    }
    if (tables.contains(QStringLiteral("blokir"), Qt::CaseInsensitive)) {
        if (!query.exec(QStringLiteral("SELECT b.id, b.norekening FROM blokir b WHERE NOT EXISTS (SELECT 1 FROM jejak j "
                                       "WHERE j.tabel = 'blokir' AND j.kunci = b.id AND j.norekening = b.norekening "
                                       "AND j.tindakan IN ('blokir', 'buka blokir') "
                                       "AND j.rincian LIKE 'jenis=' || b.jenis || '%') ORDER BY b.id")))
            return Outcome::failed(db::describeError(query.lastError(), database));
        while (query.next())
            find(QStringLiteral("blokir"), query.value(0).toLongLong(),
                 QStringLiteral("blokir baris %1 (rekening %2): tidak ada baris jejaknya: ditulis di luar SIMPARO.")
                     .arg(query.value(0).toLongLong())
                     .arg(textform::printable(query.value(1).toString())));
    }
    // Every print of a passbook has its trail row, written in the same transaction.
    if (tables.contains(QStringLiteral("cetak_buku"), Qt::CaseInsensitive)) {
        if (!query.exec(QStringLiteral("SELECT c.id, c.norekening FROM cetak_buku c WHERE NOT EXISTS (SELECT 1 FROM "
                                       "jejak j WHERE j.tabel = 'cetak_buku' AND j.kunci = c.id "
                                       "AND j.norekening = c.norekening AND j.tindakan = CASE c.jenis "
                                       "WHEN 'cetak' THEN '%1' WHEN 'ulang' THEN '%2' WHEN 'baru' THEN '%3' "
                                       "ELSE '%4' END) ORDER BY c.id")
                            .arg(QLatin1String(action::kPassbookPrint), QLatin1String(action::kPassbookReprint),
                                 QLatin1String(action::kNewPassbook), QLatin1String(action::kPassbookPosition))))
            return Outcome::failed(db::describeError(query.lastError(), database));
        while (query.next())
            find(QStringLiteral("cetak_buku"), query.value(0).toLongLong(),
                 QStringLiteral("cetak_buku baris %1 (rekening %2): tidak ada baris jejaknya: ditulis di luar SIMPARO.")
                     .arg(query.value(0).toLongLong())
                     .arg(textform::printable(query.value(1).toString())));
    }
    return Outcome::ok();
}

void Checker::finishRanges()
{
    for (const std::unique_ptr<Range> &range : ranges_) {
        const Coverage &recorded = range->recorded;
        const QString rows = recorded.first ? QStringLiteral("nabubg baris %1-%2").arg(*recorded.first).arg(*recorded.last)
                                            : QStringLiteral("nabubg");
        if (range->count != recorded.count)
            find(QStringLiteral("nabubg"), recorded.first.value_or(0),
                 QStringLiteral("%1 (%2, jejak nomor %3): %4 baris, tercatat %5 baris: baris dihapus atau ditambah "
                                "di luar SIMPARO.")
                     .arg(rows, range->tindakan)
                     .arg(range->nomor)
                     .arg(range->count)
                     .arg(recorded.count));
        else if (range->digest.result().toHex() != recorded.digest)
            find(QStringLiteral("nabubg"), recorded.first.value_or(0),
                 QStringLiteral("%1 (%2, jejak nomor %3): isinya berbeda dari yang tercatat (digest): "
                                "baris diubah di luar SIMPARO.")
                     .arg(rows, range->tindakan)
                     .arg(range->nomor));
    }
}

} // namespace audit::checking
