#include "data/trail/audit.h"
#include "data/trail/audit_p.h"

#include "data/base/schema.h"
#include "data/base/session.h"
#include "data/base/wallclock.h"
#include "data/engine/dialect.h"
#include "data/engine/pool.h"
#include "data/engine/writealone.h"

#include <QRandomGenerator>
#include <QSqlQuery>
#include <cstring>
#include <cstdio>

// Appending a row to the trail: in a file numbered, dated and sealed here; on a
// server by the server's trigger.
namespace audit {

using internal::failed;
using internal::waktuText;

namespace {

// The content of the row of a table with this key as the database holds it now;
// a null text when the table has none or the row is not there.
Outcome readContent(QSqlDatabase &database, const QString &table, std::optional<qint64> key, QString *isi)
{
    *isi = QString();
    const QStringList columns = contentColumns(table);
    if (columns.isEmpty() || !key)
        return Outcome::ok();
    db::Statement query;
    const bool prepared = db::prepare(&query, database,
                                      QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                                          .arg(columns.join(u','), table, db::keyColumn(database)));
    query->addBindValue(*key);
    if (!(prepared && query->exec()))
        return failed(query->lastError(), database);
    if (query->next()) {
        QVector<QVariant> values;
        values.reserve(columns.size());
        for (int c = 0; c < columns.size(); ++c)
            values << query->value(c);
        *isi = rowContent(table, values);
    }
    const QSqlError error = query->lastError();
    query->finish();
    return error.isValid() ? failed(error, database) : Outcome::ok();
}

QVariant nullable(const QString &text)
{
    return text.isNull() ? QVariant() : QVariant(text);
}

QVariant nullable(std::optional<qint64> value)
{
    return value ? QVariant(*value) : QVariant();
}

} // namespace

// A moment as waktu holds it: UTC, to the millisecond ("2026-12-09T03:15:30.123Z").
QString internal::waktuText(const QDateTime &moment)
{
    const QDateTime utc = moment.toUTC();
    const QDate date = utc.date();
    const QTime time = utc.time();
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", date.year(),
                                     date.month(), date.day(), time.hour(), time.minute(), time.second(), time.msec());
    return QString::fromLatin1(text, length);
}

QString newToken()
{
    // The milliseconds first: tokens made later sort later, so each new one goes to
    // the end of the token index, whose last page is at hand, instead of into a
    // page anywhere in it (a random key dirties a page of its own, and splits it
    // when full, on every "SAVE"). The 80 random bits that follow keep two tokens
    // of the same millisecond apart.
    const quint64 millis = quint64(QDateTime::currentMSecsSinceEpoch()) & 0xFFFFFFFFFFFFull;
    QByteArray bytes(16, '\0');
    for (int i = 0; i < 6; ++i)
        bytes[i] = char(millis >> (8 * (5 - i)));
    quint32 random[3];
    QRandomGenerator::system()->fillRange(random);
    std::memcpy(bytes.data() + 6, random, 10);
    return QString::fromLatin1(bytes.toHex());
}

Outcome storedUnderToken(QSqlDatabase &database, const QString &table, const QString &token,
                         std::optional<qint64> *key)
{
    key->reset();
    db::Statement query;
    const bool prepared =
        db::prepare(&query, database, QStringLiteral("SELECT kunci FROM jejak WHERE token = ? AND tabel = ?"));
    query->addBindValue(token);
    query->addBindValue(table);
    if (!(prepared && query->exec()))
        return failed(query->lastError(), database);
    if (query->next() && !query->value(0).isNull())
        *key = query->value(0).toLongLong();
    const QSqlError error = query->lastError();
    query->finish();
    return error.isValid() ? failed(error, database) : Outcome::ok();
}

