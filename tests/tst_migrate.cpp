// simparo-migrate run as the IT person runs it: the small old file imported and
// posted on, moved onto the tests' own server and back into a new file.
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/base/money.h"
#include "data/operators/operators.h"
#include "data/operators/supervision.h"
#include "data/base/passwords.h"
#include "data/records/recordsource.h"
#include "data/base/session.h"
#include "migrate/transfer.h"
#include "savings/passbook.h"
#include "savings/posting.h"
#include "testdb.h"
#include "testserver.h"

#include <QCryptographicHash>
#include <QDate>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <csignal>

namespace {

QString serverText()
{
    return testserver::connectionText();
}

// Every row of a table of either engine in key order, each value as text; %1 is the row key.
QStringList rowsOf(const QString &connectionText, const QString &sql)
{
    QString name, error;
    if (!db::openConnection(connectionText, &name, &error))
        return {error};
    QStringList rows;
    {
        QSqlDatabase database = db::connection(name);
        QSqlQuery query(database);
        if (!query.exec(sql.contains(QLatin1String("%1")) ? sql.arg(db::keyColumn(database)) : sql))
            rows << query.lastError().text();
        while (query.next()) {
            QStringList row;
            for (int i = 0; i < query.record().count(); ++i) {
                const QVariant value = query.value(i);
                row << (value.isNull() ? QStringLiteral("NULL")
                        : value.metaType().id() == QMetaType::Double ? QString::number(value.toDouble(), 'g', 17)
                                                                     : value.toString());
            }
            rows << row.join(u'|');
        }
    }
    db::closeConnection(name);
    return rows;
}

QStringList programTables(const QString &connectionText)
{
    return rowsOf(connectionText, QStringLiteral("SELECT relname FROM pg_class WHERE relkind IN ('r', 'v') "
                                                 "AND relnamespace = CAST(current_schema() AS regnamespace) "
                                                 "ORDER BY relname"));
}

QString fileText(const QString &file)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + file;
}

QByteArray fileHash(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) : QByteArray();
}

} // namespace

class tst_Migrate : public QObject
{
    Q_OBJECT

    QString fixture;
    std::unique_ptr<TestDatabase> database; // its HOME holds the imported file

    QString source() const { return database->file(); }
    QString beside(const QString &name) const { return database->home() + u'/' + name; }

    ToolRun migrate(const QStringList &arguments) const
    {
        return runTool(QStringLiteral("simparo-migrate"), arguments, database->home());
    }

private slots:
    void initTestCase()
    {
        fixture = qEnvironmentVariable("SIMPARO_LEGACY_FIXTURES") + QStringLiteral("/asli-small.mdb");
        // What the move needs is part of the tree or installed by make deps: without it, it fails.
        if (!QFile::exists(fixture))
            QFAIL("the old-file fixtures (tests/fixtures/legacy, SIMPARO_LEGACY_FIXTURES) are not there");
        const QString unavailable = testserver::unavailable();
        if (!unavailable.isEmpty())
            QFAIL(qPrintable(QStringLiteral("no throwaway PostgreSQL server: ") + unavailable));
        database = std::make_unique<TestDatabase>(false);
        const ToolRun import = runTool(QStringLiteral("simparo-import"), {fixture}, database->home());
        QVERIFY2(import.exitCode == 0, qPrintable(import.err));
        // An operator named a supervisor after the import: he stays one through both moves.
        const ToolRun named = runTool(QStringLiteral("simparo-operator"),
                                      {QStringLiteral("peran"), QStringLiteral("kasir"), QStringLiteral("penyelia")},
                                      database->home());
        QVERIFY2(named.exitCode == 0, qPrintable(named.out + named.err));
        // Postings after the import, each with its own trail row.
        session::setOperator(QStringLiteral("kasir"));
        RecordSource ledger;
        QVERIFY2(ledger.open(QStringLiteral("nabubg")), qPrintable(ledger.lastError()));
        const QString account = database->scalar(QStringLiteral("SELECT norekening FROM nabubg ORDER BY rowid DESC")).toString();
        for (const auto &[code, sen] : {std::pair{posting::Code::Deposit, 15000025}, std::pair{posting::Code::Withdrawal, 2000000}}) {
            QVERIFY2(ledger.addNew(posting::ledgerRow(account, QString(), QDate::currentDate(), code, Money::fromSen(sen)),
                                   posting::postingCheck(account, code, Money::fromSen(sen))),
                     qPrintable(ledger.lastError()));
        }
        // A supervisor's setting, a block and a correction's link go with the ledger.
        QCOMPARE(supervision::setWithdrawalLimit(db::connectionText(), Money::fromRupiah(500000)).message(), QString());
        QCOMPARE(supervision::setBlock(db::connectionText(), account, supervision::Block::Withdrawals,
                                       QStringLiteral("Buku hilang"), QStringLiteral("dilapor wali"))
                     .message(),
                 QString());
        database->exec(QStringLiteral("INSERT INTO koreksi (dibalik, nabubg_kunci, norekening, alasan, kasir, penyelia, "
                                      "waktu) VALUES (1, 2, ?, 'salah ketik', 'kasir', 'admin', '2026-01-05T10:00:00')"),
                       {account});
        // The account's passbook printed, and reprinted: the next print goes on where it stopped.
        passbook::PageResult printed;
        QCOMPARE(passbook::printPage(db::connectionText(), account, passbook::Layout(), false,
                                     [](const QVector<passbook::Line> &) { return Outcome::ok(); }, &printed)
                     .message(),
                 QString());
        QVERIFY(printed.printed > 0);
        QVector<QVector<passbook::Line>> pages;
        const qint64 first = database->scalar(QStringLiteral("SELECT kunci_awal FROM cetak_buku")).toLongLong();
        QCOMPARE(passbook::recordReprint(db::connectionText(), account, first, {QStringLiteral("admin"), std::nullopt},
                                         &pages)
                     .message(),
                 QString());
    }

