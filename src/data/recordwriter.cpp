#include "recordwriter.h"

#include "database.h"

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
// then the work; commits, or rolls everything back.
Outcome run(const Target &target, QVector<QVariant> *row, const Check &check,
            const std::function<Outcome(QSqlDatabase &, db::Statement &)> &work,
            const std::function<Outcome(QSqlDatabase &, db::Statement &)> &guard = {})
{
    QSqlDatabase database = db::connection(target.connection);
    QSqlError error;
    if (!db::beginWrite(database, &error))
        return failure(error, database);
    // The statement of the work outlives the transaction: SQLite's is finished
    // before the commit, a server's is kept by its connection.
    db::Statement statement;
    QSqlQuery query(database);
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
        query.exec(QStringLiteral("ROLLBACK"));
        return outcome;
    }
    if (!query.exec(QStringLiteral("COMMIT"))) {
        const Outcome failed = failure(query.lastError(), database);
        query.exec(QStringLiteral("ROLLBACK"));
        return failed;
    }
    return outcome;
}

QVariant stored(const Target &target, const QVector<QVariant> &row, int column)
{
    return schema::toStored(row.value(column), target.kinds.value(column));
}

bool same(const QVariant &a, const QVariant &b)
{
    return a.isNull() == b.isNull() && (a.isNull() || a == b);
}

Outcome goneElsewhere(const Target &target)
{
    return Outcome::failed(QStringLiteral("Data ini sudah tidak ada di database %1 (dihapus di tempat lain).\n"
                                          "Tutup layar ini lalu buka kembali.")
                               .arg(QDir::toNativeSeparators(target.file)));
}
} // namespace

Outcome insert(const Target &target, QVector<QVariant> &row, const Check &check, qint64 *key)
{
    return run(target, &row, check, [&](QSqlDatabase &database, db::Statement &query) {
        QStringList names;
        for (const QString &column : target.columns)
            names << schema::quoted(column);
        const bool prepared = db::prepare(&query, database, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING %4")
                          .arg(schema::quoted(target.table), names.join(u','),
                               QStringList(names.size(), QStringLiteral("?")).join(u','), target.key));
        for (int c = 0; c < target.columns.size(); ++c)
            query->addBindValue(stored(target, row, c));
        if (!(prepared && query->exec()) || !query->next())
            return failure(query->lastError(), database);
        *key = query->value(0).toLongLong();
        return Outcome::ok();
    });
}

Outcome update(const Target &target, qint64 key, const QVector<QVariant> &original, QVector<QVariant> &row,
               const Check &check)
{
    // The columns this write changes must still hold what the operator saw: a
    // change made meanwhile by another counter is not overwritten unseen. The row
    // stays locked against other writes until this one ends.
    const auto unchangedElsewhere = [&](QSqlDatabase &database, db::Statement &query) {
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
        QStringList sets;
        QVariantList values;
        for (int c = 0; c < target.columns.size(); ++c) {
            const QVariant now = stored(target, row, c);
            const QVariant before = stored(target, original, c);
            if (same(now, before))
                continue;
            sets << schema::quoted(target.columns.at(c)) + QStringLiteral(" = ?");
            values << now;
        }
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
        return Outcome::ok();
    }, unchangedElsewhere);
}

namespace {
// The check run on the row of a key as the database holds it now (locked against
// other writers when inside a write); a row already gone is not judged.
Outcome checkStoredRow(QSqlDatabase &database, const Target &target, qint64 key, const Check &check,
                       const QString &lockClause)
{
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
        return Outcome::ok(); // deleted elsewhere already: nothing to judge
    QVector<QVariant> row;
    for (int c = 0; c < target.columns.size(); ++c)
        row << schema::fromStored(query.value(c), target.kinds.value(c));
    return check(database, row);
}
} // namespace

Outcome judge(const Target &target, qint64 key, const Check &check)
{
    QSqlDatabase database = db::connection(target.connection);
    return checkStoredRow(database, target, key, check, QString());
}

Outcome remove(const Target &target, qint64 key, const Check &check)
{
    Check current;
    if (check) {
        current = [&](QSqlDatabase &database, QVector<QVariant> &) {
            return checkStoredRow(database, target, key, check, db::rowLockClause(database));
        };
    }
    QVector<QVariant> row;
    return run(target, &row, current, [&](QSqlDatabase &database, db::Statement &query) {
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