namespace {

// The row to a server: it numbers, dates and seals the row, and says who wrote it
// (the operator of the session's role, else the role) and what the row written
// holds: the rest is only what this counter knows.
Outcome appendOnServer(QSqlDatabase &database, const Record &record, Send send)
{
    const QString insert = QStringLiteral("INSERT INTO jejak (zona, loket, tindakan, tabel, kunci, norekening, "
                                          "rincian, token) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    const QVariantList values{nullable(record.zona),  nullable(record.loket), nullable(record.tindakan),
                              nullable(record.tabel), nullable(record.kunci), nullable(record.norekening),
                              nullable(record.rincian), nullable(record.token)};
    if (send == Send::WithCommit) {
        db::holdForCommit(database, insert, values);
        return Outcome::ok();
    }
    db::Statement query;
    const bool prepared = db::prepare(&query, database, insert);
    for (const QVariant &value : values)
        query->addBindValue(value);
    if (!(prepared && query->exec()))
        return failed(query->lastError(), database);
    return Outcome::ok();
}

// The row to a file, numbered, dated and sealed here: this transaction shuts out
// every other writer, so the last row read here stays the last until this one is
// committed.
Outcome appendToFile(QSqlDatabase &database, Record record, const QDateTime &now, const QVector<QVariant> *written)
{
    db::Statement query;
    bool prepared = db::prepare(&query, database, QStringLiteral("SELECT nomor, segel FROM jejak ORDER BY nomor DESC LIMIT 1"));
    if (!(prepared && query->exec()))
        return failed(query->lastError(), database);
    QByteArray previous;
    if (query->next()) {
        record.nomor = query->value(0).toLongLong();
        previous = query->value(1).toString().toLatin1();
    }
    if (query->lastError().isValid())
        return failed(query->lastError(), database);
    query->finish();
    ++record.nomor;
    record.waktu = waktuText(now);
    if (written) {
        record.isi = rowContent(record.tabel, *written);
    } else {
        const Outcome read = readContent(database, record.tabel, record.kunci, &record.isi);
        if (!read.isOk())
            return read;
    }
    record.segel = QString::fromLatin1(seal(previous, content(record)));
    prepared = db::prepare(&query, database,
                           QStringLiteral("INSERT INTO jejak (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                               .arg(recordColumns()));
    for (const QVariant &value :
         {QVariant(record.nomor), nullable(record.waktu), nullable(record.zona), nullable(record.operatorName),
          nullable(record.peran), nullable(record.loket), nullable(record.alamat), nullable(record.tindakan),
          nullable(record.tabel), nullable(record.kunci), nullable(record.norekening), nullable(record.rincian),
          nullable(record.isi), nullable(record.token), nullable(record.segel)})
        query->addBindValue(value);
    if (!(prepared && query->exec()))
        return failed(query->lastError(), database);
    return Outcome::ok();
}

} // namespace

Outcome append(QSqlDatabase &database, const Entry &entry, const QString &operatorName,
               const QVector<QVariant> *written, Send send)
{
    const QDateTime now = entry.moment.isValid() ? entry.moment : wallclock::now();
    Record record;
    record.zona = wallclock::zoneText(now.offsetFromUtc());
    record.operatorName = operatorName.isEmpty() ? session::operatorName() : operatorName;
    record.loket = session::counterName();
    record.tindakan = entry.tindakan;
    record.tabel = entry.tabel.isEmpty() ? QString() : entry.tabel;
    record.kunci = entry.kunci;
    record.norekening = entry.norekening;
    record.rincian = entry.rincian.isEmpty() ? QString() : entry.rincian;
    record.token = entry.token;
    if (db::dialect(database).sealsTrail())
        return appendOnServer(database, record, send);
    return appendToFile(database, record, now, written);
}

QString currentZone()
{
    return wallclock::zoneNow();
}

Outcome appendAlone(const QString &connectionText, const Entry &entry, const QString &operatorName)
{
    return db::writeAlone(connectionText, [&](QSqlDatabase &database) { return append(database, entry, operatorName); });
}

Outcome recordLogin(const QString &connectionText, const QString &user, bool succeeded, const QString &why)
{
    Entry entry;
    entry.tindakan = QLatin1String(succeeded ? action::kLogin : action::kFailedLogin);
    QStringList lines;
    if (!user.isEmpty())
        lines << detail(QStringLiteral("user"), user);
    if (!why.isEmpty())
        lines << detail(QStringLiteral("sebab"), why);
    entry.rincian = lines.join(u'\n');
    return appendAlone(connectionText, entry, succeeded ? user : QString());
}

} // namespace audit
