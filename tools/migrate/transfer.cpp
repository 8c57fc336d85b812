#include "migrate/transfer.h"
#include "migrate/transfer_p.h"

#include "data/trail/audit.h"
#include "data/engine/catalog.h"
#include "common/commandline.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/operators/operators.h"
#include "data/operators/supervision.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/base/textforms.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace transfer {

namespace {

using detail::hasTable;
using detail::keepKinds;
using detail::keepSupervision;
using detail::Moved;
using detail::movedTables;
using detail::readStatement;
using detail::valueCount;
using detail::canonical;
using detail::ledgerRow;

bool countRows(QSqlDatabase &database, const QString &table, qint64 *rows, QString *error)
{
    QSqlQuery query(database);
    if (!query.exec(QStringLiteral("SELECT count(*) FROM %1").arg(table)) || !query.next()) {
        *error = db::describeError(query.lastError(), database);
        return false;
    }
    *rows = query.value(0).toLongLong();
    return true;
}

QString serverText(const QString &service)
{
    return db::serviceConnectionText(service);
}

bool openPlace(const Place &place, db::Connection *opened, QString *error)
{
    return place.isServer() ? opened->open(serverText(place.service), error)
                            : opened->openFile(QFileInfo(place.file).absoluteFilePath(), error);
}

// Copies the rows of the source's tables into the target, inside both
// transactions; the source's digests and chains on the way.
bool copyTables(QSqlDatabase &source, QSqlDatabase &target, const Progress &progress, Result *result, QString *error)
{
    const db::Dialect &from = db::dialect(source);
    const db::Dialect &to = db::dialect(target);
    const QString sourceKey = from.keyColumn();
    const QString targetKey = to.keyColumn();
    ledger::ChainWalker chains;
    for (const Moved &table : movedTables()) {
        bool present = true;
        if (table.optional && !hasTable(source, table.name, &present, error))
            return false;
        if (!present)
            continue;
        if (table.optional && !db::runAll(target, {schema::setAsideStatement()}, error))
            return false;
        qint64 total = 0;
        if (!countRows(source, table.name, &total, error))
            return false;
        const QString step = QStringLiteral("Menyalin %1").arg(table.name);
        if (progress)
            progress(step, 0, total);
        const bool operators = table.name == schema::tpassword().name;
        const bool ledger = table.name == schema::nabubg().name;
        const bool trail = table.key == Moved::Key::Nomor;
        std::unique_ptr<db::RowSink> sink;
        if (!operators) {
            sink = to.sink(target, table.name,
                           (table.key == Moved::Key::Hidden ? QStringList{targetKey} : QStringList()) + table.columns);
            if (sink->error().isValid()) {
                *error = db::describeError(sink->error(), target);
                return false;
            }
        }
        QCryptographicHash digest(QCryptographicHash::Sha256);
        TableDigest read{table.name, 0, {}};
        const int count = valueCount(table);
        QVector<db::Value> values(count);
        {
            const std::unique_ptr<db::RowStream> rows = from.stream(source, readStatement(table, sourceKey));
            while (rows->next()) {
                for (int c = 0; c < count; ++c)
                    values[c] = rows->value(c);
                digest.addData(canonical(table, values.constData()));
                if (operators)
                    result->operators << Operator{values[0].integer, QString::fromUtf8(values[1].text)};
                else if (!sink->add(values.constData())) {
                    *error = db::describeError(sink->error(), target);
                    return false;
                }
                if (ledger)
                    chains.add(ledgerRow(values.constData()));
                if (trail)
                    result->copiedTrail = values[0].integer;
                if (++read.rows % 8192 == 0 && progress)
                    progress(step, read.rows, total);
            }
            if (rows->error().isValid()) {
                *error = db::describeError(rows->error(), source);
                return false;
            }
        }
        QSqlError failure;
        if (operators ? !db::operatorsArrived(target, result->operators, &failure) : !sink->finish()) {
            *error = db::describeError(operators ? failure : sink->error(), target);
            return false;
        }
        if (operators && !keepKinds(source, target, result->operators, error))
            return false;
        sink.reset();
        if (table.key == Moved::Key::Hidden && !to.keysGiven(target, table.name, &failure)) {
            *error = db::describeError(failure, target);
            return false;
        }
        if (progress)
            progress(step, read.rows, total);
        read.digest = digest.result().toHex();
        result->source << read;
    }
    result->sourceChains = chains.summary();
    return keepSupervision(source, target, error);
}

// The move's own row of the target's trail, after the copied rows.
bool recordMove(QSqlDatabase &target, const Result &result, QString *error)
{
    audit::Entry entry;
    entry.tindakan = QLatin1String(audit::action::kMove);
    QStringList lines{audit::detail(QStringLiteral("dari"), result.from),
                      audit::detail(QStringLiteral("jejak"), QStringLiteral("1-%1").arg(result.copiedTrail))};
    for (const TableDigest &table : result.source)
        lines << audit::detail(table.table, QStringLiteral("%1 baris, digest %2")
                                                .arg(table.rows)
                                                .arg(QString::fromLatin1(table.digest)));
    entry.rincian = lines.join(u'\n');
    const Outcome recorded = audit::append(target, entry);
    if (!recorded.isOk())
        *error = recorded.message();
    return recorded.isOk();
}

// The target as it was committed, read again on a connection of its own.
bool checkTarget(const Place &to, Result *result, QString *error)
{
    db::Connection opened;
    if (!openPlace(to, &opened, error))
        return false;
    QSqlDatabase target = opened.database();
    QSqlError failure;
    if (!db::dialect(target).beginSnapshot(target, &failure)) {
        *error = db::describeError(failure, target);
        return false;
    }
    const bool read = digestTables(target, &result->target, &result->targetChains, result->copiedTrail, error);
    db::endWrite(target, false);
    if (!read)
        return false;
    const Outcome trail = audit::check(target, &result->trail);
    if (!trail.isOk()) {
        *error = trail.message();
        return false;
    }
    result->checked = true;
    return true;
}

} // namespace

