#include "data/trail/audit.h"
#include "data/base/wallclock.h"

#include "data/engine/dialect.h"
#include "data/trail/ledgerchain.h"
#include "data/engine/pool.h"
#include "data/engine/writealone.h"
#include "data/trail/registertrail.h"
#include "data/base/schema.h"
#include "data/base/session.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>
#include <sodium.h>
#include <charconv>
#include <cstring>
#include <cmath>
#include <cstdio>

namespace audit {

namespace {

// A value the program holds as the database gives it back, for the canonical
// text: its bytes kept in *storage while the value is in use.
db::Value valueOf(const QVariant &value, QByteArray *storage)
{
    db::Value result;
    if (value.isNull())
        return result;
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        result.type = db::Value::Type::Real;
        result.real = value.toDouble();
        return result;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        result.type = db::Value::Type::Integer;
        result.integer = value.toLongLong();
        return result;
    case QMetaType::QDate:
        *storage = value.toDate().toString(Qt::ISODate).toUtf8();
        break;
    default:
        *storage = value.toString().toUtf8();
        break;
    }
    result.type = db::Value::Type::Text;
    result.text = *storage;
    return result;
}

// A number as text: an integer's digits, a floating number in its shortest form.
QByteArray numberText(const db::Value &value)
{
    if (value.type == db::Value::Type::Integer)
        return QByteArray::number(value.integer);
    return QByteArray::number(value.real, 'g', QLocale::FloatingPointShortest);
}

// "<n>:" and the value's bytes.
void appendBytes(QByteArray *record, QByteArrayView bytes)
{
    char digits[24];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, bytes.size());
    Q_UNUSED(error);
    const qsizetype length = end - digits;
    const qsizetype at = record->size();
    record->resize(at + length + 1 + bytes.size());
    char *out = record->data() + at;
    std::memcpy(out, digits, size_t(length));
    out[length] = ':';
    if (!bytes.isEmpty())
        std::memcpy(out + length + 1, bytes.data(), size_t(bytes.size()));
}

// "<n>:" and an integer's digits.
void appendInteger(QByteArray *record, qint64 value)
{
    char digits[24];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    Q_UNUSED(error);
    appendBytes(record, QByteArrayView(digits, end - digits));
}

// A field of a column of this kind: text as stored, a date as its stored text
// (yyyy-MM-dd), an amount as a whole number of sen rounded half away from zero,
// or "!" and the text of a value that is no number (text in an older file).
void appendValue(QByteArray *record, const db::Value &value, schema::Kind kind)
{
    if (value.type == db::Value::Type::Null) {
        record->append('-');
        return;
    }
    if (value.type == db::Value::Type::Text) {
        if (kind != schema::Kind::Number)
            return appendBytes(record, value.text);
        return appendBytes(record, QByteArray(1, '!') + value.text.toByteArray());
    }
    if (kind != schema::Kind::Number)
        return appendBytes(record, numberText(value));
    const double hundredfold = (value.type == db::Value::Type::Integer ? double(value.integer) : value.real) * 100;
    if (!std::isfinite(hundredfold) || std::fabs(hundredfold) > 9.2e18)
        return appendBytes(record, '!' + numberText(value));
    const double whole = std::trunc(hundredfold);
    const double sen = whole + (std::fabs(hundredfold - whole) >= 0.5 ? (hundredfold < 0 ? -1.0 : 1.0) : 0.0);
    appendInteger(record, static_cast<qint64>(sen));
}

QString escaped(QString value)
{
    value.replace(u'\\', QStringLiteral("\\\\"));
    value.replace(u'\n', QStringLiteral("\\n"));
    value.replace(u'\r', QStringLiteral("\\r"));
    return value;
}

QString unescaped(const QString &value)
{
    QString text;
    text.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value.at(i) != u'\\' || i + 1 == value.size()) {
            text += value.at(i);
            continue;
        }
        const QChar next = value.at(++i);
        text += next == u'n' ? QChar(u'\n') : next == u'r' ? QChar(u'\r') : next;
    }
    return text;
}

// The details as key and value, each line once.
QList<QPair<QString, QString>> detailLines(const QString &rincian)
{
    QList<QPair<QString, QString>> lines;
    for (const QString &line : rincian.split(u'\n', Qt::SkipEmptyParts)) {
        const qsizetype at = line.indexOf(u'=');
        if (at > 0)
            lines.append({line.left(at), unescaped(line.mid(at + 1))});
    }
    return lines;
}

