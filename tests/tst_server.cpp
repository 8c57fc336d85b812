// The setting file that points a counter at a server, the start of the program
// when the setting or the server is at fault, and a server lost and back while
// the program runs.
#include "app/loginscreen.h"
#include "app/startup.h"
#include "data/database.h"
#include "data/dataenvironment.h"
#include "data/recordsource.h"
#include "savings/posting.h"
#include "shell/screens.h"
#include "dialogs.h"
#include "testdb.h"
#include "testserver.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

class tst_Server : public QObject
{
    Q_OBJECT

private:
    static void write(const QString &path, const QByteArray &text)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

private slots:
    void settingFileChoosesTheConnection()
    {
        TestDatabase home(false);
        const QString own = home.home() + QStringLiteral("/.config/simparo/koneksi");
        const QString site = home.home() + QStringLiteral("/etc/simparo/koneksi");
        db::setSiteSettingFileForTesting(site);
        QFile::remove(own);
        QCOMPARE(db::settingFile(), QString());
        QCOMPARE(db::connectionText(), QString::fromLatin1(db::kConnectionText));
        write(site, "# kantor cabang\nProvider=PostgreSQL;Data Source=cabang\n");
        QCOMPARE(db::settingFile(), site);
        QCOMPARE(db::connectionText(), QStringLiteral("Provider=PostgreSQL;Data Source=cabang"));
        QCOMPARE(db::environmentConnectionText(), db::connectionText());
        QCOMPARE(db::describedLocation(db::connectionText()), QStringLiteral("server PostgreSQL (layanan \"cabang\")"));
        // The user's own file comes first.
        write(own, "Provider=PostgreSQL;Data Source=loket3\n");
        QCOMPARE(db::settingFile(), own);
        QCOMPARE(db::connectionValue(db::connectionText(), QStringLiteral("data source")), QStringLiteral("loket3"));
    }

