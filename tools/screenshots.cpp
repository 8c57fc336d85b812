// simparo-screenshots [FOLDER]: pictures of every window of SIMPARO for the README.
// It makes a database of made-up customers and postings under a temporary HOME,
// works the real windows as an operator would (typing, Enter, buttons, menus)
// and saves each one as a PNG file in FOLDER (default docs/screenshots). Run it
// headless: QT_QPA_PLATFORM=offscreen simparo-screenshots docs/screenshots
#include "screenshots.h"

#include "app/qttexts.h"
#include "data/base/wallclock.h"
#include "app/firststart.h"
#include "app/loginscreen.h"
#include "app/mainwindow.h"
#include "app/passwordscreen.h"
#include "app/startup.h"
#include "customers/newcustomerscreen.h"
#include "customers/registerscreen.h"
#include "reports/balancerequest.h"
#include "reports/dailyrequest.h"
#include "reports/reports.h"
#include "reports/reportwindow.h"
#include "reports/savingsrequest.h"
#include "savings/correctionscreen.h"
#include "savings/ledgerview.h"
#include "savings/passbookscreen.h"
#include "savings/transactionscreen.h"
#include "shell/screens.h"
#include "screendriver.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QStyleHints>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>

namespace shots {

void takePictures(const QString &folder)
{
    const QString account = QStringLiteral("0120240001");

    // Login: the user confirmed, the password typed and accepted.
    auto *login = screens::show<LoginScreen>();
    settle();
    ScreenDriver::type(login, "TXTuser", QStringLiteral("admin"));
    enter(login, "TXTuser");
    ScreenDriver::type(login, "TXTpasword", QStringLiteral("admin123"));
    enter(login, "TXTpasword");
    shoot(login, folder, QStringLiteral("frmPASWORD"));
    press(login, "cmdOK");

    auto *menu = screens::find<MainWindow>();
    if (!menu) {
        fail(QStringLiteral("the main window did not open after the login"));
        return;
    }
    save(withMenuOpen(menu, "mnuLAPORAN"), folder, QStringLiteral("frmMENU"));

    // The customer register on its second customer, then its search tab.
    trigger(menu, "MNUNASABAH");
    auto *customers = screens::find<RegisterScreen>();
    press(customers, "cmdNEXT");
    shoot(customers, folder, QStringLiteral("frmDAFTAR"));
    ScreenDriver::child<QTabWidget>(customers, "SSTab1")->setCurrentIndex(1);
    shoot(customers, folder, QStringLiteral("frmDAFTAR-cari"));
    ScreenDriver::child<QTabWidget>(customers, "SSTab1")->setCurrentIndex(0);

    // A new customer being typed in (not saved).
    press(customers, "cmdEDIT");
    auto *newCustomer = screens::find<NewCustomerScreen>();
    ScreenDriver::type(newCustomer, "txtREKENING", QStringLiteral("0120240007"));
    enter(newCustomer, "txtREKENING");
    const std::pair<const char *, const char *> typed[] = {
        {"txtNAMA", "Fitri Ramadhani"}, {"txtTEMPAT", "Medan"},  {"txtLAHIR", "14/02/2012"},
        {"txtALAMAT", "Jl. Teratai No. 9"}, {"txtKOTA", "Medan"}, {"txtKODE", "20118"},
    };
    for (const auto &[field, text] : typed) {
        ScreenDriver::type(newCustomer, field, QString::fromUtf8(text));
        enter(newCustomer, field);
    }
    shoot(newCustomer, folder, QStringLiteral("frmTAMBAH"));
    press(newCustomer, "cmdCANCEL");
    if (auto *reopened = screens::find<RegisterScreen>())
        press(reopened, "cmdCLOSE");

    // A deposit after the account lookup, its new balance shown before SAVE.
    trigger(menu, "mnuTRANSAKSI");
    auto *transactions = screens::find<TransactionScreen>();
    ScreenDriver::child<QDateEdit>(transactions, "DTPicker1")->setDate(kToday);
    ScreenDriver::type(transactions, "txtREKENING", account);
    enter(transactions, "txtREKENING");
    auto *code = ScreenDriver::child<QComboBox>(transactions, "cbo_TRANSAKSI");
    code->setFocus();
    QTest::keyClick(code, Qt::Key_Down);
    settle();
    ScreenDriver::type(transactions, "txtKREDIT", QStringLiteral("20000"));
    enter(transactions, "txtKREDIT");
    shoot(transactions, folder, QStringLiteral("frmPENARIKAN"));

    // The ledger view of the same account.
    press(transactions, "cmdSALDO");
    auto *ledger = screens::find<LedgerView>();
    ScreenDriver::type(ledger, "txtREKENING", account);
    enter(ledger, "txtREKENING");
    shoot(ledger, folder, QStringLiteral("frmTABUNGAN"));
    for (QWidget *done : {static_cast<QWidget *>(ledger), static_cast<QWidget *>(transactions)})
        if (done)
            done->close();

    // The savings report of one account, asked for and shown.
    trigger(menu, "mnuTNASABAH");
    auto *request = screens::find<SavingsRequestScreen>();
    ScreenDriver::type(request, "txtREKENING", account);
    enter(request, "txtREKENING");
    shoot(request, folder, QStringLiteral("frmRTABUNGAN"));
    press(request, "cmdCETAK");
    auto *datar = reports::reportWindow(QStringLiteral("DATAR"));
    if (datar)
        datar->resize(820, 460);
    shoot(datar, folder, QStringLiteral("DATAR"));
    if (datar)
        datar->close();
    if (request)
        request->close();

    // The daily report of the day shown as today, asked for and shown.
    trigger(menu, "mnuHARIAN");
    auto *daily = screens::find<DailyRequestScreen>();
    if (daily)
        ScreenDriver::child<QDateEdit>(daily, "DTPicker1")->setDate(kToday);
    shoot(daily, folder, QStringLiteral("frmRHARIAN"));
    press(daily, "cmdCETAK");
    auto *harian = reports::reportWindow(QStringLiteral("HARIAN"));
    if (harian)
        harian->resize(1000, 640);
    shoot(harian, folder, QStringLiteral("HARIAN"));
    if (harian)
        harian->close();
    if (daily)
        daily->close();

    // The customer list.
    trigger(menu, "mnuLNASABAH");
    auto *list = reports::reportWindow(QStringLiteral("LAPNASABAH"));
    if (list)
        list->resize(1000, 440);
    shoot(list, folder, QStringLiteral("LAPNASABAH"));
    if (list)
        list->close();

    // The change of password, the operator's name typed.
    trigger(menu, "mnuGanti");
    auto *password = screens::find<PasswordScreen>();
    ScreenDriver::type(password, "txtUserLama", QStringLiteral("admin"));
    shoot(password, folder, QStringLiteral("frmUBAHPASSWORD"));
    if (password)
        password->close();

    // A correction of the account's last deposit, its reason typed; then the
    // supervisor's approval it asks for, his name typed. Batal: nothing is written.
    trigger(menu, "mnuKOREKSI");
    if (auto *correction = screens::find<CorrectionScreen>(); !correction) {
        fail(QStringLiteral("frmKOREKSI did not open"));
    } else {
        ScreenDriver::type(correction, "txtREKENING", account);
        enter(correction, "txtREKENING");
        ScreenDriver::key(correction, "DataGrid1", Qt::Key_End);
        settle();
        ScreenDriver::type(correction, "txtALASAN", QStringLiteral("Salah ketik jumlah setoran"));
        shoot(correction, folder, QStringLiteral("frmKOREKSI"));
        // The approval is window-modal over the correction: shown, not waited for.
        allowModal(QStringLiteral("frmPENYELIA"), true);
        press(correction, "cmdKOREKSI");
        auto *approval = correction->findChild<QDialog *>(QStringLiteral("frmPENYELIA"));
        if (!approval || !approval->isVisible()) {
            fail(QStringLiteral("frmPENYELIA did not open over frmKOREKSI"));
        } else {
            ScreenDriver::type(approval, "txtUSER", QStringLiteral("penyelia"));
            enter(approval, "txtUSER");
            ScreenDriver::type(approval, "txtPASWORD", QStringLiteral("admin123"));
            shoot(approval, folder, QStringLiteral("frmPENYELIA"));
            press(approval, "cmdBatal");
        }
        allowModal(QStringLiteral("frmPENYELIA"), false);
        correction->close();
    }

    // The passbook of the account, looked up.
    trigger(menu, "mnuBUKU");
    if (auto *passbook = screens::find<PassbookScreen>(); !passbook) {
        fail(QStringLiteral("frmBUKU did not open"));
    } else {
        ScreenDriver::type(passbook, "txtREKENING", account);
        enter(passbook, "txtREKENING");
        shoot(passbook, folder, QStringLiteral("frmBUKU"));
        passbook->close();
    }

    // The list of balances at the end of the day shown as today, asked for and shown.
    trigger(menu, "mnuLSALDO");
    if (auto *balances = screens::find<BalanceRequestScreen>(); !balances) {
        fail(QStringLiteral("frmRSALDO did not open"));
    } else {
        shoot(balances, folder, QStringLiteral("frmRSALDO"));
        press(balances, "cmdCETAK");
        auto *lapsaldo = reports::reportWindow(QStringLiteral("LAPSALDO"));
        if (lapsaldo)
            lapsaldo->resize(1000, 520);
        shoot(lapsaldo, folder, QStringLiteral("LAPSALDO"));
        if (lapsaldo)
            lapsaldo->close();
        balances->close();
    }

    takeSupervisorPictures(menu, folder);

    // The first start of a new branch, its first operator typed. It names the place
    // it looked at: a home of made-up name, so that the picture is the same in every
    // run. Nothing is written there, since nothing is confirmed.
    const QByteArray home = qgetenv("HOME");
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", "/home/loket1");
    qunsetenv("XDG_CONFIG_HOME");
    auto *first = screens::show<FirstStartWindow>();
    qputenv("HOME", home);
    if (!config.isNull())
        qputenv("XDG_CONFIG_HOME", config);
    settle();
    ScreenDriver::type(first, "txtUSER", QStringLiteral("admin"));
    ScreenDriver::type(first, "txtPASS", QStringLiteral("admin123"));
    ScreenDriver::type(first, "txtPASS2", QStringLiteral("admin123"));
    shoot(first, folder, QStringLiteral("frmAWAL"));
    first->close();
}

} // namespace shots

