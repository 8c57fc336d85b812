#include "data/trail/audit.h"
#include "data/trail/audit_p.h"

#include <QSqlQuery>
#include <QTimeZone>

// The seal at the end of a day, or at a row: what a day's report prints so that a
// later change of the trail is seen.
namespace audit {

using internal::failed;
using internal::waktuText;

namespace {

// The seal of the row the query stands on (nomor, waktu, zona, segel).
DaySeal sealOf(const QSqlQuery &query)
{
    return DaySeal{query.value(0).toLongLong(), query.value(1).toString(), query.value(2).toString(),
                   query.value(3).toString()};
}

} // namespace

QDateTime localTime(const QString &waktu, const QString &zona)
{
    const QDateTime utc = QDateTime::fromString(waktu, Qt::ISODateWithMs);
    if (!utc.isValid() || zona.size() != 6 || (zona.at(0) != u'+' && zona.at(0) != u'-') || zona.at(3) != u':')
        return {};
    bool hoursOk = false, minutesOk = false;
    const int hours = zona.mid(1, 2).toInt(&hoursOk);
    const int minutes = zona.mid(4, 2).toInt(&minutesOk);
    if (!hoursOk || !minutesOk)
        return {};
    const int seconds = (hours * 60 + minutes) * 60 * (zona.at(0) == u'-' ? -1 : 1);
    return utc.toUTC().toOffsetFromUtc(seconds);
}

Outcome sealAtEndOfDay(QSqlDatabase &database, const QDate &day, std::optional<DaySeal> *seal)
{
    *seal = std::nullopt;
    // No place is more than 14 hours ahead of UTC: a row at or after this moment is
    // local to a later day everywhere.
    const QDateTime bound = QDateTime(day.addDays(1), QTime(0, 0), QTimeZone::utc()).addSecs(14 * 3600);
    QSqlQuery query(database);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT nomor, waktu, zona, segel FROM jejak WHERE waktu < ? ORDER BY nomor DESC"));
    query.addBindValue(waktuText(bound));
    if (!query.exec())
        return failed(query.lastError(), database);
    while (query.next()) {
        const QDateTime local = localTime(query.value(1).toString(), query.value(2).toString());
        if (!local.isValid() || local.date() > day)
            continue;
        *seal = sealOf(query);
        break;
    }
    const QSqlError error = query.lastError();
    query.finish();
    return error.isValid() ? failed(error, database) : Outcome::ok();
}

Outcome sealAtRow(QSqlDatabase &database, qint64 nomor, std::optional<DaySeal> *seal)
{
    *seal = std::nullopt;
    QSqlQuery query(database);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT nomor, waktu, zona, segel FROM jejak WHERE nomor = ?"));
    query.addBindValue(nomor);
    if (!query.exec())
        return failed(query.lastError(), database);
    if (query.next())
        *seal = sealOf(query);
    const QSqlError error = query.lastError();
    query.finish();
    return error.isValid() ? failed(error, database) : Outcome::ok();
}

} // namespace audit

