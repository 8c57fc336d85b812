#include "data/records/recordwriter.h"

#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/base/money.h"
#include "data/base/session.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>

namespace recordwrite {

namespace {
std::function<void(const QString &)> g_afterCheck;

Outcome failure(const QSqlError &error, const QSqlDatabase &database)
{
    // A value that must be unique and is taken already: the register's account
    // number, the only such rule of the schema. Told as the refusal it is, also
    // when another program wrote the same number a moment earlier.
    if (db::isUniqueViolation(error, database))
        return Outcome::refused(QString::fromUtf8(schema::kNumberInUse));
    return Outcome::failed(db::describeError(error, database));
}

// Text with half a character (a surrogate without its pair, as when a field's
// character limit cuts an emoji in two) cannot be stored as it is: the database
// would keep a replacement character instead.
Outcome storable(const Target &target, const QVector<QVariant> &row)
{
    for (int c = 0; c < row.size(); ++c) {
        if (row.at(c).typeId() != QMetaType::QString || row.at(c).toString().isValidUtf16())
            continue;
        return Outcome::refused(
            QStringLiteral("Isian %1 berisi huruf atau tanda yang terpotong (misalnya separuh emoji), "
                           "jadi tidak bisa disimpan apa adanya.\nPerbaiki isian itu, lalu ulangi.")
                .arg(target.columns.value(c).toUpper()));
    }
    return Outcome::ok();
}

// Runs the guard (it may refuse), the check (it may change the row or refuse it),
// then the work; commits, or rolls everything back. *broken (when given) tells a
// failure after which the write's end is not known from its own answers: the
// COMMIT failed, or the connection was lost on the way.
Outcome run(const Target &target, QVector<QVariant> *row, const Check &check,
            const std::function<Outcome(QSqlDatabase &, db::Statement &)> &work,
            const std::function<Outcome(QSqlDatabase &, db::Statement &)> &guard = {}, bool *broken = nullptr)
{
    QSqlDatabase database = db::connection(target.connection);
    QSqlError error;
    if (!db::beginWrite(database, &error))
        return failure(error, database); // nothing of it began
    // The statements of the transaction are kept by the connection; they are
    // finished before it ends.
    db::Statement statement;
    Outcome outcome = guard ? guard(database, statement) : Outcome::ok();
    if (outcome.isOk() && row)
        outcome = storable(target, *row);
    if (outcome.isOk() && row && check)
        outcome = check(database, *row);
    if (outcome.isOk() && g_afterCheck)
        g_afterCheck(target.table);
    if (outcome.isOk())
        outcome = work(database, statement);
    if (statement)
        statement->finish();
    if (!outcome.isOk()) {
        db::endWrite(database, false);
        if (broken)
            *broken = outcome.isFailed() && db::dialect(database).lost(database);
        return outcome;
    }
    if (!db::endWrite(database, true, &error)) {
        // A last statement refused before the COMMIT ended the write as any refused
        // statement does; a failed COMMIT leaves its end to be found out.
        if (broken)
            *broken = error.type() != QSqlError::StatementError || db::dialect(database).lost(database);
        return failure(error, database);
    }
    return outcome;
}

QVariant stored(const Target &target, const QVector<QVariant> &row, int column)
{
    return schema::toStored(row.value(column), target.kinds.value(column));
}

// --- Tables an operator writes only through the database's functions (a server's
// register): each function checks, writes the row and its trail row.

bool throughFunctions(const Target &target, const QSqlDatabase &database)
{
    return db::dialect(database).writesThroughFunctions(target.table);
}

// Texts as an array value of the server ({"a","b",NULL}), bound as one value.
QString textArray(const QVariantList &values)
{
    QStringList items;
    for (const QVariant &value : values) {
        if (value.isNull()) {
            items << QStringLiteral("NULL");
            continue;
        }
        QString text = value.toString();
        text.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
        items << u'"' + text + u'"';
    }
    return u'{' + items.join(u',') + u'}';
}

// The first line of the database's own words for a refusal it raised, without
// its "ERROR:" and code.
QString refusalText(const QSqlError &error)
{
    QString text = error.databaseText().section(u'\n', 0, 0).trimmed();
    const qsizetype colon = text.indexOf(QLatin1String(":  "));
    if (colon > 0 && colon < 12)
        text = text.mid(colon + 3);
    return text;
}

QString changedElsewhereText()
{
    return QStringLiteral("Data ini sudah diubah di tempat lain sejak ditampilkan; perubahan ini tidak disimpan.\n"
                          "Tutup layar ini lalu buka kembali, lalu ulangi.");
}

bool same(const QVariant &a, const QVariant &b)
{
    return a.isNull() == b.isNull() && (a.isNull() || a == b);
}

// A column's value as the trail's details show it: amounts as amounts, dates as stored.
QString detailText(const Target &target, const QVector<QVariant> &row, int column)
{
    const QVariant value = stored(target, row, column);
    if (value.isNull())
        return QString();
    if (target.kinds.value(column) == schema::Kind::Number)
        if (const std::optional<Money> amount = Money::fromStored(value))
            return amount->toText();
    return value.toString();
}

int columnOf(const Target &target, const QString &name)
{
    for (int c = 0; c < target.columns.size(); ++c)
        if (target.columns.at(c).compare(name, Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

// A password, or its hash, never stands in the trail.
bool secret(const QString &column)
{
    return column.compare(QLatin1String("password"), Qt::CaseInsensitive) == 0;
}

// The entry of a write, filled in with what the write knows: the table, the key,
// the account number, and the given detail lines after the writer's own.
audit::Entry completed(const Target &target, audit::Entry entry, audit::Write write, qint64 key,
                       const QVector<QVariant> &row, const QStringList &lines)
{
    if (entry.tindakan.isEmpty()) {
        const int code = columnOf(target, QStringLiteral("kode"));
        entry.tindakan = audit::defaultAction(target.table, write, code >= 0 ? row.value(code).toString() : QString());
    }
    if (entry.tabel.isEmpty())
        entry.tabel = target.table;
    if (!entry.kunci)
        entry.kunci = key;
    const int account = columnOf(target, QStringLiteral("norekening"));
    if (entry.norekening.isNull() && account >= 0)
        entry.norekening = detailText(target, row, account);
    QStringList all;
    if (!entry.rincian.isEmpty())
        all << entry.rincian;
    all << lines;
    entry.rincian = all.join(u'\n');
    return entry;
}

// Every column of a row as "kolom=nilai" lines, a password never among them.
QStringList rowLines(const Target &target, const QVector<QVariant> &row)
{
    QStringList lines;
    for (int c = 0; c < target.columns.size(); ++c)
        if (!secret(target.columns.at(c)))
            lines << audit::detail(target.columns.at(c), detailText(target, row, c));
    return lines;
}

Outcome goneElsewhere(const Target &target)
{
    return Outcome::failed(QStringLiteral("Data ini sudah tidak ada di database %1 (dihapus di tempat lain).\n"
                                          "Tutup layar ini lalu buka kembali.")
                               .arg(QDir::toNativeSeparators(target.file)));
}

// A refusal or failure of one of the database's write functions.
Outcome functionFailure(const Target &target, const QSqlError &error, const QSqlDatabase &database)
{
    const QString code = error.nativeErrorCode();
    if (code == QLatin1String("SMP01"))
        return goneElsewhere(target);
    if (code == QLatin1String("SMP02"))
        return Outcome::refused(changedElsewhereText());
    if (code == QLatin1String("SMP03"))
        return Outcome::refused(refusalText(error));
    return failure(error, database);
}

// The row of a key as the database holds it now (locked against other writers
// when inside a write), as the program holds values; empty when it is gone.
Outcome storedRow(QSqlDatabase &database, const Target &target, qint64 key, const QString &lockClause,
                  QVector<QVariant> *row)
{
    row->clear();
    QStringList names;
    for (const QString &column : target.columns)
        names << schema::quoted(column);
    QSqlQuery query(database);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?%4")
                      .arg(names.join(u','), schema::quoted(target.table), target.key, lockClause));
    query.addBindValue(key);
    if (!query.exec())
        return Outcome::failed(db::describeError(query.lastError(), database));
    if (!query.next())
        return Outcome::ok();
    for (int c = 0; c < target.columns.size(); ++c)
        *row << schema::fromStored(query.value(c), target.kinds.value(c));
    return Outcome::ok();
}

// The first line of a message, as the cause of another names it.
QString firstLine(const QString &text)
{
    return text.section(u'\n', 0, 0);
}

// After a write with a token failed: whether a write with that token is stored
// after all, asked on the connection (opened again when it was lost). A write
// whose end is not known (`broken`) is first waited for, so that the answer is
// final; its outcome is then told as it is, stored or not. Another failure is
// told as it is, unless the token turns out stored (by an earlier try).
Outcome storedAfterAll(const Target &target, const QString &token, const Outcome &failed, bool broken,
                       QVector<QVariant> &row, qint64 *key)
{
    QSqlDatabase database = db::connection(target.connection);
    const QString where = db::location(database);
    std::optional<qint64> stored;
    QVector<QVariant> held;
    QSqlError error;
    Outcome asked = Outcome::ok();
    if (!db::beginWrite(database, &error)) {
        asked = Outcome::failed(db::describeError(error, database));
    } else {
        if (broken && !db::dialect(database).awaitTrailWriters(database, &error))
            asked = Outcome::failed(db::describeError(error, database));
        else
            asked = audit::storedUnderToken(database, target.table, token, &stored);
        if (asked.isOk() && stored)
            asked = storedRow(database, target, *stored, QString(), &held);
        db::endWrite(database, false);
    }
    if (!asked.isOk())
        return broken ? Outcome::failed(db::outcomeUnknownText(where, firstLine(failed.message()), firstLine(asked.message())))
                      : failed;
    if (stored && !held.isEmpty()) {
        *key = *stored;
        row = held;
        return Outcome::okWithNotice(db::savedAfterBreakText(where));
    }
    return broken ? Outcome::failed(db::notSavedText(where, firstLine(failed.message()))) : failed;
}
} // namespace

Outcome insert(const Target &target, QVector<QVariant> &row, const Check &check, qint64 *key,
               const audit::Entry &entry)
{
    // A write with a token (a "SAVE") is stored once, however often it is tried:
    // a token already stored ends the write with nothing written, as done.
    std::optional<qint64> storedBefore;
    QVector<QVariant> heldBefore;
    const auto storedOnce = [&](QSqlDatabase &database, db::Statement &) {
        if (entry.token.isEmpty())
            return Outcome::ok();
        Outcome looked = audit::storedUnderToken(database, target.table, entry.token, &storedBefore);
        if (looked.isOk() && storedBefore) {
            looked = storedRow(database, target, *storedBefore, QString(), &heldBefore);
            if (looked.isOk())
                looked = heldBefore.isEmpty() ? goneElsewhere(target) : Outcome::refused(QString());
        }
        return looked;
    };
    bool broken = false;
    const Outcome outcome = run(target, &row, check, [&](QSqlDatabase &database, db::Statement &query) {
        if (throughFunctions(target, database)) {
            // The function writes the row and its trail row; the row comes back as stored.
            QVariantList values;
            for (int c = 0; c < target.columns.size(); ++c)
                values << stored(target, row, c);
            const bool prepared = db::prepare(&query, database,
                                              QStringLiteral("SELECT simparo_nasabah_tambah(CAST(? AS text[]), "
                                                             "CAST(? AS text[]), CAST(? AS text), CAST(? AS text))"));
            query->addBindValue(textArray(QVariantList(target.columns.cbegin(), target.columns.cend())));
            query->addBindValue(textArray(values));
            query->addBindValue(audit::currentZone());
            query->addBindValue(session::counterName());
            if (!(prepared && query->exec()) || !query->next())
                return functionFailure(target, query->lastError(), database);
            *key = query->value(0).toLongLong();
            query->finish();
            QVector<QVariant> written;
            const Outcome read = storedRow(database, target, *key, QString(), &written);
            if (read.isOk() && !written.isEmpty())
                row = written;
            return read;
        }
        QStringList names;
        for (const QString &column : target.columns)
            names << schema::quoted(column);
        // The row comes back as the database stored it: the trail's content of it.
        const bool prepared = db::prepare(&query, database, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING %4, %2")
                          .arg(schema::quoted(target.table), names.join(u','),
                               QStringList(names.size(), QStringLiteral("?")).join(u','), target.key));
        for (int c = 0; c < target.columns.size(); ++c)
            query->addBindValue(stored(target, row, c));
        if (!(prepared && query->exec()) || !query->next())
            return failure(query->lastError(), database);
        *key = query->value(0).toLongLong();
        QVector<QVariant> written;
        written.reserve(target.columns.size());
        for (int c = 0; c < target.columns.size(); ++c)
            written << query->value(c + 1);
        query->finish();
        // The content of a table's row is its trail row's; another table's row is named in the details.
        const bool described = audit::describedTable(target.table, target.columns);
        const QStringList lines = described ? QStringList() : rowLines(target, row);
        return audit::append(database, completed(target, entry, audit::Write::Insert, *key, row, lines), QString(),
                             described ? &written : nullptr, audit::Send::WithCommit);
    }, storedOnce, &broken);
    if (outcome.isRefused() && !heldBefore.isEmpty()) {
        *key = *storedBefore;
        row = heldBefore;
        return Outcome::okWithNotice(db::savedBeforeText(db::location(db::connection(target.connection))));
    }
    if (outcome.isFailed() && !entry.token.isEmpty())
        return storedAfterAll(target, entry.token, outcome, broken, row, key);
    return outcome;
}

Outcome update(const Target &target, qint64 key, const QVector<QVariant> &original, QVector<QVariant> &row,
               const Check &check, const audit::Entry &entry)
{
    // The columns this write changes must still hold what the operator saw: a
    // change made meanwhile by another counter is not overwritten unseen. The row
    // stays locked against other writes until this one ends.
    const auto unchangedElsewhere = [&](QSqlDatabase &database, db::Statement &query) {
        if (throughFunctions(target, database))
            return Outcome::ok(); // the function compares what the clerk saw itself
        QStringList names;
        for (const QString &column : target.columns)
            names << schema::quoted(column);
        const bool prepared = db::prepare(&query, database, QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?%4")
                          .arg(names.join(u','), schema::quoted(target.table), target.key, db::rowLockClause(database)));
        query->addBindValue(key);
        if (!(prepared && query->exec()))
            return failure(query->lastError(), database);
        if (!query->next())
            return query->lastError().isValid() ? failure(query->lastError(), database) : goneElsewhere(target);
        for (int c = 0; c < target.columns.size(); ++c) {
            const schema::Kind kind = target.kinds.value(c);
            if (same(stored(target, row, c), stored(target, original, c)))
                continue;
            const QVariant now = schema::fromStored(query->value(c), kind);
            const QVariant seen = schema::fromStored(stored(target, original, c), kind);
            if (!same(now, seen))
                return Outcome::refused(QStringLiteral("Data ini sudah diubah di tempat lain sejak ditampilkan; "
                                                       "perubahan ini tidak disimpan.\n"
                                                       "Tutup layar ini lalu buka kembali, lalu ulangi."));
        }
        return Outcome::ok();
    };
    return run(target, &row, check, [&](QSqlDatabase &database, db::Statement &query) {
        if (throughFunctions(target, database)) {
            // The columns changed, what the clerk saw in them and what they become.
            QVariantList columns, seen, wanted;
            for (int c = 0; c < target.columns.size(); ++c) {
                if (same(stored(target, row, c), stored(target, original, c)))
                    continue;
                columns << target.columns.at(c);
                seen << stored(target, original, c);
                wanted << stored(target, row, c);
            }
            if (columns.isEmpty())
                return Outcome::ok();
            const bool prepared = db::prepare(&query, database,
                                              QStringLiteral("SELECT simparo_nasabah_ubah(CAST(? AS bigint), "
                                                             "CAST(? AS text[]), CAST(? AS text[]), CAST(? AS text[]), "
                                                             "CAST(? AS text), CAST(? AS text))"));
            query->addBindValue(key);
            for (const QVariantList *values : {&columns, &seen, &wanted})
                query->addBindValue(textArray(*values));
            query->addBindValue(audit::currentZone());
            query->addBindValue(session::counterName());
            if (!(prepared && query->exec()) || !query->next())
                return functionFailure(target, query->lastError(), database);
            query->finish();
            return Outcome::ok();
        }
        QStringList sets;
        QVariantList values;
        QStringList lines;
        for (int c = 0; c < target.columns.size(); ++c) {
            const QVariant now = stored(target, row, c);
            const QVariant before = stored(target, original, c);
            if (same(now, before))
                continue;
            sets << schema::quoted(target.columns.at(c)) + QStringLiteral(" = ?");
            values << now;
            // A new password is told as such, never shown.
            lines << (secret(target.columns.at(c))
                          ? audit::detail(target.columns.at(c), QStringLiteral("diganti"))
                          : audit::change(target.columns.at(c), detailText(target, original, c),
                                          detailText(target, row, c)));
        }
        // An operator whose name stays is named all the same.
        const int user = columnOf(target, QStringLiteral("user"));
        if (user >= 0 && same(stored(target, row, user), stored(target, original, user)))
            lines.prepend(audit::detail(target.columns.at(user), detailText(target, row, user)));
        if (sets.isEmpty())
            return Outcome::ok();
        const bool prepared = db::prepare(&query, database, QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                          .arg(schema::quoted(target.table), sets.join(u','), target.key));
        for (const QVariant &value : std::as_const(values))
            query->addBindValue(value);
        query->addBindValue(key);
        if (!(prepared && query->exec()))
            return failure(query->lastError(), database);
        if (query->numRowsAffected() == 0)
            return goneElsewhere(target);
        query->finish();
        return audit::append(database, completed(target, entry, audit::Write::Update, key, row, lines));
    }, unchangedElsewhere);
}

namespace {
// The check run on the row of a key as the database holds it now; a row already
// gone is not judged.
Outcome checkStoredRow(QSqlDatabase &database, const Target &target, qint64 key, const Check &check,
                       const QString &lockClause)
{
    QVector<QVariant> row;
    const Outcome read = storedRow(database, target, key, lockClause, &row);
    if (!read.isOk() || row.isEmpty())
        return read; // deleted elsewhere already: nothing to judge
    return check(database, row);
}
} // namespace

Outcome judge(const Target &target, qint64 key, const Check &check)
{
    QSqlDatabase database = db::connection(target.connection);
    return checkStoredRow(database, target, key, check, QString());
}

Outcome remove(const Target &target, qint64 key, const Check &check, const audit::Entry &entry)
{
    Check current;
    if (check) {
        current = [&](QSqlDatabase &database, QVector<QVariant> &) {
            // Through a function the row is locked there, and the check made again.
            return checkStoredRow(database, target, key, check,
                                  throughFunctions(target, database) ? QString() : db::rowLockClause(database));
        };
    }
    QVector<QVariant> row;
    return run(target, &row, current, [&](QSqlDatabase &database, db::Statement &query) {
        if (throughFunctions(target, database)) {
            const bool prepared = db::prepare(&query, database,
                                              QStringLiteral("SELECT simparo_nasabah_hapus(CAST(? AS bigint), "
                                                             "CAST(? AS text), CAST(? AS text))"));
            query->addBindValue(key);
            query->addBindValue(audit::currentZone());
            query->addBindValue(session::counterName());
            if (!(prepared && query->exec()) || !query->next())
                return functionFailure(target, query->lastError(), database);
            query->finish();
            return Outcome::ok();
        }
        // The trail row comes first, while the row can still be read: it records
        // the row as it stood. A row already gone is neither recorded nor deleted.
        QVector<QVariant> gone;
        const Outcome read = storedRow(database, target, key, db::rowLockClause(database), &gone);
        if (!read.isOk() || gone.isEmpty())
            return read;
        const Outcome recorded =
            audit::append(database, completed(target, entry, audit::Write::Delete, key, gone, rowLines(target, gone)));
        if (!recorded.isOk())
            return recorded;
        const bool prepared = db::prepare(&query, database,
                                          QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(schema::quoted(target.table), target.key));
        query->addBindValue(key);
        if (!(prepared && query->exec()))
            return failure(query->lastError(), database);
        return Outcome::ok();
    });
}

void setAfterCheckForTesting(const std::function<void(const QString &table)> &hook)
{
    g_afterCheck = hook;
}

} // namespace recordwrite
