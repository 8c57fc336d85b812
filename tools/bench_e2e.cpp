// The end-to-end speed of SIMPARO as the operator feels it: the real screens,
// driven headless through the same widgets and handlers the operator uses.
#include "bench.h"
#include "shell/gridbinding.h"

#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"

#include "app/loginscreen.h"
#include "app/mainwindow.h"
#include "shell/screens.h"
#include "app/startup.h"
#include "customers/newcustomerscreen.h"
#include "customers/registerscreen.h"
#include "reports/reports.h"
#include "reports/reportwindow.h"
#include "reports/savingsrequest.h"
#include "savings/ledgerview.h"
#include "savings/transactionscreen.h"
#include "screendriver.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

// Lets every pending event run, so that what was shown has also been drawn.
void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The screen driver's steps, each followed by what it set off.
void enter(QWidget *window, const char *name)
{
    ScreenDriver::enter(window, name);
    settle();
}

void click(QWidget *window, const char *name)
{
    ScreenDriver::click(window, name);
    settle();
}

// Answers the message box or prompt that the next step opens, as soon as it is up,
// with OK (and the given text for a prompt).
void answerNextDialog(const QString &text = QString())
{
    QTimer::singleShot(0, [text] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (!widget->isVisible())
                continue;
            if (auto *prompt = qobject_cast<QInputDialog *>(widget)) {
                prompt->setTextValue(text);
                prompt->accept();
                return;
            }
            if (auto *box = qobject_cast<QMessageBox *>(widget)) {
                box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->accept();
                return;
            }
        }
        answerNextDialog(text);
    });
}

void trigger(MainWindow *menu, const char *action)
{
    ScreenDriver::trigger(menu, action);
    settle();
}

template <class T>
T *shown()
{
    return ScreenDriver::shown(screens::find<T>());
}

QString accountOf(int i)
{
    return bench::accountNumber(i);
}

} // namespace

// Runs in a process of its own: start of the process to the login window shown.
int runStartupProbe()
{
    if (!startProgram())
        return 1;
    LoginScreen *login = screens::find<LoginScreen>();
    (void)QTest::qWaitForWindowExposed(login);
    settle();
    std::printf("shown\n");
    std::fflush(stdout);
    return 0;
}

void measureStartup(const QString &self, const QString &home, int runs)
{
    bench::Figures starts{QStringLiteral("process start to the login window shown"), {}};
    for (int i = 0; i < runs; ++i) {
        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        probe.setProcessEnvironment(environment);
        QElapsedTimer timer;
        timer.start();
        probe.start(self, {QStringLiteral("--startup-probe"), QStringLiteral("--dir"), home});
        while (probe.waitForReadyRead(30000) && !probe.canReadLine()) {
        }
        starts.millis << timer.nsecsElapsed() / 1e6;
        probe.waitForFinished(30000);
    }
    bench::print(starts);
}

// Deposits through the transaction screen, one after another, as the operator
// makes them: account and Enter, the code, the amount and Enter, then "SAVE".
// Nothing is timed: run it under valgrind --tool=callgrind, collecting only
// TransactionScreen::save, to count the instructions of "SAVE".
int runSaveLoop(int saves, int customers)
{
    registerHome();
    TransactionScreen *transaction = screens::show<TransactionScreen>();
    (void)QTest::qWaitForWindowExposed(transaction);
    settle();
    auto *code = ScreenDriver::child<QComboBox>(transaction, "cbo_TRANSAKSI");
    for (int i = 0; i < saves; ++i) {
        ScreenDriver::type(transaction, "txtREKENING", accountOf((i * 104729) % customers));
        enter(transaction, "txtREKENING");
        code->setCurrentIndex(0);
        emit code->activated(0);
        settle();
        ScreenDriver::type(transaction, "txtKREDIT", QStringLiteral("5000"));
        enter(transaction, "txtKREDIT");
        click(transaction, "cmdSIMPAN");
    }
    std::printf("%d deposits saved\n", saves);
    return 0;
}

