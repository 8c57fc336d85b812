// simparo-crashpost: the posting half of the crash test (tests/crash/run).
//   setup           creates $HOME/SKRIP/asli.sqlite with a few customers
//   post FIRST      posts deposits and withdrawals in a loop through the same check and
//                   record source write as "SAVE" on the transaction screen, numbered
//                   from FIRST; each number is printed only after its save returned
//   verify FILE K   checks the database after K kills against the numbers in FILE
//
// Posting n goes to account n % kAccounts. Every third one is a withdrawal of n+1
// sen (refused when the balance is short), the others deposits of 100000+n sen, so
// each printed number names exactly one ledger row.
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

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>
#include <cstdio>
#include <unistd.h>

namespace {
constexpr int kAccounts = 5;

QString account(qint64 n)
{
    return QStringLiteral("09%1").arg(n % kAccounts, 3, 10, QLatin1Char('0'));
}

bool isWithdrawal(qint64 n)
{
    return n % 3 == 2;
}

Money amount(qint64 n)
{
    return Money::fromSen(isWithdrawal(n) ? n + 1 : 100000 + n);
}

int fail(const QString &text)
{
    QTextStream(stderr) << "simparo-crashpost: " << text << "\n";
    return 2;
}

int setup()
{
    QString error;
    if (!db::createDatabase(db::databaseFile(), QStringLiteral("admin"), QStringLiteral("admin123"), &error))
        return fail(error);
    QString connection;
    if (!db::openConnection(QString::fromLatin1(db::kConnectionText), &connection, &error))
        return fail(error);
    {
        QSqlDatabase database = QSqlDatabase::database(connection, false);
        for (int i = 0; i < kAccounts; ++i) {
            QSqlQuery query(database);
            query.prepare(QStringLiteral("INSERT INTO daftar (norekening, nama) VALUES (?, ?)"));
            query.addBindValue(account(i));
            query.addBindValue(QStringLiteral("Nasabah %1").arg(i));
            if (!query.exec())
                return fail(query.lastError().text());
        }
    }
    db::closeConnection(connection);
    return 0;
}

int post(qint64 first)
{
    RecordSource ledger;
    if (!ledger.open(QStringLiteral("nabubg")))
        return fail(ledger.lastError());
    for (qint64 n = first;; ++n) {
        const posting::Code code = isWithdrawal(n) ? posting::Code::Withdrawal : posting::Code::Deposit;
        const QString number = account(n);
        const QVector<QVariant> row =
            posting::ledgerRow(number, QString(), QDate::currentDate(), code, amount(n));
        if (!ledger.addNew(row, posting::postingCheck(number, code, amount(n)))) {
            if (ledger.lastWrite().isRefused())
                continue; // a withdrawal larger than the balance
            return fail(ledger.lastError());
        }
        // One write of the whole line, after the save returned.
        const QByteArray line = QByteArray::number(n) + '\n';
        if (::write(STDOUT_FILENO, line.constData(), size_t(line.size())) != line.size())
            return fail(QStringLiteral("cannot write to standard output"));
    }
}

int verify(const QString &printedFile, int kills)
{
    QFile printed(printedFile);
    if (!printed.open(QIODevice::ReadOnly))
        return fail(printed.errorString());
    QList<qint64> saved;
    for (const QByteArray &line : printed.readAll().split('\n'))
        if (!line.isEmpty())
            saved << line.toLongLong();

    QString connection;
    QString error;
    if (!db::openConnection(QString::fromLatin1(db::kConnectionText), &connection, &error))
        return fail(error);
    int broken = 0;
    int lost = 0;
    qint64 rows = 0;
    QString integrity;
    {
        QSqlDatabase database = QSqlDatabase::database(connection, false);
        QSqlQuery check(database);
        if (!check.exec(QStringLiteral("PRAGMA integrity_check")) || !check.next())
            return fail(check.lastError().text());
        integrity = check.value(0).toString();

        // Every account's balance chain, to the sen, in posting order, and the
        // amounts of each account's rows.
        QHash<QString, QSet<qint64>> kredit, debet; // sen of each account's rows
        ledger::Summary chains;
        const Outcome walked = ledger::checkChains(database, &chains, 0, [&](const ledger::Row &row) {
            if (row.kredit && row.kredit->sen() > 0)
                kredit[row.account].insert(row.kredit->sen());
            if (row.debet && row.debet->sen() > 0)
                debet[row.account].insert(row.debet->sen());
        });
        if (!walked.isOk())
            return fail(walked.message());
        rows = chains.rows;
        broken = int(chains.breaks);
        // Every posting whose save had returned.
        for (qint64 n : std::as_const(saved)) {
            const auto &stored = isWithdrawal(n) ? debet : kredit;
            if (!stored.value(account(n)).contains(amount(n).sen()))
                ++lost;
        }
    }
    db::closeConnection(connection);
    QTextStream(stdout) << "kills " << kills << ", postings saved " << saved.size() << ", ledger rows " << rows
                        << ", lost " << lost << ", broken " << broken << ", integrity " << integrity << "\n";
    return integrity == QLatin1String("ok") && lost == 0 && broken == 0 && !saved.isEmpty() ? 0 : 1;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (mode == QLatin1String("setup") && args.size() == 2)
        return setup();
    if (mode == QLatin1String("post") && args.size() == 3)
        return post(args.at(2).toLongLong());
    if (mode == QLatin1String("verify") && args.size() == 4)
        return verify(args.at(2), args.at(3).toInt());
    return fail(QStringLiteral("usage: simparo-crashpost setup | post FIRST | verify FILE KILLS"));
}
