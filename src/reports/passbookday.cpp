#include "reports/passbookday.h"

#include "data/engine/catalog.h"
#include "data/engine/dialect.h"
#include "data/engine/pool.h"
#include "data/trail/audit.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

namespace reports {

Outcome passbookEvents(QSqlDatabase &database, const QDate &day, QString *text)
{
    QStringList lines;
    bool trail = false;
    QSqlError failure;
    if (!db::hasTrail(database, &trail, &failure))
        return Outcome::failed(db::describeError(failure, database));
    if (trail) {
        QSqlQuery query(database);
        query.setForwardOnly(true);
        if (!query.prepare(QStringLiteral("SELECT waktu, zona, \"operator\", norekening, tindakan, rincian FROM jejak "
                                          "WHERE tindakan IN (?, ?) ORDER BY nomor")))
            return Outcome::failed(db::describeError(query.lastError(), database));
        query.addBindValue(QLatin1String(audit::action::kPassbookReprint));
        query.addBindValue(QLatin1String(audit::action::kNewPassbook));
        if (!query.exec())
            return Outcome::failed(db::describeError(query.lastError(), database));
        while (query.next()) {
            const QDateTime local = audit::localTime(query.value(0).toString(), query.value(1).toString());
            if (local.date() != day)
                continue;
            QHash<QString, QString> details;
            for (const auto &[key, value] : audit::detailValues(query.value(5).toString()))
                details.insert(key, value);
            // "buku/halaman/baris" as the trail row records a line.
            const auto place = [](const QString &line) {
                const QStringList parts = line.split(u'/');
                return parts.size() == 3 ? QStringLiteral("hal %1 baris %2").arg(parts.at(1), parts.at(2)) : line;
            };
            QString line = QStringLiteral("%1  %2  rekening %3  buku %4  %5")
                               .arg(local.toString(QStringLiteral("HH:mm:ss")), query.value(4).toString(),
                                    query.value(3).toString(), details.value(QStringLiteral("buku")),
                                    place(details.value(QStringLiteral("dari"))));
            if (details.value(QStringLiteral("sampai")) != details.value(QStringLiteral("dari")))
                line += QStringLiteral(" s.d. %1").arg(place(details.value(QStringLiteral("sampai"))));
            if (details.contains(QStringLiteral("saldo_pindahan")))
                line += QStringLiteral("  saldo pindahan %1").arg(details.value(QStringLiteral("saldo_pindahan")));
            line += QStringLiteral("  kasir %1").arg(query.value(2).toString());
            if (details.contains(QStringLiteral("penyelia")))
                line += QStringLiteral("  penyelia %1").arg(details.value(QStringLiteral("penyelia")));
            lines << line;
        }
        if (query.lastError().isValid())
            return Outcome::failed(db::describeError(query.lastError(), database));
    }
    *text = QStringLiteral("Cetak ulang dan buku baru buku tabungan:\n")
        + (lines.isEmpty() ? QStringLiteral("tidak ada") : lines.join(u'\n'));
    return Outcome::ok();
}

} // namespace reports
