// Supervisors at the counter: the clerk's menu, the supervisor's approval of a
// withdrawal above the limit through its own window, and the limit's setting.
#include "app/mainwindow.h"
#include "customers/registerscreen.h"
#include "data/operators/operators.h"
#include "data/operators/supervision.h"
#include "data/base/wallclock.h"
#include "data/newdb/newdatabase.h"
#include "data/trail/audit.h"
#include "savings/correction.h"
#include "savings/monthend.h"
#include "shell/screens.h"
#include "reports/reports.h"
#include "reports/reportwindow.h"
#include "data/records/recordwriter.h"
#include "fixture.h"
#include "othercounter.h"
#include "othercounter.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QDialog>
#include <QLabel>
#include <QTest>

namespace {
const QString kAccount = QStringLiteral("0120100001");
} // namespace

class tst_Supervision : public Fixture
{
    Q_OBJECT

private:
    // A clerk (budi) and a supervisor (sari) beside the first operator (admin, a
    // supervisor); the account holds Rp 5.000.000; the counter works for `worker`.
    void setUpCounter(const QString &worker)
    {
        const QString text = database->connectionText();
        QCOMPARE(operators::add(text, QStringLiteral("budi"), QStringLiteral("budi123")).message(), QString());
        QCOMPARE(operators::add(text, QStringLiteral("sari"), QStringLiteral("sari123"), supervision::Kind::Supervisor)
                     .message(),
                 QString());
        database->addCustomer(kAccount, QStringLiteral("Ani Lubis"));
        database->addLedgerRow(kAccount, QStringLiteral("Ani Lubis"), QStringLiteral("2024-01-02"),
                               QStringLiteral("01"), 0, 5000000, 5000000);
        QString error;
        QVERIFY2(operators::logIn(text, worker, worker + QStringLiteral("123"), &error), qPrintable(error));
    }

    // The approval window over the transaction screen, once "SAVE" asked for it.
    // Waits for it; nothing when it did not come.
    static QDialog *approvalWindow()
    {
        QDialog *found = nullptr;
        const bool came = QTest::qWaitFor([&] {
            found = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            return found && found->objectName() == QLatin1String("frmPENYELIA") && QApplication::activeWindow() == found;
        });
        return came ? found : nullptr;
    }

    void withdrawAtCounter(const QString &amount) { postAtCounter(kAccount, false, amount); }

    // The supervisor's block screen, opened from his menu.
    QWidget *blockScreen()
    {
        trigger(screens::show<MainWindow>(), "mnuBLOKIR");
        QWidget *screen = nullptr;
        const bool came = QTest::qWaitFor([&] {
            screen = QApplication::activeWindow();
            return screen && screen->objectName() == QLatin1String("frmBLOKIR");
        });
        return came ? screen : nullptr;
    }

    int ledgerRows() { return database->scalar(QStringLiteral("SELECT count(*) FROM nabubg")).toInt(); }

    // The correction screen, opened from the menu File, with the account's rows shown.
    QWidget *correctionScreen()
    {
        trigger(screens::show<MainWindow>(), "mnuKOREKSI");
        QWidget *screen = nullptr;
        const bool came = QTest::qWaitFor([&] {
            screen = QApplication::activeWindow();
            return screen && screen->objectName() == QLatin1String("frmKOREKSI");
        });
        if (!came)
            return nullptr;
        type(screen, "txtREKENING", kAccount);
        enter(screen, "txtREKENING");
        return screen;
    }

    // Chooses the row `up` rows above the latest, types the reason and asks for the correction.
    void askCorrection(QWidget *screen, int up, const QString &reason)
    {
        for (int i = 0; i < up; ++i)
            key(screen, "DataGrid1", Qt::Key_Up);
        type(screen, "txtALASAN", reason);
        enter(screen, "txtALASAN");
        QCOMPARE(focused(), button(screen, "cmdKOREKSI"));
        enter(screen, "cmdKOREKSI");
    }

    void approveAs(const QString &user)
    {
        QDialog *approval = approvalWindow();
        QVERIFY(approval);
        type(approval, "txtUSER", user);
        type(approval, "txtPASWORD", user + QStringLiteral("123"));
        click(approval, "cmdOK");
        QTRY_VERIFY(!QApplication::activeModalWidget());
    }

    // The month-end screen, opened from the supervisor's menu.
    QWidget *monthEndScreen()
    {
        trigger(screens::show<MainWindow>(), "mnuBAGIHASIL");
        QWidget *screen = nullptr;
        const bool came = QTest::qWaitFor([&] {
            screen = QApplication::activeWindow();
            return screen && screen->objectName() == QLatin1String("frmBAGIHASIL");
        });
        return came ? screen : nullptr;
    }

private slots:
    void clerksMenuIsDisabled_data()
    {
        QTest::addColumn<QString>("worker");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("clerk") << QStringLiteral("budi") << false;
        QTest::newRow("supervisor") << QStringLiteral("sari") << true;
    }
    void clerksMenuIsDisabled()
    {
        QFETCH(QString, worker);
        QFETCH(bool, enabled);
        setUpCounter(worker);
        auto *window = screens::show<MainWindow>();
        QAction *menu = window->findChild<QAction *>(QStringLiteral("mnuPENYELIA"));
        QVERIFY(menu);
        QVERIFY(menu->isVisible());
        QCOMPARE(menu->isEnabled(), enabled);
    }