    void init() { testserver::clearDatabase(); }

    // File -> server -> file: every table the same row for row, keys and all; the
    // trail grows by the two moves' rows; both targets verify; the operators
    // arrive without a usable password and are named for a reset.
    void roundTripKeepsEveryRow()
    {
        const ToolRun up = migrate({QStringLiteral("--to-server"), testserver::service()});
        QVERIFY2(up.exitCode == 0, qPrintable(up.out + up.err));
        // Each reset line names the new database (run on the PC with the file, a bare
        // one would reset the file's operator).
        QVERIFY2(up.out.contains(QLatin1String("satu snapshot"))
                     && up.out.contains(QStringLiteral("  simparo-operator --server %1 reset kasir\n").arg(testserver::service()))
                     && up.out.contains(QLatin1String("--new-lookup-password")),
                 qPrintable(up.out));
        const QString back = beside(QStringLiteral("kembali.sqlite"));
        const ToolRun down = migrate({QStringLiteral("--from-server"), testserver::service(), QStringLiteral("--to"), back});
        QVERIFY2(down.exitCode == 0, qPrintable(down.out + down.err));

        for (const QStringList &where : {QStringList{QStringLiteral("--server"), testserver::service()},
                                         QStringList{QStringLiteral("--from"), back}}) {
            const ToolRun verified = runTool(QStringLiteral("simparo-verify"), where, database->home());
            QVERIFY2(verified.exitCode == 0, qPrintable(verified.out + verified.err));
        }
        const QStringList tables{
            QStringLiteral("SELECT %1, * FROM daftar ORDER BY %1"),
            QStringLiteral("SELECT %1, * FROM nabubg ORDER BY %1"),
            QStringLiteral("SELECT %1, \"user\" FROM tpassword ORDER BY %1"),
            QStringLiteral("SELECT * FROM impor_disisihkan ORDER BY waktu, baris"),
            QStringLiteral("SELECT * FROM pengaturan ORDER BY kunci"),
            QStringLiteral("SELECT id, norekening, jenis, alasan, keterangan, penyelia FROM blokir ORDER BY id"),
            QStringLiteral("SELECT id, dibalik, nabubg_kunci, norekening, alasan, kasir, penyelia FROM koreksi ORDER BY id"),
            QStringLiteral("SELECT id, norekening, nobuku, jenis, kunci_awal, kunci_akhir, halaman_awal, baris_awal, "
                           "halaman_akhir, baris_akhir, penyelia, kasir FROM cetak_buku ORDER BY id"),
        };
        for (const QString &sql : tables) {
            const QStringList first = rowsOf(fileText(source()), sql);
            QVERIFY(!first.isEmpty());
            QCOMPARE(rowsOf(fileText(back), sql), first);
        }
        const QString trail = QStringLiteral("SELECT * FROM jejak ORDER BY nomor");
        const QStringList before = rowsOf(fileText(source()), trail);
        const QStringList after = rowsOf(fileText(back), trail);
        QCOMPARE(after.mid(0, before.size()), before);
        QCOMPARE(after.size(), before.size() + 2);
        for (const QString &row : after.mid(before.size()))
            QCOMPARE(row.section(u'|', 7, 7), QStringLiteral("pindah"));

        // Nobody logs in with what arrived: NULL on the server, no match in the file.
        QCOMPARE(rowsOf(serverText(), QStringLiteral("SELECT DISTINCT coalesce(password, 'NULL') FROM tpassword")),
                 QStringList{QStringLiteral("NULL")});
        // On the server each has his role, which logs in once his password is reset.
        QList<operators::Listed> moved;
        QVERIFY(operators::list(serverText(), &moved).isOk());
        QVERIFY(!moved.isEmpty());
        for (const operators::Listed &op : std::as_const(moved)) {
            QVERIFY2(!op.canLogIn, qPrintable(op.user));
            QCOMPARE(op.kind == supervision::Kind::Supervisor, op.user == QLatin1String("kasir"));
        }
        QList<operators::Listed> back2;
        QVERIFY(operators::list(fileText(back), &back2).isOk());
        QVERIFY(std::any_of(back2.cbegin(), back2.cend(), [](const operators::Listed &op) {
            return op.user == QLatin1String("kasir") && op.kind == supervision::Kind::Supervisor;
        }));
        QString error;
        QVERIFY(!operators::logIn(serverText(), QStringLiteral("kasir"), QStringLiteral("kasir99"), &error));
        const Outcome reset = operators::reset(serverText(), QStringLiteral("kasir"), QStringLiteral("kasir99"));
        QVERIFY2(reset.isOk(), qPrintable(reset.message()));
        QVERIFY2(operators::logIn(serverText(), QStringLiteral("kasir"), QStringLiteral("kasir99"), &error), qPrintable(error));
        operators::logOut(serverText());
        for (const QString &stored : rowsOf(fileText(back), QStringLiteral("SELECT password FROM tpassword"))) {
            QVERIFY(passwords::isHash(stored));
            for (const QString &typed : {QString(), stored, QStringLiteral("kasir99")})
                QVERIFY(!passwords::matches(typed, stored));
        }
        // The reset line printed for the new file runs as written, on that file.
        const QString line = QStringLiteral("simparo-operator --from %1 reset kasir").arg(back);
        QVERIFY2(down.out.contains(QStringLiteral("  ") + line + u'\n'), qPrintable(down.out));
        const QStringList words = line.split(u' ');
        const ToolRun asWritten = runTool(words.first(), words.mid(1), database->home(), {}, "baru 123\nbaru 123\n");
        QVERIFY2(asWritten.exitCode == 0, qPrintable(asWritten.out + asWritten.err));
        QVERIFY2(operators::logIn(fileText(back), QStringLiteral("kasir"), QStringLiteral("baru 123"), &error),
                 qPrintable(error));
        operators::logOut(fileText(back));
        // The block holds on the server as it did in the file.
        QCOMPARE(rowsOf(serverText(), QStringLiteral("SELECT jenis, alasan FROM blokir")),
                 QStringList{QStringLiteral("debet|Buku hilang")});
        // New keys on the server come after the moved ones.
        QCOMPARE(rowsOf(serverText(), QStringLiteral("SELECT nextval(pg_get_serial_sequence('nabubg', '%1')) > max(%1) FROM nabubg")),
                 QStringList{QStringLiteral("true")});
    }

