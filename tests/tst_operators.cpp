// The operators: simparo-operator on either engine, and on a server the roles
// that keep a clerk with a shell (psql, his own password, the counter's .pgpass)
// from doing anything the screens do not do.
#include "data/database.h"
#include "data/operators.h"
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

private slots:
    void toolKeepsTheOperators()
    {
        const auto ok = [](const ToolRun &run) { return run.exitCode == 0 ? QString() : run.err + run.out; };
        const ToolRun added = operatorTool({QStringLiteral("add"), QStringLiteral("budi"), QStringLiteral("--password-stdin")},
                                           "budi 123\n");
        QCOMPARE(ok(added), QString());
        // Without --from or --server it names the database it changes before anything else.
        QVERIFY2(added.out.startsWith(QStringLiteral("Database: %1\n").arg(database->location())), qPrintable(added.out));
        QCOMPARE(operatorTool({QStringLiteral("list")}).out, QStringLiteral("admin\nbudi\n"));
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
        QCOMPARE(operatorTool({QStringLiteral("list")}).out, QStringLiteral("admin\n"));
        QCOMPARE(database->rows(QStringLiteral("SELECT tindakan, rincian FROM jejak WHERE tindakan LIKE 'operator %' "
                                               "ORDER BY nomor")),
                 (QStringList{QStringLiteral("operator tambah|user=admin"), QStringLiteral("operator tambah|user=budi"),
                              QStringLiteral("operator reset|user=budi\npassword=diganti"),
                              QStringLiteral("operator hapus|user=budi")}));
        // On a server his role went with him.
        if (TestDatabase::onServer())
            QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM pg_roles WHERE rolname = ?"), {budisRole})
                         .toInt(),
                     0);
    }

    void serverKnowsWhoWorks()
    {
        if (!TestDatabase::onServer())
            QSKIP("a file has no roles");
        database->addCustomer(QStringLiteral("1"), QStringLiteral("Siti"));
        database->addLedgerRow(QStringLiteral("1"), QStringLiteral("Siti"), QStringLiteral("2024-01-02"),
                               QStringLiteral("01"), 0, 5000, 5000);
        // The program's connections log in as the operator's own role, and the
        // trail names him as the server knows him.
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
    }
    void clerkWithAShellIsRefused()
    {
        if (!TestDatabase::onServer())
            QSKIP("a file's protection is its permissions");
        QFETCH(bool, asLookup);
        QFETCH(QString, sql);
        database->addOperator(QStringLiteral("kasir"), QStringLiteral("kasir99"));
        database->addCustomer(QStringLiteral("1"), QStringLiteral("Siti"));
        database->addLedgerRow(QStringLiteral("1"), QStringLiteral("Siti"), QStringLiteral("2024-01-02"),
                               QStringLiteral("01"), 0, 5000, 5000);
        // The lookup role's password, as the counter's .pgpass keeps it.
        operators::Access access;
        access.lookupPassword = QStringLiteral("loket rahasia");
        audit::Coverage covered;
        bool installed = false;
        QString error;
        QVERIFY2(db::upgradeDatabase(database->connectionText(), &access, &covered, &installed, &error),
                 qPrintable(error));
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
                                             "(SELECT string_agg(\"user\", ',' ORDER BY simparo_key) FROM tpassword)");
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
};

QTEST_MAIN(tst_Operators)
#include "tst_operators.moc"