// Runs in a process of its own on the database under HOME: every screen, then the
// peak memory with every screen and both reports open.
int runEndToEnd(int runs, int customers, bool openingsOnly, const QString &label)
{
    // The screens go home to the main window, as they do in the program.
    registerHome();
    // Login to the main window.
    MainWindow *menu = nullptr;
    bench::print(bench::time(QStringLiteral("login to the main window shown") + label, runs, [&] {
        if (auto *open = screens::find<MainWindow>())
            open->close();
        settle();
        LoginScreen *login = screens::show<LoginScreen>();
        (void)QTest::qWaitForWindowExposed(login);
        ScreenDriver::type(login, "TXTuser", QStringLiteral("admin"));
        ScreenDriver::type(login, "TXTpasword", QStringLiteral("admin123"));
        enter(login, "TXTuser");
        enter(login, "TXTpasword");
        click(login, "cmdOK");
        menu = shown<MainWindow>();
        settle();
    }));

    // Transaction screen: opening afresh each time.
    bench::print(bench::time(QStringLiteral("open the transaction screen with its ledger grid") + label, runs, [&] {
        if (auto *open = screens::find<TransactionScreen>())
            open->close();
        settle();
        trigger(menu, "mnuTRANSAKSI");
        shown<TransactionScreen>();
        settle();
    }));
    // The whole ledger in the unfiltered grid of a screen opened afresh: Ctrl+End,
    // and a drag of its scroll bar to the middle, each until the rows are painted.
    bench::Figures toEnd{QStringLiteral("whole-ledger grid: Ctrl+End until the last row is painted") + label, {}};
    bench::Figures toMiddle{QStringLiteral("whole-ledger grid: drag to the middle until painted") + label, {}};
    for (int i = 0; i < runs; ++i) {
        if (auto *open = screens::find<TransactionScreen>())
            open->close();
        settle();
        trigger(menu, "mnuTRANSAKSI");
        auto *grid = ScreenDriver::child<QTableView>(shown<TransactionScreen>(), "DataGrid1");
        settle();
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
    if (auto *open = screens::find<TransactionScreen>())
        open->close();
    settle();
    trigger(menu, "mnuTRANSAKSI");
    shown<TransactionScreen>();
    settle();

    TransactionScreen *transaction = screens::find<TransactionScreen>();
    int next = 0;
    bench::Figures lookups{QStringLiteral("account lookup: Enter until name, balance and grid shown") + label, {}};
    for (int i = 0; i < runs; ++i) {
        ScreenDriver::type(transaction, "txtREKENING", accountOf((next++ * 7919) % customers));
        QElapsedTimer timer;
        timer.start();
        enter(transaction, "txtREKENING");
        lookups.millis << timer.nsecsElapsed() / 1e6;
    }
    bench::print(lookups);

    if (!openingsOnly) {
        int deposit = 0;
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

        // The floor under "SAVE": one ledger row of the same kind (an account of the
        // same spread, so its index is touched as SAVE touches it) inserted and
        // committed durably on a connection of the bench's own, in the same run on
        // the same file, with nothing looked up or checked. A disk flushes faster
        // when flushes follow each other closely (here 0.25 ms back to back, 0.55 ms
        // 10 ms after the last one, 0.8 ms 50 ms after it), and a clerk's "SAVE"
        // never follows another closely: the floor is the insert made at the pace the
        // SAVEs above were made, with the same pause before each; the inserts back to
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

    // Ledger view.
    bench::print(bench::time(QStringLiteral("open the ledger view (CEK SALDO)") + label, runs, [&] {
        if (auto *open = screens::find<LedgerView>())
            open->close();
        settle();
        click(transaction, "cmdSALDO");
        shown<LedgerView>();
        settle();
    }));
    LedgerView *ledger = screens::find<LedgerView>();
    bench::Figures ledgerLookups{QStringLiteral("ledger view lookup: Enter until rows and total shown") + label, {}};
    for (int i = 0; i < runs; ++i) {
        ScreenDriver::type(ledger, "txtREKENING", accountOf((next++ * 7919) % customers));
        QElapsedTimer timer;
        timer.start();
        enter(ledger, "txtREKENING");
        ledgerLookups.millis << timer.nsecsElapsed() / 1e6;
    }
    bench::print(ledgerLookups);

    // Customer register.
    bench::print(bench::time(QStringLiteral("open the customer register") + label, runs, [&] {
        if (auto *open = screens::find<RegisterScreen>())
            open->close();
        settle();
        trigger(menu, "MNUNASABAH");
        shown<RegisterScreen>();
        settle();
    }));
    RegisterScreen *registerScreen = screens::find<RegisterScreen>();
    bench::print(bench::time(QStringLiteral("register: LAST and back to FIRST") + label, runs, [&] {
        click(registerScreen, "cmdLAST");
        click(registerScreen, "cmdFIRS");
    }));
    if (!openingsOnly) {
        QString lastName;
        bench::withDatabase([&](QSqlDatabase &database) {
            QSqlQuery query(database);
            query.exec(QStringLiteral("SELECT nama FROM daftar ORDER BY %1 DESC LIMIT 1").arg(db::keyColumn(database)));
            query.next();
            lastName = query.value(0).toString();
        });
        bench::print(bench::time(QStringLiteral("register: Cari Nama on the last customer") + label, runs, [&] {
            answerNextDialog(lastName);
            click(registerScreen, "cmdNAMA");
        }));

        click(registerScreen, "cmdEDIT"); // "ADD" opens the new-customer screen
        NewCustomerScreen *entry = shown<NewCustomerScreen>();
        int added = 0;
        bench::Figures saves{QStringLiteral("new customer: SAVE handler until committed") + label, {}};
        for (int i = 0; i < runs; ++i) {
            ScreenDriver::type(entry, "txtREKENING", QStringLiteral("B%1").arg(QDateTime::currentMSecsSinceEpoch() % 100000000 + added++));
            ScreenDriver::type(entry, "txtNAMA", QStringLiteral("Nasabah Baru %1").arg(added));
            ScreenDriver::type(entry, "txtKOTA", QStringLiteral("Padang"));
            QElapsedTimer timer;
            timer.start();
            ScreenDriver::click(entry, "cmdSAVE");
            saves.millis << timer.nsecsElapsed() / 1e6;
            settle();
        }
        bench::print(saves);
    }

    // Reports.
    trigger(menu, "mnuTNASABAH");
    SavingsRequestScreen *request = shown<SavingsRequestScreen>();
    const QString pdf = QDir::homePath() + QStringLiteral("/bench-report.pdf");
    bench::print(bench::time(QStringLiteral("savings report of one account: Cetak until shown") + label, runs, [&] {
        ScreenDriver::type(request, "txtREKENING", accountOf((next++ * 7919) % customers));
        click(request, "cmdCETAK");
        (void)QTest::qWaitForWindowExposed(reports::reportWindow(QStringLiteral("DATAR")));
        settle();
    }));
    bench::print(bench::time(QStringLiteral("savings report of one account: save as PDF") + label, runs, [&] {
        QString error;
        reports::reportWindow(QStringLiteral("DATAR"))->saveAsPdf(pdf, &error);
    }));
    bench::print(bench::time(QStringLiteral("customer list: shown (Data Nasabah)") + label, std::max(3, runs / 4), [&] {
        trigger(menu, "mnuLNASABAH");
        (void)QTest::qWaitForWindowExposed(reports::reportWindow(QStringLiteral("LAPNASABAH")));
        settle();
    }));
    bench::print(bench::time(QStringLiteral("customer list: save as PDF") + label, std::max(3, runs / 4), [&] {
        QString error;
        reports::reportWindow(QStringLiteral("LAPNASABAH"))->saveAsPdf(pdf, &error);
    }));
    QFile::remove(pdf);

    if (!openingsOnly) {
        // Everything open at once.
        trigger(menu, "MNUNASABAH");
        trigger(menu, "mnuTRANSAKSI");
        click(screens::find<TransactionScreen>(), "cmdSALDO");
        trigger(menu, "mnuGanti");
        trigger(menu, "mnuTNASABAH");
        settle();
        std::printf("  peak memory with every screen and both reports open: %.1f MiB\n", bench::peakMemoryMiB());
    }
    std::fflush(stdout);
    return 0;
}