    // The check after the move compares every table's rows and digest, not only
    // how many tables there are: a target changed after the copy (a row dropped,
    // an amount changed) fails it.
    void aTargetChangedAfterTheCopyFailsTheCheck()
    {
        transfer::Place from, to;
        from.file = source();
        to.service = testserver::service();
        const transfer::Result result = transfer::move(from, to, [](const QString &step, qint64, qint64) {
            if (step != QLatin1String("Memeriksa tujuan"))
                return;
            QString name, error;
            QVERIFY2(db::openConnection(serverText(), &name, &error), qPrintable(error));
            {
                QSqlDatabase target = db::connection(name);
                QSqlQuery query(target);
                QStringList statements{QStringLiteral("BEGIN")};
                statements << db::dialect(target).trailRuleStatements(false)
                           << QStringLiteral("UPDATE nabubg SET kredit = kredit + 1 WHERE simparo_key = 1")
                           << QStringLiteral("DELETE FROM impor_disisihkan")
                           << db::dialect(target).trailRuleStatements(true) << QStringLiteral("COMMIT");
                for (const QString &statement : std::as_const(statements))
                    QVERIFY2(query.exec(statement), qPrintable(query.lastError().text()));
            }
            db::closeConnection(name);
        });
        QVERIFY(result.moved && !result.tablesAgree() && !result.holds());
        const QStringList lines = transfer::describe(result);
        for (const QString &table : {QStringLiteral("nabubg"), QStringLiteral("impor_disisihkan")})
            QVERIFY2(!lines.filter(QRegularExpression(QStringLiteral("^  %1 .*TIDAK COCOK: di tujuan").arg(table))).isEmpty(),
                     qPrintable(lines.join(u'\n')));
    }

