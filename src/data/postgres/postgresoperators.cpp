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
    };
}

// The program's values in a statement of its own ({{name}}, see sqlscript.h).
QString filled(QString statement)
{
    const QHash<QString, QString> values = limits();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        statement.replace(QStringLiteral("{{%1}}").arg(it.key()), it.value());
    return statement;
}

// The statements that make (or put back) every function of the operators. The
// key column of tpassword on a server is simparo_key (the dialect's keyColumn()).
QStringList functionStatements()
{
    return {
        // A value in a line of a jejak row's details, escaped as audit::detail() does.
        QStringLiteral(R"sql(CREATE OR REPLACE FUNCTION simparo_rincian(nilai text) RETURNS text
LANGUAGE sql IMMUTABLE AS $fn$
SELECT replace(replace(replace(nilai, E'\\', E'\\\\'), E'\n', E'\\n'), E'\r', E'\\r')$fn$)sql"),
        // A failed login of a name that exists (or of none), recorded by the lookup role.
        QStringLiteral(R"sql(CREATE OR REPLACE FUNCTION simparo_masuk_gagal(nama text, sebab text, zona_loket text,
    nama_loket text) RETURNS void LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
BEGIN
    IF sebab IS NULL OR sebab NOT IN ('password salah', 'user tidak ada') THEN
        RAISE EXCEPTION USING MESSAGE = 'sebab gagal masuk tidak dikenal', ERRCODE = 'invalid_parameter_value';
    END IF;
    IF nama IS NOT NULL AND NOT EXISTS (SELECT FROM tpassword t WHERE t."user" = nama) THEN
        RAISE EXCEPTION USING MESSAGE = 'gagal masuk hanya dicatat untuk user yang ada',
            ERRCODE = 'invalid_parameter_value';
    END IF;
    IF zona_loket IS NULL OR zona_loket !~ '^[+-][0-9]{2}:[0-9]{2}$' OR length(nama_loket) > 255 THEN
        RAISE EXCEPTION USING MESSAGE = 'zona atau nama loket tidak sah', ERRCODE = 'invalid_parameter_value';
    END IF;
    INSERT INTO jejak (zona, loket, tindakan, rincian) VALUES (zona_loket, nama_loket, 'masuk gagal',
        CASE WHEN nama IS NULL THEN '' ELSE 'user=' || simparo_rincian(nama) || E'\n' END || 'sebab=' || sebab);
END$fn$)sql"),
        // The failed logins of a name within the window of the back-off. The window's
        // start is the statement's moment (a stable value: the moment index finds the
        // window's rows; the clock's volatile value would read the whole trail).
        QStringLiteral(R"sql(CREATE OR REPLACE FUNCTION simparo_masuk_gagal_baru(nama text) RETURNS integer
LANGUAGE sql VOLATILE SECURITY DEFINER AS $fn$
SELECT CAST(count(*) AS integer) FROM jejak j
WHERE j.waktu >= to_char((statement_timestamp() - make_interval(secs => %1)) AT TIME ZONE 'UTC',
                         'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"')
  AND j.tindakan = 'masuk gagal' AND split_part(j.rincian, E'\n', 1) = 'user=' || simparo_rincian(nama)$fn$)sql")
            .arg(kFailedLoginWindowSeconds),
        // The role and name of the first operator of a name in stored order. No row
        // when there is none, and none for NULL: the lookup role learns no name it
        // was not given (simparo_operator_pertama() names the first one's role only).
        QStringLiteral(R"sql(CREATE OR REPLACE FUNCTION simparo_operator_cari(nama text)
RETURNS TABLE (peran text, nama_user text) LANGUAGE sql STABLE SECURITY DEFINER AS $fn$
SELECT simparo_peran_operator(t.simparo_key), t."user" FROM tpassword t
WHERE t."user" = nama ORDER BY t.simparo_key LIMIT 1$fn$)sql"),
        // An operator's own new password (its SCRAM verifier, made by the program)
        // and user name, with its jejak row: only ever of the session's own role.
        QStringLiteral(R"sql(CREATE OR REPLACE FUNCTION simparo_ganti_password(user_baru text, verifier text,
    zona_loket text, nama_loket text) RETURNS void LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
DECLARE
    kunci_sesi bigint := simparo_kunci_sesi();
    lama text;
    baris text;
BEGIN
    IF kunci_sesi IS NULL THEN
        RAISE EXCEPTION USING MESSAGE = 'hanya operator yang bisa mengganti passwordnya sendiri',
            ERRCODE = 'insufficient_privilege';
    END IF;
    PERFORM simparo_cek_verifier(verifier);
    IF zona_loket IS NULL OR zona_loket !~ '^[+-][0-9]{2}:[0-9]{2}$' OR length(nama_loket) > 255 THEN
        RAISE EXCEPTION USING MESSAGE = 'zona atau nama loket tidak sah', ERRCODE = 'invalid_parameter_value';
    END IF;
    SELECT t."user" INTO lama FROM tpassword t WHERE t.simparo_key = kunci_sesi FOR UPDATE;
    IF NOT FOUND THEN
        RAISE EXCEPTION USING MESSAGE = 'operator ini sudah tidak ada', ERRCODE = 'insufficient_privilege';
    END IF;
    IF user_baru IS DISTINCT FROM lama THEN
        -- A new name: plain characters, not too long (an old one stays as it is).
        PERFORM simparo_cek_nama(user_baru);
        -- Two operators taking one new name at the same moment: one waits for the other.
        PERFORM pg_advisory_xact_lock(hashtext('tpassword.user'), hashtext(user_baru));
        IF EXISTS (SELECT FROM tpassword t WHERE t."user" = user_baru AND t.simparo_key <> kunci_sesi) THEN
            RAISE EXCEPTION USING MESSAGE = 'user itu sudah dipakai operator lain', ERRCODE = 'unique_violation';
        END IF;
        UPDATE tpassword SET "user" = user_baru WHERE simparo_key = kunci_sesi;
        -- His kind goes with his name.
        UPDATE jenis_operator SET nama = user_baru WHERE nama = lama;
        baris := 'user: ' || simparo_rincian(coalesce(lama, '')) || ' -> ' || simparo_rincian(user_baru);
    ELSE
        baris := 'user=' || simparo_rincian(lama);
    END IF;
    EXECUTE format('ALTER ROLE %I PASSWORD %L', session_user, verifier);
    INSERT INTO jejak (zona, loket, tindakan, tabel, kunci, rincian)
    VALUES (zona_loket, nama_loket, 'ganti password', 'tpassword', kunci_sesi, baris || E'\npassword=diganti');
END$fn$)sql"),
        // The owner's: makes an operator's role (or the lookup role) when missing,
        // a member of the group (or of nothing), with its password when one is given
        // (a verifier; NULL: none, and then it cannot log in).
        QStringLiteral(R"sql(CREATE OR REPLACE FUNCTION simparo_atur_peran(peran text, verifier text,
    sandi_baru boolean) RETURNS void LANGUAGE plpgsql VOLATILE AS $fn$