    // Each fault ends the start with a message that names what and where, within seconds.
    void startWithAFaultSaysWhatAndWhere_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("told");
        QTest::newRow("two connections") << QByteArray("Provider=PostgreSQL;Data Source=a\nProvider=PostgreSQL;Data Source=b\n")
                                         << "" << QStringList{"koneksi", "lebih dari satu"};
        QTest::newRow("unknown provider") << QByteArray("Provider=MySQL;Data Source=a\n") << ""
                                          << QStringList{"koneksi", "Provider \"MySQL\""};
        QTest::newRow("a password in it") << QByteArray("Provider=PostgreSQL;Data Source=a;Password=rahasia\n") << ""
                                          << QStringList{"koneksi", ".pgpass"};
        QTest::newRow("unknown service") << QByteArray("Provider=PostgreSQL;Data Source=tidakada\n") << ""
                                         << QStringList{"layanan \"tidakada\"", "pg_service.conf"};
        QTest::newRow("server unreachable") << QByteArray("Provider=PostgreSQL;Data Source=mati\n") << "unreachable"
                                            << QStringList{"layanan \"mati\"", "tidak bisa dihubungi"};
        QTest::newRow("login refused") << QByteArray() << "password" << QStringList{"menolak login", "pgpass"};
    }
    void startWithAFaultSaysWhatAndWhere()
    {
        QFETCH(QByteArray, setting);
        QFETCH(QString, fault);
        QFETCH(QStringList, told);
        if (fault == QLatin1String("password") && !TestDatabase::onServer())
            QSKIP("needs the test server");
        TestDatabase home;
        const QString file = home.home() + QStringLiteral("/.config/simparo/koneksi");
        if (!setting.isEmpty())
            write(file, setting);
        const QByteArray savedServices = qgetenv("PGSERVICEFILE");
        const QByteArray savedPasswords = qgetenv("PGPASSFILE");
        if (fault == QLatin1String("unreachable")) {
            // A service whose socket folder has no server behind it.
            write(home.home() + QStringLiteral("/services"),
                  QStringLiteral("[mati]\nhost=%1\ndbname=x\nuser=x\n").arg(home.home()).toUtf8());
            qputenv("PGSERVICEFILE", QFile::encodeName(home.home() + QStringLiteral("/services")));
        } else if (fault == QLatin1String("password")) {
            write(home.home() + QStringLiteral("/pgpass"), "*:*:*:*:salah\n");
            QFile::setPermissions(home.home() + QStringLiteral("/pgpass"), QFile::ReadOwner | QFile::WriteOwner);
            qputenv("PGPASSFILE", QFile::encodeName(home.home() + QStringLiteral("/pgpass")));
        }
        DialogAnswerer dialogs;
        db::releaseIdleConnections(); // a program that starts has no connection yet
        QElapsedTimer timer;
        timer.start();
        const bool started = startProgram();
        const qint64 took = timer.elapsed();
        qputenv("PGSERVICEFILE", savedServices);
        qputenv("PGPASSFILE", savedPasswords);
        QVERIFY(!started);
        QVERIFY2(took < 6000, qPrintable(QString::number(took)));
        const DialogSeen seen = dialogs.only();
        QCOMPARE(seen.icon, QMessageBox::Critical);
        if (!setting.isEmpty() && fault.isEmpty() && told.first() == QLatin1String("koneksi"))
            QVERIFY2(seen.text.contains(file), qPrintable(seen.text));
        for (const QString &part : told)
            QVERIFY2(seen.text.contains(part), qPrintable(seen.text));
        QVERIFY(!screens::find<LoginScreen>());
    }

    // The server goes down while a counter works: the next action is told so and
    // writes nothing; once the server is back the counter works again by itself.
    void serverLostAndBack()
    {
        if (!TestDatabase::onServer())
            QSKIP("a server of its own");
        TestDatabase database;
        database.addCustomer(QStringLiteral("0101"), QStringLiteral("Ani"));
        database.addLedgerRow(QStringLiteral("0101"), QStringLiteral("Ani"), QStringLiteral("2024-01-02"),
                              QStringLiteral("01"), 0, 5000, 5000);
        RecordSource ledger;
        QVERIFY(ledger.open(QStringLiteral("nabubg")));
        dataenv::CommandSource *report = dataenv::DMN()->command(QStringLiteral("Command2"));
        dataenv::ReportRows rows;
        QVERIFY(report->read(&rows));
        const auto post = [&] {
            return ledger.addNew({QStringLiteral("0101"), QString(), QDate::currentDate(), QStringLiteral("01"),
                                  QStringLiteral("Penyetoran"), 0.0, 1000.0, QVariant()},
                                 posting::postingCheck(QStringLiteral("0101"), posting::Code::Deposit,
                                                       Money::fromRupiah(1000)));
        };

        testserver::stop();
        for (int attempt = 0; attempt < 2; ++attempt) {
            // Lost at the first action, unreachable at the next: both name the server.
            QVERIFY(!post());
            QVERIFY2(ledger.lastError().contains(database.location()), qPrintable(ledger.lastError()));
            QVERIFY(ledger.lastWrite().isFailed());
            QVERIFY(!report->read(&rows));
            QVERIFY2(report->lastError().contains(database.location()), qPrintable(report->lastError()));
        }
        QVERIFY(!ledger.setFilter(QStringLiteral("NOREKENING='0101'")));
        testserver::start();

        QVERIFY2(post(), qPrintable(ledger.lastError()));
        QVERIFY2(ledger.setFilter(QStringLiteral("NOREKENING='0101'")), qPrintable(ledger.lastError()));
        QCOMPARE(ledger.recordCount(), 2);
        QVERIFY(ledger.moveLast());
        QCOMPARE(ledger.value(7).toDouble(), 6000.0);
        QVERIFY2(report->read(&rows), qPrintable(report->lastError()));
        QCOMPARE(rows.rows.size(), 2);
        QCOMPARE(database.scalar(QStringLiteral("SELECT count(*) FROM nabubg")).toInt(), 2);
        dataenv::closeEnvironments();
    }

    // A record source that opens while another counter's insert is in flight does
    // not show that row later, when it commits.
    void rowInFlightAtOpeningStaysOutOfTheSnapshot()
    {
        if (!TestDatabase::onServer())
            QSKIP("on SQLite one writer at a time takes the next key");
        TestDatabase database;
        database.addCustomer(QStringLiteral("0001"), QStringLiteral("Ani"));
        database.exec(QStringLiteral("BEGIN; INSERT INTO daftar (norekening, nama) VALUES ('0002', 'Budi')"));
        RecordSource other;
        QVERIFY(other.open(QStringLiteral("daftar")));
        QVERIFY(other.addNew({QStringLiteral("0003"), QStringLiteral("Citra")})); // a later key, committed first
        RecordSource source;
        QVERIFY(source.open(QStringLiteral("daftar")));
        database.exec(QStringLiteral("COMMIT"));
        QCOMPARE(source.recordCount(), 2);
        QStringList numbers;
        for (int i = 0; i < source.recordCount(); ++i)
            numbers << source.valueAt(i, 0).toString();
        QCOMPARE(numbers, QStringList({"0001", "0003"}));
        QVERIFY(!source.find(QStringLiteral("norekening='0002'")));
        QVERIFY(source.setFilter(QStringLiteral("nama='Budi'")));
        QCOMPARE(source.recordCount(), 0);
        RecordSource later;
        QVERIFY(later.open(QStringLiteral("daftar")));
        QCOMPARE(later.recordCount(), 3);
    }
};

QTEST_MAIN(tst_Server)
#include "tst_server.moc"
