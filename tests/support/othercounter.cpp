#include "othercounter.h"

#include "testdb.h"

void OtherCounter::start(const QString &account, const QString &code, const QString &amount)
{
    // It finds the database as the program does, through HOME and its setting file.
    process_.start(tool(QStringLiteral("simparo-testcounter")), {account, code, amount});
}

void OtherCounter::startPassbook(const QString &account)
{
    process_.start(tool(QStringLiteral("simparo-testcounter")), {account, QStringLiteral("buku")});
}

bool OtherCounter::waitUntilReady()
{
    return process_.waitForStarted() && process_.waitForReadyRead(30000) && process_.readLine().startsWith("siap");
}

QString OtherCounter::result()
{
    if (running() && !process_.waitForFinished(60000))
        return QStringLiteral("gagal: simparo-testcounter tidak selesai");
    const QString errors = QString::fromUtf8(process_.readAllStandardError()).trimmed();
    QString out = QString::fromUtf8(process_.readAllStandardOutput()).trimmed();
    if (out.startsWith(QLatin1String("siap")))
        out = out.section(u'\n', 1);
    // What it wrote to stderr (a crash, say) only when it gave no result.
    return out.isEmpty() ? QStringLiteral("gagal: ") + errors : out;
}

QString OtherCounter::post(const QString &account, const QString &code, const QString &amount)
{
    OtherCounter counter;
    counter.start(account, code, amount);
    return counter.result();
}