    void refusesATargetThatHoldsData_data()
    {
        QTest::addColumn<bool>("toServer");
        QTest::newRow("server with tables") << true;
        QTest::newRow("existing file") << false;
    }
    void refusesATargetThatHoldsData()
    {
        QFETCH(bool, toServer);
        QString error;
        QVERIFY2(db::createServerDatabase(testserver::service(), QStringLiteral("admin"), QStringLiteral("admin123"), &error),
                 qPrintable(error));
        const QString target = beside(QStringLiteral("ada.sqlite"));
        QFile::remove(target);
        QVERIFY(QFile::copy(source(), target));
        const QStringList serverRows = rowsOf(serverText(), QStringLiteral("SELECT count(*), max(%1) FROM tpassword"));
        const QByteArray fileBefore = fileHash(target);
        const ToolRun run = toServer ? migrate({QStringLiteral("--to-server"), testserver::service()})
                                     : migrate({QStringLiteral("--from-server"), testserver::service(), QStringLiteral("--to"), target});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QLatin1String("Tidak ada yang dipindahkan")), qPrintable(run.err));
        QCOMPARE(rowsOf(serverText(), QStringLiteral("SELECT count(*), max(%1) FROM tpassword")), serverRows);
        QCOMPARE(fileHash(target), fileBefore);
    }

    // A move killed half way (the ledger copied, the trail not yet) leaves the
    // target as it was: no table on the server, no file; the next move goes through.
    void killedMoveLeavesNothing_data()
    {
        QTest::addColumn<bool>("toServer");
        QTest::newRow("to server") << true;
        QTest::newRow("to file") << false;
    }
    void killedMoveLeavesNothing()
    {
        QFETCH(bool, toServer);
        const QString target = beside(QStringLiteral("baru.sqlite"));
        QFile::remove(target);
        if (!toServer) {
            const ToolRun up = migrate({QStringLiteral("--to-server"), testserver::service()});
            QVERIFY2(up.exitCode == 0, qPrintable(up.err));
        }
        const QStringList arguments = toServer
            ? QStringList{QStringLiteral("--to-server"), testserver::service()}
            : QStringList{QStringLiteral("--from-server"), testserver::service(), QStringLiteral("--to"), target};
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), database->home());
        environment.insert(QStringLiteral("SIMPARO_MIGRATE_PAUSE_AFTER"), QStringLiteral("nabubg"));
        process.setProcessEnvironment(environment);
        process.setReadChannel(QProcess::StandardError);
        process.start(tool(QStringLiteral("simparo-migrate")), arguments);
        const auto end = qScopeGuard([&process] {
            process.kill();
            process.waitForFinished();
        });
        QString said;
        while (!said.contains(QLatin1String("jeda")) && process.waitForReadyRead(20000))
            said += QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(said.contains(QLatin1String("Menyalin nabubg")) && said.contains(QLatin1String("jeda")), qPrintable(said));
        ::kill(pid_t(process.processId()), SIGKILL);
        QVERIFY(process.waitForFinished(10000));

        if (toServer)
            QCOMPARE(programTables(serverText()), QStringList());
        else
            QVERIFY(!QFile::exists(target));
        const ToolRun again = migrate(arguments);
        QVERIFY2(again.exitCode == 0, qPrintable(again.out + again.err));
    }
};

QTEST_GUILESS_MAIN(tst_Migrate)
#include "tst_migrate.moc"