using namespace shots;

int main(int argc, char *argv[])
{
    // The program's database lives under HOME: a temporary one holds the made-up data.
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "simparo-screenshots: no temporary folder\n");
        return 1;
    }
    qputenv("HOME", home.path().toLocal8Bit());

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("SIMPARO"));
    // Dates and amounts as the bank's operators see them, on the made-up data's day.
    QLocale::setDefault(QLocale(QLocale::Indonesian, QLocale::Indonesia));
    useIndonesianQtTexts();
    wallclock::setForTesting([] { return QDateTime(kToday, QTime(11, 45)); });
    // A text cursor that does not blink is drawn the same in every run.
    QGuiApplication::styleHints()->setCursorFlashTime(0);
    const QStringList arguments = QApplication::arguments();
    if (arguments.contains(QStringLiteral("--help"))) {
        std::printf("Usage: QT_QPA_PLATFORM=offscreen simparo-screenshots [FOLDER]\n"
                    "Saves a picture of every window of SIMPARO as PNG in FOLDER (default docs/screenshots).\n");
        return 0;
    }
    const QString folder = arguments.size() > 1 ? arguments.at(1) : QStringLiteral("docs/screenshots");
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "simparo-screenshots: cannot make %s\n", qPrintable(folder));
        return 1;
    }

    QString error;
    if (!fillDatabase(&error)) {
        std::fprintf(stderr, "simparo-screenshots: sample database: %s\n", qPrintable(error));
        return 1;
    }
    registerHome();
    // A missing control is told, counted, and the pictures go on.
    ScreenDriver::setFailureHandler(fail);
    // No message box belongs in the pictures: one that opens is a failure, and is closed.
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, &watchModals);
    watchdog.start(200);
    takePictures(folder);
    reports::closeReports();
    screens::endProgram();
    return failures() == 0 ? 0 : 1;
}