// "+07:00" for an offset of seven hours east of UTC.
QString zoneText(int offsetSeconds)
{
    const int minutes = std::abs(offsetSeconds) / 60;
    return QStringLiteral("%1%2:%3")
        .arg(offsetSeconds < 0 ? QStringLiteral("-") : QStringLiteral("+"))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

Outcome failed(const QSqlError &error, const QSqlDatabase &database)
{
    return Outcome::failed(db::describeError(error, database));
}

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

// A moment as waktu holds it: UTC, to the millisecond ("2026-12-09T03:15:30.123Z").
QString waktuText(const QDateTime &moment)
{
    const QDateTime utc = moment.toUTC();
    const QDate date = utc.date();
    const QTime time = utc.time();
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", date.year(),
                                     date.month(), date.day(), time.hour(), time.minute(), time.second(), time.msec());
    return QString::fromLatin1(text, length);
}

} // namespace

QString defaultAction(const QString &table, Write write, const QString &code)
{
    const schema::Table *known = schema::table(table);
    if (known == &schema::nabubg() && write == Write::Insert)
        return QLatin1String(code == QLatin1String("02") ? action::kWithdrawal : action::kDeposit);
    if (known == &schema::daftar())
        return QLatin1String(write == Write::Insert   ? action::kNewCustomer
                             : write == Write::Update ? action::kCustomerChange
                                                      : action::kCustomerDeletion);
    if (known == &schema::tpassword())
        return QLatin1String(write == Write::Insert   ? action::kOperatorAdded
                             : write == Write::Update ? action::kPasswordChange
                                                      : action::kOperatorRemoved);
    return QStringLiteral("%1 %2").arg(table.toLower(), write == Write::Insert   ? QStringLiteral("tambah")
                                                        : write == Write::Update ? QStringLiteral("ubah")
                                                                                 : QStringLiteral("hapus"));
}

QString detail(const QString &key, const QString &value)
{
    return key + u'=' + escaped(value);
}

QString change(const QString &column, const QString &before, const QString &after)
{
    return QStringLiteral("%1: %2 -> %3").arg(column, escaped(before), escaped(after));
}

std::optional<QString> changedFrom(const QString &line, const QString &column, const QString &after)
{
    const QString head = column + QStringLiteral(": ");
    const QString tail = QStringLiteral(" -> ") + escaped(after);
    if (line.size() < head.size() + tail.size() || !line.startsWith(head, Qt::CaseInsensitive) || !line.endsWith(tail))
        return std::nullopt;
    return unescaped(line.mid(head.size(), line.size() - head.size() - tail.size()));
}

