#include "data/postgres/postgresoperators.h"

#include "data/engine/connectiontext.h"
#include "data/engine/messages.h"
#include "data/base/passwords.h"
#include "data/engine/pool.h"
#include "data/postgres/postgresdialect.h"
#include "data/base/sqlscript.h"

#include <QSqlQuery>

// On a server every operator is a LOGIN role of his own, <database>_op_<key of
// his tpassword row> (the key, not the name: PostgreSQL cannot rename the role a
// session logged in as, and an operator may rename himself), member of the group
// role <database>_operator, which holds exactly the grants the screens need:
//   daftar     SELECT, INSERT, UPDATE, DELETE
//   nabubg     SELECT, INSERT
//   jejak      SELECT, INSERT
//   tpassword  SELECT of the column "user" only
//   simparo_ganti_password()  EXECUTE: his own password and user name
// and nothing else: no UPDATE or DELETE of nabubg or jejak, nothing owned, no
// CREATE anywhere, no TEMP. The lookup role <database>_masuk, the only secret a
// counter keeps (its ~/.pgpass), may only connect and run three functions: the
// role of an operator name, the recording of a failed login, and the count of a
// name's recent failures. Every function that acts for them runs with the
// owner's rights and a fixed search path, and checks what it is given. Role
// names begin with the database's name, so that two SIMPARO databases on one
// cluster keep apart.
namespace db::serverroles {

namespace {

// The limits of the operators' and the lookup role's sessions, and the other
// values the functions' SQL names: the program's own numbers.
QHash<QString, QString> limits()
{
    return {
        {QStringLiteral("trail_lock"), QString::number(kTrailLock)},
        {QStringLiteral("operator_connections"), QStringLiteral("20")},
        {QStringLiteral("operator_statement_timeout"), QStringLiteral("60s")},
        {QStringLiteral("lookup_connections"), QStringLiteral("20")},
        {QStringLiteral("lookup_statement_timeout"), QStringLiteral("10s")},
        {QStringLiteral("lookup_idle_timeout"), QStringLiteral("10min")},
        {QStringLiteral("failed_login_window"), QString::number(kFailedLoginWindowSeconds)},
    };
}

Outcome failedOn(const QSqlError &error, const QSqlDatabase &database)
{
    // An older database that simparo-initdb --upgrade has not given its roles yet.
    if (error.nativeErrorCode() == QLatin1String("42883")) { // undefined_function
        const pool::Entry *entry = pool::entry(database.connectionName());
        return Outcome::failed(QStringLiteral("Database di %1 belum diatur untuk operator sebagai peran server. "
                                              "Jalankan dulu (sebagai pemilik database): "
                                              "simparo-initdb --upgrade --server %2")
                                   .arg(location(database), entry ? entry->source : QStringLiteral("LAYANAN")));
    }
    return Outcome::failed(describeError(error, database));
}

bool run(QSqlDatabase &database, const QString &sql, const QVariantList &values, Outcome *outcome,
         QVariant *first = nullptr)
{
    QSqlQuery query(database);
    query.setForwardOnly(true);
    bool ok = values.isEmpty() ? query.exec(sql) : query.prepare(sql);
    if (ok && !values.isEmpty()) {
        for (const QVariant &value : values)
            query.addBindValue(value);
        ok = query.exec();
    }
    if (ok && first)
        *first = query.next() ? query.value(0) : QVariant();
    if (!ok)
        *outcome = failedOn(query.lastError(), database);
    return ok;
}

QVariant nullText()
{
    return QVariant(QMetaType::fromType<QString>());
}

// The role of an operator's row.
bool roleOf(QSqlDatabase &database, qint64 key, QString *role, Outcome *outcome)
{
    QVariant value;
    if (!run(database, QStringLiteral("SELECT simparo_peran_operator(CAST(? AS bigint))"), {key}, outcome, &value))
        return false;
    *role = value.toString();
    return true;
}

// Gives a role (an operator's, or the lookup role) its password: a new one made
// from clear text, none (a hash, or an empty text: it cannot log in), or, with
// change false, the one it has.
bool setRole(QSqlDatabase &database, const QString &role, const QString &password, bool change, bool *canLogIn,
             Outcome *outcome)
{
    QVariant verifier = nullText();
    const bool usable = !password.isEmpty() && !passwords::isHash(password);
    if (change && usable) {
        QString error;
        const QString made = passwordVerifier(database, role, password, &error);
        if (made.isEmpty()) {
            *outcome = Outcome::failed(error);
            return false;
        }
        verifier = made;
    }
    if (canLogIn)
        *canLogIn = usable;
    return run(database, QStringLiteral("SELECT simparo_atur_peran(CAST(? AS text), CAST(? AS text), CAST(? AS boolean))"),
               {role, verifier, change}, outcome);
}

} // namespace

QStringList attributionStatements()
{
    return sqlscript::statements(QStringLiteral("server-attribution"));
}

Outcome secure(QSqlDatabase &database, RoleAccess *access)
{
    Outcome outcome;
    access->moved.clear();
    QStringList statements = attributionStatements();
    statements << sealFunctionStatement();
    statements << sqlscript::statements(QStringLiteral("server-operators"), limits());
    statements << sqlscript::statements(QStringLiteral("server-functions"), limits())
               << QStringLiteral("CREATE SEQUENCE IF NOT EXISTS simparo_flush")
               << sqlscript::statements(QStringLiteral("server-supervision"))
               << sqlscript::statements(QStringLiteral("server-passbook"))
               << sqlscript::statements(QStringLiteral("search-paths"))
               << sqlscript::statements(QStringLiteral("grants"), limits())
               << sqlscript::statements(QStringLiteral("server-supervision-grants"))
               << sqlscript::statements(QStringLiteral("server-passbook-grants"));
    for (const QString &statement : std::as_const(statements))
        if (!run(database, statement, {}, &outcome))
            return outcome;
    {
        QSqlQuery names(database);
        if (!names.exec(QStringLiteral("SELECT current_database(), simparo_peran_masuk(), simparo_kelompok_operator()"))
            || !names.next())
            return failedOn(names.lastError(), database);
        access->database = names.value(0).toString();
        access->lookupRole = names.value(1).toString();
        access->groupRole = names.value(2).toString();
    }
    if (!access->lookupPassword.isEmpty()
        && !setRole(database, access->lookupRole, access->lookupPassword, true, nullptr, &outcome))
        return outcome;

    // Every operator's row has its role. A clear-text password (an older
    // database's, or the old program's) becomes the role's, a hash cannot (the
    // operator's password is then reset); either way the row keeps no password.
    struct Row {
        qint64 key;
        QString user, password, role;
        bool hasRole, canLogIn;
        bool passwordNull;
    };
    QList<Row> rows;
    {
        QSqlQuery query(database);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT t.simparo_key, t.\"user\", t.\"password\", simparo_peran_operator(t.simparo_key), "
                                       "r.rolname IS NOT NULL, coalesce(r.rolcanlogin, false) FROM tpassword t "
                                       "LEFT JOIN pg_roles r ON r.rolname = simparo_peran_operator(t.simparo_key) "
                                       "ORDER BY t.simparo_key")))
            return failedOn(query.lastError(), database);
        while (query.next())
            rows.append({query.value(0).toLongLong(), query.value(1).toString(), query.value(2).toString(),
                         query.value(3).toString(), query.value(4).toBool(), query.value(5).toBool(),
                         query.value(2).isNull()});
        if (query.lastError().isValid())
            return failedOn(query.lastError(), database);
    }
    access->withoutPassword.clear();
    for (const Row &row : std::as_const(rows)) {
        bool canLogIn = row.canLogIn;
        if (row.passwordNull) {
            if (!setRole(database, row.role, QString(), !row.hasRole, nullptr, &outcome))
                return outcome;
            canLogIn = row.hasRole && row.canLogIn;
        } else {
            if (!setRole(database, row.role, row.password, true, &canLogIn, &outcome)
                || !run(database, QStringLiteral("UPDATE tpassword SET \"password\" = NULL WHERE simparo_key = ?"),
                        {row.key}, &outcome))
                return outcome;
            access->moved.append({row.key, row.user, canLogIn});
        }
        if (!canLogIn)
            access->withoutPassword << row.user;
    }
    QVariant value;
    if (!run(database, sqlscript::statements(QStringLiteral("server-stale-roles")).constFirst(), {}, &outcome)
        || !run(database, QStringLiteral("SELECT rolcanlogin FROM pg_roles WHERE rolname = ?"), {access->lookupRole},
                &outcome, &value))
        return outcome;
    access->lookupCanLogIn = value.toBool();
    return Outcome::ok();
}

