// The end-to-end speed of SIMPARO as the operator feels it: the real screens,
// driven headless through the same widgets and handlers the operator uses.
#include "bench_e2e_p.h"
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

namespace e2e {

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

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

void trigger(MainWindow *menu, const char *action)
{
    ScreenDriver::trigger(menu, action);
    settle();
}

} // namespace e2e

using namespace e2e;

namespace {

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
int runEndToEnd(int runs, int customers, bool openingsOnly, const QString &label)
{
    // The screens go home to the main window, as they do in the program.
    registerHome();
    e2e::Run run{.runs = runs, .customers = customers, .openingsOnly = openingsOnly, .label = label};
    run.login();
    TransactionScreen *transaction = run.transactionScreen();
    if (!openingsOnly)
        run.rawInserts(run.deposits(transaction));
    run.ledgerView(transaction);
    run.customerRegister();
    run.reportScreens();
    if (!openingsOnly)
        run.everythingOpen();
    std::fflush(stdout);
    return 0;
}

namespace e2e {

void Run::login()
{
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
}

void Run::ledgerView(TransactionScreen *transaction)
{
    // Ledger view.
    bench::print(bench::time(QStringLiteral("open the ledger view (CEK SALDO)") + label, runs, [&] {
        if (auto *open = screens::find<LedgerView>())
            open->close();
        settle();
        click(transaction, "cmdSALDO");
        shown<LedgerView>();
        settle();
    }));
    timeLookups(screens::find<LedgerView>(), QStringLiteral("ledger view lookup: Enter until rows and total shown"));
}

void Run::customerRegister()
{
    // Customer register.
    bench::print(bench::time(QStringLiteral("open the customer register") + label, runs,
                             [&] { reopen<RegisterScreen>("MNUNASABAH"); }));
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
}

void Run::reportScreens()
{
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
}

void Run::timeLookups(QWidget *screen, const QString &name)
{
    bench::Figures lookups{name + label, {}};
    for (int i = 0; i < runs; ++i) {
        ScreenDriver::type(screen, "txtREKENING", accountOf((next++ * 7919) % customers));
        QElapsedTimer timer;
        timer.start();
        enter(screen, "txtREKENING");
        lookups.millis << timer.nsecsElapsed() / 1e6;
    }
    bench::print(lookups);
}

void Run::everythingOpen()
{
    // Everything open at once.
    trigger(menu, "MNUNASABAH");
    trigger(menu, "mnuTRANSAKSI");
    click(screens::find<TransactionScreen>(), "cmdSALDO");
    trigger(menu, "mnuGanti");
    trigger(menu, "mnuTNASABAH");
    settle();
    std::printf("  peak memory with every screen and both reports open: %.1f MiB\n", bench::peakMemoryMiB());
}

} // namespace e2e
