// The setting file that points a counter at a server, the start of the program
// when the setting or the server is at fault, and a server lost and back while
// the program runs.
#include "app/loginscreen.h"
#include "app/startup.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/records/dataenvironment.h"
#include "data/operators/operators.h"
#include "data/postgres/serversettings.h"
#include "data/records/recordsource.h"
#include "savings/posting.h"
#include "savings/transactionscreen.h"
#include "shell/screens.h"
#include "dialogs.h"
#include "fixture.h"
#include "testdb.h"
#include "relay.h"
#include "testserver.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QSqlQuery>
#include <optional>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

class tst_Server : public QObject
{
    Q_OBJECT

private:
    // SO_KEEPALIVE, TCP_KEEPIDLE, TCP_KEEPINTVL, TCP_KEEPCNT and TCP_USER_TIMEOUT
    // of this program's TCP connection to the port.
    static QList<int> socketOptions(quint16 port)
    {
        const QStringList descriptors = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System);
        for (const QString &descriptor : descriptors) {
            const int fd = descriptor.toInt();
            sockaddr_in peer{};
            socklen_t size = sizeof peer;
            if (::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &size) != 0 || peer.sin_family != AF_INET
                || ntohs(peer.sin_port) != port)
                continue;
            QList<int> values;
            for (const auto &[level, option] : {std::pair{SOL_SOCKET, SO_KEEPALIVE}, {IPPROTO_TCP, TCP_KEEPIDLE},
                                                {IPPROTO_TCP, TCP_KEEPINTVL}, {IPPROTO_TCP, TCP_KEEPCNT},
                                                {IPPROTO_TCP, TCP_USER_TIMEOUT}}) {
                int value = -1;
                socklen_t length = sizeof value;
                ::getsockopt(fd, level, option, &value, &length);
                values << value;
            }
            return values;
        }
        return {};
    }

    // The connection text of a service that reaches the test server through the relay.
    static QString throughRelay(const Relay &relay)
    {
        return QStringLiteral("Provider=PostgreSQL;Data Source=")
            + testserver::defineService(QStringLiteral("simparo_uji_relay"),
                                        {QStringLiteral("host=127.0.0.1"), QStringLiteral("port=%1").arg(relay.port()),
                                         QStringLiteral("sslmode=disable")});
    }

    // The relay tests' short limits (a statement 1 s, a session idle in a transaction
    // 4 s, an answer 1.5 s, a lock 0.3 s); the program's own come back when the
    // returned guard goes, also when the test fails.
    static constexpr int kAnswer = 1500;
    static constexpr int kIdleInTransaction = 4000;
    [[nodiscard]] static auto shortLimits()
    {
        const db::pool::SessionOptions saved = db::pool::sessionOptions();
        db::setServerLimitsForTesting(1000, kIdleInTransaction, kAnswer);
        db::setBusyTimeoutForTesting(300);
        return qScopeGuard([saved] {
            db::setServerLimitsForTesting(saved.statementTimeout, saved.idleInTransactionTimeout, saved.answerDeadline);
            db::setBusyTimeoutForTesting(saved.busyTimeout);
            db::releaseIdleConnections();
        });
    }

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
        QTest::newRow("password file others may read")
            << QByteArray() << "pgpass" << QStringList{"menolak login", "{home}/pgpass", "diabaikan", "0644"};
        // Refused before anything is sent: nothing listens there.
        QTest::newRow("sslmode=require over the network")
            << QByteArray("Provider=PostgreSQL;Data Source=jauh\n") << "weak"
            << QStringList{"layanan \"jauh\"", "host 192.0.2.10", "sslmode=require", "{home}/services baris 4", "verify-full"};
        QTest::newRow("a server with another CA's certificate")
            << QByteArray("Provider=PostgreSQL;Data Source=simparo_uji_tls\n") << "fake"
            << QStringList{"layanan \"simparo_uji_tls\"", "tidak dipercaya", "password tidak dikirim"};
    }
    void startWithAFaultSaysWhatAndWhere()
    {
        QFETCH(QByteArray, setting);
        QFETCH(QString, fault);
        QFETCH(QStringList, told);
        if (QStringList{"password", "pgpass", "fake"}.contains(fault) && !TestDatabase::onServer())
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
        } else if (fault == QLatin1String("pgpass")) {
            // The right password, in a file libpq passes over.
            QFile::copy(QFile::decodeName(savedPasswords), home.home() + QStringLiteral("/pgpass"));
            QFile::setPermissions(home.home() + QStringLiteral("/pgpass"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
            qputenv("PGPASSFILE", QFile::encodeName(home.home() + QStringLiteral("/pgpass")));
        } else if (fault == QLatin1String("weak")) {
            write(home.home() + QStringLiteral("/services"), "[jauh]\nhost=192.0.2.10\ndbname=x\nsslmode=require\nuser=x\n");
            qputenv("PGSERVICEFILE", QFile::encodeName(home.home() + QStringLiteral("/services")));
        } else if (fault == QLatin1String("fake")) {
            testserver::tls::serve(testserver::tls::Certificate::OtherAuthority);
        }
        DialogAnswerer dialogs;
        db::releaseIdleConnections(); // a program that starts has no connection yet
        QElapsedTimer timer;
        timer.start();
        const bool started = startProgram();
        const qint64 took = timer.elapsed();
        qputenv("PGSERVICEFILE", savedServices);
        qputenv("PGPASSFILE", savedPasswords);
        if (fault == QLatin1String("fake"))
            testserver::tls::serve(testserver::tls::Certificate::Trusted);
        QVERIFY(!started);
        QVERIFY2(took < 6000, qPrintable(QString::number(took)));
        const DialogSeen seen = dialogs.only();
        QCOMPARE(seen.icon, QMessageBox::Critical);
        if (!setting.isEmpty() && fault.isEmpty() && told.first() == QLatin1String("koneksi"))
            QVERIFY2(seen.text.contains(file), qPrintable(seen.text));
        for (QString part : told)
            QVERIFY2(seen.text.contains(part.replace(QLatin1String("{home}"), home.home())), qPrintable(seen.text));
        QVERIFY(!screens::find<LoginScreen>());
    }

    // Whether a connection's sslmode is strong enough is read as libpq reads the
    // setting: the first file with the service, the first line, then the
    // environment, then libpq's default. Over the network only verify-full passes.
    void weakTlsIsRefusedNamingWhereItComesFrom_data()
    {
        QTest::addColumn<QByteArray>("user");
        QTest::addColumn<QByteArray>("system");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QStringList>("told"); // empty: allowed
        const QByteArray remote = "[s]\nhost=192.0.2.10\n";
        QTest::newRow("require in the user's file") << remote + "sslmode=require\n" << QByteArray() << QStringList()
                                                    << QStringList{"sslmode=require", "{user} baris 3"};
        QTest::newRow("not written: libpq's prefer")
            << "# cabang\n" + remote << QByteArray() << QStringList()
            << QStringList{"sslmode=prefer", "Bagian [s] di file {user} baris 2 tidak menulis sslmode"};
        QTest::newRow("first line wins") << remote + "sslmode=verify-ca\nsslmode=verify-full\n[s]\nsslmode=verify-full\n"
                                         << QByteArray() << QStringList() << QStringList{"sslmode=verify-ca", "baris 3"};
        QTest::newRow("the system's file when the user's lacks the service")
            << QByteArray("[t]\nsslmode=verify-full\n") << remote + "\nsslmode=allow\n" << QStringList()
            << QStringList{"sslmode=allow", "{system} baris 4"};
        QTest::newRow("the user's file hides the system's") << remote + "sslmode=disable\n" << remote + "sslmode=verify-full\n"
                                                            << QStringList() << QStringList{"sslmode=disable", "{user} baris 3"};
        QTest::newRow("PGSSLMODE") << remote << QByteArray() << QStringList{"PGSSLMODE=verify-ca"}
                                   << QStringList{"sslmode=verify-ca", "variabel lingkungan PGSSLMODE"};
        QTest::newRow("the file before PGSSLMODE") << remote + "sslmode=require\n" << QByteArray()
                                                   << QStringList{"PGSSLMODE=verify-full"} << QStringList{"{user} baris 3"};
        QTest::newRow("PGREQUIRESSL") << remote << QByteArray() << QStringList{"PGREQUIRESSL=1"}
                                      << QStringList{"sslmode=require", "variabel lingkungan PGREQUIRESSL"};
        QTest::newRow("host from PGHOST") << QByteArray("[s]\nsslmode=require\n") << QByteArray()
                                          << QStringList{"PGHOST=kantor.example"} << QStringList{"host kantor.example", "baris 2"};
        QTest::newRow("an address behind the name localhost")
            << QByteArray("[s]\nhost=localhost\nhostaddr=192.0.2.10\n") << QByteArray() << QStringList()
            << QStringList{"host localhost (192.0.2.10)", "sslmode=prefer"};
        QTest::newRow("the second host of a list") << QByteArray("[s]\nhost=/run/postgresql,192.0.2.10\nsslmode=require\n")
                                                   << QByteArray() << QStringList() << QStringList{"host 192.0.2.10"};
        QTest::newRow("verify-full") << remote + "sslmode=verify-full\n" << QByteArray() << QStringList() << QStringList();
        QTest::newRow("PGSSLMODE=verify-full") << remote << QByteArray() << QStringList{"PGSSLMODE=verify-full"}
                                               << QStringList();
        QTest::newRow("a local socket") << QByteArray("[s]\nhost=/run/postgresql\nsslmode=disable\n") << QByteArray()
                                        << QStringList() << QStringList();
        QTest::newRow("no host: the default socket") << QByteArray("[s]\nsslmode=disable\n") << QByteArray() << QStringList()
                                                     << QStringList();
        QTest::newRow("localhost") << QByteArray("[s]\nhost=localhost\n") << QByteArray() << QStringList() << QStringList();
        QTest::newRow("127.0.0.1") << QByteArray("[s]\nhostaddr=127.0.0.1\nsslmode=disable\n") << QByteArray()
                                   << QStringList() << QStringList();
    }
    void weakTlsIsRefusedNamingWhereItComesFrom()
    {
        QFETCH(QByteArray, user);
        QFETCH(QByteArray, system);
        QFETCH(QStringList, environment);
        QFETCH(QStringList, told);
        if (TestDatabase::onServer())
            QSKIP("no server needed: once is enough");
        QTemporaryDir folder;
        const QString userFile = folder.path() + QStringLiteral("/pg_service.user");
        const QString systemFile = folder.path() + QStringLiteral("/pg_service.conf");
        write(userFile, user);
        write(systemFile, system);
        const char *const variables[] = {"PGSERVICEFILE", "PGSYSCONFDIR", "PGSSLMODE", "PGREQUIRESSL", "PGHOST", "PGHOSTADDR"};
        QList<std::optional<QByteArray>> saved;
        for (const char *name : variables) {
            saved << (qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
            qunsetenv(name);
        }
        qputenv("PGSERVICEFILE", QFile::encodeName(userFile));
        qputenv("PGSYSCONFDIR", QFile::encodeName(folder.path()));
        for (const QString &setting : environment)
            qputenv(setting.section(u'=', 0, 0).toLatin1(), setting.section(u'=', 1).toUtf8());
        const std::optional<QString> refused =
            db::serversettings::weakTls(QStringLiteral("s"), db::serversettings::read(QStringLiteral("service=s")));
        for (int i = 0; i < saved.size(); ++i) {
            if (saved.at(i))
                qputenv(variables[i], *saved.at(i));
            else
                qunsetenv(variables[i]);
        }
        QCOMPARE(refused.has_value(), !told.isEmpty());
        for (QString part : told) {
            part.replace(QLatin1String("{user}"), userFile).replace(QLatin1String("{system}"), systemFile);
            QVERIFY2(refused->contains(part), qPrintable(*refused));
        }
    }

    // A server whose certificate the tests' CA did not sign for the host asked
    // for, or that has no TLS, is refused with its cause before the password goes:
    // the server never logs a login.
    void tlsServerIsCheckedBeforeThePasswordGoes_data()
    {
        using Certificate = testserver::tls::Certificate;
        QTest::addColumn<Certificate>("certificate");
        QTest::addColumn<QStringList>("settings"); // instead of the service's own
        QTest::addColumn<QStringList>("told");     // empty: connects
        QTest::newRow("the branch's CA") << Certificate::Trusted << QStringList() << QStringList();
        QTest::newRow("another CA") << Certificate::OtherAuthority << QStringList()
                                    << QStringList{"tidak dipercaya", "{ca}", "password tidak dikirim"};
        QTest::newRow("another host name")
            << Certificate::OtherName << QStringList()
            << QStringList{"bukan untuk nama host", "untuk \"kantor.example\", sambungan ke \"localhost\""};
        QTest::newRow("TLS off on the server") << Certificate::None << QStringList()
                                               << QStringList{"tidak memakai SSL", "ssl = on"};
        QTest::newRow("the CA's file missing") << Certificate::Trusted << QStringList{"sslrootcert=/tidak/ada/ca.crt"}
                                               << QStringList{"/tidak/ada/ca.crt tidak ada"};
        QTest::newRow("by its address, which the certificate names")
            << Certificate::Trusted << QStringList{"host=127.0.0.1"} << QStringList();
    }
    void tlsServerIsCheckedBeforeThePasswordGoes()
    {
        QFETCH(testserver::tls::Certificate, certificate);
        QFETCH(QStringList, settings);
        QFETCH(QStringList, told);
        if (!TestDatabase::onServer())
            QSKIP("needs the test servers");
        testserver::tls::serve(certificate);
        QStringList service = testserver::tls::serviceSettings();
        for (const QString &setting : settings) {
            service.erase(std::remove_if(service.begin(), service.end(), [&](const QString &own) {
                return own.section(u'=', 0, 0) == setting.section(u'=', 0, 0);
            }), service.end());
            service << setting;
        }
        const QString text = QStringLiteral("Provider=PostgreSQL;Data Source=")
            + testserver::defineService(QStringLiteral("simparo_uji_tls_lain"), service);
        const qsizetype logged = testserver::tls::log().size();
        db::releaseIdleConnections();
        QString name;
        QString error;
        const bool opened = db::openConnection(text, &name, &error);
        db::closeConnection(name);
        db::releaseIdleConnections();
        const QString log = testserver::tls::log().mid(logged);
        testserver::tls::serve(testserver::tls::Certificate::Trusted);
        if (told.isEmpty()) {
            QVERIFY2(opened, qPrintable(error));
            QVERIFY2(log.contains(QLatin1String("connection authorized")), qPrintable(log));
            return;
        }
        QVERIFY(!opened);
        for (QString part : told)
            QVERIFY2(error.contains(part.replace(QLatin1String("{ca}"), testserver::tls::authorityFile())), qPrintable(error));
        QVERIFY2(!log.contains(QLatin1String("connection authorized")) && !log.contains(QLatin1String("authenticat")),
                 qPrintable(log));
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

    // A counter whose link goes silent in the middle of a posting hears so within
    // the answer deadline, and is never told that what may not be stored was
    // saved. A session left inside its transaction is ended by the server after
    // its limit, which frees the account for the other counters, and its posting
    // is not stored; one whose COMMIT reached the server frees it at once.
    void silentLinkIsToldAndItsLockFreed_data()
    {
        QTest::addColumn<Relay::Cut>("cut");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("silent before COMMIT") << Relay::Cut::Silent << QStringList{"5000|5000", "2000|7000"};
        QTest::newRow("the answer to COMMIT lost")
            << Relay::Cut::Answers << QStringList{"5000|5000", "1000|6000", "2000|8000"};
    }
    void silentLinkIsToldAndItsLockFreed()
    {
        QFETCH(Relay::Cut, cut);
        QFETCH(QStringList, stored);
        if (!TestDatabase::onServer())
            QSKIP("a relay in front of the test server");
        TestDatabase database;
        database.addCustomer(QStringLiteral("0101"), QStringLiteral("Ani"));
        database.addLedgerRow(QStringLiteral("0101"), QStringLiteral("Ani"), QStringLiteral("2024-01-02"),
                              QStringLiteral("01"), 0, 5000, 5000);
        Relay relay(testserver::socketFile());
        const QString relayed = throughRelay(relay);
        {
            // A session as the program starts it: the server's limits, and on its
            // socket libpq's keepalives and limit on unacknowledged data.
            QString name;
            QString error;
            QVERIFY2(db::openConnection(relayed, &name, &error), qPrintable(error));
            QSqlQuery query(db::connection(name));
            QVERIFY(query.exec(QStringLiteral("SELECT current_setting('statement_timeout') || ' ' || "
                                              "current_setting('idle_in_transaction_session_timeout') || ' ' || "
                                              "current_setting('lock_timeout')")));
            QVERIFY(query.next());
            QCOMPARE(query.value(0).toString(), QStringLiteral("10s 15s 5s"));
            query.finish();
            QCOMPARE(socketOptions(relay.port()), (QList<int>{1, 5, 2, 3, 10000}));
            db::closeConnection(name);
            db::releaseIdleConnections();
        }
        const auto restore = shortLimits();
        const auto post = [](RecordSource &ledger, double amount) {
            return ledger.addNew({QStringLiteral("0101"), QString(), QDate::currentDate(), QStringLiteral("01"),
                                  QStringLiteral("Penyetoran"), 0.0, amount, QVariant()},
                                 posting::postingCheck(QStringLiteral("0101"), posting::Code::Deposit,
                                                       Money::fromRupiah(qint64(amount))));
        };
        {
            RecordSource counter;
            RecordSource other;
            QVERIFY(counter.open(QStringLiteral("nabubg"), relayed));
            QVERIFY(other.open(QStringLiteral("nabubg"), testserver::connectionText()));

            relay.cutWhenClientSends(Relay::statement("COMMIT"), cut);
            QElapsedTimer timer;
            timer.start();
            QVERIFY(!post(counter, 1000));
            const qint64 told = timer.elapsed();
            QVERIFY(relay.cut());
            QVERIFY2(told < kAnswer + 2500, qPrintable(QString::number(told)));
            QVERIFY2(counter.lastError().contains(QLatin1String("tidak menjawab dalam 2 detik")), qPrintable(counter.lastError()));

            if (cut == Relay::Cut::Silent) {
                // Held until the server ends the silent session.
                QVERIFY(!post(other, 2000));
                QVERIFY2(other.lastError().contains(QLatin1String("dikunci")), qPrintable(other.lastError()));
            }
            while (!post(other, 2000))
                QVERIFY2(timer.elapsed() < kIdleInTransaction + 3000, qPrintable(other.lastError()));
        }
        QCOMPARE(database.rows(QStringLiteral("SELECT kredit, saldo FROM nabubg WHERE norekening = '0101' ORDER BY rowid")),
                 stored);
    }

    // A tool's session has none of the limits of a clerk's screen: its one long
    // transaction may wait on its own work (the importer on its reader).
    void toolSessionsHaveNoLimits()
    {
        if (!TestDatabase::onServer())
            QSKIP("the server's session limits");
        TestDatabase database;
        const auto restore = shortLimits();
        db::setToolSession();
        QString name, error;
        QVERIFY2(db::openConnection(database.connectionText(), &name, &error), qPrintable(error));
        {
            QSqlDatabase tool = db::connection(name);
            QSqlQuery query(tool);
            QVERIFY(query.exec(QStringLiteral("BEGIN")));
            // Idle inside the transaction, then a statement without an answer, each past the screens' limits.
            QThread::msleep(kIdleInTransaction + 500);
            QVERIFY2(query.exec(QStringLiteral("SELECT current_setting('statement_timeout') || ' ' || "
                                               "current_setting('idle_in_transaction_session_timeout'), pg_sleep(2)")),
                     qPrintable(query.lastError().text()));
            QVERIFY(query.next());
            QCOMPARE(query.value(0).toString(), QStringLiteral("0 0"));
            query.finish();
            QVERIFY(query.exec(QStringLiteral("COMMIT")));
        }
        db::closeConnection(name);
    }

    // A "SAVE" whose COMMIT is cut off is looked up again by its token, and the
    // clerk hears the true outcome: stored (the screen goes on as after a SAVE),
    // not stored (the typing stays), or, only while the server cannot be reached,
    // unknown (the typing stays). Saving the same typing again stores it once.
    void aSaveCutOffIsToldItsTrueOutcome_data()
    {
        QTest::addColumn<Relay::Cut>("cut");
        QTest::addColumn<QString>("told");
        QTest::addColumn<bool>("storedFirst"); // the first SAVE's posting got in
        QTest::newRow("the answer to COMMIT lost") << Relay::Cut::Answers << "SUDAH TERSIMPAN" << true;
        QTest::newRow("COMMIT lost on the way") << Relay::Cut::Link << "TIDAK tersimpan" << false;
        QTest::newRow("stored, then the server out of reach")
            << Relay::Cut::AnswersThenSilent << "Belum bisa dipastikan" << true;
    }
    void aSaveCutOffIsToldItsTrueOutcome()
    {
        QFETCH(Relay::Cut, cut);
        QFETCH(QString, told);
        QFETCH(bool, storedFirst);
        if (!TestDatabase::onServer())
            QSKIP("a relay in front of the test server");
        TestDatabase database;
        database.addCustomer(QStringLiteral("0101"), QStringLiteral("Ani"));
        database.addLedgerRow(QStringLiteral("0101"), QStringLiteral("Ani"), QStringLiteral("2024-01-02"),
                              QStringLiteral("01"), 0, 5000, 5000);
        Relay relay(testserver::socketFile());
        write(database.home() + QStringLiteral("/.config/simparo/koneksi"), throughRelay(relay).toUtf8() + '\n');
        const auto restore = shortLimits();
        const auto closing = qScopeGuard([] { closeAllScreens(); });
        DialogAnswerer dialogs;
        QWidget *screen = ScreenDriver::shown(screens::show<TransactionScreen>());
        ScreenDriver::type(screen, "txtREKENING", QStringLiteral("0101"));
        ScreenDriver::enter(screen, "txtREKENING");
        ScreenDriver::choose(screen, "cbo_TRANSAKSI", 0);
        ScreenDriver::type(screen, "txtKREDIT", QStringLiteral("1000"));
        ScreenDriver::enter(screen, "txtKREDIT");
        const QString ledger = QStringLiteral("SELECT kredit, saldo FROM nabubg ORDER BY rowid");
        const QStringList once{"5000|5000", "1000|6000"};

        relay.cutWhenClientSends(Relay::statement("COMMIT"), cut);
        dialogs.clear();
        ScreenDriver::click(screen, "cmdSIMPAN");
        QVERIFY(relay.cut());
        const DialogSeen first = dialogs.only();
        QVERIFY2(first.text.contains(told), qPrintable(first.text));
        QCOMPARE(database.rows(ledger), storedFirst ? once : QStringList{"5000|5000"});
        if (cut == Relay::Cut::Answers) {
            // A notice as the program's other notices are.
            QCOMPARE(first.icon, QMessageBox::Information);
            QCOMPARE(first.title, QStringLiteral("SIMPARO"));
            QCOMPARE(ScreenDriver::field(screen, "txtREKENING")->text(), QString());
        } else {
            QCOMPARE(first.icon, QMessageBox::Critical);
            QCOMPARE(ScreenDriver::field(screen, "txtREKENING")->text(), QStringLiteral("0101"));
            QCOMPARE(ScreenDriver::field(screen, "txtKREDIT")->text(), QStringLiteral("1000"));
            relay.resume();
            dialogs.clear();
            ScreenDriver::click(screen, "cmdSIMPAN");
            // Stored now, or found stored by the first SAVE: either way once.
            QCOMPARE(dialogs.count(), storedFirst ? 1 : 0);
            if (storedFirst) {
                QVERIFY2(dialogs.seen.at(0).text.contains(QLatin1String("tidak disimpan dua kali")),
                         qPrintable(dialogs.seen.at(0).text));
                EXPECT_MESSAGE(dialogs.seen.at(0), dialogs.seen.at(0).text, "SIMPARO", QMessageBox::Information);
            }
            QCOMPARE(ScreenDriver::field(screen, "txtREKENING")->text(), QString());
        }
        QCOMPARE(database.rows(ledger), once);
        QCOMPARE(database.scalar(QStringLiteral("SELECT count(*) FROM jejak WHERE token IS NOT NULL")).toInt(), 1);
    }

    // A write the program tells stored is on the server's disk: the server stopped
    // at once right after it (as by a power cut, with its WAL writer flushing only
    // every 10 s) has it when it starts again. Each kind of write is the last
    // before the stop, made by an operator logged in as the counters log in.
    void acknowledgedWriteSurvivesACrash_data()
    {
        QTest::addColumn<QString>("action");
        for (const char *action : {"setoran", "penarikan", "nasabah baru", "nasabah ubah", "nasabah hapus",
                                   "ganti password", "masuk", "masuk gagal"})
            QTest::newRow(action) << QString::fromLatin1(action);
    }
    void acknowledgedWriteSurvivesACrash()
    {
        QFETCH(QString, action);
        if (!TestDatabase::onServer())
            QSKIP("a server of its own");
        TestDatabase database;
        database.addCustomer(QStringLiteral("0101"), QStringLiteral("Ani"));
        database.addCustomer(QStringLiteral("0303"), QStringLiteral("Budi"));
        database.addLedgerRow(QStringLiteral("0101"), QStringLiteral("Ani"), QStringLiteral("2024-01-02"),
                              QStringLiteral("01"), 0, 5000, 5000);
        const QString text = database.connectionText();
        const auto loggedOut = qScopeGuard([text] { operators::logOut(text); });
        QString error;
        QVERIFY2(operators::logIn(text, QStringLiteral("admin"), QStringLiteral("admin123"), &error), qPrintable(error));
        const auto post = [](posting::Code code) {
            RecordSource ledger;
            QVERIFY(ledger.open(QStringLiteral("nabubg")));
            const bool deposit = code == posting::Code::Deposit;
            QVERIFY2(ledger.addNew({QStringLiteral("0101"), QString(), QDate::currentDate(), posting::codeText(code),
                                    posting::kind(code), deposit ? 0.0 : 1000.0, deposit ? 1000.0 : 0.0, QVariant()},
                                   posting::postingCheck(QStringLiteral("0101"), code, Money::fromRupiah(1000))),
                     qPrintable(ledger.lastError()));
        };
        const QString rowsOfTheAction = QStringLiteral("SELECT count(*) FROM jejak WHERE tindakan = ?");
        const int before = database.scalar(rowsOfTheAction, {action}).toInt();
        RecordSource customers;
        QVERIFY(customers.open(QStringLiteral("daftar")));
        std::unique_ptr<operators::Directory> directory = operators::directory(nullptr, QStringLiteral("tpassword"), text);
        bool found = false;
        QVERIFY(directory->find(QStringLiteral("admin"), &found).isOk() && found);
        if (action == QLatin1String("setoran")) {
            post(posting::Code::Deposit);
        } else if (action == QLatin1String("penarikan")) {
            post(posting::Code::Withdrawal);
        } else if (action == QLatin1String("nasabah baru")) {
            QVERIFY2(customers.addNew({QStringLiteral("0202"), QStringLiteral("Citra"), QString(), QString(), QString(),
                                       QString(), QString(), QStringLiteral("SD"), QString()}),
                     qPrintable(customers.lastError()));
        } else if (action == QLatin1String("nasabah ubah")) {
            QVERIFY(customers.find(QStringLiteral("norekening='0101'")));
            QVERIFY2(customers.update({{1, QStringLiteral("Ani Baru")}}), qPrintable(customers.lastError()));
        } else if (action == QLatin1String("nasabah hapus")) {
            QVERIFY(customers.find(QStringLiteral("norekening='0303'")));
            QVERIFY2(customers.deleteCurrent(), qPrintable(customers.lastError()));
        } else if (action == QLatin1String("ganti password")) {
            QCOMPARE(directory->check(QStringLiteral("admin123"), &error), operators::Verdict::Right);
            const Outcome changed = directory->change(QStringLiteral("admin"), QStringLiteral("baru456"));
            QVERIFY2(changed.isOk(), qPrintable(changed.message()));
        } else if (action == QLatin1String("masuk")) {
            QCOMPARE(directory->check(QStringLiteral("admin123"), &error), operators::Verdict::Right);
            const Outcome recorded = directory->recordLogin();
            QVERIFY2(recorded.isOk(), qPrintable(recorded.message()));
        } else {
            QCOMPARE(directory->check(QStringLiteral("salah"), &error), operators::Verdict::Wrong);
            const Outcome recorded = directory->recordFailure(operators::Directory::Failure::WrongPassword);
            QVERIFY2(recorded.isOk(), qPrintable(recorded.message()));
        }

        testserver::crash();
        QCOMPARE(database.scalar(rowsOfTheAction, {action}).toInt(), before + 1);
        const QString ledger = QStringLiteral("SELECT count(*) FROM nabubg");
        QCOMPARE(database.scalar(ledger).toInt(), action == QLatin1String("setoran") || action == QLatin1String("penarikan") ? 2 : 1);
        QCOMPARE(database.scalar(QStringLiteral("SELECT string_agg(nama, ',' ORDER BY simparo_key) FROM daftar")).toString(),
                 action == QLatin1String("nasabah baru")    ? QStringLiteral("Ani,Budi,Citra")
                 : action == QLatin1String("nasabah ubah")  ? QStringLiteral("Ani Baru,Budi")
                 : action == QLatin1String("nasabah hapus") ? QStringLiteral("Ani")
                                                            : QStringLiteral("Ani,Budi"));
    }

    // A server that refuses a new session because a limit of sessions is reached
    // (the server's, or the role's) says so, not that it cannot be reached.
    void tooManySessionsAreToldAsSuch()
    {
        if (!TestDatabase::onServer())
            QSKIP("a server of its own");
        TestDatabase database;
        db::releaseIdleConnections();
        database.exec(QStringLiteral("ALTER ROLE CURRENT_USER CONNECTION LIMIT 1")); // the test's own connection
        const auto unlimited = qScopeGuard([&] { database.exec(QStringLiteral("ALTER ROLE CURRENT_USER CONNECTION LIMIT -1")); });
        QString name, error;
        QVERIFY(!db::openConnection(database.connectionText(), &name, &error));
        QVERIFY2(error.contains(QLatin1String("batas jumlah sambungan")), qPrintable(error));
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
