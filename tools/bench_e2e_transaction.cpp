// The end-to-end figures of the transaction screen: its opening, its grid over the
// whole ledger, its lookups and its deposits, and the floor under its "SAVE".
#include "bench_e2e_p.h"

#include "data/engine/dialect.h"
#include "shell/gridbinding.h"
#include "savings/transactionscreen.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QThread>
#include <algorithm>

namespace e2e {

TransactionScreen *Run::transactionScreen()
{
    // Transaction screen: opening afresh each time.
    bench::print(bench::time(QStringLiteral("open the transaction screen with its ledger grid") + label, runs,
                             [&] { reopen<TransactionScreen>("mnuTRANSAKSI"); }));
    // The whole ledger in the unfiltered grid of a screen opened afresh: Ctrl+End,
    // and a drag of its scroll bar to the middle, each until the rows are painted.
    bench::Figures toEnd{QStringLiteral("whole-ledger grid: Ctrl+End until the last row is painted") + label, {}};
    bench::Figures toMiddle{QStringLiteral("whole-ledger grid: drag to the middle until painted") + label, {}};
    for (int i = 0; i < runs; ++i) {
        auto *grid = ScreenDriver::child<QTableView>(reopen<TransactionScreen>("mnuTRANSAKSI"), "DataGrid1");
        grid->setFocus();
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        QCoreApplication::processEvents();
        grid->viewport()->repaint();
        toEnd.millis << timer.nsecsElapsed() / 1e6;
        QScrollBar *bar = gridScrollBar(grid);
        timer.start();
        bar->setSliderDown(true);
        bar->setSliderPosition(bar->maximum() / 2);
        bar->setSliderDown(false);
        QCoreApplication::processEvents();
        grid->viewport()->repaint();
        toMiddle.millis << timer.nsecsElapsed() / 1e6;
    }
    bench::print(toEnd);
    bench::print(toMiddle);
    reopen<TransactionScreen>("mnuTRANSAKSI");

    TransactionScreen *transaction = screens::find<TransactionScreen>();
    timeLookups(transaction, QStringLiteral("account lookup: Enter until name, balance and grid shown"));
    return transaction;
}

QVector<qint64> Run::deposits(TransactionScreen *transaction)
{
    bench::Figures amounts{QStringLiteral("deposit: Enter in the amount until the new balance shows") + label, {}};
    bench::Figures saves{QStringLiteral("deposit: SAVE handler until the row is committed") + label, {}};
    // The moments the SAVEs began, for pacing the raw inserts below as they were paced.
    QElapsedTimer paced;
    paced.start();
    QVector<qint64> began;
    for (int i = 0; i < runs; ++i) {
        ScreenDriver::type(transaction, "txtREKENING", accountOf((deposit++ * 104729) % customers));
        enter(transaction, "txtREKENING");
        auto *code = ScreenDriver::child<QComboBox>(transaction, "cbo_TRANSAKSI");
        code->setCurrentIndex(0);
        emit code->activated(0);
        settle();
        ScreenDriver::type(transaction, "txtKREDIT", QStringLiteral("5000"));
        QElapsedTimer timer;
        timer.start();
        enter(transaction, "txtKREDIT");
        amounts.millis << timer.nsecsElapsed() / 1e6;
        timer.start();
        began << paced.nsecsElapsed();
        ScreenDriver::click(transaction, "cmdSIMPAN");
        saves.millis << timer.nsecsElapsed() / 1e6;
        settle();
    }
    bench::print(amounts);
    bench::print(saves);
    return began;
}

void Run::rawInserts(const QVector<qint64> &began)
{
    // The floor under "SAVE": one ledger row of the same kind (an account of the
    // same spread, so its index is touched as SAVE touches it) inserted and
    // committed durably on a connection of the bench's own, in the same run on
    // the same file, with nothing looked up or checked. A disk flushes faster
    // when flushes follow each other closely (here 0.25 ms back to back, 0.55 ms
    // 10 ms after the last one, 0.8 ms 50 ms after it), and a clerk's "SAVE"
    // never follows another closely: the floor is the insert made at the pace the
    // deposits' SAVEs were made, with the same pause before each; the inserts back to
    // back are shown beside it.
    QVector<qint64> gaps;
    for (int i = 1; i < began.size(); ++i)
        gaps << began.at(i) - began.at(i - 1);
    std::sort(gaps.begin(), gaps.end());
    const unsigned long pause = gaps.isEmpty() ? 0 : (unsigned long)(gaps.at(gaps.size() / 2) / 1000);
    bench::withDatabase([&](QSqlDatabase &raw) {
        QSqlQuery query(raw);
        const db::Dialect &dialect = db::dialect(raw);
        if (!dialect.hasOperatorRoles())
            query.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        QSqlError error;
        const auto insert = [&] {
            if (!dialect.beginWrite(raw, &error))
                qFatal("%s", qPrintable(error.text()));
            query.prepare(QStringLiteral("INSERT INTO nabubg (norekening, nama, TANGGAL, kode, Jenis, debet, "
                                         "kredit, saldo) VALUES (?, 'Bench', '2026-01-02', '01', "
                                         "'Penyetoran', 0, 5000, 5000)"));
            query.addBindValue(accountOf((deposit++ * 104729) % customers));
            if (!query.exec() || !query.exec(QStringLiteral("COMMIT")))
                qFatal("%s", qPrintable(query.lastError().text()));
        };
        // The floor: the row alone, none of the database's rules on it (lifted
        // for these inserts, as the owner's maintenance does, and put back after).
        for (const QString &statement : dialect.ruleStatements(false))
            if (!query.exec(statement))
                qFatal("%s", qPrintable(query.lastError().text()));
        bench::Figures atPace{QStringLiteral("raw durable insert of one ledger row, at the SAVEs' pace") + label, {}};
        for (int i = 0; i < runs; ++i) {
            QThread::usleep(pause);
            QElapsedTimer timer;
            timer.start();
            insert();
            atPace.millis << timer.nsecsElapsed() / 1e6;
        }
        bench::print(atPace);
        bench::print(bench::time(QStringLiteral("raw durable insert of one ledger row, back to back") + label, runs,
                                 insert));
        for (const QString &statement : dialect.ruleStatements(true))
            if (!query.exec(statement))
                qFatal("%s", qPrintable(query.lastError().text()));
    });
}

} // namespace e2e