DECLARE
    awalan text := CAST(current_database() AS text) || '_op_';
    kelompok text := simparo_kelompok_operator();
    sebagai_operator boolean;
    anggota boolean;
    ada record;
BEGIN
    sebagai_operator := left(peran, length(awalan)) = awalan
        AND substr(peran, length(awalan) + 1) ~ '^[1-9][0-9]{0,17}$';
    IF peran IS NULL OR NOT (sebagai_operator OR peran = simparo_peran_masuk()) THEN
        RAISE EXCEPTION USING MESSAGE = format('%s bukan peran operator atau peran masuk SIMPARO', peran),
            ERRCODE = 'invalid_parameter_value';
    END IF;
    IF verifier IS NOT NULL THEN
        PERFORM simparo_cek_verifier(verifier);
    END IF;
    SELECT r.rolsuper OR r.rolcreaterole OR r.rolcreatedb OR r.rolreplication OR r.rolbypassrls AS lebih
        INTO ada FROM pg_roles r WHERE r.rolname = peran;
    IF NOT FOUND THEN
        EXECUTE format('CREATE ROLE %I NOLOGIN', peran);
        sandi_baru := true;
    ELSIF ada.lebih THEN
        RAISE EXCEPTION USING MESSAGE = format('peran %s sudah ada dengan hak lebih dari operator; ubah atau hapus dulu',
            peran), ERRCODE = 'insufficient_privilege';
    END IF;
    IF sandi_baru AND verifier IS NULL THEN
        EXECUTE format('ALTER ROLE %I NOLOGIN PASSWORD NULL', peran);
    ELSIF sandi_baru THEN
        EXECUTE format('ALTER ROLE %I LOGIN PASSWORD %L', peran, verifier);
    END IF;
    anggota := EXISTS (SELECT FROM pg_auth_members m JOIN pg_roles g ON g.oid = m.roleid
                       JOIN pg_roles r ON r.oid = m.member WHERE g.rolname = kelompok AND r.rolname = peran);
    IF sebagai_operator THEN
        -- An operator's sessions: a bounded number, and by default no statement or
        -- transaction left waiting long (the program sets its own limits).
        EXECUTE format('ALTER ROLE %I INHERIT CONNECTION LIMIT %s', peran, {{operator_connections}});
        EXECUTE format('ALTER ROLE %I SET statement_timeout = %L', peran, '{{operator_statement_timeout}}');
        EXECUTE format('ALTER ROLE %I SET idle_in_transaction_session_timeout = %L', peran,
                       '{{operator_statement_timeout}}');
        IF NOT anggota THEN
            EXECUTE format('GRANT %I TO %I', kelompok, peran);
        END IF;
    ELSIF anggota THEN
        EXECUTE format('REVOKE %I FROM %I', kelompok, peran);
    END IF;
