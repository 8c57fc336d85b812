#include "recordwriter.h"

#include "database.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>

namespace recordwrite {

namespace {
Outcome failure(const QSqlError &error, const QString &file)
{
    return Outcome{false, false, db::describeError(error, file)};
}

// Text with half a character (a surrogate without its pair, as when a field's
// character limit cuts an emoji in two) cannot be stored as it is: the database
// would keep a replacement character instead.
bool storable(const Target &target, const QVector<QVariant> &row, QString *refusal)
{
    for (int c = 0; c < row.size(); ++c) {
        if (row.at(c).typeId() != QMetaType::QString || row.at(c).toString().isValidUtf16())
            continue;
        *refusal = QStringLiteral("Isian %1 berisi huruf atau tanda yang terpotong (misalnya separuh emoji), "
                                  "jadi tidak bisa disimpan apa adanya.\nPerbaiki isian itu, lalu ulangi.")
                       .arg(target.columns.value(c).toUpper());
        return false;
    }
    return true;
}

// Runs the check first (it may change the row or refuse it), then the work;
// commits, or rolls everything back.
Outcome run(const Target &target, QVector<QVariant> *row, const Check &check,
            const std::function<Outcome(QSqlDatabase &)> &work)
{
    QSqlDatabase database = QSqlDatabase::database(target.connection, false);
    QSqlError error;
    if (!db::beginWrite(database, &error))
        return failure(error, target.file);
    QSqlQuery query(database);
    QString refusal;
    if (row && !storable(target, *row, &refusal)) {
        query.exec(QStringLiteral("ROLLBACK"));
        return Outcome{false, true, refusal};
    }
    if (row && check && !check(database, *row, &refusal)) {
        query.exec(QStringLiteral("ROLLBACK"));
        return Outcome{false, true, refusal};
    }
    const Outcome outcome = work(database);
    if (!outcome.ok) {
        query.exec(QStringLiteral("ROLLBACK"));
        return outcome;
    }
    if (!query.exec(QStringLiteral("COMMIT"))) {
        const QSqlError commitError = query.lastError();
        query.exec(QStringLiteral("ROLLBACK"));
        return failure(commitError, target.file);
    }
    return outcome;
}

QVariant stored(const Target &target, const QVector<QVariant> &row, int column)
{
    return schema::toStored(row.value(column), target.kinds.value(column));
}
} // namespace

Outcome insert(const Target &target, QVector<QVariant> &row, const Check &check, qint64 *key)
{
    return run(target, &row, check, [&](QSqlDatabase &database) {
        QStringList names;
        for (const QString &column : target.columns)
            names << schema::quoted(column);
        QSqlQuery query(database);
        query.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING %4")
                          .arg(schema::quoted(target.table), names.join(u','),
                               QStringList(names.size(), QStringLiteral("?")).join(u','), target.key));
        for (int c = 0; c < target.columns.size(); ++c)
            query.addBindValue(stored(target, row, c));
        if (!query.exec() || !query.next())
            return failure(query.lastError(), target.file);
        *key = query.value(0).toLongLong();
        return Outcome{};
    });
}

Outcome update(const Target &target, qint64 key, const QVector<QVariant> &original, QVector<QVariant> &row,
               const Check &check)
{
    return run(target, &row, check, [&](QSqlDatabase &database) {
        QStringList sets;
        QVariantList values;
        for (int c = 0; c < target.columns.size(); ++c) {
            const QVariant now = stored(target, row, c);
            const QVariant before = stored(target, original, c);
            if (now == before && now.isNull() == before.isNull())
                continue;
            sets << schema::quoted(target.columns.at(c)) + QStringLiteral(" = ?");
            values << now;
        }
        if (sets.isEmpty())
            return Outcome{};
        QSqlQuery query(database);
        query.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                          .arg(schema::quoted(target.table), sets.join(u','), target.key));
        for (const QVariant &value : std::as_const(values))
            query.addBindValue(value);
        query.addBindValue(key);
        if (!query.exec())
            return failure(query.lastError(), target.file);
        if (query.numRowsAffected() == 0)
            return Outcome{false, false,
                           QStringLiteral("Data ini sudah tidak ada di database %1 (dihapus di tempat lain).\n"
                                          "Tutup layar ini lalu buka kembali.")
                               .arg(QDir::toNativeSeparators(target.file))};
        return Outcome{};
    });
}

Outcome remove(const Target &target, qint64 key, const Check &check)
{
    Check current;
    if (check) {
        current = [&](QSqlDatabase &database, QVector<QVariant> &row, QString *refusal) {
            QStringList names;
            for (const QString &column : target.columns)
                names << schema::quoted(column);
            QSqlQuery query(database);
            query.setForwardOnly(true);
            query.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                              .arg(names.join(u','), schema::quoted(target.table), target.key));
            query.addBindValue(key);
            if (!query.exec()) {
                *refusal = db::describeError(query.lastError(), target.file);
                return false;
            }
            if (!query.next())
                return true; // deleted elsewhere already: nothing to judge
            for (int c = 0; c < target.columns.size(); ++c)
                row << schema::fromStored(query.value(c), target.kinds.value(c));
            return check(database, row, refusal);
        };
    }
    QVector<QVariant> row;
    return run(target, &row, current, [&](QSqlDatabase &database) {
        QSqlQuery query(database);
        query.prepare(QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(schema::quoted(target.table), target.key));
        query.addBindValue(key);
        if (!query.exec())
            return failure(query.lastError(), target.file);
        return Outcome{};
    });
}

} // namespace recordwrite
