// The operators: simparo-operator on either engine, and on a server the roles
// that keep a clerk with a shell (psql, his own password, the counter's .pgpass)
// from doing anything the screens do not do.
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/operators/operators.h"
#include "data/records/recordsource.h"
#include "savings/posting.h"
#include "fixture.h"
#include "testserver.h"

#include <QFileInfo>
#include <QProcess>
#include <QSqlQuery>
#include <QTest>

class tst_Operators : public Fixture
{
    Q_OBJECT

private:
    ToolRun operatorTool(const QStringList &arguments, const QByteArray &input = {})
    {
        return runTool(QStringLiteral("simparo-operator"), arguments, database->home(), {}, input);
    }
    QString roleOf(const QString &user)
    {
        return database->scalar(QStringLiteral("SELECT simparo_peran_operator(simparo_key) FROM tpassword "
                                               "WHERE \"user\" = ? ORDER BY simparo_key LIMIT 1"),
                                {user})
            .toString();
    }

    // The real psql, as a counter's Linux account could run it: the server's socket,
    // a role and its password, nothing else (no service file, no .pgpass).
    struct Psql
    {
        int exitCode = -1;
        QString out, err;
    };
    Psql psql(const QString &role, const QString &password, const QString &sql)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("PGSERVICEFILE"));
        environment.insert(QStringLiteral("PGPASSFILE"), QStringLiteral("/nonexistent"));
        environment.insert(QStringLiteral("PGPASSWORD"), password);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(qEnvironmentVariable("SIMPARO_PG_BIN", QStringLiteral("/usr/lib/postgresql/15/bin"))
                          + QStringLiteral("/psql"),
                      {QStringLiteral("-X"), QStringLiteral("-qAt"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                       QStringLiteral("-h"), QFileInfo(testserver::socketFile()).path(), QStringLiteral("-U"), role,
                       QStringLiteral("-d"), database->scalar(QStringLiteral("SELECT current_database()")).toString()});
        process.write(sql.toUtf8());
        process.closeWriteChannel();
        const bool ended = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
        return {ended ? process.exitCode() : -1, QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    // Siti (account 1) holds 5000, and the lookup role has the password a counter's .pgpass keeps.
    operators::Access counterSetUp()
    {
        database->addCustomer(QStringLiteral("1"), QStringLiteral("Siti"));
        database->addLedgerRow(QStringLiteral("1"), QStringLiteral("Siti"), QStringLiteral("2024-01-02"),
                               QStringLiteral("01"), 0, 5000, 5000);
        operators::Access access;
        access.lookupPassword = QStringLiteral("loket rahasia");
        audit::Coverage covered;
        bool installed = false;
        QString error;
        if (!db::upgradeDatabase(database->connectionText(), &access, &covered, &installed, &error))
            qFatal("%s", qPrintable(error));
        return access;
    }

private slots:
    void toolKeepsTheOperators()
    {
        const auto ok = [](const ToolRun &run) { return run.exitCode == 0 ? QString() : run.err + run.out; };
        const ToolRun added = operatorTool({QStringLiteral("add"), QStringLiteral("budi"), QStringLiteral("--password-stdin")},
                                           "budi 123\n");
        QCOMPARE(ok(added), QString());
        // Without --from or --server it names the database it changes before anything else.
        QVERIFY2(added.out.startsWith(QStringLiteral("Database: %1\n").arg(database->location())), qPrintable(added.out));
        QCOMPARE(operatorTool({QStringLiteral("list")}).out, QStringLiteral("admin   penyelia\nbudi   kasir\n"));
        // Nothing about a password comes from the command line.
        ToolRun refused = operatorTool({QStringLiteral("add"), QStringLiteral("cici"), QStringLiteral("--password"),
                                        QStringLiteral("rahasia")});
        QCOMPARE(refused.exitCode, 1);
        refused = operatorTool({QStringLiteral("add"), QStringLiteral("budi"), QStringLiteral("--password-stdin")}, "x\n");
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains(QLatin1String("sudah ada")), qPrintable(refused.err));

        QString error;
        QVERIFY2(operators::logIn(database->connectionText(), QStringLiteral("budi"), QStringLiteral("budi 123"), &error),
                 qPrintable(error));
        QCOMPARE(ok(operatorTool({QStringLiteral("reset"), QStringLiteral("budi"), QStringLiteral("--password-stdin")},
                                 "baru 456\n")),
                 QString());
        QVERIFY(!operators::logIn(database->connectionText(), QStringLiteral("budi"), QStringLiteral("budi 123"), &error));
        QCOMPARE(error, QStringLiteral("PASSWORD SALAH"));
        QVERIFY2(operators::logIn(database->connectionText(), QStringLiteral("budi"), QStringLiteral("baru 456"), &error),
                 qPrintable(error));
        db::releaseIdleConnections();
        const QString budisRole = TestDatabase::onServer() ? roleOf(QStringLiteral("budi")) : QString();

        QCOMPARE(ok(operatorTool({QStringLiteral("remove"), QStringLiteral("budi")})), QString());
        for (const QString &user : {QStringLiteral("budi"), QStringLiteral("admin")}) {
            refused = operatorTool({QStringLiteral("remove"), user});
            QCOMPARE(refused.exitCode, 1);
        }
        QVERIFY2(refused.err.contains(QLatin1String("operator terakhir")), qPrintable(refused.err));
        QCOMPARE(operatorTool({QStringLiteral("list")}).out, QStringLiteral("admin   penyelia\n"));
        QCOMPARE(database->rows(QStringLiteral("SELECT tindakan, rincian FROM jejak WHERE tindakan LIKE 'operator %' "
                                               "ORDER BY nomor")),
                 (QStringList{QStringLiteral("operator tambah|user=admin\njenis=penyelia"),
                              QStringLiteral("operator tambah|user=budi"),
                              QStringLiteral("operator reset|user=budi\npassword=diganti"),
                              QStringLiteral("operator hapus|user=budi")}));
        // On a server his role went with him.
        if (TestDatabase::onServer())
            QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM pg_roles WHERE rolname = ?"), {budisRole})
                         .toInt(),
                     0);
    }

    // The last supervisor stays one, in the tool and (on a server) in the group
    // role the server trusts, which the listed kinds follow.
    void oneSupervisorAlwaysStays()
    {
        const auto tool = [this](QStringList words) { return operatorTool(words).exitCode; };
        QCOMPARE(operatorTool({QStringLiteral("add"), QStringLiteral("budi"), QStringLiteral("--password-stdin")},
                              "budi 123\n").exitCode,
                 0);
        const ToolRun refused = operatorTool({QStringLiteral("peran"), QStringLiteral("admin"), QStringLiteral("kasir")});
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains(QLatin1String("penyelia terakhir")), qPrintable(refused.err));
        QCOMPARE(tool({QStringLiteral("remove"), QStringLiteral("admin")}), 1);
        QCOMPARE(tool({QStringLiteral("peran"), QStringLiteral("budi"), QStringLiteral("atasan")}), 1);
        QCOMPARE(tool({QStringLiteral("peran"), QStringLiteral("budi"), QStringLiteral("penyelia")}), 0);
        QCOMPARE(tool({QStringLiteral("peran"), QStringLiteral("admin"), QStringLiteral("kasir")}), 0);
        QCOMPARE(operatorTool({QStringLiteral("list")}).out, QStringLiteral("admin   kasir\nbudi   penyelia\n"));
        QCOMPARE(database->rows(QStringLiteral("SELECT rincian FROM jejak WHERE tindakan = 'operator peran' ORDER BY nomor")),
                 (QStringList{QStringLiteral("user=budi\njenis: kasir -> penyelia"),
                              QStringLiteral("user=admin\njenis: penyelia -> kasir")}));
        if (TestDatabase::onServer())
            QCOMPARE(database->rows(QStringLiteral("SELECT r.rolname FROM pg_auth_members m JOIN pg_roles g ON g.oid = "
                                                   "m.roleid JOIN pg_roles r ON r.oid = m.member WHERE g.rolname = "
                                                   "current_database() || '_penyelia'")),
                     QStringList{roleOf(QStringLiteral("budi"))});
    }

    void serverKnowsWhoWorks()
    {
        if (!TestDatabase::onServer())
            QSKIP("a file has no roles");
        database->addCustomer(QStringLiteral("1"), QStringLiteral("Siti"));
        // The program's connections log in as the operator's own role, and the
        // trail names him as the server knows him.
        RecordSource ledger;
        QVERIFY(ledger.open(QStringLiteral("nabubg")));
        QVERIFY2(ledger.addNew(posting::ledgerRow(QStringLiteral("1"), QString(), QDate::currentDate(),
                                                  posting::Code::Deposit, Money::fromRupiah(5000)),
                               posting::postingCheck(QStringLiteral("1"), posting::Code::Deposit, Money::fromRupiah(5000))),
                 qPrintable(ledger.lastError()));
        QString name, error;
        QVERIFY2(db::openConnection(database->connectionText(), &name, &error), qPrintable(error));
        {
            QSqlQuery query(db::connection(name));
            QVERIFY(query.exec(QStringLiteral("SELECT session_user")) && query.next());
            QCOMPARE(query.value(0).toString(), roleOf(QStringLiteral("admin")));
        }
        db::closeConnection(name);
        QCOMPARE(database->rows(QStringLiteral("SELECT \"operator\", peran FROM jejak WHERE tindakan = 'setoran'")),
                 QStringList{QStringLiteral("admin|") + roleOf(QStringLiteral("admin"))});
    }

    // What a clerk may do from psql he does as the screens do it: a posting with
    // the account's lock and its trail row is taken, dated by the server (not the
    // day he wrote); the lookup role learns no name it was not given; every role's
    // sessions are bounded.
    void clerkWithAShellDoesWhatTheScreensDo()
    {
        if (!TestDatabase::onServer())
            QSKIP("a file's protection is its permissions");
        const operators::Access access = counterSetUp();
        const QString own = roleOf(QStringLiteral("admin"));
        const Psql posted =
            psql(own, QStringLiteral("admin123"),
                 QStringLiteral("BEGIN; SELECT simparo_kunci('nabubg.norekening', '1'); INSERT INTO nabubg (norekening, "
                                "nama, tanggal, kode, jenis, debet, kredit, saldo) VALUES ('1', 'Siti', '2099-01-01', '01', "
                                "'Penyetoran', 0, 1000, 6000); INSERT INTO jejak (zona, loket, tindakan, tabel, norekening) "
                                "VALUES ('+07:00', 'x', 'setoran', 'nabubg', '1'); COMMIT"));
        QVERIFY2(posted.exitCode == 0, qPrintable(posted.err));
        QCOMPARE(database->rows(QStringLiteral("SELECT tanggal, saldo FROM nabubg ORDER BY simparo_key DESC LIMIT 1")),
                 QStringList{QDate::currentDate().toString(Qt::ISODate) + QStringLiteral("|6000")});
        const Psql looked = psql(access.lookupRole, access.lookupPassword,
                                 QStringLiteral("SELECT count(*) FROM simparo_operator_cari(NULL)"));
        QCOMPARE(looked.out.trimmed(), QStringLiteral("0"));
        QCOMPARE(database->rows(QStringLiteral("SELECT rolconnlimit, array_to_string(rolconfig, ',') LIKE "
                                               "'%statement_timeout%' FROM pg_roles WHERE rolname IN (?, ?) ORDER BY rolname"),
                                {own, access.lookupRole}),
                 QStringList({"20|true", "20|true"}));
    }

    void clerkWithAShellIsRefused_data()
    {
        // %OWN% the operator's own role, %OTHER% another operator's, %LOOKUP% the
        // lookup role, %GROUP% the operators' group, %OWNER% the database's owner.
        QTest::addColumn<bool>("asLookup");
        QTest::addColumn<QString>("sql");
        const auto attack = [](const char *name, bool asLookup, const char *sql) {
            QTest::newRow(name) << asLookup << QString::fromUtf8(sql);
        };
        attack("update ledger", false, "UPDATE nabubg SET kredit = kredit + 1");
        attack("delete ledger", false, "DELETE FROM nabubg");
        attack("truncate ledger", false, "TRUNCATE nabubg");
        attack("update trail", false, "UPDATE jejak SET rincian = 'x'");
        attack("delete trail", false, "DELETE FROM jejak");
        attack("truncate trail", false, "TRUNCATE jejak");
        attack("pg_authid", false, "SELECT rolpassword FROM pg_authid");
        attack("pg_shadow", false, "SELECT passwd FROM pg_shadow");
        attack("tpassword.password", false, "SELECT \"password\" FROM tpassword");
        attack("Qpass.password", false, "SELECT \"password\" FROM qpass");
        attack("another's password", false, "ALTER ROLE %OTHER% PASSWORD 'dibobol'");
        attack("another's role", false, "SET ROLE %OTHER%");
        attack("another's session", false, "SET SESSION AUTHORIZATION %OTHER%");
        attack("another's name", false, "UPDATE tpassword SET \"user\" = 'x'");
        attack("another's row", false, "DELETE FROM tpassword");
        attack("trail row as another operator", false,
               "INSERT INTO jejak (zona, loket, \"operator\", tindakan) VALUES ('+07:00', 'x', 'kasir', 'masuk')");
        attack("trail row as another role", false,
               "INSERT INTO jejak (zona, loket, peran, tindakan) VALUES ('+07:00', 'x', '%OTHER%', 'masuk')");
        attack("posting as another operator", false,
               "BEGIN; INSERT INTO nabubg (norekening, nama, tanggal, kode, jenis, debet, kredit, saldo) "
               "VALUES ('1', 'Siti', '2024-01-03', '01', 'Penyetoran', 0, 100, 5100); "
               "INSERT INTO jejak (zona, loket, \"operator\", tindakan, tabel, norekening) VALUES "
               "('+07:00', 'x', 'kasir', 'setoran', 'nabubg', '1'); COMMIT");
        attack("create table", false, "CREATE TABLE curang (a int)");
        attack("create temporary table", false, "CREATE TEMP TABLE curang (a int)");
        attack("create schema", false, "CREATE SCHEMA curang");
        attack("replace function", false,
               "CREATE OR REPLACE FUNCTION simparo_jejak_operator() RETURNS text LANGUAGE sql AS $$SELECT 'kasir'$$");
        attack("alter table", false, "ALTER TABLE jejak DISABLE TRIGGER jejak_segel");
        attack("alter function", false, "ALTER FUNCTION simparo_jejak_operator() OWNER TO %OWN%");
        attack("alter database", false, "ALTER DATABASE %DB% OWNER TO %OWN%");
        attack("drop trigger", false, "DROP TRIGGER jejak_segel ON jejak");
        attack("drop table", false, "DROP TABLE nabubg");
        attack("drop function", false, "DROP FUNCTION simparo_jejak_operator()");
        attack("alter the group", false, "ALTER ROLE %GROUP% LOGIN PASSWORD 'x'");
        attack("alter the owner", false, "ALTER ROLE %OWNER% PASSWORD 'x'");
        attack("alter the lookup role", false, "ALTER ROLE %LOOKUP% PASSWORD 'x'");
        attack("own role more rights", false, "ALTER ROLE %OWN% CREATEROLE");
        attack("create role", false, "CREATE ROLE curang LOGIN");
        attack("grant the owner", false, "GRANT %OWNER% TO %OWN%");
        attack("make a role", false, "SELECT simparo_atur_peran('%OTHER%', NULL, true)");
        attack("drop a role", false, "SELECT simparo_buang_peran('%OTHER%')");
        attack("lookup reads names", true, "SELECT \"user\" FROM tpassword");
        attack("lookup reads the ledger", true, "SELECT * FROM nabubg");
        attack("lookup reads the trail", true, "SELECT * FROM jejak");
        attack("lookup writes the trail", true, "INSERT INTO jejak (zona, loket, tindakan) VALUES ('+07:00', 'x', 'masuk')");
        attack("lookup changes a password", true, "SELECT simparo_ganti_password('admin', NULL, '+07:00', 'x')");
        attack("lookup reads pg_authid", true, "SELECT rolpassword FROM pg_authid");
        attack("lookup creates a table", true, "CREATE TABLE curang (a int)");
        attack("lookup creates a temporary table", true, "CREATE TEMP TABLE curang (a int)");
        attack("lookup alters the group", true, "GRANT %GROUP% TO %LOOKUP%");
        attack("lookup forges a failure", true, "SELECT simparo_masuk_gagal('admin', 'lain', '+07:00', 'x')");
        // Rows that vouch for other rows, or of the operators: the owner's tools' alone.
        const auto trailRow = [](const char *action, const char *details) {
            return QStringLiteral("INSERT INTO jejak (zona, loket, tindakan, tabel, norekening, rincian) VALUES "
                                  "('+07:00', 'x', '%1', 'nabubg', '1', E'%2')")
                .arg(QLatin1String(action), QLatin1String(details));
        };
        for (const char *action : {"putus diterima", "impor", "pasang jejak", "pindah", "operator tambah",
                                   "operator reset", "bukan tindakan"})
            QTest::newRow(qPrintable(QStringLiteral("trail row: %1").arg(QLatin1String(action))))
                << false << trailRow(action, "nabubg=1-1\\njumlah=1\\ndigest=00\\nputus=1@1");
        // Locks held for a session, large objects, messages into the server's log.
        attack("lookup holds the trail's lock", true, "SELECT pg_advisory_lock(6001399778763229771)");
        attack("operator holds a lock", false, "SELECT pg_advisory_lock(1)");
        attack("operator takes a lock", false, "BEGIN; SELECT pg_advisory_xact_lock(1, 2); COMMIT");
        attack("lookup writes a large object", true, "SELECT lo_from_bytea(0, 'x')");
        attack("operator writes a large object", false, "SELECT lo_from_bytea(0, 'x')");
        attack("operator writes to the log", false, "SELECT pg_logical_emit_message(true, 'x', repeat('x', 1000))");
        // Ledger rows no screen writes, each with the account's lock and its trail row.
        const auto posting = [](const char *values) {
            return QStringLiteral("BEGIN; SELECT simparo_kunci('nabubg.norekening', '1'); "
                                  "INSERT INTO nabubg (norekening, nama, tanggal, kode, jenis, debet, kredit, saldo) "
                                  "VALUES (%1); INSERT INTO jejak (zona, loket, tindakan, tabel, norekening) VALUES "
                                  "('+07:00', 'x', 'setoran', 'nabubg', '1'); COMMIT")
                .arg(QLatin1String(values));
        };
        attack("withdrawal that raises the balance", false,
               qPrintable(posting("'1', 'Siti', CURRENT_DATE, '02', 'Penarikan', -700000, 0, 705000")));
        attack("amount of a part of a sen", false,
               qPrintable(posting("'1', 'Siti', CURRENT_DATE, '01', 'Penyetoran', 0, 1000.004, 6000.004")));
        attack("deposit that carries a debet", false,
               qPrintable(posting("'1', 'Siti', CURRENT_DATE, '01', 'Penyetoran', 100, 1000, 5900")));
        attack("deposit below the minimum", false,
               qPrintable(posting("'1', 'Siti', CURRENT_DATE, '01', 'Penyetoran', 0, 999, 5999")));
        attack("kind that is not the code's", false,
               qPrintable(posting("'1', 'Siti', CURRENT_DATE, '01', 'Penarikan', 0, 1000, 6000")));
        attack("balance that does not follow", false,
               qPrintable(posting("'1', 'Siti', CURRENT_DATE, '01', 'Penyetoran', 0, 1000, 9000")));
        attack("withdrawal beyond the balance", false,
               qPrintable(posting("'1', 'Siti', CURRENT_DATE, '02', 'Penarikan', 6000, 0, -1000")));
        attack("balance that is no number", false,
               qPrintable(posting("'1', 'Siti', CURRENT_DATE, '01', 'Penyetoran', 0, 'NaN', 'NaN'")));
        attack("account no customer has", false,
               qPrintable(posting("'9', 'Siti', CURRENT_DATE, '01', 'Penyetoran', 0, 1000, 1000")));
        attack("name that is not the customer's", false,
               qPrintable(posting("'1', 'Bukan Siti', CURRENT_DATE, '01', 'Penyetoran', 0, 1000, 6000")));
        attack("key far ahead", false,
               "BEGIN; SELECT simparo_kunci('nabubg.norekening', '1'); INSERT INTO nabubg (norekening, nama, tanggal, "
               "kode, jenis, debet, kredit, saldo, simparo_key) OVERRIDING SYSTEM VALUE VALUES ('1', 'Siti', "
               "CURRENT_DATE, '01', 'Penyetoran', 0, 1000, 6000, 9000000000000000000); COMMIT");
        attack("posting in a snapshot of its own", false,
               "BEGIN ISOLATION LEVEL REPEATABLE READ; SELECT simparo_kunci('nabubg.norekening', '1'); "
               "INSERT INTO nabubg (norekening, nama, tanggal, kode, jenis, debet, kredit, saldo) VALUES "
               "('1', 'Siti', CURRENT_DATE, '01', 'Penyetoran', 0, 1000, 6000); COMMIT");
        // The register only through the functions that write its trail rows.
        attack("change a customer", false, "UPDATE daftar SET nama = 'Bukan Siti'");
        attack("delete a customer", false, "DELETE FROM daftar");
        attack("add a customer", false, "INSERT INTO daftar (norekening, nama, pendidikan) VALUES ('2', 'Tono', 'SD')");
        attack("lock the register", false, "BEGIN; LOCK TABLE daftar IN ACCESS EXCLUSIVE MODE; COMMIT");
        attack("lock a customer's row", false, "BEGIN; SELECT * FROM daftar FOR UPDATE; COMMIT");
        attack("delete a customer who has money", false,
               "SELECT simparo_nasabah_hapus((SELECT simparo_key FROM daftar WHERE norekening = '1'), '+07:00', 'x')");
        attack("renumber a customer who has postings", false,
               "SELECT simparo_nasabah_ubah((SELECT simparo_key FROM daftar WHERE norekening = '1'), "
               "ARRAY['norekening'], ARRAY['1'], ARRAY['7'], '+07:00', 'x')");
        attack("change what another changed meanwhile", false,
               "SELECT simparo_nasabah_ubah((SELECT simparo_key FROM daftar WHERE norekening = '1'), "
               "ARRAY['nama'], ARRAY['Bukan Siti'], ARRAY['Siti Aminah'], '+07:00', 'x')");
        attack("add a customer of a long name", false,
               "SELECT simparo_nasabah_tambah(ARRAY['norekening', 'nama', 'pendidikan'], "
               "ARRAY['2', repeat('x', 256), 'SD'], '+07:00', 'x')");
        // A new name of plain characters only, a verifier as libpq makes it.
        attack("name with an invisible character", false,
               "SELECT simparo_ganti_password(E'si\\u200bti', 'SCRAM-SHA-256$4096:MDEyMzQ1Njc4OWFiY2RlZg==$"
               "Xi32pv30SO4x45C+2swRRpfpzf1jbu09QoDH55Wd6zc=:Hsj+KLoM/UMHHre60A1hwMYJB4Wbd9bS64gCBD2t1/c=', '+07:00', 'x')");
        attack("name with an escape", false,
               "SELECT simparo_ganti_password(E'a\\x1b[2J', 'SCRAM-SHA-256$4096:MDEyMzQ1Njc4OWFiY2RlZg==$"
               "Xi32pv30SO4x45C+2swRRpfpzf1jbu09QoDH55Wd6zc=:Hsj+KLoM/UMHHre60A1hwMYJB4Wbd9bS64gCBD2t1/c=', '+07:00', 'x')");
        attack("verifier of one iteration", false,
               "SELECT simparo_ganti_password('admin', 'SCRAM-SHA-256$1:MDEyMzQ1Njc4OWFiY2RlZg==$"
               "RDC3KlErDI0IhfXdf8yNoinqYrml/Y/2BAH45FNzNWs=:HQyt/EY4ohbspDurnBeHeCuOeaUUpYyCH7b5vWrnJXY=', '+07:00', 'x')");
    }
    void clerkWithAShellIsRefused()
    {
        if (!TestDatabase::onServer())
            QSKIP("a file's protection is its permissions");
        QFETCH(bool, asLookup);
        QFETCH(QString, sql);
        database->addOperator(QStringLiteral("kasir"), QStringLiteral("kasir99"));
        const operators::Access access = counterSetUp();
        const QString own = roleOf(QStringLiteral("admin"));
        sql.replace(QLatin1String("%OWN%"), own)
            .replace(QLatin1String("%OTHER%"), roleOf(QStringLiteral("kasir")))
            .replace(QLatin1String("%LOOKUP%"), access.lookupRole)
            .replace(QLatin1String("%GROUP%"), access.groupRole)
            .replace(QLatin1String("%DB%"), access.database)
            .replace(QLatin1String("%OWNER%"), database->scalar(QStringLiteral("SELECT current_user")).toString());
        const QString role = asLookup ? access.lookupRole : own;
        const QString password = asLookup ? access.lookupPassword : QStringLiteral("admin123");
        const QString state = QStringLiteral("SELECT (SELECT string_agg(concat_ws(',', simparo_key, kredit), ';' ORDER BY "
                                             "simparo_key) FROM nabubg) || '/' || (SELECT count(*) FROM jejak) || '/' || "
                                             "(SELECT string_agg(\"user\", ',' ORDER BY simparo_key) FROM tpassword) || '/' || "
                                             "(SELECT string_agg(concat_ws(',', norekening, nama), ';' ORDER BY simparo_key) "
                                             "FROM daftar)");
        const QString before = database->scalar(state).toString();

        // The role can log in and do its own work: the refusal below is the server's answer to the attack.
        const Psql allowed = psql(role, password,
                                  asLookup ? QStringLiteral("SELECT peran FROM simparo_operator_cari('kasir')")
                                           : QStringLiteral("SELECT count(*) FROM nabubg"));
        QVERIFY2(allowed.exitCode == 0, qPrintable(allowed.err));
        const Psql attempt = psql(role, password, sql);
        QVERIFY2(attempt.exitCode == 3 && attempt.err.contains(QLatin1String("ERROR")),
                 qPrintable(QStringLiteral("exit %1: %2%3").arg(attempt.exitCode).arg(attempt.out, attempt.err)));
        QCOMPARE(database->scalar(state).toString(), before);
        // The other operator's password is still his.
        QCOMPARE(psql(roleOf(QStringLiteral("kasir")), QStringLiteral("kasir99"), QStringLiteral("SELECT 1")).exitCode, 0);
    }

    // What only a supervisor may do, a clerk's role with psql cannot: change a
    // setting, write an approval, use one twice, or block an account. Each refused, nothing changed.
    void clerkCannotActAsSupervisor_data()
    {
        QTest::addColumn<QString>("sql");
        const auto attack = [](const char *name, const char *sql) { QTest::newRow(name) << QString::fromUtf8(sql); };
        attack("change a setting", "UPDATE pengaturan SET nilai = '1'");
        attack("add a setting", "INSERT INTO pengaturan (kunci, nilai) VALUES ('batas_penarikan', '99999999999')");
        attack("change a setting through its function",
               "SELECT simparo_ubah_pengaturan('batas_penarikan', '99999999999', '+07:00', 'x')");
        attack("make himself a supervisor", "UPDATE jenis_operator SET jenis = 'penyelia'");
        attack("join the supervisors", "GRANT %SUPERVISORS% TO %OWN%");
        attack("forge an approval",
               "INSERT INTO persetujuan (jenis, norekening, jumlah, kasir, penyelia) "
               "VALUES ('penarikan', '1', 2000000, '%OWN%', '%SUPERVISOR%')");
        attack("approve through the function",
               "SELECT simparo_setujui('penarikan', '1', 2000000, '%SUPERVISOR%', '+07:00', 'x')");
        attack("mark an approval unused", "UPDATE persetujuan SET dipakai_txid = NULL");
        attack("withdraw above the limit without approval",
               "BEGIN; SELECT simparo_kunci('nabubg.norekening', '1'); INSERT INTO nabubg (norekening, nama, tanggal, "
               "kode, jenis, debet, kredit, saldo) VALUES ('1', 'Siti', current_date, '02', 'Penarikan', 2000000, 0, "
               "6005000); COMMIT");
        attack("block an account", "INSERT INTO blokir (norekening, jenis, alasan, keterangan, penyelia) "
                                   "VALUES ('1', 'semua', 'Lainnya', '', '%SUPERVISOR%')");
        attack("block through the function", "SELECT simparo_blokir('1', 'semua', 'Lainnya', '', '+07:00', 'x')");
        attack("lift a block through the function", "SELECT simparo_blokir('1', 'buka', '', '', '+07:00', 'x')");
        attack("erase the blocks", "DELETE FROM blokir");
        attack("post a month's share",
               "BEGIN; SELECT simparo_kunci('nabubg.norekening', '1'); INSERT INTO nabubg (norekening, nama, tanggal, "
               "kode, jenis, debet, kredit, saldo) VALUES ('1', 'Siti', current_date, '03', 'Bonus', 0, 50000, "
               "10055000); COMMIT");
        attack("open a month-end run through the function",
               "SELECT simparo_bagi_hasil_buka('2024-01', 'wadiah', 0, 0, 50000, 50000, 750000000, 2000, 50000, 0, 0, 1)");
        attack("write a month-end run", "INSERT INTO bagi_hasil (bulan, akad, pendapatan, nisbah, bonus, dibagi, "
                                        "pajak_batas, pajak_tarif, jumlah_bagi, jumlah_pajak, sisa, rekening, penyelia, "
                                        "txid, peran) VALUES ('2024-01', 'wadiah', 0, 0, 1, 1, 1, 1, 1, 0, 0, 1, 'x', "
                                        "txid_current(), '%OWN%')");
        attack("write a correction without approval",
               "BEGIN; SELECT simparo_kunci('nabubg.norekening', '1'); INSERT INTO nabubg (norekening, nama, tanggal, "
               "kode, jenis, debet, kredit, saldo) VALUES ('1', 'Siti', current_date, '05', 'Koreksi', 0, 2000000, "
               "10005000); COMMIT");
        attack("pass a withdrawal's approval off as a correction's",
               "BEGIN; SELECT simparo_pakai_persetujuan(%FRESH%, 'penarikan', '1', 2000000); "
               "SELECT simparo_kunci('nabubg.norekening', '1'); INSERT INTO nabubg (norekening, nama, tanggal, kode, "
               "jenis, debet, kredit, saldo) VALUES ('1', 'Siti', current_date, '05', 'Koreksi', 0, 2000000, 10005000); "
               "COMMIT");
        attack("approve a correction through the function",
               "SELECT simparo_setujui_koreksi((SELECT max(simparo_key) FROM nabubg), 'salah', '%SUPERVISOR%', "
               "'+07:00', 'x')");
        attack("forge a correction's approval",
               "INSERT INTO persetujuan (jenis, norekening, jumlah, kasir, penyelia, dibalik, alasan) "
               "VALUES ('koreksi', '1', 2000000, '%OWN%', '%SUPERVISOR%', 1, 'salah')");
        attack("link a correction by hand", "INSERT INTO koreksi (dibalik, nabubg_kunci, norekening, alasan, kasir, "
                                            "penyelia) VALUES (1, 2, '1', 'salah', 'kasir', 'admin')");
        attack("approve a month's take-back through the function",
               "SELECT simparo_setujui_batal_bagi_hasil(1, '%SUPERVISOR%', '+07:00', 'x')");
        attack("take a month back through the function",
               "BEGIN; SELECT simparo_pakai_persetujuan(%FRESH%, 'penarikan', '1', 2000000); "
               "SELECT simparo_bagi_hasil_batal_buka(1, %FRESH%, '2024-02-01T10:00:00'); COMMIT");
        attack("mark a run taken back", "UPDATE bagi_hasil SET batal = '2024-02-01T10:00:00'");
        attack("use an approval twice", "SELECT simparo_pakai_persetujuan(%USED%, 'penarikan', '1', 2000000)");
        attack("use one approval for two rows",
               "BEGIN; SELECT simparo_pakai_persetujuan(%FRESH%, 'penarikan', '1', 2000000); "
               "SELECT simparo_kunci('nabubg.norekening', '1'); INSERT INTO nabubg (norekening, nama, tanggal, kode, "
               "jenis, debet, kredit, saldo) VALUES ('1', 'Siti', current_date, '02', 'Penarikan', 2000000, 0, 6005000); "
               "INSERT INTO nabubg (norekening, nama, tanggal, kode, jenis, debet, kredit, saldo) VALUES ('1', 'Siti', "
               "current_date, '02', 'Penarikan', 2000000, 0, 4005000); COMMIT");
    }
    void clerkCannotActAsSupervisor()
    {
        if (!TestDatabase::onServer())
            QSKIP("a file has no roles: the program checks the supervisor's password itself");
        QFETCH(QString, sql);
        database->addOperator(QStringLiteral("kasir"), QStringLiteral("kasir99"));
        counterSetUp();
        database->addLedgerRow(QStringLiteral("1"), QStringLiteral("Siti"), QStringLiteral("2024-01-03"),
                               QStringLiteral("01"), 0, 10000000, 10005000);
        const QString clerk = roleOf(QStringLiteral("kasir"));
        const QString supervisor = roleOf(QStringLiteral("admin"));
        // Two approvals of the supervisor for the clerk: one he used already with its row, one fresh.
        const auto approve = [&] {
            const Psql made = psql(supervisor, QStringLiteral("admin123"),
                                   QStringLiteral("SELECT simparo_setujui('penarikan', '1', 2000000, '%1', '+07:00', 'x')")
                                       .arg(clerk));
            return made.exitCode == 0 ? made.out.trimmed() : QStringLiteral("gagal: ") + made.err;
        };
        const QString used = approve(), fresh = approve();
        const Psql spent = psql(clerk, QStringLiteral("kasir99"),
                                QStringLiteral("BEGIN; SELECT simparo_pakai_persetujuan(%1, 'penarikan', '1', 2000000); "
                                               "SELECT simparo_kunci('nabubg.norekening', '1'); INSERT INTO nabubg "
                                               "(norekening, nama, tanggal, kode, jenis, debet, kredit, saldo) VALUES "
                                               "('1', 'Siti', current_date, '02', 'Penarikan', 2000000, 0, 8005000); "
                                               "COMMIT")
                                    .arg(used));
        QVERIFY2(spent.exitCode == 0, qPrintable(spent.err));
        sql.replace(QLatin1String("%OWN%"), clerk)
            .replace(QLatin1String("%SUPERVISOR%"), supervisor)
            .replace(QLatin1String("%SUPERVISORS%"), database->scalar(QStringLiteral("SELECT simparo_kelompok_penyelia()")).toString())
            .replace(QLatin1String("%USED%"), used)
            .replace(QLatin1String("%FRESH%"), fresh);
        const QString state = QStringLiteral(
            "SELECT (SELECT string_agg(concat_ws(',', simparo_key, debet, saldo), ';' ORDER BY simparo_key) FROM nabubg) "
            "|| '/' || (SELECT count(*) FROM jejak) || '/' || coalesce((SELECT string_agg(kunci || '=' || nilai, ',') "
            "FROM pengaturan), '') || '/' || (SELECT string_agg(nama || '=' || jenis, ',' ORDER BY nama) FROM "
            "jenis_operator) || '/' || (SELECT string_agg(concat_ws(',', id, dipakai_txid IS NOT NULL, nabubg_kunci), ';' "
            "ORDER BY id) FROM persetujuan) || '/' || (SELECT count(*) FROM pg_auth_members m JOIN pg_roles g ON "
            "g.oid = m.roleid WHERE g.rolname = simparo_kelompok_penyelia()) || '/' || (SELECT count(*) FROM blokir) "
            "|| '/' || (SELECT count(*) FROM bagi_hasil) || '/' || (SELECT count(*) FROM koreksi)");
        const QString before = database->scalar(state).toString();
        const Psql attempt = psql(clerk, QStringLiteral("kasir99"), sql);
        QVERIFY2(attempt.exitCode == 3 && attempt.err.contains(QLatin1String("ERROR")),
                 qPrintable(QStringLiteral("exit %1: %2%3").arg(attempt.exitCode).arg(attempt.out, attempt.err)));
        QCOMPARE(database->scalar(state).toString(), before);
    }

    // The server itself refuses a posting the account's block forbids, whoever
    // writes it: a clerk's role with psql, past every screen.
    void serverRefusesBlockedPosting_data()
    {
        QTest::addColumn<QString>("block"); // the latest event of the account
        QTest::addColumn<bool>("deposit");
        QTest::addColumn<bool>("refused");
        QTest::newRow("withdrawal, withdrawals blocked") << QStringLiteral("debet") << false << true;
        QTest::newRow("deposit, withdrawals blocked") << QStringLiteral("debet") << true << false;
        QTest::newRow("deposit, everything blocked") << QStringLiteral("semua") << true << true;
        QTest::newRow("withdrawal, block lifted") << QStringLiteral("buka") << false << false;
    }
    void serverRefusesBlockedPosting()
    {
        if (!TestDatabase::onServer())
            QSKIP("a file's trigger is met by the screens' tests");
        QFETCH(QString, block);
        QFETCH(bool, deposit);
        QFETCH(bool, refused);
        database->addOperator(QStringLiteral("kasir"), QStringLiteral("kasir99"));
        counterSetUp();
        database->addLedgerRow(QStringLiteral("1"), QStringLiteral("Siti"), QStringLiteral("2024-01-03"),
                               QStringLiteral("01"), 0, 10000000, 10005000);
        const QString supervisor = roleOf(QStringLiteral("admin"));
        for (const QString &event : block == QLatin1String("buka") ? QStringList{QStringLiteral("debet"), block}
                                                                    : QStringList{block}) {
            const Psql made = psql(supervisor, QStringLiteral("admin123"),
                                   QStringLiteral("SELECT simparo_blokir('1', '%1', '%2', '', '+07:00', 'x')")
                                       .arg(event, event == QLatin1String("buka") ? QString() : QStringLiteral("Lainnya")));
            QVERIFY2(made.exitCode == 0, qPrintable(made.err));
        }
        const Psql attempt = psql(
            roleOf(QStringLiteral("kasir")), QStringLiteral("kasir99"),
            QStringLiteral("BEGIN; SELECT simparo_kunci('nabubg.norekening', '1'); INSERT INTO nabubg (norekening, nama, "
                           "tanggal, kode, jenis, debet, kredit, saldo) VALUES ('1', 'Siti', current_date, %1); COMMIT")
                .arg(deposit ? QStringLiteral("'01', 'Penyetoran', 0, 10000, 10015000")
                             : QStringLiteral("'02', 'Penarikan', 10000, 0, 9995000")));
        QCOMPARE(attempt.err.contains(QLatin1String("rekening diblokir")), refused);
        QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM nabubg")).toInt(), refused ? 2 : 3);
    }
};

QTEST_MAIN(tst_Operators)
#include "tst_operators.moc"