END$fn$)sql"),
        // The owner's: an operator's role goes; when it still owns something in
        // another database it stays, but can no longer log in and is no operator.
        QStringLiteral(R"sql(CREATE OR REPLACE FUNCTION simparo_buang_peran(peran text) RETURNS void
LANGUAGE plpgsql VOLATILE AS $fn$
DECLARE
    awalan text := CAST(current_database() AS text) || '_op_';
BEGIN
    IF peran IS NULL OR left(peran, length(awalan)) <> awalan
       OR substr(peran, length(awalan) + 1) !~ '^[1-9][0-9]{0,17}$' THEN
        RAISE EXCEPTION USING MESSAGE = format('%s bukan peran operator SIMPARO', peran),
            ERRCODE = 'invalid_parameter_value';
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = peran) THEN
        RETURN;
    END IF;
    EXECUTE format('ALTER ROLE %I NOLOGIN PASSWORD NULL', peran);
    IF EXISTS (SELECT FROM pg_auth_members m JOIN pg_roles g ON g.oid = m.roleid JOIN pg_roles r ON r.oid = m.member
               WHERE g.rolname = simparo_kelompok_operator() AND r.rolname = peran) THEN
        EXECUTE format('REVOKE %I FROM %I', simparo_kelompok_operator(), peran);
    END IF;
    BEGIN
        EXECUTE format('GRANT %I TO %I', peran, current_user);
        EXECUTE format('DROP OWNED BY %I', peran);
        EXECUTE format('DROP ROLE %I', peran);
    EXCEPTION WHEN OTHERS THEN
        NULL;
    END;
END$fn$)sql"),
    };
}


// Roles of operators whose row is gone go (an older database of the same name
// on this cluster, a removal that failed half-way); the group keeps no one but
// the operators of the rows.
const char *const kStaleRoles = R"sql(DO $fn$
DECLARE
    awalan text := CAST(current_database() AS text) || '_op_';
    g text := simparo_kelompok_operator();
    r record;