    // Every refusal of the approval leaves the window open for another try; Batal
    // then closes it with nothing written, and the clerk's typing stays.
    void approvalRefused_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message");
        const auto row = [](const char *name, const char *user, const char *password, const char *message) {
            QTest::newRow(name) << QString::fromLatin1(user) << QString::fromLatin1(password)
                                << QString::fromLatin1(message);
        };
        row("wrong password", "sari", "salah", "PASSWORD PENYELIA SALAH");
        row("a clerk", "budi", "budi123", "BUKAN PENYELIA");
        row("nobody of that name", "siapa", "x", "BUKAN PENYELIA");
        // The clerk at the counter is a supervisor too: he still cannot approve himself.
        row("his own action", "admin", "admin123", supervision::text::kOwnAction);
    }
    void approvalRefused()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, message);
        setUpCounter(QStringLiteral("admin"));
        withdrawAtCounter(QStringLiteral("2000000"));
        QDialog *approval = approvalWindow();
        QVERIFY(approval);
        QCOMPARE(approval->windowTitle(), QStringLiteral("PERSETUJUAN PENYELIA"));
        QVERIFY2(child<QLabel>(approval, "lblTINDAKAN")->text().contains(kAccount),
                 qPrintable(child<QLabel>(approval, "lblTINDAKAN")->text()));
        dialogs->clear();
        type(approval, "txtUSER", user);
        enter(approval, "txtUSER");
        QCOMPARE(focused(), field(approval, "txtPASWORD"));
        type(approval, "txtPASWORD", password);
        enter(approval, "txtPASWORD");
        QCOMPARE(focused(), button(approval, "cmdOK"));
        enter(approval, "cmdOK");
        QTRY_COMPARE(dialogs->count(), 1);
        EXPECT_MESSAGE(dialogs->only(), message, "Perhatian", QMessageBox::Critical);
        QCOMPARE(field(approval, "txtPASWORD")->text(), QString());
        QVERIFY(approval->isVisible());

        click(approval, "cmdBatal");
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QCOMPARE(field("txtREKENING")->text(), kAccount);
        QCOMPARE(field("txtDEBET")->text(), QStringLiteral("2000000"));
        QCOMPARE(ledgerRows(), 1);
    }

    // Above the limit the supervisor approves and the trail row names him; at the
    // limit nothing is asked. The limit is the supervisor's setting.
    void largeWithdrawal_data()
    {
        QTest::addColumn<QString>("limit"); // empty: the default Rp 1.000.000
        QTest::addColumn<QString>("amount");
        QTest::addColumn<bool>("asked");
        const auto row = [](const char *name, const char *limit, const char *amount, bool asked) {
            QTest::newRow(name) << QString::fromLatin1(limit) << QString::fromLatin1(amount) << asked;
        };
        row("at the default limit", "", "1000000", false);
        row("above the default limit", "", "1000000,01", true);
        row("above a lower limit", "250.000", "300000", true);
        row("below a lower limit", "250.000", "200000", false);
    }
    void largeWithdrawal()
    {
        QFETCH(QString, limit);
        QFETCH(QString, amount);
        QFETCH(bool, asked);
        QLocale::setDefault(QLocale(QLocale::Indonesian, QLocale::Indonesia));
        setUpCounter(QStringLiteral("budi"));
        if (!limit.isEmpty()) {
            // The supervisor sets it at his own counter.
            QString error;
            QVERIFY2(operators::logIn(database->connectionText(), QStringLiteral("sari"), QStringLiteral("sari123"),
                                      &error),
                     qPrintable(error));
            trigger(screens::show<MainWindow>(), "mnuPENGATURAN");
            QWidget *settings = nullptr;
            QTRY_VERIFY((settings = QApplication::activeWindow())
                        && settings->objectName() == QLatin1String("frmPENGATURAN"));
            QCOMPARE(settings->windowTitle(), QStringLiteral("PENGATURAN"));
            QCOMPARE(field(settings, "txtBATAS")->text(), QStringLiteral("1000000"));
            type(settings, "txtBATAS", limit);
            enter(settings, "txtBATAS");
            // Enter goes on through the month end's tax; a setting left as it was writes nothing.
            QCOMPARE(focused(), field(settings, "txtPAJAKBATAS"));
            QCOMPARE(field(settings, "txtPAJAKBATAS")->text(), QStringLiteral("7500000"));
            enter(settings, "txtPAJAKBATAS");
            QCOMPARE(field(settings, "txtPAJAKTARIF")->text(), QStringLiteral("20"));
            type(settings, "txtPAJAKTARIF", QStringLiteral("15"));
            enter(settings, "txtPAJAKTARIF");
            QTRY_COMPARE(dialogs->count(), 1);
            QCOMPARE(database->rows(QStringLiteral("SELECT \"operator\", rincian FROM jejak WHERE tindakan = "
                                                   "'pengaturan ubah' ORDER BY nomor")),
                     (QStringList{QStringLiteral("sari|batas_penarikan:  -> 25000000"),
                                  QStringLiteral("sari|pajak_tarif:  -> 1500")}));
            closeScreens();
            QVERIFY2(operators::logIn(database->connectionText(), QStringLiteral("budi"), QStringLiteral("budi123"),
                                      &error),
                     qPrintable(error));
            dialogs->clear();
        }
        withdrawAtCounter(amount);
        if (asked) {
            QDialog *approval = approvalWindow();
            QVERIFY(approval);
            QCOMPARE(ledgerRows(), 1); // nothing is written before the approval
            type(approval, "txtUSER", QStringLiteral("sari"));
            type(approval, "txtPASWORD", QStringLiteral("sari123"));
            click(approval, "cmdOK");
        }
        QTRY_COMPARE(ledgerRows(), 2);
        QVERIFY(!QApplication::activeModalWidget());
        const QString rincian = database->scalar(QStringLiteral("SELECT rincian FROM jejak WHERE tindakan = 'penarikan'"))
                                    .toString();
        if (!asked) {
            QCOMPARE(rincian, QString());
            return;
        }
        QVERIFY2(rincian.startsWith(QLatin1String("penyelia=sari")), qPrintable(rincian));
        if (TestDatabase::onServer()) {
            // The grant the supervisor wrote as himself was used by this very row.
            QCOMPARE(database->rows(QStringLiteral("SELECT p.kasir = simparo_peran_operator(k.simparo_key), "
                                                   "p.nabubg_kunci = (SELECT max(simparo_key) FROM nabubg) "
                                                   "FROM persetujuan p, tpassword k WHERE k.\"user\" = 'budi'")),
                     QStringList{QStringLiteral("true|true")});
            QCOMPARE(database->scalar(QStringLiteral("SELECT \"operator\" FROM jejak WHERE tindakan = 'persetujuan'"))
                         .toString(),
                     QStringLiteral("sari"));
        }
    }

    // The month's bonus posted through the screen: a share row for each account and
    // a tax row where the balance is above the threshold, one trail row for the run
    // that simparo-verify checks the rows against; the month posted once; a clerk refused.
    void monthEndPosted()
    {
        const QString other = QStringLiteral("0120100002");
        setUpCounter(QStringLiteral("sari"));
        database->addCustomer(other, QStringLiteral("Budi Santoso"));
        database->addLedgerRow(other, QStringLiteral("Budi Santoso"), QStringLiteral("2024-01-02"), QStringLiteral("01"),
                               0, 10000000, 10000000);
        const QDate last = wallclock::today().addMonths(-1);
        const QString month = last.toString(QStringLiteral("MM/yyyy"));
        QWidget *screen = monthEndScreen();
        QVERIFY(screen);
        QCOMPARE(screen->windowTitle(), QStringLiteral("BAGI HASIL BULANAN"));
        QCOMPARE(field(screen, "txtBULAN")->text(), month);
        // What is no amount is refused, and stays.
        key(screen, "optWADIAH", Qt::Key_Space);
        type(screen, "txtBONUS", QStringLiteral("seratus"));
        dialogs->clear();
        click(screen, "cmdHITUNG");
        QTRY_COMPARE(dialogs->count(), 1);
        EXPECT_MESSAGE(dialogs->only(), QStringLiteral("BONUS HARUS BERUPA JUMLAH UANG LEBIH DARI 0, MISALNYA 1.000.000"),
                       "Perhatian", QMessageBox::Critical);
        QCOMPARE(field(screen, "txtBONUS")->text(), QStringLiteral("seratus"));

        // Rp 150.000 over 5.000.000 and 10.000.000 all month: 50.000 and 100.000, the second taxed 20%.
        type(screen, "txtBONUS", QStringLiteral("150000"));
        // "Hitung" shows the report and writes nothing.
        dialogs->clear();
        click(screen, "cmdHITUNG");
        QTRY_VERIFY(reports::reportWindow(QStringLiteral("LAPBAGIHASIL")));
        QCOMPARE(reports::reportWindow(QStringLiteral("LAPBAGIHASIL"))->document().rowCount(), 2);
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(ledgerRows(), 2);
        dialogs->clear();
        dialogs->answerMessage(QMessageBox::Yes);
        click(screen, "cmdPOSTING");
        QTRY_COMPARE(ledgerRows(), 5);
        EXPECT_MESSAGE(dialogs->seen.first(), QStringLiteral("POSTING BAGI HASIL BULAN %1?").arg(month), "PERHATIAN",
                       QMessageBox::Question);
        const QString keyColumn = TestDatabase::onServer() ? QStringLiteral("simparo_key") : QStringLiteral("rowid");
        QCOMPARE(database->rows(QStringLiteral("SELECT norekening, kode, jenis, CAST(debet AS integer), CAST(kredit AS integer), "
                                               "CAST(saldo AS integer) FROM nabubg "
                                               "WHERE kode IN ('03', '04') ORDER BY %1").arg(keyColumn)),
                 (QStringList{kAccount + QStringLiteral("|03|Bonus|0|50000|5050000"),
                              other + QStringLiteral("|03|Bonus|0|100000|10100000"),
                              other + QStringLiteral("|04|Pajak|20000|0|10080000")}));
        const QString rincian =
            database->scalar(QStringLiteral("SELECT \"operator\" || '/' || rincian FROM jejak WHERE tindakan = 'bagi hasil'"))
                .toString();
        QVERIFY2(rincian.startsWith(QStringLiteral("sari/bulan=%1\nakad=wadiah").arg(month)), qPrintable(rincian));
        for (const char *line : {"\ndibagi=15000000\n", "\ntotal_bagi=15000000\n", "\ntotal_pajak=2000000\n",
                                 "\nsisa=0\n", "\njumlah=3\n"})
            QVERIFY2(rincian.contains(QLatin1String(line)), qPrintable(rincian));
        QVERIFY(reports::reportWindow(QStringLiteral("LAPBAGIHASIL")));

        // Once only: the second run is refused, naming who posted it.
        dialogs->clear();
        dialogs->answerMessage(QMessageBox::Yes);
        click(screen, "cmdPOSTING");
        QTRY_COMPARE(dialogs->count(), 2);
        QVERIFY2(dialogs->seen.last().text.startsWith(QStringLiteral("BAGI HASIL BULAN %1 SUDAH DIPOSTING").arg(month))
                     && dialogs->seen.last().text.endsWith(QLatin1String("oleh sari.")),
                 qPrintable(dialogs->seen.last().text));
        QCOMPARE(ledgerRows(), 5);
        closeScreens();

        // The report of a posted month again, from Laporan; a month not posted is refused.
        trigger(screens::show<MainWindow>(), "mnuLBAGIHASIL");
        QWidget *request = nullptr;
        QTRY_VERIFY((request = QApplication::activeWindow()) && request->objectName() == QLatin1String("frmRBAGIHASIL"));
        dialogs->clear();
        type(request, "txtBULAN", QStringLiteral("01/2020"));
        click(request, "cmdCETAK");
        QTRY_COMPARE(dialogs->count(), 1);
        QCOMPARE(dialogs->only().text, QStringLiteral("BAGI HASIL BULAN 01/2020 BELUM DIPOSTING"));
        type(request, "txtBULAN", month);
        click(request, "cmdCETAK");
        QTRY_VERIFY(reports::reportWindow(QStringLiteral("LAPBAGIHASIL")));
        QCOMPARE(reports::reportWindow(QStringLiteral("LAPBAGIHASIL"))->document().rowCount(), 2);
        QCOMPARE(dialogs->count(), 1);
        closeScreens();

        // A clerk: refused (on a server by the server too), nothing written.
        QString error;
        QVERIFY2(operators::logIn(database->connectionText(), QStringLiteral("budi"), QStringLiteral("budi123"), &error),
                 qPrintable(error));
        profitshare::Inputs inputs;
        inputs.contract = profitshare::Contract::Wadiah;
        inputs.bonus = Money::fromRupiah(1000);
        profitshare::Result result;
        monthend::Run run;
        const Outcome clerk = monthend::post(database->connectionText(), inputs,
                                             *profitshare::Month::of(last.year() - 1, last.month()), &result, &run);
        QCOMPARE(clerk.message(), QString::fromLatin1(supervision::text::kSupervisorsOnly));
        QCOMPARE(ledgerRows(), 5);

        // simparo-verify checks the run's rows against its trail row.
        ToolRun verified = runTool(QStringLiteral("simparo-verify"), {}, database->home());
        QVERIFY2(verified.exitCode == 0, qPrintable(verified.out + verified.err));
        database->execAsOwner(QStringLiteral("UPDATE nabubg SET kredit = 60000, saldo = 5060000 WHERE kode = '03' "
                                             "AND norekening = ?"),
                              {kAccount});
        verified = runTool(QStringLiteral("simparo-verify"), {}, database->home());
        QVERIFY2(verified.exitCode == 1 && verified.out.contains(QLatin1String("(bagi hasil, jejak nomor")),
                 qPrintable(verified.out + verified.err));
    }

    // A posted month taken back whole with another supervisor's approval: a
    // correction for every share and tax row (the tax back before the share goes),
    // linked to it, one trail row that simparo-verify checks them against, and
    // the month posted again. Refused, with nothing written, where an account's
    // share was withdrawn since, and when the supervisor who posted it approves.
    void monthTakenBack_data()
    {
        QTest::addColumn<QString>("asker");
        QTest::addColumn<QString>("approver");
        QTest::addColumn<bool>("withdrawn");
        QTest::addColumn<QString>("refusal"); // empty: taken back
        QTest::newRow("approved by another supervisor") << QStringLiteral("sari") << QStringLiteral("admin") << false
                                                        << QString();
        QTest::newRow("approved by the one who posted it")
            << QStringLiteral("admin") << QStringLiteral("sari") << false
            << QString::fromLatin1(supervision::text::kPostedIt);
        QTest::newRow("the share withdrawn since")
            << QStringLiteral("sari") << QStringLiteral("admin") << true
            << QStringLiteral("POSTING TIDAK BISA DIBATALKAN: BAGI HASIL REKENING %1 (Ani Lubis) SUDAH DITARIK").arg(kAccount);
    }
    void monthTakenBack()
    {
        QFETCH(QString, asker);
        QFETCH(QString, approver);
        QFETCH(bool, withdrawn);
        QFETCH(QString, refusal);
        const QString other = QStringLiteral("0120100002");
        setUpCounter(QStringLiteral("sari"));
        database->addCustomer(other, QStringLiteral("Budi Santoso"));
        database->addLedgerRow(other, QStringLiteral("Budi Santoso"), QStringLiteral("2024-01-02"), QStringLiteral("01"),
                               0, 10000000, 10000000);
        const QString month = wallclock::today().addMonths(-1).toString(QStringLiteral("MM/yyyy"));
        const auto post = [&] {
            QWidget *screen = monthEndScreen();
            QVERIFY(screen);
            key(screen, "optWADIAH", Qt::Key_Space);
            type(screen, "txtBONUS", QStringLiteral("150000"));
            dialogs->answerMessage(QMessageBox::Yes);
            const int before = ledgerRows();
            click(screen, "cmdPOSTING");
            QTRY_COMPARE(ledgerRows(), before + 3);
            closeScreens();
        };
        post();
        if (withdrawn) // Rp 1 more than her share stays
            database->addLedgerRow(kAccount, QStringLiteral("Ani Lubis"), wallclock::today().toString(Qt::ISODate),
                                   QStringLiteral("02"), 5000001, 0, 49999);
        QString error;
        QVERIFY2(operators::logIn(database->connectionText(), asker, asker + QStringLiteral("123"), &error),
                 qPrintable(error));
        const int before = ledgerRows();
        QWidget *screen = monthEndScreen();
        QVERIFY(screen);
        QCOMPARE(field(screen, "txtBULAN")->text(), month);
        dialogs->clear();
        click(screen, "cmdBATALKAN");
        if (withdrawn) {
            QTRY_COMPARE(dialogs->count(), 1);
            QVERIFY2(dialogs->only().text.startsWith(refusal), qPrintable(dialogs->only().text));
        } else {
            QDialog *approval = approvalWindow();
            QVERIFY(approval);
            QVERIFY2(child<QLabel>(approval, "lblTINDAKAN")->text().contains(month),
                     qPrintable(child<QLabel>(approval, "lblTINDAKAN")->text()));
            type(approval, "txtUSER", approver);
            type(approval, "txtPASWORD", approver + QStringLiteral("123"));
            click(approval, "cmdOK");
            QTRY_COMPARE(dialogs->count(), 1);
            if (!refusal.isEmpty()) {
                EXPECT_MESSAGE(dialogs->only(), refusal, "Perhatian", QMessageBox::Critical);
                click(approval, "cmdBatal");
                QTRY_VERIFY(!QApplication::activeModalWidget());
            }
        }
        if (!refusal.isEmpty()) {
            QCOMPARE(ledgerRows(), before);
            QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM bagi_hasil WHERE batal IS NULL")).toInt(), 1);
            QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM koreksi")).toInt(), 0);
            return;
        }
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QCOMPARE(dialogs->only().text, QStringLiteral("Posting bagi hasil bulan %1 dibatalkan: 3 baris koreksi.").arg(month));
        const QString keyColumn = TestDatabase::onServer() ? QStringLiteral("simparo_key") : QStringLiteral("rowid");
        QCOMPARE(database->rows(QStringLiteral("SELECT n.norekening, n.jenis, CAST(n.debet AS integer), "
                                               "CAST(n.kredit AS integer), CAST(n.saldo AS integer), a.kode FROM nabubg n "
                                               "JOIN koreksi k ON k.nabubg_kunci = n.%1 JOIN nabubg a ON a.%1 = k.dibalik "
                                               "WHERE n.kode = '05' ORDER BY n.%1")
                                    .arg(keyColumn)),
                 (QStringList{other + QStringLiteral("|Koreksi|0|20000|10100000|04"),
                              kAccount + QStringLiteral("|Koreksi|50000|0|5000000|03"),
                              other + QStringLiteral("|Koreksi|100000|0|10000000|03")}));
        const QString rincian = database->scalar(QStringLiteral("SELECT \"operator\" || '/' || rincian FROM jejak "
                                                                "WHERE tindakan = 'batal bagi hasil'"))
                                    .toString();
        const QString posted =
            database->scalar(QStringLiteral("SELECT nomor FROM jejak WHERE tindakan = 'bagi hasil'")).toString();
        QVERIFY2(rincian.startsWith(QStringLiteral("sari/bulan=%1\njejak_posting=%2\npenyelia=admin\n").arg(month, posted))
                     && rincian.contains(QLatin1String("\njumlah=3\n")),
                 qPrintable(rincian));
        ToolRun verified = runTool(QStringLiteral("simparo-verify"), {}, database->home());
        QVERIFY2(verified.exitCode == 0, qPrintable(verified.out + verified.err));
        closeScreens();

        // The month posts again, and the whole ledger still checks out.
        post();
        QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM bagi_hasil WHERE batal IS NULL")).toInt(), 1);
        verified = runTool(QStringLiteral("simparo-verify"), {}, database->home());
        QVERIFY2(verified.exitCode == 0, qPrintable(verified.out + verified.err));
    }

    // A counter posts on an account while the month is posted: neither waits for
    // the other for good, and every balance chain stays whole.
    void monthEndBesideACounter()
    {
        setUpCounter(QStringLiteral("sari"));
        QWidget *screen = monthEndScreen();
        QVERIFY(screen);
        key(screen, "optWADIAH", Qt::Key_Space);
        type(screen, "txtBONUS", QStringLiteral("50000"));
        OtherCounter counter;
        counter.start(kAccount, QStringLiteral("01"), QStringLiteral("25000"));
        QVERIFY(counter.waitUntilReady());
        dialogs->answerMessage(QMessageBox::Yes);
        click(screen, "cmdPOSTING");
        QVERIFY2(counter.result().startsWith(QLatin1String("ok ")), "the counter's deposit was not stored");
        QTRY_COMPARE(ledgerRows(), 3);
        QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM nabubg WHERE kode = '03' AND kredit = 50000"))
                     .toInt(),
                 1);
        const ToolRun verified = runTool(QStringLiteral("simparo-verify"), {}, database->home());
        QVERIFY2(verified.exitCode == 0, qPrintable(verified.out + verified.err));
    }

    // A file made when a month was posted once for good (bulan UNIQUE) is made
    // over by the upgrade with the runs it holds: a run taken back then leaves
    // its month free for one new run, and only one.
    void olderFileRunsUpgraded()
    {
        if (TestDatabase::onServer())
            QSKIP("a file cannot drop a UNIQUE: SQLite only");
        database->exec(QStringLiteral("DROP TABLE bagi_hasil"));
        database->exec(QStringLiteral(
            "CREATE TABLE bagi_hasil (id INTEGER PRIMARY KEY AUTOINCREMENT, bulan TEXT NOT NULL UNIQUE, akad TEXT NOT NULL, "
            "pendapatan INTEGER NOT NULL, nisbah INTEGER NOT NULL, bonus INTEGER NOT NULL, dibagi INTEGER NOT NULL, "
            "pajak_batas INTEGER NOT NULL, pajak_tarif INTEGER NOT NULL, jumlah_bagi INTEGER NOT NULL, "
            "jumlah_pajak INTEGER NOT NULL, sisa INTEGER NOT NULL, rekening INTEGER NOT NULL, penyelia TEXT NOT NULL, "
            "waktu TEXT NOT NULL, nabubg_awal INTEGER, nabubg_akhir INTEGER, baris INTEGER, txid INTEGER, peran TEXT)"));
        const QString run = QStringLiteral(
            "INSERT INTO bagi_hasil (bulan, akad, pendapatan, nisbah, bonus, dibagi, pajak_batas, pajak_tarif, jumlah_bagi, "
            "jumlah_pajak, sisa, rekening, penyelia, waktu, nabubg_awal, nabubg_akhir, baris) VALUES ('2024-01', 'wadiah', "
            "0, 0, 100, 100, 0, 0, 100, 0, 0, 1, 'sari', '2024-02-01T08:00:00', 1, 1, 1)");
        database->exec(run);
        audit::Coverage covered;
        QString error;
        QVERIFY2(db::upgradeDatabase(database->connectionText(), &covered, &error), qPrintable(error));
        QCOMPARE(database->rows(QStringLiteral("SELECT id, bulan, penyelia, baris FROM bagi_hasil")),
                 QStringList{QStringLiteral("1|2024-01|sari|1")});
        QString refused;
        QVERIFY(!database->tryExec(run, {}, &refused));
        QVERIFY(!database->tryExec(QStringLiteral("DELETE FROM bagi_hasil"), {}, &refused));
        database->exec(QStringLiteral("UPDATE bagi_hasil SET batal = '2024-02-02T08:00:00', batal_penyelia = 'sari', "
                                      "batal_penyetuju = 'admin' WHERE id = 1"));
        database->exec(run);
        QVERIFY(!database->tryExec(run, {}, &refused));
        QVERIFY2(refused.contains(QLatin1String("UNIQUE")), qPrintable(refused));
    }

    // A file made before supervisors, settings and blocks, not yet upgraded: the
    // clerk looks accounts up and posts as before, on the default limit.
    void olderFileTakesPostings()
    {
        if (TestDatabase::onServer())
            QSKIP("an older file: SQLite only");
        setUpCounter(QStringLiteral("budi"));
        for (const char *sql : {"DROP TRIGGER nabubg_blokir", "DROP TABLE blokir", "DROP TABLE pengaturan",
                                "DROP TABLE jenis_operator"})
            database->exec(QString::fromLatin1(sql));
        postAtCounter(kAccount, true, QStringLiteral("20000"));
        QTRY_COMPARE(ledgerRows(), 2);
        closeScreens();
        withdrawAtCounter(QStringLiteral("10000"));
        QTRY_COMPARE(ledgerRows(), 3);
        QCOMPARE(dialogs->count(), 0);
    }

    // A block stops what it names at the clerk's Enter and at "SAVE", and nothing
    // else; lifted, the account posts again. Each a trail row with the supervisor.
    void blockedAccount_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<bool>("depositStopped");
        QTest::newRow("withdrawals blocked") << QStringLiteral("optDEBET") << false;
        QTest::newRow("everything blocked") << QStringLiteral("optSEMUA") << true;
    }
    void blockedAccount()
    {
        QFETCH(QString, option);
        QFETCH(bool, depositStopped);
        const QString blocked = QStringLiteral("REKENING DIBLOKIR: Buku hilang");
        setUpCounter(QStringLiteral("sari"));
        QWidget *screen = blockScreen();
        QVERIFY(screen);
        QCOMPARE(screen->windowTitle(), QStringLiteral("BLOKIR REKENING"));
        // Lifting an account that is not blocked, and a block without a reason: refused.
        type(screen, "txtREKENING", kAccount);
        enter(screen, "txtREKENING");
        QCOMPARE(field(screen, "txtNAMA")->text(), QStringLiteral("Ani Lubis"));
        for (const char *action : {"cmdBUKA", "cmdBLOKIR"}) {
            dialogs->clear();
            click(screen, action);
            QTRY_COMPARE(dialogs->count(), 1);
            EXPECT_MESSAGE(dialogs->only(),
                           QString::fromLatin1(action == QByteArray("cmdBUKA") ? supervision::text::kNotBlocked
                                                                                : supervision::text::kBlockReasonMissing),
                           "Perhatian", QMessageBox::Critical);
        }
        QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM blokir")).toInt(), 0);
        choose(screen, "cboALASAN", 0);
        key(screen, option.toLatin1().constData(), Qt::Key_Space);
        dialogs->clear();
        click(screen, "cmdBLOKIR");
        QTRY_COMPARE(dialogs->count(), 1);
        QCOMPARE(dialogs->only().text, QStringLiteral("Rekening diblokir."));
        QCOMPARE(database->rows(QStringLiteral("SELECT \"operator\", norekening, rincian FROM jejak WHERE tindakan = "
                                               "'blokir'")),
                 QStringList{QStringLiteral("sari|%1|jenis=%2\nalasan=Buku hilang\nketerangan=")
                                 .arg(kAccount, option == QLatin1String("optDEBET") ? QStringLiteral("debet")
                                                                              : QStringLiteral("semua"))});
        closeScreens();
        // The register shows the block beside the customer's data.
        QWidget *customers = screens::show<RegisterScreen>();
        QTRY_VERIFY(child<QLabel>(customers, "lblBLOKIR")->text().endsWith(QLatin1String("DIBLOKIR: Buku hilang")));
        closeScreens();
        // The database itself refuses a withdrawal past the screens.
        QString error;
        QVERIFY(!database->tryExec(
            QStringLiteral("INSERT INTO nabubg (norekening, nama, tanggal, kode, jenis, debet, kredit, saldo) "
                           "VALUES (?, 'Ani Lubis', %1, '02', 'Penarikan', 10000, 0, 4990000)")
                .arg(TestDatabase::onServer() ? QStringLiteral("current_date") : QStringLiteral("date('now', 'localtime')")),
            {kAccount}, &error));
        QVERIFY2(error.contains(QLatin1String("rekening diblokir")), qPrintable(error));

        QVERIFY2(operators::logIn(database->connectionText(), QStringLiteral("budi"), QStringLiteral("budi123"), &error),
                 qPrintable(error));
        for (const bool deposit : {true, false}) {
            const bool stopped = !deposit || depositStopped;
            const int before = ledgerRows();
            dialogs->clear();
            postAtCounter(kAccount, deposit, QStringLiteral("10000"));
            // The lookup showed the name and balance, then the block; Enter and "SAVE" each refused.
            QCOMPARE(field("TXTnama")->text(), stopped ? QStringLiteral("Ani Lubis") : QString());
            QTRY_COMPARE(dialogs->count(), stopped ? 3 : 1);
            for (const DialogSeen &seen : std::as_const(dialogs->seen))
                EXPECT_MESSAGE(seen, blocked, "Perhatian", QMessageBox::Critical);
            QCOMPARE(ledgerRows(), stopped ? before : before + 1);
            closeScreens();
        }

        QVERIFY2(operators::logIn(database->connectionText(), QStringLiteral("sari"), QStringLiteral("sari123"), &error),
                 qPrintable(error));
        screen = blockScreen();
        type(screen, "txtREKENING", kAccount);
        enter(screen, "txtREKENING");
        dialogs->clear();
        click(screen, "cmdBUKA");
        QTRY_COMPARE(dialogs->count(), 1);
        QCOMPARE(dialogs->only().text, QStringLiteral("Blokir rekening dibuka."));
        QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM jejak WHERE tindakan = 'buka blokir' "
                                                 "AND \"operator\" = 'sari'"))
                     .toInt(),
                 1);
        closeScreens();
        QVERIFY2(operators::logIn(database->connectionText(), QStringLiteral("budi"), QStringLiteral("budi123"), &error),
                 qPrintable(error));
        const int before = ledgerRows();
        dialogs->clear();
        withdrawAtCounter(QStringLiteral("10000"));
        QTRY_COMPARE(ledgerRows(), before + 1);
    }

    // A clerk corrects a deposit typed ten times too large: the supervisor
    // approves, one reversing row follows, and the trail row names the reversed
    // row, the reason, the clerk and the supervisor.
    void correctionApproved()
    {
        setUpCounter(QStringLiteral("budi"));
        database->addLedgerRow(kAccount, QStringLiteral("Ani Lubis"), QStringLiteral("2024-01-03"),
                               QStringLiteral("01"), 0, 100000, 5100000);
        QWidget *screen = correctionScreen();
        QVERIFY(screen);
        QCOMPARE(screen->windowTitle(), QStringLiteral("KOREKSI TRANSAKSI"));
        QCOMPARE(field(screen, "txtNAMA")->text(), QStringLiteral("Ani Lubis"));
        askCorrection(screen, 0, QStringLiteral("salah ketik jumlah"));
        QVERIFY2(child<QLabel>(approvalWindow(), "lblTINDAKAN")->text().contains(QLatin1String("salah ketik")),
                 qPrintable(child<QLabel>(approvalWindow(), "lblTINDAKAN")->text()));
        QCOMPARE(ledgerRows(), 2);
        dialogs->clear();
        approveAs(QStringLiteral("sari"));
        QTRY_COMPARE(ledgerRows(), 3);
        QTRY_COMPARE(dialogs->count(), 1);
        QCOMPARE(dialogs->only().text, QStringLiteral("Koreksi tersimpan."));
        QCOMPARE(database->rows(QStringLiteral("SELECT kode, jenis, CAST(debet AS integer), CAST(kredit AS integer), CAST(saldo AS integer) FROM nabubg "
                                               "WHERE kode = '05'")),
                 QStringList{QStringLiteral("05|Koreksi|100000|0|5000000")});
        const QStringList trail = database->rows(
            QStringLiteral("SELECT \"operator\", norekening, rincian FROM jejak WHERE tindakan = 'koreksi'"));
        QCOMPARE(trail.size(), 1);
        QVERIFY2(trail.first().startsWith(QStringLiteral("budi|%1|dibalik=").arg(kAccount))
                     && trail.first().contains(QLatin1String("alasan=salah ketik jumlah\npenyelia=sari")),
                 qPrintable(trail.first()));
        QCOMPARE(database->rows(QStringLiteral("SELECT alasan, kasir, penyelia FROM koreksi")),
                 QStringList{QStringLiteral("salah ketik jumlah|budi|sari")});
        // The correction is a posting of the trail like any other: simparo-verify passes.
        const ToolRun verified = runTool(QStringLiteral("simparo-verify"), {}, database->home());
        QVERIFY2(verified.exitCode == 0, qPrintable(verified.out + verified.err));
    }

    // Another counter deposits on the account while the correction is being
    // written: it waits for the correction, and the balance chain stays whole.
    void correctionBesideACounter()
    {
        setUpCounter(QStringLiteral("budi"));
        database->addLedgerRow(kAccount, QStringLiteral("Ani Lubis"), QStringLiteral("2024-01-03"),
                               QStringLiteral("01"), 0, 100000, 5100000);
        OtherCounter counter;
        bool started = false;
        recordwrite::setAfterCheckForTesting([&](const QString &table) {
            if (table != QLatin1String("nabubg") || std::exchange(started, true))
                return;
            counter.start(kAccount, QStringLiteral("01"), QStringLiteral("5000"));
            QVERIFY(counter.waitUntilReady());
            const QDeadlineTimer deadline(TestDatabase::onServer() ? 30000 : 500);
            while (counter.running() && !deadline.hasExpired()) {
                counter.waitForFinished(20);
                if (TestDatabase::onServer()
                    && database->scalar(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE "
                                                       "wait_event_type = 'Lock' AND wait_event = 'advisory'")).toInt() > 0)
                    return;
            }
        });
        QWidget *screen = correctionScreen();
        QVERIFY(screen);
        askCorrection(screen, 0, QStringLiteral("salah ketik"));
        approveAs(QStringLiteral("sari"));
        // The correction lands; the waiting counter's deposit may follow at once.
        QTRY_VERIFY(ledgerRows() >= 3);
        recordwrite::setAfterCheckForTesting({});
        QVERIFY(started);
        QCOMPARE(counter.result(), QStringLiteral("ok 5005000"));
        QCOMPARE(ledgerRows(), 4);
        QCOMPARE(database->rows(QStringLiteral("SELECT kode, CAST(saldo AS integer) FROM nabubg WHERE kode <> '01' "
                                               "OR CAST(kredit AS integer) = 5000")),
                 (QStringList{QStringLiteral("05|5000000"), QStringLiteral("01|5005000")}));
        const ToolRun verified = runTool(QStringLiteral("simparo-verify"), {}, database->home());
        QVERIFY2(verified.exitCode == 0, qPrintable(verified.out + verified.err));
    }

    // What may not be corrected is refused before the supervisor is asked, with
    // the clerk's typing kept; Batal at the approval writes nothing.
    void correctionRefused_data()
    {
        QTest::addColumn<QString>("setup");  // "withdrawn", "corrected"
        QTest::addColumn<int>("up");         // rows above the latest
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("message"); // empty: Batal at the approval
        const auto row = [](const char *name, const char *setup, int up, const char *reason, const char *message) {
            QTest::newRow(name) << QString::fromLatin1(setup) << up << QString::fromLatin1(reason)
                                << QString::fromLatin1(message);
        };
        row("no reason", "", 0, "  ", correction::text::kReasonMissing);
        row("money taken out since", "withdrawn", 1, "salah", correction::text::kMoneyGone);
        row("a correction itself", "corrected", 0, "salah", correction::text::kIsCorrection);
        row("corrected before", "corrected", 1, "salah", correction::text::kAlreadyCorrected);
        row("cancelled", "", 0, "salah", "");
    }
    void correctionRefused()
    {
        QFETCH(QString, setup);
        QFETCH(int, up);
        QFETCH(QString, reason);
        QFETCH(QString, message);
        setUpCounter(QStringLiteral("budi"));
        if (setup == QLatin1String("withdrawn")) {
            database->addLedgerRow(kAccount, QStringLiteral("Ani Lubis"), QStringLiteral("2024-01-04"),
                                   QStringLiteral("02"), 4000000, 0, 1000000);
        } else if (setup == QLatin1String("corrected")) {
            QWidget *first = correctionScreen();
            askCorrection(first, 0, QStringLiteral("keliru"));
            approveAs(QStringLiteral("sari"));
            QTRY_COMPARE(ledgerRows(), 2);
            closeScreens();
        }
        const int before = ledgerRows();
        QWidget *screen = correctionScreen();
        QVERIFY(screen);
        dialogs->clear();
        askCorrection(screen, up, reason);
        if (message.isEmpty()) {
            QDialog *approval = approvalWindow();
            QVERIFY(approval);
            click(approval, "cmdBatal");
            QTRY_VERIFY(!QApplication::activeModalWidget());
        } else {
            QTRY_COMPARE(dialogs->count(), 1);
            EXPECT_MESSAGE(dialogs->only(), message, "Perhatian", QMessageBox::Critical);
            QVERIFY(!qobject_cast<QDialog *>(QApplication::activeModalWidget()));
        }
        QCOMPARE(field(screen, "txtALASAN")->text(), reason);
        QCOMPARE(ledgerRows(), before);
    }
};

QTEST_MAIN(tst_Supervision)
#include "tst_supervision.moc"
