#include "newdatabase.h"

#include "audit.h"
#include "catalog.h"
#include "connectiontext.h"
#include "dialect.h"
#include "messages.h"
#include "passwords.h"
#include "pool.h"
#include "postgresdialect.h"
#include "sqlitedialect.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

namespace db {

bool createSchema(QSqlDatabase &database, QString *error)
{
    QSqlQuery query(database);
    const QStringList statements = dialect(database).schemaStatements();
    for (const QString &statement : statements) {
        if (!query.exec(statement)) {
            *error = describeError(query.lastError(), database);
            return false;
        }
    }
    return true;
}

namespace {
// Makes the schema and the first operator in one transaction on an open
// connection; the operator's addition is the first row of the audit trail.
bool fillNewDatabase(QSqlDatabase &database, const QString &user, const QString &hash, QString *error)
{
    QSqlQuery query(database);
    QSqlError failure;
    if (!beginWrite(database, &failure)) {
        *error = describeError(failure, database);
        return false;
    }
    if (!createSchema(database, error)) {
        endWrite(database, false);
        return false;
    }
    // A tool that brings operators of its own makes the tables without one.
    if (!user.isEmpty()) {
        const bool prepared = query.prepare(QStringLiteral("INSERT INTO tpassword (\"user\", \"password\") VALUES (?, ?) "
                                                           "RETURNING %1").arg(keyColumn(database)));
        query.addBindValue(user);
        query.addBindValue(hash);
        if (!(prepared && query.exec() && query.next())) {
            *error = describeError(query.lastError(), database);
            endWrite(database, false);
            return false;
        }
        audit::Entry entry;
        entry.tindakan = QLatin1String(audit::action::kOperatorAdded);
        entry.tabel = QStringLiteral("tpassword");
        entry.kunci = query.value(0).toLongLong();
        entry.rincian = audit::detail(QStringLiteral("user"), user);
        query.finish();
        const Outcome recorded = audit::append(database, entry);
        if (!recorded.isOk()) {
            *error = recorded.message();
            endWrite(database, false);
            return false;
        }
    }
    if (!endWrite(database, true, &failure)) {
        *error = describeError(failure, database);
        return false;
    }
    return true;
}

bool create(const QString &file, const QString *user, const QString *password, QString *error)
{
    const QString path = QDir::toNativeSeparators(file);
    if (QFileInfo::exists(file)) {
        *error = QStringLiteral("File %1 sudah ada; simparo-initdb tidak menyentuh database yang sudah ada.").arg(path);
        return false;
    }
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        *error = QStringLiteral("Folder untuk %1 tidak bisa dibuat.").arg(path);
        return false;
    }
    const QString hash = password ? passwords::hash(*password) : QString();
    if (password && hash.isEmpty()) {
        *error = QStringLiteral("Password tidak bisa di-hash (memori tidak cukup).");
        return false;
    }
    QString name;
    if (!openSqliteFile(file, true, &name, error))
        return false;
    bool ok = true;
    {
        QSqlDatabase database = QSqlDatabase::database(name, false);
        QSqlQuery query(database);
        if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL"))) {
            *error = describeError(query.lastError(), file);
            ok = false;
        }
        query.finish();
        ok = ok && fillNewDatabase(database, user ? *user : QString(), hash, error);
    }
    closeConnection(name);
    if (!ok) {
        QFile::remove(file);
        QFile::remove(file + QStringLiteral("-wal"));
        QFile::remove(file + QStringLiteral("-shm"));
    }
    return ok;
}
} // namespace

bool createDatabase(const QString &file, const QString &user, const QString &password, QString *error)
{
    return create(file, &user, &password, error);
}

bool createEmptyDatabase(const QString &file, QString *error)
{
    return create(file, nullptr, nullptr, error);
}

bool createServerDatabase(const QString &service, const QString &user, const QString &password, QString *error)
{
    const QString text = QStringLiteral("Provider=%1;Data Source=%2").arg(QLatin1String(kServerProvider), service);
    QString problem;
    if (!checkConnectionText(text, &problem)) {
        *error = QStringLiteral("Nama layanan tidak sah: %1.").arg(problem);
        return false;
    }
    const QString hash = passwords::hash(password);
    if (hash.isEmpty()) {
        *error = QStringLiteral("Password tidak bisa di-hash (memori tidak cukup).");
        return false;
    }
    QString name;
    if (!openServer(service, &name, error))
        return false;
    bool ok = true;
    {
        QSqlDatabase database = QSqlDatabase::database(name, false);
        QStringList present;
        QSqlError failure;
        if (!presentRelations(database, &present, &failure)) {
            *error = describeError(failure, database);
            ok = false;
        } else if (!present.isEmpty()) {
            *error = QStringLiteral("Database di %1 sudah berisi %2; simparo-initdb tidak menyentuh "
                                    "database yang sudah ada.")
                         .arg(serverLocation(service), present.join(QStringLiteral(", ")));
            ok = false;
        } else {
            ok = fillNewDatabase(database, user, hash, error);
        }
    }
    closeConnection(name);
    return ok;
}

bool upgradeDatabase(const QString &connectionText, audit::Coverage *covered, QString *error)
{
    QString name;
    if (!openConnection(connectionText, &name, error))
        return false;
    bool ok = false;
    {
        QSqlDatabase database = connection(name);
        QSqlQuery query(database);
        QStringList missing;
        QSqlError failure;
        bool trail = false;
        if (!missingRelations(database, &missing, &failure) || !hasTrail(database, &trail, &failure)) {
            *error = describeError(failure, database);
        } else if (!missing.isEmpty()) {
            *error = dialect(database).incompleteText(location(database), missing.join(QStringLiteral(", ")));
        } else if (trail) {
            *error = QStringLiteral("Database %1 sudah punya jejak audit (tabel jejak); tidak ada yang diubah.")
                         .arg(location(database));
        } else if (!beginWrite(database, &failure)) {
            *error = describeError(failure, database);
        } else {
            // The trail's statements keep every writer of nabubg out until the
            // commit, so the rows covered are all the rows there are.
            ok = true;
            for (const QString &statement : dialect(database).trailStatements()) {
                if (!query.exec(statement)) {
                    *error = describeError(query.lastError(), database);
                    ok = false;
                    break;
                }
            }
            Outcome outcome = ok ? audit::coverLedger(database, covered) : Outcome::ok();
            if (ok && outcome.isOk()) {
                audit::Entry entry;
                entry.tindakan = QLatin1String(audit::action::kTrailInstalled);
                entry.tabel = QStringLiteral("nabubg");
                entry.rincian = audit::coverageDetails(*covered);
                outcome = audit::append(database, entry);
            }
            if (!outcome.isOk()) {
                *error = outcome.message();
                ok = false;
            }
            if (!endWrite(database, ok, &failure) && ok) {
                *error = describeError(failure, database);
                ok = false;
            }
        }
    }
    closeConnection(name);
    return ok;
}

} // namespace db