BEGIN
    FOR r IN SELECT p.rolname FROM pg_roles p
             WHERE left(p.rolname, length(awalan)) = awalan
               AND substr(p.rolname, length(awalan) + 1) ~ '^[1-9][0-9]{0,17}$'
               AND NOT EXISTS (SELECT FROM tpassword t
                               WHERE CAST(t.simparo_key AS text) = substr(p.rolname, length(awalan) + 1)) LOOP
        PERFORM simparo_buang_peran(CAST(r.rolname AS text));
    END LOOP;
    FOR r IN SELECT b.rolname FROM pg_auth_members x JOIN pg_roles a ON a.oid = x.roleid
             JOIN pg_roles b ON b.oid = x.member
             WHERE a.rolname = g AND NOT EXISTS (SELECT FROM tpassword t
                                                 WHERE simparo_peran_operator(t.simparo_key) = b.rolname) LOOP
        EXECUTE format('REVOKE %I FROM %I', g, r.rolname);
    END LOOP;
END$fn$)sql";


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
    return {
        // The owner of the program's tables: the role whose tools may write what no
        // operator may (an import, a move, an accepted break, the operators).
        QStringLiteral("CREATE OR REPLACE FUNCTION simparo_pemilik() RETURNS text LANGUAGE sql STABLE AS "
                       "$fn$SELECT CAST(pg_get_userbyid(c.relowner) AS text) FROM pg_class c "
                       "WHERE c.oid = CAST('jejak' AS regclass)$fn$"),
        QStringLiteral("CREATE OR REPLACE FUNCTION simparo_kelompok_operator() RETURNS text LANGUAGE sql STABLE AS "
                       "$fn$SELECT CAST(current_database() AS text) || '_operator'$fn$"),
        QStringLiteral("CREATE OR REPLACE FUNCTION simparo_peran_masuk() RETURNS text LANGUAGE sql STABLE AS "
                       "$fn$SELECT CAST(current_database() AS text) || '_masuk'$fn$"),
        QStringLiteral("CREATE OR REPLACE FUNCTION simparo_peran_operator(kunci_baris bigint) RETURNS text "
                       "LANGUAGE sql STABLE AS $fn$SELECT CAST(current_database() AS text) || '_op_' || kunci_baris$fn$"),
        // The key of the operator whose role the session logged in as; NULL when
        // the session's role is no operator's (the owner, the lookup role, another).
        QStringLiteral(R"sql(CREATE OR REPLACE FUNCTION simparo_kunci_sesi() RETURNS bigint
LANGUAGE plpgsql STABLE AS $fn$
DECLARE
    awalan text := CAST(current_database() AS text) || '_op_';
    peran text := CAST(session_user AS text);
    sisa text;
BEGIN
    IF left(peran, length(awalan)) <> awalan THEN
        RETURN NULL;
    END IF;
    sisa := substr(peran, length(awalan) + 1);
    IF sisa !~ '^[1-9][0-9]{0,17}$' OR NOT EXISTS (
        SELECT FROM pg_auth_members m JOIN pg_roles g ON g.oid = m.roleid JOIN pg_roles r ON r.oid = m.member
        WHERE g.rolname = simparo_kelompok_operator() AND r.rolname = peran) THEN
        RETURN NULL;
    END IF;
    RETURN CAST(sisa AS bigint);
END$fn$)sql"),
        // Who writes a jejak row: the user name of the session's operator, else the session's role.
        QStringLiteral(R"sql(CREATE OR REPLACE FUNCTION simparo_jejak_operator() RETURNS text
LANGUAGE plpgsql STABLE AS $fn$
DECLARE
    kunci_sesi bigint := simparo_kunci_sesi();
    nama text;
BEGIN
    IF kunci_sesi IS NOT NULL THEN
        SELECT t."user" INTO nama FROM tpassword t WHERE t.simparo_key = kunci_sesi;
        IF nama IS NOT NULL THEN
            RETURN nama;
        END IF;
    END IF;
    RETURN CAST(session_user AS text);
END$fn$)sql"),
    };
}

Outcome secure(QSqlDatabase &database, RoleAccess *access)
{
    Outcome outcome;
    access->moved.clear();
    QStringList statements = attributionStatements();
    statements << sealFunctionStatement();
    for (const QString &statement : functionStatements())
        statements << filled(statement);
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
    if (!run(database, QString::fromUtf8(kStaleRoles), {}, &outcome)
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