Outcome setOperatorPassword(QSqlDatabase &database, qint64 key, const QString &password, bool *canLogIn)
{
    Outcome outcome;
    QString role;
    if (!roleOf(database, key, &role, &outcome) || !setRole(database, role, password, true, canLogIn, &outcome))
        return outcome;
    return Outcome::ok();
}

Outcome removeOperatorRole(QSqlDatabase &database, qint64 key)
{
    Outcome outcome;
    if (!run(database, QStringLiteral("SELECT simparo_buang_peran(simparo_peran_operator(CAST(? AS bigint)))"), {key},
             &outcome))
        return outcome;
    return Outcome::ok();
}

Outcome operatorLogins(QSqlDatabase &database, QHash<qint64, bool> *canLogIn)
{
    canLogIn->clear();
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral(
            "SELECT t.simparo_key, coalesce(r.rolcanlogin, false) AND EXISTS (SELECT FROM pg_auth_members m "
            "JOIN pg_roles g ON g.oid = m.roleid WHERE m.member = r.oid AND g.rolname = simparo_kelompok_operator()) "
            "FROM tpassword t LEFT JOIN pg_roles r ON r.rolname = simparo_peran_operator(t.simparo_key)")))
        return failedOn(query.lastError(), database);
    while (query.next())
        canLogIn->insert(query.value(0).toLongLong(), query.value(1).toBool());
    if (query.lastError().isValid())
        return failedOn(query.lastError(), database);
    return Outcome::ok();
}

} // namespace db::serverroles