Result move(const Place &from, const Place &to, const Progress &progress)
{
    Result result;
    db::Connection opened;
    if (!openPlace(from, &opened, &result.error))
        return result;
    {
        QSqlDatabase source = opened.database();
        result.from = db::location(source);
        if (!db::verifyOpen(source, &result.error))
            return result;
        std::unique_ptr<db::Fill> fill = to.isServer() ? db::Fill::intoService(to.service)
                                                       : db::Fill::intoFile(QFileInfo(to.file).absoluteFilePath());
        result.to = fill->location();
        result.service = to.service;
        result.file = to.isServer() ? QString() : QFileInfo(to.file).absoluteFilePath();
        bool existing = false;
        QStringList present;
        if (!fill->inspect(&existing, &present, &result.error))
            return result;
        if (existing) {
            result.error = to.isServer()
                ? QStringLiteral("Database di %1 sudah berisi %2. simparo-migrate hanya mengisi database yang "
                                 "belum berisi tabel SIMPARO; tidak ada yang diubah.")
                      .arg(result.to, present.join(QStringLiteral(", ")))
                : QStringLiteral("File %1 sudah ada. simparo-migrate tidak pernah menimpa file; sebutkan nama "
                                 "file baru.")
                      .arg(QDir::toNativeSeparators(result.to));
            return result;
        }
        QSqlError failure;
        if (!db::dialect(source).beginSnapshot(source, &failure)) {
            result.error = db::describeError(failure, source);
            return result;
        }
        bool ok = fill->begin(&result.error);
        if (ok) {
            QSqlDatabase target = fill->database();
            const db::Dialect &engine = db::dialect(target);
            // The tables were made in this transaction and nobody else sees them:
            // the trail's rules are lifted only for the rows copied as they are.
            ok = db::runAll(target, engine.trailRuleStatements(false), &result.error)
                && copyTables(source, target, progress, &result, &result.error)
                && db::runAll(target, engine.trailRuleStatements(true), &result.error)
                && recordMove(target, result, &result.error);
        }
        if (progress && ok)
            progress(QStringLiteral("Menyimpan"), 0, 0);
        ok = ok && fill->finish(&result.error);
        fill.reset();
        db::endWrite(source, false); // the snapshot ends
        if (!ok)
            return result;
        result.moved = true;
    }
    if (progress)
        progress(QStringLiteral("Memeriksa tujuan"), 0, 0);
    checkTarget(to, &result, &result.error);
    return result;
}

} // namespace transfer