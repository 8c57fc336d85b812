// The pieces of the record writer's insert, update and delete: the write
// transaction and its failures, a row as stored, and its trail row.
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

namespace {
std::function<void(const QString &)> g_afterCheck;
} // namespace

void setAfterCheckForTesting(const std::function<void(const QString &table)> &hook)
{
    g_afterCheck = hook;
}

namespace detail {

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
            const std::function<Outcome(QSqlDatabase &, db::Statement &)> &guard, bool *broken)
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

} // namespace detail

} // namespace recordwrite
