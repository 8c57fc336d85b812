// simparo-backup run as the operator runs it: a copy taken while posting goes on,
// the balance chain check, the dated names, --keep, and the refusals.
#include "data/trail/audit.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/trail/ledgerchain.h"
#include "testdb.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTest>
#include <QThread>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

// Exit code and everything printed. Held to the folders' permission bits, a root
// user is refused a read-only folder like any operator.
QPair<int, QString> backup(const QString &home, const QStringList &arguments, bool heldToPermissions = false,
                           const QString &name = QStringLiteral("simparo-backup"))
{
    QStringList command = {tool(name)};
    if (heldToPermissions && geteuid() == 0)
        command = QStringList{"setpriv", "--bounding-set", "-dac_override,-dac_read_search", "--"} + command;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString program = command.takeFirst();
    process.start(program, command + arguments);
    process.waitForFinished(120000);
    return {process.exitCode(), QString::fromUtf8(process.readAll())};
}

QStringList copiesIn(const QString &folder)
{
    static const QRegularExpression pattern(QStringLiteral("^asli-\\d{4}-\\d{2}-\\d{2}_\\d{6}\\.sqlite$"));
    return QDir(folder).entryList(QDir::Files | QDir::NoSymLinks).filter(pattern);
}

int modeOf(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

QStringList everythingIn(const QString &folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden); }

const QString kLedger = QStringLiteral("SELECT rowid, norekening, debet, kredit, saldo FROM nabubg ORDER BY rowid");

// Posts one committed deposit after another on a connection of its own, each with
// its row of the audit trail, as the transaction screen does, until it is destroyed.
struct Poster
{
    QAtomicInt stop, posted, failed;
    std::unique_ptr<QThread> thread;

    explicit Poster(const QString &file)
    {
        thread.reset(QThread::create([this, file] {
            {
                QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("poster"));
                database.setDatabaseName(file);
                database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
                bool ok = database.open();
                QSqlQuery query(database), transaction(database);
                for (qint64 i = 0, saldo[10] = {}; ok && !stop.loadRelaxed(); ++i, posted.ref()) {
                    const qint64 amount = 100000 + (i * 7919) % 250000; // sen
                    saldo[i % 10] += amount;
                    audit::Entry entry;
                    entry.tindakan = QLatin1String(audit::action::kDeposit);
                    entry.tabel = QStringLiteral("nabubg");
                    entry.norekening = QStringLiteral("Q%1").arg(i % 10);
                    query.prepare(QStringLiteral("INSERT INTO nabubg VALUES "
                                                 "(?, 'Nasabah', ?, '01', 'Penyetoran', 0, ?, ?) RETURNING rowid"));
                    query.addBindValue(entry.norekening);
                    query.addBindValue(QDate::currentDate().toString(Qt::ISODate));
                    query.addBindValue(amount / 100.0);
                    query.addBindValue(saldo[i % 10] / 100.0);
                    ok = transaction.exec(QStringLiteral("BEGIN IMMEDIATE")) && query.exec() && query.next();
                    if (ok) {
                        entry.kunci = query.value(0).toLongLong();
                        query.finish();
                        ok = audit::append(database, entry).isOk() && transaction.exec(QStringLiteral("COMMIT"));
                    }
                }
                failed.storeRelaxed(ok ? 0 : 1);
            }
            QSqlDatabase::removeDatabase(QStringLiteral("poster"));
        }));
        thread->start();
    }
    ~Poster()
    {
        stop.storeRelaxed(1);
        thread->wait();
    }
};

} // namespace

