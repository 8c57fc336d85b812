// The operators' kinds and the supervisors' tables, carried by a move.
#include "migrate/transfer.h"

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
#include <charconv>

#include "migrate/transfer_p.h"

namespace transfer::detail {

bool hasTable(QSqlDatabase &database, const QString &name, bool *present, QString *error)
{
    QStringList tables, views;
    QSqlError failure;
    if (!db::dialect(database).relationNames(database, &tables, &views, &failure)) {
        *error = db::describeError(failure, database);
        return false;
    }
    *present = tables.contains(name);
    return true;
}

// Each operator keeps his kind (a supervisor stays one; on a server his role joins
// the supervisors' group). A source made before there were kinds has none: all
// its operators arrive as clerks.
bool keepKinds(QSqlDatabase &source, QSqlDatabase &target, const QList<Operator> &operators, QString *error)
{
    bool present = false;
    if (!hasTable(source, QStringLiteral("jenis_operator"), &present, error))
        return false;
    if (!present)
        return true;
    QHash<QString, supervision::Kind> kinds;
    Outcome outcome = supervision::storedKinds(source, &kinds);
    for (const Operator &op : operators) {
        if (!outcome.isOk())
            break;
        const auto kind = kinds.constFind(op.user);
        if (kind != kinds.constEnd() && *kind == supervision::Kind::Supervisor)
            outcome = supervision::setKind(target, op.key, op.user, *kind);
    }
    if (!outcome.isOk())
        *error = outcome.message();
    return outcome.isOk();
}

// The supervisors' tables go with the ledger: the settings, the blocks, the links
// of corrections and the month-end runs (a block lifted by a move, a correction
// corrected again, or a month posted twice would follow otherwise). A source made
// before a table has none of its rows; the columns both sides know are copied,
// the rows keeping their numbers. The passbooks' prints go too (every row would
// be printed again from page 1 otherwise); on a server the owner's move is let
// past the rule that checks a clerk's print.
bool keepSupervision(QSqlDatabase &source, QSqlDatabase &target, QString *error)
{
    const bool server = db::dialect(target).hasOperatorRoles();
    if (server) {
        QSqlQuery moving(target);
        if (!moving.exec(QStringLiteral("SELECT set_config('simparo.pindah', 'ya', true)"))) {
            *error = db::describeError(moving.lastError(), target);
            return false;
        }
    }
    for (const QString &table : {QStringLiteral("pengaturan"), QStringLiteral("blokir"), QStringLiteral("koreksi"),
                                 QStringLiteral("bagi_hasil"), QStringLiteral("cetak_buku")}) {
        bool present = false;
        if (!hasTable(source, table, &present, error))
            return false;
        if (!present)
            continue;
        const QSqlRecord into = target.record(table);
        const QSqlRecord from = source.record(table);
        QStringList columns;
        for (int c = 0; c < from.count(); ++c)
            if (into.contains(from.fieldName(c)))
                columns << from.fieldName(c);
        if (columns.isEmpty())
            continue;
        const bool numbered = columns.contains(QStringLiteral("id"));
        QSqlQuery read(source);
        read.setForwardOnly(true);
        if (!read.exec(QStringLiteral("SELECT %1 FROM %2%3")
                           .arg(columns.join(QStringLiteral(", ")), table,
                                numbered ? QStringLiteral(" ORDER BY id") : QString()))) {
            *error = db::describeError(read.lastError(), source);
            return false;
        }
        QSqlQuery write(target);
        if (!write.prepare(QStringLiteral("INSERT INTO %1 (%2) %3VALUES (%4)")
                               .arg(table, columns.join(QStringLiteral(", ")),
                                    server && numbered ? QStringLiteral("OVERRIDING SYSTEM VALUE ") : QString(),
                                    QStringList(columns.size(), QStringLiteral("?")).join(QStringLiteral(", "))))) {
            *error = db::describeError(write.lastError(), target);
            return false;
        }
        while (read.next()) {
            for (int c = 0; c < columns.size(); ++c) {
                QVariant value = read.value(c);
                // A file's run has no server transaction or role.
                if (server && value.isNull() && columns.at(c) == QLatin1String("txid"))
                    value = 0;
                else if (server && value.isNull() && columns.at(c) == QLatin1String("peran"))
                    value = QString::fromUtf8("");
                write.bindValue(c, value);
            }
            if (!write.exec()) {
                *error = db::describeError(write.lastError(), target);
                return false;
            }
        }
        if (read.lastError().isValid()) {
            *error = db::describeError(read.lastError(), source);
            return false;
        }
        QSqlQuery advance(target);
        if (server && numbered
            && !advance.exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'id'), "
                                            "(SELECT max(id) FROM %1)) WHERE EXISTS (SELECT FROM %1)")
                                 .arg(table))) {
            *error = db::describeError(advance.lastError(), target);
            return false;
        }
    }
    return true;
}

} // namespace transfer::detail
