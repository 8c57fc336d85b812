#include "data/records/recordwriter.h"
#include "data/records/recordwriter_p.h"

#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/base/money.h"
#include "data/base/session.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>

namespace recordwrite {

using namespace detail;

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

} // namespace recordwrite
