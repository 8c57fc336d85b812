// Counters at the same moment: eight real processes, each with connections of
// its own as eight counters of a branch have, post on three shared accounts and
// register the same account numbers. No posting is lost, every balance chain
// holds to the sen, each number is registered exactly once, and the audit trail
// is one chain: numbered without a gap, every seal recomputed, every posting
// covered by its own row.
#include "customers/accountnumbers.h"
#include "data/trail/auditcheck.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/trail/ledgerchain.h"
#include "data/base/money.h"
#include "data/records/recordsource.h"
#include "savings/posting.h"
#include "fixture.h"
#include "startline.h"

#include <QApplication>
#include <QHash>
#include <QTest>
#include <cstdio>
#include <limits>

namespace {
constexpr int kCounters = 8;
const QStringList kAccounts = {QStringLiteral("0301"), QStringLiteral("0302"), QStringLiteral("0303")};
constexpr Money kOpening = Money::fromRupiah(1000000);

QString numberToRegister(int i)
{
    return QStringLiteral("09%1").arg(i, 4, 10, QLatin1Char('0'));
}

// One counter: opens its record source, says it is ready, waits for the start,
// then works; prints one line per result, and the moments its work began and
// ended ("awal", "akhir").
int runCounter(const QString &work, int counter, int count)
{
    const bool posting = work == QLatin1String("setor");
    RecordSource source;
    if (!source.open(posting ? QStringLiteral("nabubg") : QStringLiteral("daftar"))) {
        std::fprintf(stderr, "%s\n", qPrintable(source.lastError()));
        return 2;
    }
    if (!startline::awaitStart())
        return 2;
    std::printf("awal %lld\n", startline::now());
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        bool ok = false;
        if (posting) {
            const QString account = kAccounts.at((i + counter) % kAccounts.size());
            const posting::Code code = (i + counter) % 3 == 0 ? posting::Code::Withdrawal : posting::Code::Deposit;
            const Money amount = Money::fromSen(100000 + 1337 * ((i * 7 + counter) % 50));
            const bool deposit = code == posting::Code::Deposit;
            ok = source.addNew({account, QString(), QDate::currentDate(), posting::codeText(code), posting::kind(code),
                                deposit ? 0.0 : amount.toDouble(), deposit ? amount.toDouble() : 0.0, QVariant()},
                               posting::postingCheck(account, code, amount));
        } else {
            ok = source.addNew({numberToRegister(i), QStringLiteral("Loket %1").arg(counter)},
                               customers::accountNumberCheck());
            if (!ok && source.lastWrite().isRefused() && source.lastError() == QLatin1String(customers::kNumberInUse)) {
                std::printf("ditolak\n");
                continue;
            }
        }
        if (ok) {
            std::printf("ok\n");
        } else {
            ++failures;
            std::printf("gagal %s\n", qPrintable(source.lastError().replace(u'\n', u' ')));
        }
    }
    std::printf("akhir %lld\n", startline::now());
    std::fflush(stdout);
    return failures == 0 ? 0 : 1;
}
} // namespace

class tst_Concurrency : public Fixture
{
    Q_OBJECT

private:
    // The check of simparo-verify: the trail has one row more for each write.
    void verifyTrail(qint64 rows)
    {
        QString name, error;
        QVERIFY2(db::openConnection(database->connectionText(), &name, &error), qPrintable(error));
        audit::CheckResult result;
        Outcome checked;
        {
            QSqlDatabase live = db::connection(name);
            checked = audit::check(live, &result);
        }
        db::closeConnection(name);
        QVERIFY2(checked.isOk(), qPrintable(checked.message()));
        QVERIFY2(result.holds(), qPrintable(audit::describe(result).join(u'\n')));
        QCOMPARE(result.trailRows, rows);
    }

    // What the counters printed: how often each word, and when their work began and ended.
    struct Run {
        QHash<QString, int> seen;
        qint64 lastBegun = 0;
        qint64 firstEnded = std::numeric_limits<qint64>::max();
        // The counters worked at the same time: the last to begin began before
        // the first to end had ended, so they did not run one after another.
        bool overlapped() const { return lastBegun < firstEnded; }
    };

