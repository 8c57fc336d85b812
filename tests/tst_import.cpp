// simparo-import and its reader, run as the operator runs them, on the generated
// old files and on damaged copies of them.
#include "app/loginscreen.h"
#include "data/base/criteria.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/records/dataenvironment.h"
#include "data/base/money.h"
#include "data/records/recordsource.h"
#include "data/sqlite/sqlitedialect.h"
#include "fixture.h"
#include "savings/ledgerlookup.h"
#include "shell/screens.h"
#include "testserver.h"
#include "data/base/passwords.h"
#include "import/importer.h"
#include "import/legacyreader.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlError>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>
#include <sys/stat.h>

namespace {

// CSV as mdb-export writes it: quoted text with doubled quotes, bare numbers.
QList<QStringList> readCsv(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QStringList> rows;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines.mid(1)) {
        QStringList fields{QString()};
        bool inQuotes = false;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const QChar c = line[i];
            if (c == u'"' && inQuotes && i + 1 < line.size() && line[i + 1] == u'"')
                fields.last() += line[++i];
            else if (c == u'"')
                inQuotes = !inQuotes;
            else if (c == u',' && !inQuotes)
                fields << QString();
            else
                fields.last() += c;
        }
        rows << fields;
    }
    return rows;
}

// A table's rows in stored order, written the way the CSV exports write them.
QList<QStringList> dumpTable(const QString &file, const QString &sql)
{
    static int serial = 0;
    const QString name = QStringLiteral("dump-%1").arg(++serial);
    QList<QStringList> rows;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(file);
        database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        database.open();
        QSqlQuery query(sql, database);
        while (query.next()) {
            QStringList row;
            for (int i = 0; i < query.record().count(); ++i) {
                const QVariant value = query.value(i);
                if (value.metaType().id() == QMetaType::Double)
                    row << QString::number(value.toDouble(), 'g', 16);
                else if (query.record().fieldName(i) == QLatin1String("TANGGAL") && !value.isNull())
                    row << value.toString() + QStringLiteral(" 00:00:00");
                else
                    row << value.toString();
            }
            rows << row;
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

// The rows of a query on either engine, each value as text; %1 in it stands for the row key.
QList<QStringList> rowsOf(const QSqlDatabase &database, const QString &sql)
{
    QSqlQuery query(database);
    if (!query.exec(QString(sql).replace(QStringLiteral("%1"), db::keyColumn(database))))
        return {{query.lastError().text()}};
    QList<QStringList> rows;
    while (query.next()) {
        QStringList row;
        for (int i = 0; i < query.record().count(); ++i) {
            const QVariant value = query.value(i);
            row << (value.metaType().id() == QMetaType::Double ? QString::number(value.toDouble(), 'g', 16)
                                                               : value.toString());
        }
        rows << row;
    }
    return rows;
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
}

QByteArray fileHash(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                       : QByteArray();
}

} // namespace

// The fixtures are part of the tree (tests/fixtures/legacy): a test that cannot find them fails.
#define NEED_FIXTURES()                                                                                                \
    do {                                                                                                               \
        if (fixtures.isEmpty())                                                                                        \
            QFAIL("the old-file fixtures (tests/fixtures/legacy, SIMPARO_LEGACY_FIXTURES) are not there");             \
    } while (false)

class tst_Import : public QObject
{
    Q_OBJECT

    QString fixtures;
    QTemporaryDir work;

    QString fixture(const QString &name) const { return fixtures + u'/' + name; }

    // A writable copy of a fixture, cut to a length and/or with bytes overwritten at an offset.
    QString damagedCopy(qint64 length, qint64 offset, const QByteArray &bytes)
    {
        QFile source(fixture(QStringLiteral("asli-small.mdb")));
        source.open(QIODevice::ReadOnly);
        QByteArray data = source.readAll();
        if (length >= 0)
            data.truncate(length);
        if (!bytes.isEmpty())
            data.replace(offset, bytes.size(), bytes);
        const QString copy = work.filePath(QStringLiteral("damaged.mdb"));
        QFile out(copy);
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(data);
        return copy;
    }

    // A shell script in place of the reader; "$REAL" in it stands for the real reader.
    QString readerScript(QString body)
    {
        const QString script = work.filePath(QStringLiteral("reader.sh"));
        QFile f(script);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        // The reader runs with a bare environment; the real reader's path goes into the script.
        f.write("#!/bin/sh\n" + body.replace(QStringLiteral("$REAL"), tool("simparo-mdb-reader")).toUtf8() + "\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return script;
    }

private slots:
    void initTestCase()
    {
        const QString folder = qEnvironmentVariable("SIMPARO_LEGACY_FIXTURES");
        if (QFileInfo::exists(folder + QStringLiteral("/asli-small.mdb")))
            fixtures = folder;
    }

    void importKeepsEveryValue_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QList<int>>("setAside"); // daftar rows
        QTest::newRow("small") << QStringLiteral("asli-small") << QList<int>{11};
        QTest::newRow("medium") << QStringLiteral("asli-medium") << QList<int>{};
    }

    void importKeepsEveryValue()
    {
        NEED_FIXTURES();
        QFETCH(QString, name);
        QFETCH(QList<int>, setAside);
        QTemporaryDir home;
        const ToolRun run = runTool("simparo-import", {fixture(name + QStringLiteral(".mdb"))}, home.path());
        QCOMPARE(run.exitCode, 0);
        const QString file = home.filePath(QStringLiteral("SKRIP/asli.sqlite"));
        // The database it writes in, named first; no warning of the database or of Qt.
        QCOMPARE(run.err, QStringLiteral("Mengimpor ke %1 ...\n").arg(file));

        QList<QStringList> daftar = readCsv(fixture(name + QStringLiteral(".daftar.csv")));
        QList<QStringList> putAside;
        for (int i = setAside.size() - 1; i >= 0; --i)
            putAside.prepend(daftar.takeAt(setAside[i] - 1));
        QCOMPARE(dumpTable(file, QStringLiteral("SELECT * FROM daftar ORDER BY rowid")), daftar);
        QCOMPARE(dumpTable(file, QStringLiteral("SELECT * FROM nabubg ORDER BY rowid")),
                 readCsv(fixture(name + QStringLiteral(".nabubg.csv"))));
        // The operators' clear-text passwords are kept only as their hashes.
        const QList<QStringList> operators = dumpTable(file, QStringLiteral("SELECT * FROM Qpass"));
        const QList<QStringList> clear = readCsv(fixture(name + QStringLiteral(".tpassword.csv")));
        QCOMPARE(operators.size(), clear.size());
        for (qsizetype i = 0; i < clear.size(); ++i) {
            QCOMPARE(operators[i].value(0), clear[i].value(0));
            QVERIFY(passwords::isHash(operators[i].value(1)));
            QVERIFY(passwords::matches(clear[i].value(1), operators[i].value(1)));
        }
        if (!setAside.isEmpty()) {
            QList<QStringList> sideRows =
                dumpTable(file,
                          QStringLiteral("SELECT tabel, baris, %1 FROM impor_disisihkan ORDER BY rowid")
                              .arg(schema::daftar().columnNames().join(u',')));
            for (int i = 0; i < putAside.size(); ++i)
                putAside[i] = QStringList{QStringLiteral("daftar"), QString::number(setAside[i])} + putAside[i];
            QCOMPARE(sideRows, putAside);
        }

        // The schema is the one simparo-initdb makes, beside the side table.
        const QString fresh = home.filePath(QStringLiteral("fresh.sqlite"));
        QString error;
        QVERIFY2(db::createDatabase(fresh, QStringLiteral("a"), QStringLiteral("b"), &error), qPrintable(error));
        const QString schema =
            QStringLiteral("SELECT type, name, sql FROM sqlite_master WHERE name <> '%1' ORDER BY name")
                .arg(QLatin1String(import::kSetAsideTable));
        QCOMPARE(dumpTable(file, schema), dumpTable(fresh, schema));
        QCOMPARE(dumpTable(file, QStringLiteral("PRAGMA journal_mode")).value(0).value(0), QStringLiteral("wal"));
    }

    void smallReportNamesEveryAnomaly()
    {
        NEED_FIXTURES();
        QTemporaryDir home;
        const QString file = home.filePath(QStringLiteral("data/baru.sqlite"));
        const ToolRun run = runTool("simparo-import",
                                {fixture(QStringLiteral("asli-small.mdb")), QStringLiteral("--to"), file}, home.path());
        QCOMPARE(run.exitCode, 0);
        QStringList found;
        static const QRegularExpression line(
            QStringLiteral("^(ANOMALI|CATATAN) (\\w+) baris (\\d+)(, rekening \"\\d+\", nasabah \"[^\"]+\")?: (.*) -> (.*)$"),
            QRegularExpression::MultilineOption);
        for (auto it = line.globalMatch(run.out); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const QString what = m.captured(5);
            const QString kind = what.contains(QLatin1String("sudah dipakai oleh daftar baris 7"))
                ? QStringLiteral("ganda")
                : what.contains(QLatin1String("tidak ada di daftar"))      ? QStringLiteral("yatim")
                : what.startsWith(QLatin1String("saldo 90000 tidak sama")) ? QStringLiteral("saldo")
                : what.startsWith(QLatin1String("tanggal lahir"))          ? QStringLiteral("lahir")
                                                                           : what;
            found << QStringLiteral("%1 %2 %3%4 %5 -> %6")
                         .arg(m.captured(1), m.captured(2), m.captured(3), m.captured(4), kind,
                              m.captured(6).contains(QLatin1String("impor_disisihkan")) ? QStringLiteral("disisihkan")
                                                                                        : QStringLiteral("tetap"));
        }
        QCOMPARE(found,
                 (QStringList{
                     QStringLiteral("CATATAN daftar 3 lahir -> tetap"),
                     QStringLiteral("CATATAN daftar 4 lahir -> tetap"),
                     QStringLiteral("CATATAN daftar 5 lahir -> tetap"),
                     QStringLiteral("ANOMALI daftar 11 ganda -> disisihkan"),
                     // A ledger row is named by its account and customer as well.
                     QStringLiteral("ANOMALI nabubg 8, rekening \"0120100008\", nasabah \"Hendra Gunawan\" yatim -> tetap"),
                     QStringLiteral("ANOMALI nabubg 18, rekening \"0120100008\", nasabah \"Hendra Gunawan\" yatim -> tetap"),
                     QStringLiteral("ANOMALI nabubg 23, rekening \"0120100006\", nasabah \"Nurul Huda\" saldo -> tetap"),
                     QStringLiteral("ANOMALI nabubg 33, rekening \"0120100008\", nasabah \"Hendra Gunawan\" yatim -> tetap"),
                 }));
        QVERIFY(run.out.contains(QLatin1String("Ganti Password")));
        const QStringList reports =
            QDir(home.filePath(QStringLiteral("data"))).entryList({QStringLiteral("baru.sqlite.impor-*.txt")});
        QCOMPARE(reports.size(), 1);
        QFile report(home.filePath(QStringLiteral("data/") + reports.first()));
        QVERIFY(report.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(report.readAll()), run.out);

        // The old operators log in with their old passwords, kept as hashes.
        const QList<QStringList> operators = dumpTable(file, QStringLiteral("SELECT user, password FROM Qpass"));
        QCOMPARE(operators.size(), 2);
        QVERIFY(passwords::isHash(operators[0][1]) && passwords::isHash(operators[1][1]));
        QVERIFY(passwords::matches(QStringLiteral("admin123"), operators[0][1]));
        QVERIFY(passwords::matches(QStringLiteral("kasir99"), operators[1][1]));
        QVERIFY(!passwords::matches(QStringLiteral("KASIR99"), operators[1][1]));
    }

    void badInputWritesNothing_data()
    {
        QTest::addColumn<qint64>("length"); // cut the file to this length; -1: whole
        QTest::addColumn<qint64>("offset"); // overwrite bytes here
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reader"); // a shell script in place of the reader; empty: the real one
        QTest::addColumn<QString>("message");
        const QByteArray none;
        const qint64 page = 4096;
        QTest::newRow("cut mid-page") << qint64(100000) << qint64(0) << none << QString() << "terpotong";
        QTest::newRow("cut before the last page") << 36 * page << qint64(0) << none << QString() << "rusak";
        QTest::newRow("cut to the first page") << page << qint64(0) << none << QString() << "rusak";
        QTest::newRow("header") << qint64(-1) << qint64(0) << QByteArray(16, '\xff') << QString()
                                << "tidak bisa dibuka";
        QTest::newRow("catalog row offsets")
            << qint64(-1) << 6 * page + 14 << QByteArray(4, '\xff') << QString() << "tidak bisa dibuka";
        QTest::newRow("register definition") << qint64(-1) << 24 * page << QByteArray(4, '\0') << QString() << "rusak";
        QTest::newRow("register page kind")
            << qint64(-1) << 30 * page << QByteArray(1, '\0') << QString() << "menyatakan 12 baris";
        QTest::newRow("register row count")
            << qint64(-1) << 30 * page + 12 << QByteArray(2, '\xff') << QString() << "rusak";
        QTest::newRow("ledger row offsets")
            << qint64(-1) << 32 * page + 14 << QByteArray("\x10\0\x10\0", 4) << QString() << "menyatakan 62 baris";
        // On some damaged files libmdb loops, writing warnings (no stream) at megabytes
        // a second; which files depends on memory it leaves unset, so a script plays it.
        QTest::newRow("reader loops on warnings")
            << qint64(-1) << qint64(0) << none << "yes 'Warning: unknown page type' >&2"
            << "tidak memberi hasil";
        QTest::newRow("reader crashes") << qint64(-1) << qint64(0) << none << "kill -SEGV $$"
                                        << "crash";
        QTest::newRow("reader hangs") << qint64(-1) << qint64(0) << none << "exec sleep 30"
                                      << "tidak memberi hasil";
        QTest::newRow("reader fails") << qint64(-1) << qint64(0) << none << "exit 9"
                                      << "kode 9";
        QTest::newRow("garbage") << qint64(-1) << qint64(0) << none << "echo hello"
                                 << "tidak sah";
        QTest::newRow("stream cut") << qint64(-1) << qint64(0) << none << "\"$REAL\" \"$@\" | head -c 3000"
                                    << "berhenti di tengah";
        // Byte 1811 of the small file's stream lies inside an amount, where only the checksum can see a change.
        QTest::newRow("stream byte changed") << qint64(-1) << qint64(0) << none
                                             << "\"$REAL\" \"$@\" > \"$0.out\"; printf 'X' | dd of=\"$0.out\" bs=1 "
                                                "seek=1811 conv=notrunc 2>/dev/null; cat \"$0.out\""
                                             << "checksum";
    }

    void badInputWritesNothing()
    {
        NEED_FIXTURES();
        QFETCH(qint64, length);
        QFETCH(qint64, offset);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reader);
        QFETCH(QString, message);
        const QString mdb = damagedCopy(length, offset, bytes);
        QTemporaryDir home;
        QStringList environment{QStringLiteral("SIMPARO_IMPORT_TIMEOUT=1")};
        if (!reader.isEmpty())
            environment << QStringLiteral("SIMPARO_MDB_READER=") + readerScript(reader);
        QElapsedTimer clock;
        clock.start();
        const ToolRun run = runTool("simparo-import", {mdb}, home.path(), environment);
        QVERIFY2(clock.elapsed() < 20000, "the import must end soon after the reader stops giving a stream");
        QCOMPARE(run.exitCode, int(import::kFailed));
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY2(run.err.contains(QLatin1String("Tidak ada yang ditulis")), qPrintable(run.err));
        QCOMPARE(filesIn(home.path()), QStringList());
    }

    // The reader runs under limits of CPU time and address space that grow with the
    // file, and the reading under a limit of time in all, even while the reader
    // keeps writing a little now and then (so that it is never silent for long).
    void readerStaysWithinItsLimits_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("message"); // empty: the limits the reader ran under
        const QString limits = QStringLiteral("echo \"$(ulimit -t) $(ulimit -v)\" >&2; exit 9");
        QTest::newRow("limits, small file") << "asli-small.mdb" << limits << QString();
        QTest::newRow("limits, medium file") << "asli-medium.mdb" << limits << QString();
        QTest::newRow("stream trickles")
            << "asli-small.mdb"
            << "\"$REAL\" \"$@\" > \"$0.out\"; i=0; while :; do dd if=\"$0.out\" bs=64 skip=$i count=1 2>/dev/null; "
               "i=$((i+1)); sleep 0.05; done"
            << "belum selesai membaca";
    }

    void readerStaysWithinItsLimits()
    {
        NEED_FIXTURES();
        QFETCH(QString, file);
        QFETCH(QString, script);
        QFETCH(QString, message);
        struct : legacy::Sink
        {
            bool table(int, const legacy::Table &, QString *) override { return true; }
            bool row(int, QVariantList &, QString *) override { return true; }
        } ignore;
        const QString mdb = fixture(file);
        legacy::Limits limits = legacy::limitsFor(QFileInfo(mdb).size(), 3000);
        if (!message.isEmpty())
            limits.totalMs = 1000;
        else
            message = QStringLiteral("(%1 %2)").arg(limits.cpuSeconds).arg(
                limits.addressSpace > 0 ? QString::number(limits.addressSpace / 1024) : QStringLiteral("unlimited"));
        QElapsedTimer clock;
        clock.start();
        const legacy::ReadResult read = legacy::readFile(
            readerScript(script), mdb, {QStringLiteral("daftar"), QStringLiteral("nabubg"), QStringLiteral("tpassword")},
            limits, &ignore);
        QVERIFY(clock.elapsed() < 10000);
        QVERIFY(!read.ok);
        QVERIFY2(read.error.contains(message), qPrintable(read.error));
    }

    // The database, its journals, the report and the folder made for them are the
    // user's alone, whatever the umask the tools are started with.
    void filesArePrivate_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<bool>("import"); // else a new database as simparo-initdb makes it
        QTest::newRow("import, umask 022") << 022 << true;
        QTest::newRow("import, umask 000") << 0 << true;
        QTest::newRow("new database, umask 000") << 0 << false;
    }

    void filesArePrivate()
    {
        NEED_FIXTURES();
        QFETCH(int, mask);
        QFETCH(bool, import);
        QTemporaryDir home;
        const QString folder = home.filePath(QStringLiteral("SKRIP")), file = folder + QStringLiteral("/asli.sqlite");
        auto mode = [](const QString &path) {
            struct stat info = {};
            return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
        };
        const mode_t saved = ::umask(mode_t(mask));
        QString error, name;
        const bool made = import ? runTool("simparo-import", {fixture(QStringLiteral("asli-small.mdb"))}, home.path())
                                           .exitCode
                                       == 0
                                 : db::createDatabase(file, QStringLiteral("a"), QStringLiteral("b"), &error);
        // The journals that SQLite makes when the program opens the file take the file's mode.
        const bool opened = made && db::openFile(file, &name, &error);
        ::umask(saved);
        QVERIFY2(opened, qPrintable(error));
        QCOMPARE(mode(folder), 0700);
        const QStringList files = filesIn(folder);
        QCOMPARE(files.size(), import ? 4 : 3); // the database, -wal, -shm, and the report
        for (const QString &f : files)
            QVERIFY2(mode(folder + u'/' + f) == 0600, qPrintable(f));
        db::closeConnection(name);
    }

    // A link that another user planted at a name the import uses (in a shared
    // folder) is never followed: the import stops, or passes a report's name over,
    // and what the link points to stays as it was.
    void plantedLinksAreNeverFollowed_data()
    {
        QTest::addColumn<QString>("link"); // in SKRIP; "report": at the names the report may take
        QTest::addColumn<bool>("existing"); // a database at SKRIP/asli.sqlite beforehand
        QTest::addColumn<QString>("pointsAt"); // in the folder elsewhere
        QTest::addColumn<int>("exitCode");
        QTest::newRow("new database") << "asli.sqlite" << false << "new.sqlite" << int(import::kFailed);
        QTest::newRow("existing database") << "asli.sqlite" << false << "other.sqlite" << int(import::kFailed);
        QTest::newRow("journal of the database") << "asli.sqlite-wal" << true << "new-wal" << int(import::kFailed);
        QTest::newRow("journal without database") << "asli.sqlite-wal" << false << "new-wal" << int(import::kFailed);
        QTest::newRow("report") << "report" << false << "report.txt" << int(import::kSuccess);
    }

    void plantedLinksAreNeverFollowed()
    {
        NEED_FIXTURES();
        QFETCH(QString, link);
        QFETCH(bool, existing);
        QFETCH(QString, pointsAt);
        QFETCH(int, exitCode);
        QTemporaryDir home;
        QDir(home.path()).mkpath(QStringLiteral("SKRIP"));
        QDir(home.path()).mkpath(QStringLiteral("elsewhere"));
        QString error;
        const QString other = home.filePath(QStringLiteral("elsewhere/other.sqlite"));
        QVERIFY2(db::createDatabase(other, QStringLiteral("a"), QStringLiteral("b"), &error), qPrintable(error));
        if (existing)
            QVERIFY2(db::createDatabase(home.filePath(QStringLiteral("SKRIP/asli.sqlite")), QStringLiteral("a"),
                                        QStringLiteral("b"), &error),
                     qPrintable(error));
        QStringList links;
        if (link == QLatin1String("report")) {
            // The report is named by the second it is saved in: every name of the next half minute.
            const QDateTime now = QDateTime::currentDateTime();
            for (int second = 0; second < 30; ++second)
                links << QStringLiteral("SKRIP/asli.sqlite.impor-%1.txt")
                             .arg(now.addSecs(second).toString(QStringLiteral("yyyyMMdd-HHmmss")));
        } else {
            links << QStringLiteral("SKRIP/") + link;
        }
        for (const QString &name : std::as_const(links))
            QVERIFY(QFile::link(home.filePath(QStringLiteral("elsewhere/") + pointsAt), home.filePath(name)));
        const QByteArray before = fileHash(other);
        const ToolRun run = runTool("simparo-import",
                                {QStringLiteral("--into-existing"), fixture(QStringLiteral("asli-small.mdb"))},
                                home.path());
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
        QCOMPARE(filesIn(home.filePath(QStringLiteral("elsewhere"))), QStringList{QStringLiteral("other.sqlite")});
        QCOMPARE(fileHash(other), before);
        for (const QString &name : std::as_const(links))
            QVERIFY(QFileInfo(home.filePath(name)).isSymLink());
    }

    void refusalsLeaveTheTargetAsItWas_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("existing database") << true << QStringList{} << int(import::kFailed);
        QTest::newRow("strict, new database")
            << false << QStringList{QStringLiteral("--strict")} << int(import::kRefused);
        QTest::newRow("strict, into existing")
            << true << QStringList{QStringLiteral("--strict"), QStringLiteral("--into-existing")}
            << int(import::kRefused);
    }

    void refusalsLeaveTheTargetAsItWas()
    {
        NEED_FIXTURES();
        QFETCH(bool, existing);
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QTemporaryDir home;
        const QString file = home.filePath(QStringLiteral("SKRIP/asli.sqlite"));
        QString error;
        if (existing)
            QVERIFY2(db::createDatabase(file, QStringLiteral("admin"), QStringLiteral("x"), &error), qPrintable(error));
        const QStringList before = filesIn(home.filePath(QStringLiteral("SKRIP")));
        const QByteArray hash = fileHash(file);
        const ToolRun run = runTool("simparo-import", options << fixture(QStringLiteral("asli-small.mdb")), home.path());
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(filesIn(home.filePath(QStringLiteral("SKRIP"))), before);
        QCOMPARE(fileHash(file), hash);
    }

    void intoExistingOnlyAddsRows()
    {
        NEED_FIXTURES();
        QTemporaryDir home;
        const QString file = home.filePath(QStringLiteral("SKRIP/asli.sqlite"));
        QString error;
        QVERIFY2(db::createDatabase(file, QStringLiteral("admin"), QStringLiteral("baru"), &error), qPrintable(error));
        {
            QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
            database.setDatabaseName(file);
            database.open();
            // Rows a clerk's screens never write (the owner's maintenance, with the rules lifted).
            for (const QString &statement : db::sqliteDialect().ruleStatements(false))
                QVERIFY(QSqlQuery(database).exec(statement));
            QSqlQuery(QStringLiteral("INSERT INTO daftar (norekening, nama) VALUES ('0120100002', 'Sudah Ada')"),
                      database);
            QSqlQuery(QStringLiteral("INSERT INTO nabubg (norekening, saldo) VALUES ('0120100001', 1000)"), database);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("setup"));
        const ToolRun run =
            runTool("simparo-import", {QStringLiteral("--into-existing"), fixture(QStringLiteral("asli-small.mdb"))},
                    home.path());
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.contains(QLatin1String("ANOMALI daftar baris 2: nasabah \"Siti Aminah\", nomor rekening "
                                               "\"0120100002\" sudah ada di database tujuan")));
        QVERIFY(
            run.out.contains(QLatin1String("ANOMALI tpassword baris 1: user \"admin\" sudah ada di database tujuan")));
        // The first old row of 0120100001 now follows the balance already there.
        QVERIFY2(run.out.contains(QLatin1String("ANOMALI nabubg baris 1, rekening \"0120100001\", nasabah \"Ahmad "
                                                "Fauzi\": saldo 50000 tidak sama dengan saldo sebelumnya 1000")),
                 qPrintable(run.out));
        QCOMPARE(dumpTable(file, QStringLiteral("SELECT nama FROM daftar WHERE rowid = 1")).value(0),
                 QStringList{QStringLiteral("Sudah Ada")});
        QCOMPARE(dumpTable(file, QStringLiteral("SELECT count(*) FROM daftar")).value(0),
                 QStringList{QStringLiteral("11")});
        QCOMPARE(dumpTable(file, QStringLiteral("SELECT count(*) FROM nabubg")).value(0),
                 QStringList{QStringLiteral("63")});
        QCOMPARE(dumpTable(file, QStringLiteral("SELECT user FROM Qpass")),
                 (QList<QStringList>{{QStringLiteral("admin")}, {QStringLiteral("admin")}, {QStringLiteral("kasir")}}));
    }

    // The customers an import brings have no trail row of their own: the import's
    // row records them (key range, count, digest), so that one changed afterwards
    // without his trail row is found, while one changed through the program (his
    // empty telephone, which the old file may hold as NULL or as empty text) holds.
    void importedCustomersAreRecorded_data()
    {
        QTest::addColumn<bool>("server");
        QTest::newRow("file") << false;
        QTest::newRow("server") << true;
    }
    void importedCustomersAreRecorded()
    {
        NEED_FIXTURES();
        QFETCH(bool, server);
        QTemporaryDir home;
        QStringList where, into;
        QString connectionText = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=")
            + home.filePath(QStringLiteral("SKRIP/asli.sqlite"));
        if (server) {
            if (const QString unavailable = testserver::unavailable(); !unavailable.isEmpty())
                QFAIL(qPrintable(QStringLiteral("no throwaway PostgreSQL server: ") + unavailable));
            testserver::clearDatabase();
            where = into = QStringList{QStringLiteral("--server"), testserver::service()};
            connectionText = testserver::connectionText();
        }
        QCOMPARE(runTool("simparo-import", into + QStringList{fixture(QStringLiteral("asli-small.mdb"))}, home.path()).exitCode, 0);
        const auto verify = [&] { return runTool("simparo-verify", where, home.path()); };
        ToolRun run = verify();
        QVERIFY2(run.exitCode == 0 && !run.out.contains(QLatin1String("tanpa baris jejak sendiri")), qPrintable(run.out + run.err));

        {
            RecordSource customers;
            QVERIFY2(customers.open(QStringLiteral("daftar"), connectionText), qPrintable(customers.lastError()));
            for (const char *account : {"0120100003", "0120100007"}) {
                QVERIFY(customers.find(QStringLiteral("norekening='%1'").arg(QLatin1String(account))));
                QVERIFY2(customers.update({{8, QStringLiteral("061-999")}}), qPrintable(customers.lastError()));
            }
        }
        run = verify();
        QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));

        QString name, error;
        QVERIFY2(db::openConnection(connectionText, &name, &error), qPrintable(error));
        {
            QSqlQuery query(db::connection(name));
            QVERIFY2(query.exec(QStringLiteral("UPDATE daftar SET nama = 'Orang Lain' WHERE norekening = '0120100004'")),
                     qPrintable(query.lastError().text()));
        }
        db::closeConnection(name);
        run = verify();
        QVERIFY2(run.exitCode == 1 && run.out.contains(QLatin1String("(impor, jejak nomor "))
                     && run.out.contains(QLatin1String("isinya berbeda dari yang tercatat (digest)")),
                 qPrintable(run.out + run.err));
    }

    void serverImportMatchesTheFileImport()
    {
        NEED_FIXTURES();
        const QString unavailable = testserver::unavailable();
        if (!unavailable.isEmpty())
            QFAIL(qPrintable(QStringLiteral("no throwaway PostgreSQL server: ") + unavailable));
        testserver::clearDatabase();
        QTemporaryDir home;
        const QString mdb = fixture(QStringLiteral("asli-small.mdb"));
        const QStringList toServer{QStringLiteral("--server"), testserver::service(), mdb};
        QCOMPARE(runTool("simparo-import", {mdb}, home.path()).exitCode, 0);
        const ToolRun run = runTool("simparo-import", toServer, home.path());
        QVERIFY2(run.exitCode == 0 && run.err.startsWith(QLatin1String("Mengimpor ke server")) && run.err.count(u'\n') == 1,
                 qPrintable(run.err));
        QCOMPARE(filesIn(home.path()).filter(QStringLiteral(".impor-")).size(), 1); // the report, in the current folder

        const QStringList queries{
            QStringLiteral("SELECT count(*) FROM daftar"),
            QStringLiteral("SELECT norekening, nama, tgllahir FROM daftar ORDER BY %1"),
            QStringLiteral("SELECT norekening, TANGGAL, debet, kredit, saldo FROM nabubg ORDER BY %1"),
            QStringLiteral("SELECT \"user\" FROM tpassword ORDER BY %1"),
            QStringLiteral("SELECT baris, alasan, norekening, nama FROM impor_disisihkan ORDER BY baris"),
        };
        QString name, error;
        QVERIFY2(db::openConnection(testserver::connectionText(), &name, &error), qPrintable(error));
        QSqlDatabase server = db::connection(name);
        QSqlDatabase file = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("file-import"));
        file.setDatabaseName(home.filePath(QStringLiteral("SKRIP/asli.sqlite")));
        QVERIFY(file.open());
        QList<QList<QStringList>> imported;
        for (const QString &sql : queries) {
            imported << rowsOf(server, sql);
            QCOMPARE(imported.last(), rowsOf(file, sql));
        }
        // All of the old file, but for the one register row set aside.
        QCOMPARE(imported[1].size(), readCsv(fixture(QStringLiteral("asli-small.daftar.csv"))).size() - 1);
        QCOMPARE(imported[2].size(), readCsv(fixture(QStringLiteral("asli-small.nabubg.csv"))).size());
        QCOMPARE(imported[3].size(), 2);
        QCOMPARE(imported[4].size(), 1);

        // The import's one trail row covers every row it brought: both databases
        // verify, the old file's broken chain (Nurul Huda's row 23) a known break.
        for (const QStringList &where : {QStringList(), QStringList{QStringLiteral("--server"), testserver::service()}}) {
            const ToolRun verified = runTool("simparo-verify", where, home.path());
            QVERIFY2(verified.exitCode == 0 && verified.out.contains(QLatin1String("0120100006")),
                     qPrintable(verified.out + verified.err));
        }

        // Once the tables are there, only --into-existing adds to them.
        const ToolRun again = runTool("simparo-import", toServer, home.path());
        QCOMPARE(again.exitCode, int(import::kFailed));
        QVERIFY2(again.err.contains(QLatin1String("--into-existing")), qPrintable(again.err));
        for (qsizetype i = 0; i < queries.size(); ++i)
            QCOMPARE(rowsOf(server, queries[i]), imported[i]);
        file.close();
        file = server = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("file-import"));
        db::closeConnection(name);
        db::releaseIdleConnections();
    }

    void localeDoesNotShapeTheData()
    {
        NEED_FIXTURES();
        locale_t indonesian = newlocale(LC_ALL_MASK, "id_ID.UTF-8", locale_t(0));
        if (!indonesian)
            QSKIP("the id_ID.UTF-8 locale is not installed here (make deps generates it)");
        freelocale(indonesian);
        const QStringList underIndonesian{QStringLiteral("LANG=id_ID.UTF-8"), QStringLiteral("LC_ALL=id_ID.UTF-8")};
        const QStringList args{fixture(QStringLiteral("asli-small.mdb")), QStringLiteral("daftar"),
                               QStringLiteral("nabubg"), QStringLiteral("tpassword")};
        QProcess plain, local;
        plain.start(tool("simparo-mdb-reader"), args);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("id_ID.UTF-8"));
        local.setProcessEnvironment(env);
        local.start(tool("simparo-mdb-reader"), args);
        QVERIFY(plain.waitForFinished() && local.waitForFinished());
        QCOMPARE(local.readAllStandardOutput(), plain.readAllStandardOutput());

        QTemporaryDir home;
        const QString c = home.filePath(QStringLiteral("c.sqlite")), id = home.filePath(QStringLiteral("id.sqlite"));
        const QString mdb = fixture(QStringLiteral("asli-small.mdb"));
        QCOMPARE(runTool("simparo-import", {mdb, QStringLiteral("--to"), c}, home.path(), {QStringLiteral("LC_ALL=C")})
                     .exitCode,
                 0);
        QCOMPARE(runTool("simparo-import", {mdb, QStringLiteral("--to"), id}, home.path(), underIndonesian).exitCode,
                 0);
        for (const char *sql : {"SELECT * FROM daftar ORDER BY rowid", "SELECT * FROM nabubg ORDER BY rowid",
                                "SELECT user FROM tpassword ORDER BY rowid",
                                "SELECT tabel, baris, alasan, norekening, nama FROM impor_disisihkan"})
            QCOMPARE(dumpTable(id, QLatin1String(sql)), dumpTable(c, QLatin1String(sql)));
    }

    void otherColumnsAreRefused_data()
    {
        QTest::addColumn<int>("column"); // of the ledger
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("message");
        QTest::newRow("renamed") << 7 << QStringLiteral("sisa") << 7
                                 << QStringLiteral("kolom saldo tidak ada; kolom sisa tidak dikenal");
        QTest::newRow("currency") << 5 << QStringLiteral("debet") << 5
                                  << QStringLiteral("kolom debet bertipe Currency, bukan Double");
        QTest::newRow("other order") << -1 << QString() << 0 << QString();
    }

    void otherColumnsAreRefused()
    {
        QFETCH(int, column);
        QFETCH(QString, name);
        QFETCH(int, type);
        QFETCH(QString, message);
        QList<legacy::Table> tables(3);
        const QList<int> types{10, 10, 8, 10, 10, 7, 7, 7};
        for (const QString &c : schema::daftar().columnNames())
            tables[0].columns.append({c, 10, 100});
        for (int i = 0; i < types.size(); ++i)
            tables[1].columns.append({schema::nabubg().columnNames()[i], types[i], 8});
        tables[2].columns = {{QStringLiteral("USER"), 10, 100}, {QStringLiteral("password"), 10, 100}};
        if (column >= 0)
            tables[1].columns[column] = {name, type, 8};
        else
            std::swap(tables[2].columns[0], tables[2].columns[1]);
        QString error;
        QList<int> positions;
        bool shaped = true;
        for (int t = 0; t < 3 && shaped; ++t)
            shaped = import::shape(t, tables[t], &positions, &error);
        QCOMPARE(shaped, message.isEmpty());
        QVERIFY2(error.contains(message), qPrintable(error));
        if (message.isEmpty())
            QCOMPARE(positions, (QList<int>{1, 0})); // our user column is the old second
    }

    void analysisSetsAsideWhatTheSchemaForbids_data()
    {
        QTest::addColumn<QList<QVariantList>>("daftar");
        QTest::addColumn<QList<QVariantList>>("nabubg");
        QTest::addColumn<QStringList>("findings");
        auto customer = [](const QString &number, const QString &born = QStringLiteral("01/02/2008")) {
            return QVariantList{
                number, QStringLiteral("Nama"), QString(), born, QString(), QString(), QString(), QString(), QString()};
        };
        auto posting = [](const QString &number, const QVariant &debet, const QVariant &kredit, const QVariant &saldo) {
            return QVariantList{number,
                                QStringLiteral("Nama"),
                                QStringLiteral("2016-01-04"),
                                QStringLiteral("01"),
                                QStringLiteral("Penyetoran"),
                                debet,
                                kredit,
                                saldo};
        };
        const QVariant none(QMetaType::fromType<double>());
        QTest::newRow("empty and long numbers")
            << QList<QVariantList>{customer(QString()), customer(QStringLiteral("01234567890")),
                                   customer(QStringLiteral("0123456789"))}
            << QList<QVariantList>{}
            << QStringList{"ANOMALI daftar baris 1: nasabah \"Nama\", nomor rekening kosong -> disisihkan ke tabel "
                           "impor_disisihkan",
                           "ANOMALI daftar baris 2: nasabah \"Nama\", nomor rekening \"01234567890\" lebih dari 10 "
                           "karakter -> disisihkan ke tabel impor_disisihkan"};
        QTest::newRow("odd birth dates")
            << QList<QVariantList>{customer(QStringLiteral("1"), QStringLiteral("31/02/2008")),
                                   customer(QStringLiteral("2"), QString())}
            << QList<QVariantList>{}
            << QStringList{
                   "CATATAN daftar baris 1: tanggal lahir \"31/02/2008\" bukan dd/mm/yyyy -> disimpan apa adanya",
                   "CATATAN daftar baris 2: tanggal lahir kosong -> disimpan apa adanya"};
        // Sums are made in whole sen: 0.1 + 0.2 is 0.3 here, as it is not in doubles.
        QTest::newRow("amounts") << QList<QVariantList>{customer(QStringLiteral("1"))}
                                 << QList<QVariantList>{posting(QStringLiteral("1"), 0.0, 0.1, 0.1),
                                                        posting(QStringLiteral("1"), 0.0, 0.2, 0.3),
                                                        posting(QStringLiteral("1"), 0.125, 0.0, 0.3),
                                                        posting(QStringLiteral("1"), none, 1.0, none),
                                                        posting(QStringLiteral("1"), 0.0, 1.0, 1.3)}
                                 << QStringList{"ANOMALI nabubg baris 3, rekening \"1\", nasabah \"Nama\": debet 0.125 "
                                                "bukan jumlah sen yang utuh (1/100 rupiah) -> tetap di nabubg apa adanya",
                                                "ANOMALI nabubg baris 3, rekening \"1\", nasabah \"Nama\": saldo 0.3 tidak "
                                                "sama dengan saldo sebelumnya 0.3 + kredit 0 - debet 0.125 = 0.175 -> "
                                                "tetap di nabubg apa adanya",
                                                "ANOMALI nabubg baris 4, rekening \"1\", nasabah \"Nama\": debet kosong -> "
                                                "tetap di nabubg, debet NULL",
                                                "ANOMALI nabubg baris 4, rekening \"1\", nasabah \"Nama\": saldo kosong -> "
                                                "tetap di nabubg, saldo NULL"};
        // A name cannot move the clerk's cursor or turn text around: its control characters show escaped.
        QVariantList clearScreen = customer(QStringLiteral("1"));
        clearScreen[1] = QStringLiteral("A\x1b[2J");
        QVariantList turned = posting(QStringLiteral("9"), 0.0, 1.0, 1.0);
        turned[1] = QStringLiteral("B\u202eC\n");
        QTest::newRow("control characters")
            << QList<QVariantList>{customer(QStringLiteral("1")), clearScreen} << QList<QVariantList>{turned}
            << QStringList{"ANOMALI daftar baris 2: nasabah \"A\\x1b[2J\", nomor rekening \"1\" sudah dipakai oleh "
                           "daftar baris 1 (\"Nama\") -> disisihkan ke tabel impor_disisihkan",
                           "ANOMALI nabubg baris 1, rekening \"9\", nasabah \"B\\u202eC\\x0a\": tidak ada di daftar "
                           "nasabah -> tetap di nabubg apa adanya"};
    }

    void analysisSetsAsideWhatTheSchemaForbids()
    {
        QFETCH(QList<QVariantList>, daftar);
        QFETCH(QList<QVariantList>, nabubg);
        QFETCH(QStringList, findings);
        import::Analysis analysis({}, true);
        QString reason;
        for (const QVariantList &row : std::as_const(daftar))
            analysis.customer(row, &reason);
        for (const QVariantList &row : std::as_const(nabubg))
            analysis.posting(row);
        analysis.user({QStringLiteral("admin"), QStringLiteral("admin123")});
        analysis.finish();
        QCOMPARE(analysis.lines().join(u'\n'), findings.join(u'\n'));
    }

    // The imported file is the program's own: the old operators log in with their
    // clear-text passwords, and every account's balance and report are the file's.
    void importedFileWorksInTheProgram()
    {
        NEED_FIXTURES();
        TestDatabase database(false);
        QCOMPARE(runTool("simparo-import", {fixture(QStringLiteral("asli-small.mdb"))}, database.home()).exitCode, 0);
        DialogAnswerer dialogs;
        auto *shown = screens::show<LoginScreen>();
        QVERIFY(QTest::qWaitForWindowActive(shown)); // the keys go to the active window
        const ScreenDriver login(shown);
        login.type("TXTuser", QStringLiteral("kasir"));
        login.enter("TXTuser");
        login.type("TXTpasword", QStringLiteral("kasir99"));
        login.enter("TXTpasword");
        QCOMPARE(dialogs.count(), 0);
        QVERIFY(login.button("cmdOK")->isVisibleTo(shown));
        closeAllScreens();

        QSet<QString> registered;
        for (const QStringList &row : readCsv(fixture(QStringLiteral("asli-small.daftar.csv"))))
            registered << row.value(0);
        QHash<QString, QString> lastSaldo;
        QHash<QString, int> rowsOf;
        for (const QStringList &row : readCsv(fixture(QStringLiteral("asli-small.nabubg.csv")))) {
            lastSaldo[row.value(0)] = row.value(7);
            ++rowsOf[row.value(0)];
        }
        RecordSource ledger;
        QVERIFY2(ledger.open(QStringLiteral("nabubg")), qPrintable(ledger.lastError()));
        dataenv::CommandSource *report = dataenv::DMN()->command(QStringLiteral("Command2"));
        for (auto it = lastSaldo.cbegin(); it != lastSaldo.cend(); ++it) {
            const savings::LedgerLookup found = savings::lookUpLedger(&ledger, it.key());
            QVERIFY(found.ok && found.hasRows);
            QCOMPARE(found.balanceText, Money::fromStored(it.value().toDouble())->toText());
            QVERIFY(report->setFilter(criteria::build(QStringLiteral("NOREKENING"), it.key())));
            dataenv::ReportRows rows;
            QVERIFY2(report->read(&rows), qPrintable(report->lastError()));
            QCOMPARE(int(rows.rows.size()), registered.contains(it.key()) ? rowsOf.value(it.key()) : 0);
        }
        dataenv::closeEnvironments();
    }
};

QTEST_MAIN(tst_Import)
#include "tst_import.moc"