class tst_Backup : public QObject
{
    Q_OBJECT

private slots:
    void copyTakenWhilePostingRestoresToAConsistentLedger()
    {
        TestDatabase home;
        // 40,000 earlier deposits of 12.34 on 25 accounts, so that the copy takes many
        // steps, brought in as an import brings rows: one trail row covers them.
        home.execAsOwner(QStringLiteral("WITH RECURSIVE n(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM n WHERE x < 39999) "
                                 "INSERT INTO nabubg SELECT 'P' || (x % 25), 'Nasabah', '2026-12-09', '01', "
                                 "'Penyetoran', 0, 12.34, 12.34 * (x / 25 + 1) FROM n"));
        {
            QString name, error;
            QVERIFY2(db::openFile(home.file(), &name, &error), qPrintable(error));
            QSqlDatabase database = db::connection(name);
            QSqlError failure;
            QVERIFY(db::beginWrite(database, &failure));
            const Outcome covered = audit::appendImport(database, 1, 40000);
            QVERIFY2(covered.isOk() && db::endWrite(database, true), qPrintable(covered.message()));
            database = QSqlDatabase();
            db::closeConnection(name);
        }
        QPair<int, QString> run;
        for (int account = 0; account < 10; ++account)
            home.addCustomer(QStringLiteral("Q%1").arg(account), QStringLiteral("Nasabah"));
        {
            Poster poster(home.file());
            QTRY_VERIFY(poster.posted.loadRelaxed() > 0);
            const int postedBefore = poster.posted.loadRelaxed();
            run = backup(home.home(), {});
            QVERIFY(poster.posted.loadRelaxed() > postedBefore);
            QVERIFY(!poster.failed.loadRelaxed());
        }
        QVERIFY2(run.first == 0, qPrintable(run.second));
        const QString folder = home.home() + QStringLiteral("/SKRIP/cadangan");
        const QStringList copies = copiesIn(folder);
        QCOMPARE(copies.size(), 1);

        // Restored in place of the program's database (in a fresh home), the copy is whole.
        TestDatabase restored(false);
        QVERIFY(QDir().mkpath(restored.home() + QStringLiteral("/SKRIP")));
        QVERIFY(QFile::copy(QDir(folder).filePath(copies.first()), restored.file()));
        QString error;
        QVERIFY2(db::verifyDatabase(restored.file(), &error), qPrintable(error));
        QCOMPARE(restored.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        ledger::Summary chains;
        QVERIFY(ledger::checkChains(restored.connectionText(), &chains).isOk());
        QCOMPARE(chains.breaks, 0);
        // It is the source at one moment: its first rows, none missing, none torn.
        const QStringList copied = restored.rows(kLedger);
        QVERIFY(copied.size() > 40000);
        QCOMPARE(copied, home.rows(kLedger).mid(0, copied.size()));
    }

    void balanceChainsAreCheckedToTheSen_data()
    {
        QTest::addColumn<QStringList>("ledger"); // account|debet|kredit|saldo (empty: none), in posting order
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("finding");
        QTest::newRow("whole chains") << QStringList{"0001|0|1000.10|1000.10", "0002|0|0.1|0.1", "0001|100.05|0|900.05",
                                                     "0002|0|0.2|0.3", "0001|0|0.07|900.12"}
                                      << 0 << QString();
        QTest::newRow("one sen off") << QStringList{"0001|0|1000.10|1000.10", "0001|100|0|900.11"} << 2
                                     << "rekening 0001, baris 2";
        QTest::newRow("first row not from zero") << QStringList{"0002|0|50|60"} << 2 << "rekening 0002, baris 1";
        QTest::newRow("empty saldo") << QStringList{"0001|0|10|10", "0001|0|5|", "0001|0|1|16"} << 2
                                     << "rekening 0001, baris 2";
        QTest::newRow("accounts apart") << QStringList{"0001|0|10|10", "0002|0|20|20", "0001|0|5|15", "0002|5|0|25"} << 2
                                        << "rekening 0002, baris 4";
    }
    void balanceChainsAreCheckedToTheSen()
    {
        QFETCH(QStringList, ledger);
        QFETCH(int, exitCode);
        QFETCH(QString, finding);
        TestDatabase home;
        for (const QString &row : ledger) {
            const QStringList v = row.split(u'|');
            home.addLedgerRow(v[0], QStringLiteral("Ani"), QStringLiteral("2026-12-09"), QStringLiteral("01"),
                              v[1].toDouble(), v[2].toDouble(), v[3].isEmpty() ? QVariant() : QVariant(v[3].toDouble()));
        }
        const auto [code, text] = backup(home.home(), {});
        QVERIFY2(code == exitCode, qPrintable(text));
        QVERIFY2(text.contains(finding), qPrintable(text));
        QCOMPARE(text.count(QStringLiteral("Saldo tidak bersambung")), exitCode == 2 ? 1 : 0);
        // A finding is in the source too: the copy is kept all the same.
        QCOMPARE(copiesIn(home.home() + QStringLiteral("/SKRIP/cadangan")).size(), 1);
    }

    void copiesAreDatedAndNeverOverwritten()
    {
        TestDatabase home;
        const QString folder = home.home() + QStringLiteral("/SKRIP/cadangan");
        // The folder it makes and the copy are private whatever the umask.
        const mode_t umask = ::umask(0);
        const auto [code, text] = backup(home.home(), {});
        ::umask(umask);
        QVERIFY2(code == 0, qPrintable(text));
        const QStringList copies = copiesIn(folder);
        QCOMPARE(modeOf(folder), 0700);
        for (const QString &copy : copies)
            QCOMPARE(modeOf(QDir(folder).filePath(copy)), 0600);
        QCOMPARE(everythingIn(folder), copies);
        QCOMPARE(copies.size(), 1);
        QVERIFY(text.contains(copies.first()));
        const QDateTime stamp = QDateTime::fromString(copies.first().mid(5, 17), QStringLiteral("yyyy-MM-dd_HHmmss"));
        QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 60);

        // Files under the names of the next seconds are left as they are.
        QStringList taken;
        for (int s = 0; s < 10; ++s) {
            QFile file(QDir(folder).filePath(QStringLiteral("asli-%1.sqlite").arg(
                QDateTime::currentDateTime().addSecs(s).toString(QStringLiteral("yyyy-MM-dd_HHmmss")))));
            if (!file.exists() && file.open(QIODevice::WriteOnly) && file.write("milik operator") > 0)
                taken << file.fileName();
        }
        const auto [again, refusal] = backup(home.home(), {});
        QCOMPARE(again, 1);
        QVERIFY2(refusal.contains(QStringLiteral("sudah ada")), qPrintable(refusal));
        for (const QString &name : taken) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == "milik operator");
        }
        QCOMPARE(everythingIn(folder).size(), 1 + taken.size());
    }

    // --keep counts and deletes only this tool's own copies dated up to now: a
    // file under a copy's name that is empty, another program's database, a link,
    // or dated in the future stays, and so does the copy just made. The copies
    // there before are asli-2020-01-01_000000 and asli-2021-01-01_000000.
    void keepDeletesOnlyItsOwnOlderCopies_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("keep");
        QTest::addColumn<QStringList>("left"); // of what was there before
        const QString old = QStringLiteral("asli-2021-01-01_000000.sqlite");
        QTest::newRow("an empty file dated in the future")
            << "empty" << "asli-2099-01-01_000000.sqlite" << 1 << QStringList{"asli-2099-01-01_000000.sqlite"};
        QTest::newRow("a copy dated in the future")
            << "copy" << "asli-2099-01-01_000000.sqlite" << 2 << QStringList{old, "asli-2099-01-01_000000.sqlite"};
        QTest::newRow("an empty file dated before")
            << "empty" << "asli-2019-01-01_000000.sqlite" << 2 << QStringList{"asli-2019-01-01_000000.sqlite", old};
        QTest::newRow("another program's database")
            << "other" << "asli-2022-01-01_000000.sqlite" << 2 << QStringList{old, "asli-2022-01-01_000000.sqlite"};
        QTest::newRow("a link to a copy")
            << "link" << "asli-2022-01-01_000000.sqlite" << 2 << QStringList{old, "asli-2022-01-01_000000.sqlite"};
        QTest::newRow("another database's copy")
            << "copy" << "lain-2019-01-01_000000.sqlite" << 1 << QStringList{"lain-2019-01-01_000000.sqlite"};
        QTest::newRow("a newer copy") << "copy" << "asli-2022-01-01_000000.sqlite" << 2
                                      << QStringList{"asli-2022-01-01_000000.sqlite"};
    }
    void keepDeletesOnlyItsOwnOlderCopies()
    {
        QFETCH(QString, planted);
        QFETCH(QString, name);
        QFETCH(int, keep);
        QFETCH(QStringList, left);
        TestDatabase home;
        const QString folder = home.home() + QStringLiteral("/usb/cadangan");
        const QString valid = home.home() + QStringLiteral("/salinan.sqlite");
        QVERIFY(QDir().mkpath(folder));
        home.exec(QStringLiteral("VACUUM INTO '%1'").arg(valid));
        for (const char *copy : {"asli-2020-01-01_000000.sqlite", "asli-2021-01-01_000000.sqlite"})
            QVERIFY(QFile::copy(valid, QDir(folder).filePath(QLatin1String(copy))));
        const QString at = QDir(folder).filePath(name);
        if (planted == QLatin1String("copy")) {
            QVERIFY(QFile::copy(valid, at));
        } else if (planted == QLatin1String("link")) {
            QVERIFY(QFile::link(valid, at));
        } else {
            QFile file(at);
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (planted == QLatin1String("other")) {
                file.close();
                QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lain"));
                other.setDatabaseName(at);
                QVERIFY(other.open() && QSqlQuery(other).exec(QStringLiteral("CREATE TABLE buku (x)")));
                other.close();
                other = QSqlDatabase();
                QSqlDatabase::removeDatabase(QStringLiteral("lain"));
            }
        }
        const auto [code, text] = backup(home.home(), {QStringLiteral("--keep"), QString::number(keep), folder});
        QVERIFY2(code == 0, qPrintable(text));
        const QString made = QRegularExpression(QStringLiteral("Cadangan dibuat: (\\S+)")).match(text).captured(1);
        QVERIFY2(QFileInfo(made).isFile(), qPrintable(text));
        QStringList before = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
        QVERIFY(before.removeOne(QFileInfo(made).fileName()));
        QCOMPARE(before, left);
        QVERIFY(QFileInfo(valid).isFile());
    }

    // No name the tool uses is followed when a link is planted there beforehand,
    // as another user of a shared folder could: what the link points at stays as it
    // was, and a link at a name it only uses on the way does not stop the copy.
    void aLinkPlantedAtANameItUsesIsNeverFollowed_data()
    {
        QTest::addColumn<QString>("pattern"); // %1: the moment a copy started then is named after
        QTest::addColumn<int>("code");
        QTest::newRow("the copy's name") << "asli-%1.sqlite" << 1;
        QTest::newRow("the temporary name") << ".asli-%1.sqlite.part" << 0;
        QTest::newRow("the temporary's journal") << ".asli-%1.sqlite.part-journal" << 0;
        QTest::newRow("the temporary's log") << ".asli-%1.sqlite.part-wal" << 0;
        QTest::newRow("the temporary's shared memory") << ".asli-%1.sqlite.part-shm" << 0;
    }
    void aLinkPlantedAtANameItUsesIsNeverFollowed()
    {
        QFETCH(QString, pattern);
        QFETCH(int, code);
        TestDatabase home;
        const QString folder = home.home() + QStringLiteral("/bersama");
        const QString victim = home.home() + QStringLiteral("/milik-orang-lain");
        QVERIFY(QDir().mkpath(folder));
        {
            QFile file(victim);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("milik orang lain") > 0);
        }
        QStringList links;
        for (int s = 0; s < 30; ++s) {
            links << QDir(folder).filePath(pattern.arg(QDateTime::currentDateTime().addSecs(s).toString(
                QStringLiteral("yyyy-MM-dd_HHmmss"))));
            QVERIFY(QFile::link(victim, links.last()));
        }
        const auto [exit, text] = backup(home.home(), {folder});
        QVERIFY2(exit == code, qPrintable(text));
        QFile file(victim);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("milik orang lain"));
        for (const QString &link : links)
            QCOMPARE(QFileInfo(link).symLinkTarget(), victim);
        const QStringList copies = copiesIn(folder);
        QCOMPARE(copies.size(), code == 0 ? 1 : 0);
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).size(),
                 links.size() + copies.size());
    }

    // The setting file is read and checked as the program reads it: a text the
    // program refuses is refused here too, a server is pointed to pg_dump, and the
    // file a setting names is the one copied.
    void theSettingIsReadAsTheProgramReadsIt_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("told");
        QTest::newRow("password in it") << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\SKRIP\\asli.mdb;Password=x"
                                        << 1 << "\"Password\" tidak boleh ditulis";
        QTest::newRow("a server, with the owner's service")
            << "Provider=PostgreSQL;Data Source=simparo" << 1 << "pg_dump -Fc -f simparo-$(date +%F).dump \"service=simparo-pemilik\"";
        QTest::newRow("another file") << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\kas\\buku.mdb" << 0
                                      << "/kas/cadangan/buku-";
    }
    void theSettingIsReadAsTheProgramReadsIt()
    {
        QFETCH(QString, setting);
        QFETCH(int, exitCode);
        QFETCH(QString, told);
        TestDatabase home;
        QString error;
        QVERIFY2(db::createDatabase(home.home() + QStringLiteral("/kas/buku.sqlite"), QStringLiteral("admin"),
                                    QStringLiteral("admin123"), &error),
                 qPrintable(error));
        QVERIFY(QDir().mkpath(home.home() + QStringLiteral("/.config/simparo")));
        QFile file(home.home() + QStringLiteral("/.config/simparo/koneksi"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(setting.toUtf8() + '\n') > 0);
        file.close();
        const auto [code, text] = backup(home.home(), {});
        QVERIFY2(code == exitCode, qPrintable(text));
        QVERIFY2(text.contains(told), qPrintable(text));
        if (code == 1)
            QVERIFY2(text.contains(file.fileName()), qPrintable(text));
        // The program's own file is not the one a setting names.
        QCOMPARE(everythingIn(home.home() + QStringLiteral("/SKRIP/cadangan")), QStringList());
    }

    // A backup whose chain is shorter than the last backup saw fails, and goes on
    // failing (the copy is kept: it is evidence); one that only grew passes.
    void aChainCutSinceTheLastBackupIsFound()
    {
        TestDatabase home;
        for (const double saldo : {5.0, 10.0})
            home.addLedgerRow(QStringLiteral("0001"), QStringLiteral("Ani"), QStringLiteral("2026-12-09"),
                              QStringLiteral("01"), 0, 5, saldo);
        // Each run into a folder of its own: two copies of one second would share a name.
        int runs = 0;
        const auto next = [&] { return backup(home.home(), {home.home() + QStringLiteral("/c%1").arg(++runs)}); };
        auto [code, text] = next();
        QVERIFY2(code == 0, qPrintable(text));
        home.execAsOwner(QStringLiteral("DELETE FROM nabubg WHERE rowid = 2"));
        home.execAsOwner(QStringLiteral("DELETE FROM jejak WHERE nomor = (SELECT max(nomor) FROM jejak)"));
        for (int again = 0; again < 2; ++again) {
            std::tie(code, text) = next();
            QVERIFY2(code == 2 && text.contains(QLatin1String("dipotong di luar SIMPARO")), qPrintable(text));
        }
    }

    // What lies at the database's or the setting file's place and is no file is
    // named as such, at once: a FIFO is never opened, a setting of megabytes never read.
    void aPlaceThatHoldsNoFileIsNamed_data()
    {
        QTest::addColumn<bool>("setting"); // else the database
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("told");
        QTest::newRow("folder as the database") << false << "folder" << "ada folder, bukan file database";
        QTest::newRow("FIFO as the database") << false << "fifo" << "ada FIFO (pipa bernama), bukan file database";
        QTest::newRow("FIFO as the setting") << true << "fifo" << "FIFO (pipa bernama), bukan file biasa";
        QTest::newRow("10 MB setting") << true << "huge" << "lebih besar dari 4096 byte";
    }
    void aPlaceThatHoldsNoFileIsNamed()
    {
        QFETCH(bool, setting);
        QFETCH(QString, what);
        QFETCH(QString, told);
        TestDatabase home(false);
        const QString path = setting ? home.home() + QStringLiteral("/.config/simparo/koneksi") : home.file();
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        if (what == QLatin1String("folder")) {
            QVERIFY(QDir().mkdir(path));
        } else if (what == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else {
            QFile huge(path);
            QVERIFY(huge.open(QIODevice::WriteOnly) && huge.write(QByteArray(10 << 20, 'x')) == 10 << 20);
        }
        for (const QString &program : {QStringLiteral("simparo-verify"), QStringLiteral("simparo-backup")}) {
            QElapsedTimer clock;
            clock.start();
            const auto [code, text] = backup(home.home(), {}, false, program);
            QVERIFY2(code != 0 && text.contains(told) && text.contains(path) && clock.elapsed() < 20000,
                     qPrintable(program + u'\n' + text));
        }
    }

    // A database on a disk nobody may write (one remounted read-only after errors)
    // is still checked and copied: both tools read it without the -shm file.
    void aReadOnlyDatabaseIsCheckedAndCopied()
    {
        TestDatabase home;
        home.addLedgerRow(QStringLiteral("0001"), QStringLiteral("Ani"), QStringLiteral("2026-12-09"), QStringLiteral("01"),
                          0, 5, 5);
        home.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        const QString folder = home.home() + QStringLiteral("/hanya-baca");
        const QString file = folder + QStringLiteral("/asli.sqlite");
        QVERIFY(QDir().mkpath(folder) && QFile::copy(home.file(), file));
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner) && QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        const auto verified = backup(home.home(), {QStringLiteral("--from"), file}, true, QStringLiteral("simparo-verify"));
        const auto copied = backup(home.home(), {QStringLiteral("--from"), file, home.home() + QStringLiteral("/salinan")}, true);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(verified.first == 0 && verified.second.contains(QLatin1String("Semua cocok.")), qPrintable(verified.second));
        QVERIFY2(copied.first == 0, qPrintable(copied.second));
        QCOMPARE(everythingIn(folder), QStringList{QStringLiteral("asli.sqlite")});
    }

    void refusalsMakeNoCopy_data()
    {
        QTest::addColumn<QString>("breakage");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing database") << "missing" << "tidak ditemukan";
        QTest::newRow("not a database") << "junk" << "bukan database SQLite";
        QTest::newRow("damaged index") << "index" << "integrity_check";
        QTest::newRow("no ledger table") << "table" << "tabel nabubg tidak ada";
        QTest::newRow("read-only destination") << "readonly" << "tidak bisa ditulis";
    }
    void refusalsMakeNoCopy()
    {
        QFETCH(QString, breakage);
        QFETCH(QString, message);
        TestDatabase home(breakage != QLatin1String("missing"));
        const QString folder = home.home() + QStringLiteral("/cadangan");
        if (breakage == QLatin1String("junk")) {
            QFile junk(home.file());
            QVERIFY(junk.open(QIODevice::WriteOnly | QIODevice::Truncate));
            junk.write(QByteArray(8192, 'x'));
        } else if (breakage == QLatin1String("index")) {
            // The index on norekening is declared on nama: its entries no longer match the rows.
            home.addLedgerRow(QStringLiteral("0001"), QStringLiteral("Ani"), QStringLiteral("2026-12-09"),
                              QStringLiteral("01"), 0, 10, 10);
            home.exec(QStringLiteral("PRAGMA writable_schema=ON"));
            home.exec(QStringLiteral("UPDATE sqlite_master SET sql='CREATE INDEX nabubg_norekening ON nabubg (nama)' "
                                     "WHERE name='nabubg_norekening'"));
        } else if (breakage == QLatin1String("table")) {
            home.exec(QStringLiteral("DROP TABLE nabubg"));
        } else if (breakage == QLatin1String("readonly")) {
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        }
        const auto [code, text] = backup(home.home(), {folder}, breakage == QLatin1String("readonly"));
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(code, 1);
        QVERIFY2(text.contains(message), qPrintable(text));
        QVERIFY2(text.contains(breakage == QLatin1String("readonly") ? folder : home.file()), qPrintable(text));
        QCOMPARE(everythingIn(folder), QStringList());
    }
};

QTEST_GUILESS_MAIN(tst_Backup)
#include "tst_backup.moc"