    // Starts the counters at one moment.
    Run runCounters(const QString &work, int count)
    {
        QList<QStringList> arguments;
        for (int c = 0; c < kCounters; ++c)
            arguments << QStringList{QStringLiteral("--loket"), work, QString::number(c), QString::number(count)};
        const startline::Children counters = startline::ready(QCoreApplication::applicationFilePath(), arguments);
        startline::go(counters);
        Run run;
        for (const auto &process : counters) {
            if (!process->waitForFinished(240000))
                qFatal("a counter did not finish");
            for (const QByteArray &line : process->readAllStandardOutput().split('\n')) {
                const QString word = QString::fromUtf8(line).section(u' ', 0, 0);
                if (word == QLatin1String("awal"))
                    run.lastBegun = std::max(run.lastBegun, line.mid(5).toLongLong());
                else if (word == QLatin1String("akhir"))
                    run.firstEnded = std::min(run.firstEnded, line.mid(6).toLongLong());
                else if (!word.isEmpty())
                    ++run.seen[word];
                if (word == QLatin1String("gagal"))
                    qWarning("counter: %s", line.constData());
            }
            const QByteArray errors = process->readAllStandardError();
            if (!errors.isEmpty())
                qWarning("counter: %s", errors.constData());
        }
        return run;
    }

private slots:
    void init()
    {
        Fixture::init();
        for (const QString &account : kAccounts) {
            database->addCustomer(account, QStringLiteral("Nasabah ") + account);
            database->addLedgerRow(account, QStringLiteral("Nasabah ") + account, QStringLiteral("2024-01-02"),
                                   QStringLiteral("01"), 0, kOpening.toDouble(), kOpening.toDouble());
        }
    }

    void postingsOnSharedAccountsKeepEveryChain()
    {
        const int perCounter = 250;
        const int before = database->scalar(QStringLiteral("SELECT count(*) FROM nabubg")).toInt();
        const qint64 trailBefore = database->scalar(QStringLiteral("SELECT count(*) FROM jejak")).toLongLong();
        const Run run = runCounters(QStringLiteral("setor"), perCounter);
        QVERIFY2(run.overlapped(), qPrintable(QStringLiteral("the last counter began %1 ms after the first ended")
                                                  .arg(run.lastBegun - run.firstEnded)));
        const QHash<QString, int> &seen = run.seen;
        QCOMPARE(seen.value(QStringLiteral("ok")), kCounters * perCounter);
        QCOMPARE(seen.value(QStringLiteral("gagal")), 0);
        QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM nabubg")).toInt() - before, kCounters * perCounter);
        // In posting order each balance is the previous one plus kredit minus debet, to the sen.
        ledger::Summary chains;
        const Outcome walked = ledger::checkChains(database->connectionText(), &chains);
        QVERIFY2(walked.isOk(), qPrintable(walked.message()));
        QVERIFY2(chains.breaks == 0, qPrintable(chains.shown.value(0).text()));
        QCOMPARE(chains.rows, qint64(before + kCounters * perCounter));
        QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM nabubg WHERE nama <> 'Nasabah ' || norekening"))
                     .toInt(),
                 0);
        verifyTrail(trailBefore + kCounters * perCounter);
    }

    void theSameNumberIsRegisteredOnce()
    {
        const int numbers = 40;
        const qint64 trailBefore = database->scalar(QStringLiteral("SELECT count(*) FROM jejak")).toLongLong();
        const Run run = runCounters(QStringLiteral("daftar"), numbers);
        QVERIFY2(run.overlapped(), qPrintable(QStringLiteral("the last counter began %1 ms after the first ended")
                                                  .arg(run.lastBegun - run.firstEnded)));
        const QHash<QString, int> &seen = run.seen;
        QCOMPARE(seen.value(QStringLiteral("ok")), numbers);
        QCOMPARE(seen.value(QStringLiteral("ditolak")), (kCounters - 1) * numbers);
        QCOMPARE(seen.value(QStringLiteral("gagal")), 0);
        QCOMPARE(database->scalar(QStringLiteral("SELECT count(DISTINCT norekening) FROM daftar WHERE norekening LIKE '09%'"))
                     .toInt(),
                 numbers);
        QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM daftar WHERE norekening LIKE '09%'")).toInt(),
                 numbers);
        verifyTrail(trailBefore + numbers); // a refused registration writes nothing
    }
};

int main(int argc, char *argv[])
{
    if (argc == 5 && qstrcmp(argv[1], "--loket") == 0) {
        QCoreApplication app(argc, argv);
        // Eight counters posting without a pause between postings wait for the
        // file far longer than clerks at a branch do: a refusal for a lock held
        // too long is not what this test is after.
        db::setBusyTimeoutForTesting(120000);
        const int code = runCounter(QString::fromLatin1(argv[2]), atoi(argv[3]), atoi(argv[4]));
        db::releaseIdleConnections(); // a server's connections kept for a next opening go with the counter
        return code;
    }
    QApplication app(argc, argv);
    tst_Concurrency test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_concurrency.moc"
