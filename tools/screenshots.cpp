// simparo-screenshots [FOLDER]: pictures of every window of SIMPARO for the README.
// It makes a database of made-up customers and postings under a temporary HOME,
// works the real windows as an operator would (typing, Enter, buttons, menus)
// and saves each one as a PNG file in FOLDER (default docs/screenshots). Run it
// headless: QT_QPA_PLATFORM=offscreen simparo-screenshots docs/screenshots
#include "app/qttexts.h"
#include "data/base/wallclock.h"
#include "app/firststart.h"
#include "app/loginscreen.h"
#include "app/mainwindow.h"
#include "app/passwordscreen.h"
#include "app/startup.h"
#include "customers/newcustomerscreen.h"
#include "customers/registerscreen.h"
#include "data/trail/audit.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/base/passwords.h"
#include "data/base/textforms.h"
#include "reports/dailyrequest.h"
#include "reports/reports.h"
#include "reports/reportwindow.h"
#include "reports/savingsrequest.h"
#include "savings/ledgerview.h"
#include "savings/posting.h"
#include "savings/transactionscreen.h"
#include "shell/screens.h"
#include "screendriver.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QEventLoop>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSqlError>
#include <QStyleHints>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QTimer>
#include <cstdio>

namespace {

// The day the pictures show as today, so that they change only when the screens do.
const QDate kToday(2024, 7, 15);

int g_failures = 0;

void fail(const QString &what)
{
    std::fprintf(stderr, "simparo-screenshots: %s\n", qPrintable(what));
    ++g_failures;
}

// Lets the windows show, activate and paint.
void settle(int milliseconds = 60)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// The screen driver's steps, each given time to show what it set off.
void enter(QWidget *window, const char *field)
{
    ScreenDriver::enter(window, field);
    settle();
}

void press(QWidget *window, const char *button)
{
    ScreenDriver::button(window, button)->click();
    settle();
}

void trigger(QWidget *window, const char *action)
{
    ScreenDriver::trigger(window, action);
    settle();
}

QImage picture(QWidget *window)
{
    return window->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void save(const QImage &image, const QString &folder, const QString &name)
{
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    // Quality 0 is the PNG writer's strongest compression.
    if (image.isNull() || !image.save(path, "PNG", 0))
        fail(QStringLiteral("cannot write %1").arg(path));
    else
        std::printf("%s %dx%d\n", qPrintable(path), image.width(), image.height());
}

void shoot(QWidget *window, const QString &folder, const QString &name)
{
    if (!window) {
        fail(QStringLiteral("%1 is not open").arg(name));
        return;
    }
    settle();
    save(picture(window), folder, name);
}

// Made-up customers: number, name, birth place, birth date, address, city, postcode, education, telephone.
struct Customer {
    const char *number, *name, *place, *born, *address, *city, *postcode, *education, *phone;
};
const Customer kCustomers[] = {
    {"0120240001", "Ahmad Fauzi", "Medan", "12/03/2010", "Jl. Melati No. 4", "Medan", "20111", "SD", "061-4512345"},
    {"0120240002", "Siti Aminah", "Binjai", "05/08/2008", "Jl. Kenanga No. 11", "Binjai", "20712", "SMP",
     "061-8823410"},
    {"0120240003", "Rizky Pratama", "Medan", "21/01/2006", "Jl. Sei Batang Hari 27", "Medan", "20122", "SMU",
     "0812-6012-3344"},
    {"0120240004", "Nur Aisyah Lubis", "Tebing Tinggi", "30/11/2003", "Jl. Gatot Subroto 150", "Medan", "20127",
     "MAHASISWA", "0813-7055-1200"},
    {"0120240005", "Dedi Siregar", "Pematangsiantar", "17/06/2009", "Jl. Merdeka No. 8", "Pematangsiantar", "21118",
     "SMP", "0622-21455"},
    {"0120240006", "Putri Handayani", "Medan", "02/09/2011", "Jl. Setia Budi 63", "Medan", "20132", "SD",
     "061-8212090"},
};

// Postings: account, date, code, amount (rupiah), and the local time, operator and
// counter its trail row names. Those of the day shown as today go to other accounts
// than the one the savings pictures show.
struct Posting {
    const char *number;
    QDate date;
    posting::Code code;
    double amount;
    QTime at;
    const char *who;
    const char *counter;
};
const Posting kPostings[] = {
    {"0120240001", QDate(2024, 7, 1), posting::Code::Deposit, 50000, QTime(8, 12), "admin", "LOKET-1"},
    {"0120240002", QDate(2024, 7, 1), posting::Code::Deposit, 125000, QTime(9, 3), "admin", "LOKET-1"},
    {"0120240001", QDate(2024, 7, 3), posting::Code::Deposit, 25000, QTime(10, 41), "kasir", "LOKET-2"},
    {"0120240003", QDate(2024, 7, 4), posting::Code::Deposit, 200000, QTime(8, 30), "admin", "LOKET-1"},
    {"0120240001", QDate(2024, 7, 8), posting::Code::Withdrawal, 15000, QTime(11, 5), "kasir", "LOKET-2"},
    {"0120240002", QDate(2024, 7, 9), posting::Code::Withdrawal, 30000, QTime(9, 47), "admin", "LOKET-1"},
    {"0120240001", QDate(2024, 7, 12), posting::Code::Deposit, 40000, QTime(8, 20), "admin", "LOKET-1"},
    {"0120240004", QDate(2024, 7, 12), posting::Code::Deposit, 350000, QTime(13, 15), "kasir", "LOKET-2"},
    {"0120240002", kToday, posting::Code::Deposit, 20000, QTime(8, 5, 12), "admin", "LOKET-1"},
    {"0120240003", kToday, posting::Code::Deposit, 50000, QTime(8, 40, 37), "kasir", "LOKET-2"},
    {"0120240004", kToday, posting::Code::Withdrawal, 25000, QTime(9, 15, 3), "admin", "LOKET-1"},
    {"0120240005", kToday, posting::Code::Deposit, 15000, QTime(10, 2, 44), "kasir", "LOKET-2"},
    {"0120240002", kToday, posting::Code::Withdrawal, 10000, QTime(11, 30, 9), "kasir", "LOKET-2"},
};

// The trail of the made-up data as the counters would have written it, one row
// for each write, but at fixed moments (at a counter seven hours east of UTC), so
// that the daily report's times and seal are the same in every run.
class FixedTrail
{
public:
    explicit FixedTrail(QSqlDatabase database) : database_(std::move(database)) {}

    bool append(const QDate &day, const QTime &at, const QString &who, const QString &counter,
                const QString &tindakan, const QString &tabel, qint64 kunci, const QString &norekening,
                const QString &rincian, const QVector<QVariant> &written, QString *error)
    {
        audit::Record record;
        record.nomor = ++last_;
        record.waktu = QDateTime(day, at, QTimeZone(7 * 3600))
                           .toUTC()
                           .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
        record.zona = QStringLiteral("+07:00");
        record.operatorName = who;
        record.loket = counter;
        record.tindakan = tindakan;
        record.tabel = tabel;
        record.kunci = kunci;
        record.norekening = norekening;
        record.rincian = rincian;
        record.isi = audit::rowContent(tabel, written);
        record.segel = QString::fromLatin1(audit::seal(seal_, audit::content(record)));
        seal_ = record.segel.toLatin1();
        QSqlQuery query(database_);
        query.prepare(QStringLiteral("INSERT INTO jejak (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                          .arg(audit::recordColumns()));
        for (const QVariant &value :
             {QVariant(record.nomor), QVariant(record.waktu), QVariant(record.zona), QVariant(record.operatorName),
              QVariant(), QVariant(record.loket), QVariant(), QVariant(record.tindakan), QVariant(record.tabel),
              QVariant(kunci), record.norekening.isNull() ? QVariant() : QVariant(record.norekening),
              record.rincian.isNull() ? QVariant() : QVariant(record.rincian), QVariant(record.isi), QVariant(),
              QVariant(record.segel)})
            query.addBindValue(value);
        if (!query.exec()) {
            *error = query.lastError().text();
            return false;
        }
        return true;
    }

private:
    QSqlDatabase database_;
    qint64 last_ = 0;
    QByteArray seal_;
};

bool fillDatabase(QString *error)
{
    const std::unique_ptr<db::Fill> fill = db::Fill::intoFile(db::databaseFile());
    bool existing = false;
    QStringList present;
    if (!fill->inspect(&existing, &present, error) || !fill->begin(error))
        return false;
    bool ok = true;
    {
        QSqlDatabase database = fill->database();
        FixedTrail trail(database);
        // A row written, its key, and its trail row.
        auto write = [&](const QString &table, const QVector<QVariant> &values, const QDate &day, const QTime &at,
                         const char *who, const char *counter, const QString &tindakan, const QString &norekening,
                         const QString &rincian = QString()) {
            if (!ok)
                return;
            QStringList marks;
            for (qsizetype i = 0; i < values.size(); ++i)
                marks << QStringLiteral("?");
            QSqlQuery query(database);
            query.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2) RETURNING rowid").arg(table, marks.join(u',')));
            for (const QVariant &value : values)
                query.addBindValue(value);
            ok = query.exec() && query.next();
            if (!ok) {
                *error = query.lastError().text();
                return;
            }
            const qint64 key = query.value(0).toLongLong();
            query.finish();
            ok = trail.append(day, at, QString::fromLatin1(who), QString::fromLatin1(counter), tindakan, table, key,
                              norekening, rincian, values, error);
        };
        const QDate opened(2024, 6, 28);
        for (const char *user : {"admin", "kasir"})
            write(QStringLiteral("tpassword"), {QString::fromLatin1(user), passwords::hash(QStringLiteral("admin123"))},
                  opened, QTime(7, 30), "simparo-initdb (it)", "KANTOR", QLatin1String(audit::action::kOperatorAdded),
                  QString(), audit::detail(QStringLiteral("user"), QString::fromLatin1(user)));
        QHash<QString, QString> names;
        int n = 0;
        for (const Customer &c : kCustomers) {
            const QString number = QString::fromUtf8(c.number);
            write(QStringLiteral("daftar"),
                  {number, QString::fromUtf8(c.name), QString::fromUtf8(c.place), QString::fromUtf8(c.born),
                   QString::fromUtf8(c.address), QString::fromUtf8(c.city), QString::fromUtf8(c.postcode),
                   QString::fromUtf8(c.education), QString::fromUtf8(c.phone)},
                  opened, QTime(8, 0).addSecs(600 * n++), "admin", "LOKET-1",
                  QLatin1String(audit::action::kNewCustomer), number);
            names.insert(number, QString::fromUtf8(c.name));
        }
        // Each account's balance chain: saldo = previous saldo + kredit - debet.
        QHash<QString, double> balances;
        for (const Posting &p : kPostings) {
            const QString number = QString::fromUtf8(p.number);
            const bool deposit = p.code == posting::Code::Deposit;
            const double balance = balances.value(number) + (deposit ? p.amount : -p.amount);
            balances.insert(number, balance);
            write(QStringLiteral("nabubg"),
                  {number, names.value(number), textform::storedDateText(p.date), posting::codeText(p.code),
                   posting::kind(p.code), deposit ? 0.0 : p.amount, deposit ? p.amount : 0.0, balance},
                  p.date, p.at, p.who, p.counter,
                  QLatin1String(deposit ? audit::action::kDeposit : audit::action::kWithdrawal), number);
        }
    }
    if (!ok) {
        fill->discard();
        return false;
    }
    return fill->finish(error);
}

// The main window with the menu of the menu bar entry opened over it.
QImage withMenuOpen(MainWindow *window, const char *menuName)
{
    auto *bar = window->findChild<QMenuBar *>(QStringLiteral("menubar"));
    auto *menu = window->findChild<QMenu *>(QLatin1String(menuName));
    QImage image = picture(window);
    if (!bar || !menu) {
        fail(QStringLiteral("no menu %1").arg(QLatin1String(menuName)));
        return image;
    }
    bar->setActiveAction(menu->menuAction());
    settle(150);
    image = picture(window);
    if (menu->isVisible()) {
        QPainter painter(&image);
        painter.drawImage(window->mapFromGlobal(menu->mapToGlobal(QPoint(0, 0))), picture(menu));
    } else {
        fail(QStringLiteral("the menu %1 did not open").arg(QLatin1String(menuName)));
    }
    menu->hide();
    bar->setActiveAction(nullptr);
    settle();
    return image;
}

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

} // namespace

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
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            fail(QStringLiteral("unexpected message: %1").arg(box ? box->text() : modal->windowTitle()));
            modal->close();
        }
    });
    watchdog.start(200);
    takePictures(folder);
    reports::closeReports();
    screens::endProgram();
    return g_failures == 0 ? 0 : 1;
}