QList<QPair<QString, QString>> detailValues(const QString &rincian)
{
    return detailLines(rincian);
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

// ---------------------------------------------------------------------------
// The canonical text

void appendField(QByteArray *record, const QString &value)
{
    if (value.isNull())
        record->append('-');
    else
        appendBytes(record, value.toUtf8());
}

void appendField(QByteArray *record, std::optional<qint64> value)
{
    if (!value)
        record->append('-');
    else
        appendInteger(record, *value);
}

std::optional<QList<QString>> fieldsOf(const QString &record)
{
    const QByteArray bytes = record.toUtf8();
    QList<QString> fields;
    qsizetype at = 0;
    while (at < bytes.size()) {
        if (bytes.at(at) == '-') {
            fields << QString();
            ++at;
            continue;
        }
        const qsizetype colon = bytes.indexOf(':', at);
        if (colon <= at)
            return std::nullopt;
        bool ok = false;
        const qsizetype length = bytes.mid(at, colon - at).toLongLong(&ok);
        if (!ok || length < 0 || colon + 1 + length > bytes.size())
            return std::nullopt;
        QString value = QString::fromUtf8(bytes.constData() + colon + 1, length);
        if (value.isNull())
            value = QStringLiteral("");
        fields << value;
        at = colon + 1 + length;
    }
    return fields;
}

QStringList contentColumns(const QString &table)
{
    const schema::Table *known = schema::table(table);
    if (!known)
        return {};
    if (known == &schema::tpassword())
        return {QStringLiteral("\"user\"")}; // never the password
    return known->columnNames();
}

bool describedTable(const QString &table, const QStringList &columns)
{
    const schema::Table *known = schema::table(table);
    if (!known || known->columns.size() != columns.size())
        return false;
    for (int c = 0; c < columns.size(); ++c)
        if (columns.at(c).compare(known->columns.at(c).name, Qt::CaseInsensitive) != 0)
            return false;
    return true;
}

QByteArray rowContent(const QString &table, const db::Value *values)
{
    const schema::Table *known = schema::table(table);
    if (!known)
        return QByteArray();
    QByteArray record;
    record.reserve(160);
    const int count = known == &schema::tpassword() ? 1 : int(known->columns.size());
    for (int c = 0; c < count; ++c)
        appendValue(&record, values[c], known->columns.at(c).kind);
    return record;
}

QString rowContent(const QString &table, const QVector<QVariant> &values)
{
    if (!schema::table(table))
        return QString();
    QVector<db::Value> raw(values.size());
    QVector<QByteArray> storage(values.size());
    for (int c = 0; c < values.size(); ++c)
        raw[c] = valueOf(values.at(c), &storage[c]);
    raw.resize(std::max<qsizetype>(raw.size(), 9));
    return QString::fromUtf8(rowContent(table, raw.constData()));
}

QString recordColumns()
{
    return QStringLiteral("nomor, waktu, zona, \"operator\", peran, loket, alamat, tindakan, tabel, kunci, "
                          "norekening, rincian, isi, token, segel");
}

QByteArray content(const db::Value *values)
{
    QByteArray bytes;
    bytes.reserve(512);
    for (int c = 0; c < 14; ++c) {
        const db::Value &value = values[c];
        if (value.type == db::Value::Type::Null)
            bytes.append('-');
        else if (value.type == db::Value::Type::Text)
            appendBytes(&bytes, value.text);
        else if (value.type == db::Value::Type::Integer)
            appendInteger(&bytes, value.integer);
        else
            appendBytes(&bytes, numberText(value));
    }
    return bytes;
}

QByteArray content(const Record &record)
{
    db::Value values[14];
    QByteArray storage[14];
    const auto text = [&](int c, const QString &field) {
        if (!field.isNull())
            values[c] = valueOf(field, &storage[c]);
    };
    values[0].type = db::Value::Type::Integer;
    values[0].integer = record.nomor;
    int c = 1;
    for (const QString *field : {&record.waktu, &record.zona, &record.operatorName, &record.peran, &record.loket,
                                 &record.alamat, &record.tindakan, &record.tabel})
        text(c++, *field);
    if (record.kunci) {
        values[9].type = db::Value::Type::Integer;
        values[9].integer = *record.kunci;
    }
    c = 10;
    for (const QString *field : {&record.norekening, &record.rincian, &record.isi, &record.token})
        text(c++, *field);
    return content(values);
}

QByteArray seal(const QByteArray &previousSeal, const QByteArray &content)
{
    unsigned char previous[crypto_hash_sha256_BYTES] = {};
    if (!previousSeal.isEmpty()) {
        const QByteArray raw = QByteArray::fromHex(previousSeal);
        std::memcpy(previous, raw.constData(), std::min<size_t>(raw.size(), sizeof previous));
    }
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    crypto_hash_sha256_update(&state, previous, sizeof previous);
    crypto_hash_sha256_update(&state, reinterpret_cast<const unsigned char *>(content.constData()),
                              static_cast<unsigned long long>(content.size()));
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256_final(&state, digest);
    return QByteArray(reinterpret_cast<const char *>(digest), sizeof digest).toHex();
}

QString groupedSeal(const QString &seal)
{
    QStringList groups;
    for (qsizetype at = 0; at < seal.size(); at += 4)
        groups << seal.mid(at, 4);
    return groups.join(u' ');
}

// ---------------------------------------------------------------------------
// Appending

Outcome append(QSqlDatabase &database, const Entry &entry, const QString &operatorName,
               const QVector<QVariant> *written, Send send)
{
    const QDateTime now = entry.moment.isValid() ? entry.moment : wallclock::now();
    Record record;
    record.zona = zoneText(now.offsetFromUtc());
    record.operatorName = operatorName.isEmpty() ? session::operatorName() : operatorName;
    record.loket = session::counterName();
    record.tindakan = entry.tindakan;
    record.tabel = entry.tabel.isEmpty() ? QString() : entry.tabel;
    record.kunci = entry.kunci;
    record.norekening = entry.norekening;
    record.rincian = entry.rincian.isEmpty() ? QString() : entry.rincian;
    record.token = entry.token;

    db::Statement query;
    if (db::dialect(database).sealsTrail()) {
        // The server numbers, dates and seals the row, and says who wrote it (the
        // operator of the session's role, else the role) and what the row written
        // holds: the rest is only what this counter knows.
        const QString insert = QStringLiteral("INSERT INTO jejak (zona, loket, tindakan, tabel, kunci, norekening, "
                                              "rincian, token) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
        const QVariantList values{nullable(record.zona),  nullable(record.loket), nullable(record.tindakan),
                                  nullable(record.tabel), nullable(record.kunci), nullable(record.norekening),
                                  nullable(record.rincian), nullable(record.token)};
        if (send == Send::WithCommit) {
            db::holdForCommit(database, insert, values);
            return Outcome::ok();
        }
        const bool prepared = db::prepare(&query, database, insert);
        for (const QVariant &value : values)
            query->addBindValue(value);
        if (!(prepared && query->exec()))
            return failed(query->lastError(), database);
        return Outcome::ok();
    }

    // A file: this transaction shuts out every other writer, so the last row read
    // here stays the last until this one is committed.
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

QString currentZone()
{
    return zoneText(QDateTime::currentDateTime().offsetFromUtc());
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

// ---------------------------------------------------------------------------
// Rows brought in by bulk

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
    QCryptographicHash digest(QCryptographicHash::Sha256);
    QVector<QVariant> values(8);
    while (query.next()) {
        const qint64 at = query.value(0).toLongLong();
        for (int c = 0; c < 8; ++c)
            values[c] = query.value(c + 1);
        const std::optional<ledger::Break> broken =
            chains.add(ledger::rowOf(at, values[0], values[2], values[5], values[6], values[7]));
        if ((first && at < *first) || (last && at > *last))
            continue;
        if (!coverage->first)
            coverage->first = at;
        coverage->last = at;
        ++coverage->count;
        digest.addData(rowContent(QStringLiteral("nabubg"), values).toUtf8());
        if (broken)
            coverage->breaks << KnownBreak{broken->row.account, at};
    }
    if (query.lastError().isValid())
        return failed(query.lastError(), database);
    coverage->digest = digest.result().toHex();
    return Outcome::ok();
}

bool isRunCode(const QString &kode)
{
    return kode == QLatin1String("03") || kode == QLatin1String("04");
}

Outcome coverRun(QSqlDatabase &database, Coverage *coverage, qint64 first, qint64 last)
{
    *coverage = Coverage();
    const QString key = db::keyColumn(database);
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT %1, %2 FROM nabubg WHERE %1 BETWEEN ? AND ? ORDER BY %1")
                           .arg(key, contentColumns(QStringLiteral("nabubg")).join(u','))))
        return failed(query.lastError(), database);
    query.addBindValue(first);
    query.addBindValue(last);
    if (!query.exec())
        return failed(query.lastError(), database);
    QCryptographicHash digest(QCryptographicHash::Sha256);
    QVector<QVariant> values(8);
    while (query.next()) {
        for (int c = 0; c < 8; ++c)
            values[c] = query.value(c + 1);
        if (!isRunCode(values[3].toString()))
            continue;
        const qint64 at = query.value(0).toLongLong();
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

Outcome coverTakeBack(QSqlDatabase &database, Coverage *coverage, qint64 first, qint64 last)
{
    *coverage = Coverage();
    const QString key = db::keyColumn(database);
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT n.%1, %2 FROM nabubg n WHERE n.%1 BETWEEN ? AND ? AND n.kode = '05' "
                                      "AND NOT EXISTS (SELECT 1 FROM jejak j WHERE j.tabel = 'nabubg' AND j.kunci = n.%1 "
                                      "AND j.tindakan = '%3') ORDER BY n.%1")
                           .arg(key, QStringLiteral("n.") + contentColumns(QStringLiteral("nabubg")).join(QStringLiteral(",n.")),
                                QLatin1String(action::kCorrection))))
        return failed(query.lastError(), database);
    query.addBindValue(first);
    query.addBindValue(last);
    if (!query.exec())
        return failed(query.lastError(), database);
    QCryptographicHash digest(QCryptographicHash::Sha256);
    QVector<QVariant> values(8);
    while (query.next()) {
        for (int c = 0; c < 8; ++c)
            values[c] = query.value(c + 1);
        const qint64 at = query.value(0).toLongLong();
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
    for (const auto &[key, value] : detailLines(rincian)) {
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
    for (const auto &[key, value] : detailLines(rincian)) {
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

// ---------------------------------------------------------------------------
// The day's seal

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
        *seal = DaySeal{query.value(0).toLongLong(), query.value(1).toString(), query.value(2).toString(),
                        query.value(3).toString()};
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
        *seal = DaySeal{query.value(0).toLongLong(), query.value(1).toString(), query.value(2).toString(),
                        query.value(3).toString()};
    const QSqlError error = query.lastError();
    query.finish();
    return error.isValid() ? failed(error, database) : Outcome::ok();
}

} // namespace audit
