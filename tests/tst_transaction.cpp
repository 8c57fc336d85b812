// The transaction screen driven through its real widgets: account lookup,
// deposits and withdrawals, every refusal of "SAVE", and the balance chain of
// every account checked straight from the database after each scenario.
#include "app/mainwindow.h"
#include "shell/screens.h"
#include "data/records/recordsource.h"
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
#include "data/base/textforms.h"
#include "data/base/wallclock.h"
#include "data/trail/audit.h"
#include "fixture.h"
#include "othercounter.h"
#include "customers/registerscreen.h"
#include "savings/ledgerview.h"
#include "savings/transactionscreen.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTableView>
#include <QTest>
#include <cmath>

namespace {
const QString kAni = QStringLiteral("0120100001");
const QString kBudi = QStringLiteral("0120100002");
const QString kCitra = QStringLiteral("0120100003"); // registered, no ledger rows

QString today()
{
    return QDate::currentDate().toString(Qt::ISODate);
}
} // namespace

class tst_Transaction : public Fixture
{
    Q_OBJECT

private:
    TransactionScreen *screen = nullptr;

    QComboBox *codeList() { return child<QComboBox>("cbo_TRANSAKSI"); }
    QTableView *grid() { return child<QTableView>("DataGrid1"); }

    void openScreen() { screen = drive(screens::show<TransactionScreen>()); }
    void lookUp(const QString &account)
    {
        type("txtREKENING", account);
        enter("txtREKENING");
    }
    // Chooses an item from the code list's drop-down, as the operator does with the mouse.
    void choose(int index) { ScreenDriver::choose("cbo_TRANSAKSI", index); }
    void save() { click("cmdSIMPAN"); }
    int ledgerRows() { return database->scalar(QStringLiteral("SELECT count(*) FROM nabubg")).toInt(); }
    QString lastRow()
    {
        return database->rows(QStringLiteral("SELECT norekening, nama, TANGGAL, kode, Jenis, debet, kredit, saldo "
                                             "FROM nabubg ORDER BY rowid DESC LIMIT 1"))
            .value(0);
    }
    double balanceOf(const QString &account)
    {
        return database
            ->scalar(QStringLiteral("SELECT saldo FROM nabubg WHERE norekening = ? ORDER BY rowid DESC LIMIT 1"),
                     {account})
            .toDouble();
    }
    // A deposit of ledger rows made outside the screen, keeping the chain.
    void addDeposits(const QString &account, const QString &name, const QList<double> &amounts)
    {
        double saldo = balanceOf(account);
        for (double amount : amounts) {
            saldo += amount;
            database->addLedgerRow(account, name, QStringLiteral("2024-01-02"), QStringLiteral("01"), 0, amount,
                                   saldo);
        }
    }

    // Every account's rows, in posting order: each saldo is the previous saldo
    // plus kredit minus debet, exactly in sen, stored as a number, never below zero.
    void verifyBalanceChains()
    {
        QStringList wrong;
        ledger::Summary chains;
        QString name, error;
        QVERIFY2(db::openConnection(database->connectionText(), &name, &error), qPrintable(error));
        Outcome walked;
        {
            QSqlDatabase live = db::connection(name);
            walked = ledger::checkChains(live, &chains, 1, [&](const ledger::Row &row) {
                if (row.storedSaldo.typeId() == QMetaType::QString || !row.saldo || row.saldo->sen() < 0)
                    wrong << QStringLiteral("%1 %2").arg(row.account).arg(row.storedSaldo.toString());
            });
        }
        db::closeConnection(name);
        QVERIFY2(walked.isOk(), qPrintable(walked.message()));
        QVERIFY2(chains.breaks == 0, qPrintable(chains.shown.value(0).text()));
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u',')));
    }

    // A transaction as the operator makes it, up to "SAVE"; the dialogs seen are left for the caller.
    void prepare(const QString &account, posting::Code code, const QString &amount)
    {
        lookUp(account);
        choose(code == posting::Code::Deposit ? 0 : 1);
        const char *name = code == posting::Code::Deposit ? "txtKREDIT" : "txtDEBET";
        type(name, amount);
        enter(name);
    }
    void post(const QString &account, posting::Code code, const QString &amount)
    {
        prepare(account, code, amount);
        save();
    }

private slots:
    void init()
    {
        Fixture::init();
        database->addCustomer(kAni, QStringLiteral("Ani Lubis"));
        database->addCustomer(kBudi, QStringLiteral("Budi O'Hara"));
        database->addCustomer(kCitra, QStringLiteral("Citra Sari"));
        addDeposits(kAni, QStringLiteral("Ani Lubis"), {2000, 3000}); // balance 5000
        addDeposits(kBudi, QStringLiteral("Budi O'Hara"), {1500.5});   // balance 1500.5
        database->addLedgerRow(kAni, QStringLiteral("Ani Lubis"), QStringLiteral("2024-01-03"),
                               QStringLiteral("02"), 1000, 0, 4000);
        addDeposits(kAni, QStringLiteral("Ani Lubis"), {1000}); // balance 5000 again
    }

    void cleanup()
    {
        closeScreens();
        if (database)
            verifyBalanceChains();
        Fixture::cleanup();
    }

    // A latest saldo that is empty (or, in a file, a text) is told naming the
    // account and the row, by the lookup and by "SAVE" alike: it is never taken as
    // 0, no balance is shown and nothing is written.
    void anUnreadableBalanceIsNeverZero_data()
    {
        QTest::addColumn<QVariant>("saldo");
        QTest::addColumn<bool>("bySave");
        for (const bool bySave : {false, true}) {
            const char *how = bySave ? "SAVE" : "lookup";
            QTest::newRow(qPrintable(QStringLiteral("empty, %1").arg(how))) << QVariant() << bySave;
            // A server's number column holds no text.
            if (!TestDatabase::onServer())
                QTest::newRow(qPrintable(QStringLiteral("text, %1").arg(how))) << QVariant(QStringLiteral("lima ribu")) << bySave;
        }
    }
    void anUnreadableBalanceIsNeverZero()
    {
        QFETCH(QVariant, saldo);
        QFETCH(bool, bySave);
        const qint64 key = database->scalar(QStringLiteral("SELECT max(rowid) FROM nabubg WHERE norekening = ?"), {kAni})
                               .toLongLong();
        database->execAsOwner(QStringLiteral("UPDATE nabubg SET saldo = ? WHERE rowid = ?"), {saldo, key});
        openScreen();
        const int rows = ledgerRows();
        if (bySave) {
            type("txtREKENING", kAni);
            choose(0);
            type("txtKREDIT", QStringLiteral("2000"));
            save();
        } else {
            lookUp(kAni);
        }
        const QString shown = field("txtSAL")->text();
        database->execAsOwner(QStringLiteral("UPDATE nabubg SET saldo = 5000 WHERE rowid = ?"), {key});
        EXPECT_MESSAGE(dialogs->only(), ledger::unreadableBalanceText(kAni, key), "Perhatian", QMessageBox::Critical);
        QCOMPARE(ledgerRows(), rows);
        QCOMPARE(shown, QString());
    }

    void opensAsDesignedFromTheMenu()
    {
        MainWindow *menu = screens::show<MainWindow>();
        QAction *entry = menu->findChild<QAction *>(QStringLiteral("mnuTRANSAKSI"));
        entry->trigger();
        screen = drive(screens::find<TransactionScreen>());
        entry->trigger();
        QCOMPARE(screens::find<TransactionScreen>(), screen); // one instance only

        QCOMPARE(screen->objectName(), QStringLiteral("frmPENARIKAN"));
        QCOMPARE(screen->windowTitle(), QStringLiteral("TRANSAKSI TABUNGAN NASABAH SISWA"));
        // The captions: tst_accessibility.
        QVERIFY(button("cmdSIMPAN")->x() < button("Command1")->x());
        QVERIFY(button("Command1")->x() < button("cmdSALDO")->x());
        for (const char *name : {"Line1", "Line2"})
            QVERIFY(child<QFrame>(name));

        auto *date = child<QDateEdit>("DTPicker1");
        QCOMPARE(date->date(), QDate::currentDate());
        QVERIFY(!date->isEnabled());
        QVERIFY(codeList()->isEditable());
        QCOMPARE(codeList()->count(), 2);
        QCOMPARE(codeList()->itemText(0), QStringLiteral("01"));
        QCOMPARE(codeList()->itemText(1), QStringLiteral("02"));
        QCOMPARE(codeList()->currentIndex(), -1);
        QVERIFY(codeList()->currentText().isEmpty());
        QCOMPARE(field("txtREKENING")->maxLength(), 10);
        for (const char *name : {"txtREKENING", "TXTnama", "txtJENIS", "txtDEBET", "txtKREDIT", "txtSAL", "txtSALDO"}) {
            QVERIFY2(field(name)->text().isEmpty(), name);
            QVERIFY2(field(name)->isEnabled(), name);
        }
        // The balance place: txtSAL lies over txtSALDO.
        QCOMPARE(field("txtSAL")->geometry(), field("txtSALDO")->geometry());
        QVERIFY(field("txtSAL")->isVisible());
        QCOMPARE(screen->childAt(field("txtSAL")->geometry().center()), field("txtSAL"));

        for (const char *name : {"Adodc1", "Adodc2"})
            QVERIFY(child<RecordSource>(name));
        QCOMPARE(screen->customers()->recordSourceName(), QStringLiteral("daftar"));
        QCOMPARE(screen->ledger()->recordSourceName(), QStringLiteral("nabubg"));
        QCOMPARE(grid()->model(), screen->ledger());
        QCOMPARE(grid()->model()->rowCount(), 5);
        QCOMPARE(grid()->model()->columnCount(), 8);
        QCOMPARE(grid()->model()->headerData(7, Qt::Horizontal).toString(), QStringLiteral("saldo"));
        QCOMPARE(grid()->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(!(grid()->model()->flags(grid()->model()->index(0, 7)) & Qt::ItemIsEditable));
        QCOMPARE(focused(), field("txtREKENING"));
        QCOMPARE(dialogs->count(), 0);
    }

    void lookupOfAccountWithRows_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("balance");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("rows");
        QTest::newRow("whole balance") << kAni << QStringLiteral("5000") << QStringLiteral("Ani Lubis") << 4;
        QTest::newRow("fractional balance") << kBudi << QStringLiteral("1500.5") << QStringLiteral("Budi O'Hara") << 1;
    }
    void lookupOfAccountWithRows()
    {
        QFETCH(QString, account);
        QFETCH(QString, balance);
        QFETCH(QString, name);
        QFETCH(int, rows);
        openScreen();
        lookUp(account);
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(field("txtSAL")->text(), balance);
        QVERIFY(field("txtSAL")->isVisible());
        QVERIFY(!field("txtSAL")->isEnabled());
        QCOMPARE(field("TXTnama")->text(), name);
        QVERIFY(!field("TXTnama")->isEnabled());
        QCOMPARE(grid()->model()->rowCount(), rows);
        for (int r = 0; r < rows; ++r)
            QCOMPARE(grid()->model()->index(r, 0).data().toString(), account);
        QCOMPARE(screen->ledger()->position(), rows - 1); // the account's latest row
        QCOMPARE(focused(), codeList());
    }

    // A number not in the register clears what the account before it showed: its
    // name and balance, and its rows (an old program's rows without a customer
    // are shown as the number's own).
    void lookupOfUnknownAccount_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<int>("rows");
        QTest::newRow("not registered") << QStringLiteral("0999") << 0;
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("trailing blank") << kAni.left(9) + u' ' << 0;
        QTest::newRow("apostrophe") << QStringLiteral("01'OR'1'='") << 0;
        QTest::newRow("rows without a customer") << QStringLiteral("0120100009") << 2;
    }
    void lookupOfUnknownAccount()
    {
        QFETCH(QString, account);
        QFETCH(int, rows);
        for (int i = 0; i < rows; ++i)
            database->addLedgerRow(account, QStringLiteral("Nurul Huda"), QStringLiteral("2024-01-05"),
                                   QStringLiteral("01"), 0, 1000, 1000.0 * (i + 1));
        openScreen();
        prepare(kAni, posting::Code::Deposit, QStringLiteral("1000")); // a new balance shown, too
        lookUp(account);
        EXPECT_MESSAGE(dialogs->only(), "MAAF DATA TIDAK ADA?", "Perhatian", QMessageBox::Critical);
        QCOMPARE(dialogs->only().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(field("txtREKENING")->text(), account.left(10));
        QCOMPARE(focused(), field("txtREKENING"));
        QCOMPARE(screen->customers()->position(), 0);
        QCOMPARE(field("TXTnama")->text(), QString());
        QVERIFY(field("txtSAL")->isVisible());
        QCOMPARE(field("txtSAL")->text(), QString());
        QCOMPARE(field("txtSALDO")->text(), QString());
        QCOMPARE(grid()->model()->rowCount(), rows);
    }

    // An account without rows shows a balance of 0 and no rows, never the figures
    // of the account before it, and the keyboard goes on to its first deposit.
    void lookupOfAccountWithoutRows()
    {
        openScreen();
        lookUp(kBudi);
        lookUp(kCitra);
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(field("TXTnama")->text(), QStringLiteral("Citra Sari"));
        QVERIFY(field("txtSAL")->isVisible());
        QCOMPARE(field("txtSAL")->text(), QStringLiteral("0"));
        QCOMPARE(grid()->model()->rowCount(), 0);
        QCOMPARE(focused(), codeList());
        for (const QString &typed : {QStringLiteral("01"), QStringLiteral("2500")}) {
            QTest::keyClicks(focused(), typed);
            QTest::keyClick(focused(), Qt::Key_Return);
        }
        QTest::keyClick(focused(), Qt::Key_Return);
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(balanceOf(kCitra), 2500.0);
        QCOMPARE(grid()->model()->rowCount(), 1);
    }

    // The grid widens its columns for the rows posted: a balance wider than any
    // shown at opening shows whole.
    void gridShowsWholeValues()
    {
        openScreen();
        post(kCitra, posting::Code::Deposit, QStringLiteral("12500.5"));
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(grid()->model()->rowCount(), 1);
        QCOMPARE(cutColumn(grid()), QString());
    }

    // A code is chosen from the keyboard, with the keys going where a keyboard
    // sends them: typed and confirmed with Enter, or stepped to with the arrows,
    // which leave the focus in the list until Enter.
    void codeChosenByKeyboard_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("downs");
        QTest::addColumn<QString>("kode");
        QTest::newRow("01 typed") << "01" << 0 << "01";
        QTest::newRow("02 typed") << "02" << 0 << "02";
        QTest::newRow("Down") << "" << 1 << "01";
        QTest::newRow("Down Down") << "" << 2 << "02";
        QTest::newRow("past the last item") << "" << 3 << "02";
    }
    void codeChosenByKeyboard()
    {
        QFETCH(QString, typed);
        QFETCH(int, downs);
        QFETCH(QString, kode);
        openScreen();
        lookUp(kAni);
        QCOMPARE(focused(), codeList());
        if (!typed.isEmpty())
            type("cbo_TRANSAKSI", typed);
        for (int i = 0; i < downs; ++i) {
            key("cbo_TRANSAKSI", Qt::Key_Down);
            QCOMPARE(focused(), codeList());
        }
        enter("cbo_TRANSAKSI");
        QCOMPARE(dialogs->count(), 0);
        const bool deposit = kode == QLatin1String("01");
        QCOMPARE(field("txtJENIS")->text(), deposit ? QStringLiteral("Penyetoran") : QStringLiteral("Penarikan"));
        const char *amount = deposit ? "txtKREDIT" : "txtDEBET";
        QCOMPARE(focused(), field(amount));
        type(amount, QStringLiteral("1000"));
        enter(amount);
        save();
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(lastRow().split(u'|').value(3), kode);
    }

    // The posting is dated when it is stored, by the reading of the clock that
    // gives its trail row its moment: a screen opened before midnight and saved
    // after it posts on the new day, so the seal of each day covers exactly the
    // postings dated that day. The date shown is today's whenever the screen
    // becomes active. On a server the server dates a posting by its own clock.
    void postingIsDatedWhenStored()
    {
        if (TestDatabase::onServer())
            QSKIP("the server dates a posting and its trail row by its own clock");
        // The file's own rule dates a row by the system's clock; here the counter's clock alone is set.
        database->liftRules();
        const QDate eve(2099, 12, 31);
        QDateTime clock(eve, QTime(23, 59, 50));
        wallclock::setForTesting([&clock] { return clock; });
        auto restore = qScopeGuard([] { wallclock::setForTesting({}); });
        openScreen();
        auto *date = child<QDateEdit>("DTPicker1");
        QCOMPARE(date->date(), eve);
        prepare(kAni, posting::Code::Deposit, QStringLiteral("1000"));
        clock = clock.addSecs(5);
        save();                                     // 23:59:55
        prepare(kBudi, posting::Code::Deposit, QStringLiteral("1000"));
        clock = clock.addSecs(10);
        save();                                     // 00:00:05 the next day
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(date->date(), eve.addDays(1));
        date->setDate(eve); // as the screen left open overnight showed it
        screens::showHome();
        QTRY_COMPARE(QApplication::activeWindow(), screens::find<MainWindow>());
        screen->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), screen);
        QCOMPARE(date->date(), eve.addDays(1));

        QStringList posted = database->rows(QStringLiteral(
            "SELECT nabubg.norekening, nabubg.TANGGAL, jejak.nomor, jejak.waktu, jejak.zona FROM nabubg "
            "JOIN jejak ON jejak.tabel = 'nabubg' AND jejak.kunci = nabubg.rowid ORDER BY jejak.nomor DESC LIMIT 2"));
        QCOMPARE(posted.size(), 2);
        std::reverse(posted.begin(), posted.end());
        QString name, error;
        QVERIFY2(db::openConnection(database->connectionText(), &name, &error), qPrintable(error));
        auto closing = qScopeGuard([&name] { db::closeConnection(name); });
        for (int i = 0; i < 2; ++i) {
            const QStringList row = posted.at(i).split(u'|');
            const QDate day = eve.addDays(i);
            QCOMPARE(row.at(0), i == 0 ? kAni : kBudi);
            QCOMPARE(row.at(1), day.toString(Qt::ISODate));
            QCOMPARE(audit::localTime(row.at(3), row.at(4)).date(), day);
            // The day's seal is that of the day's own (last) posting.
            QSqlDatabase live = db::connection(name);
            std::optional<audit::DaySeal> seal;
            QVERIFY(audit::sealAtEndOfDay(live, day, &seal).isOk());
            QVERIFY(seal);
            QCOMPARE(QString::number(seal->nomor), row.at(2));
        }
    }

    // An earlier lookup leaves the ledger narrowed to its account, on its last
    // row; the next lookup still finds every other account's rows.
    void ledgerLookupAfterAnotherAccount()
    {
        openScreen();
        const QList<QPair<QString, QString>> sequence = {
            {kAni, QStringLiteral("5000")},  {kBudi, QStringLiteral("1500.5")}, {kAni, QStringLiteral("5000")},
            {kCitra, QString()},             {kBudi, QStringLiteral("1500.5")}, {kBudi, QStringLiteral("1500.5")}};
        for (const auto &[account, balance] : sequence) {
            lookUp(account);
            if (!balance.isEmpty()) {
                QCOMPARE(field("txtSAL")->text(), balance);
                QCOMPARE(screen->ledger()->value(0).toString(), account);
            }
        }
        QCOMPARE(dialogs->count(), 0);
        // Postings follow the same rule: a deposit on Ani after looking Budi up.
        lookUp(kBudi);
        type("txtREKENING", kAni);
        choose(0);
        type("txtKREDIT", QStringLiteral("1000"));
        enter("txtKREDIT");
        QCOMPARE(field("txtSALDO")->text(), QStringLiteral("6000"));
        QCOMPARE(field("TXTnama")->text(), QStringLiteral("Ani Lubis"));
    }

    // Every Enter chain ends on "SAVE"; Enter there presses it.
    void enterAllTheWayPostsTheDeposit()
    {
        openScreen();
        prepare(kAni, posting::Code::Deposit, QStringLiteral("2000"));
        QCOMPARE(focused(), button("cmdSIMPAN"));
        const int rows = ledgerRows();
        QTest::keyClick(focused(), Qt::Key_Return);
        QCOMPARE(ledgerRows(), rows + 1);
        QCOMPARE(balanceOf(kAni), 7000.0);
        QCOMPARE(focused(), field("txtREKENING"));
    }

    void deposits_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<double>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("first of an account") << "C" << kCitra << "2500" << 2500.0 << "2500";
        QTest::newRow("onto 5000") << "C" << kAni << "1000" << 1000.0 << "6000";
        QTest::newRow("fractional balance") << "C" << kBudi << "1000" << 1000.0 << "2500.5";
        QTest::newRow("C grouping") << "C" << kAni << "1,500" << 1500.0 << "6500";
        QTest::newRow("C decimals") << "C" << kAni << "1250.75" << 1250.75 << "6250.75";
        QTest::newRow("id grouping") << "id_ID" << kAni << "1.500" << 1500.0 << "6500";
        QTest::newRow("id decimals") << "id_ID" << kBudi << "1.000,25" << 1000.25 << "2500.75";
        QTest::newRow("id plain") << "id_ID" << kCitra << "20000" << 20000.0 << "20000";
    }
    void deposits()
    {
        QFETCH(QString, locale);
        QFETCH(QString, account);
        QFETCH(QString, amount);
        QFETCH(double, stored);
        QFETCH(QString, shown);
        QLocale::setDefault(QLocale(locale));
        const double before = balanceOf(account);
        const QString name = database->scalar(QStringLiteral("SELECT nama FROM daftar WHERE norekening = ?"),
                                              {account}).toString();
        openScreen();
        lookUp(account);
        choose(0);
        QCOMPARE(field("txtJENIS")->text(), QStringLiteral("Penyetoran"));
        QVERIFY(!field("txtDEBET")->isEnabled());
        QCOMPARE(focused(), field("txtKREDIT"));
        type("txtKREDIT", amount);
        enter("txtKREDIT");
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(field("txtSALDO")->text(), shown);
        QVERIFY(!field("txtSAL")->isVisible());
        QVERIFY(field("txtSALDO")->isVisible());
        QVERIFY(!field("txtSALDO")->isEnabled());
        QCOMPARE(focused(), button("cmdSIMPAN"));

        const int rowsBefore = ledgerRows();
        save();
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(ledgerRows(), rowsBefore + 1);
        QCOMPARE(lastRow(), QStringList({account, name, today(), "01", "Penyetoran", "0", QString::number(stored),
                                         QString::number(before + stored)})
                                .join(u'|'));
        for (const char *cleared : {"txtREKENING", "TXTnama", "txtDEBET", "txtKREDIT", "txtSALDO", "txtJENIS"})
            QVERIFY2(field(cleared)->text().isEmpty(), cleared);
        QCOMPARE(focused(), field("txtREKENING"));
        QCOMPARE(codeList()->currentIndex(), 0); // the list keeps its choice
        // The grid shows the row just posted, current.
        QCOMPARE(screen->ledger()->value(7).toDouble(), before + stored);
        QCOMPARE(grid()->currentIndex().row(), screen->ledger()->position());
    }

    void withdrawals_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QList<double>>("deposits");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<double>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("part") << "C" << QList<double>{5000} << "2000" << 2000.0 << "3000";
        QTest::newRow("whole balance") << "C" << QList<double>{5000} << "5000" << 5000.0 << "0";
        QTest::newRow("fractional remainder") << "C" << QList<double>{1500.5} << "0.5" << 0.5 << "1500";
        QTest::newRow("fractional amount") << "C" << QList<double>{1500} << "0.25" << 0.25 << "1499.75";
        QTest::newRow("id grouping") << "id_ID" << QList<double>{5000} << "1.250" << 1250.0 << "3750";
        QTest::newRow("id whole fractional") << "id_ID" << QList<double>{1000, 500.5} << "1.500,5" << 1500.5 << "0";
        QTest::newRow("binary rounding") << "C" << QList<double>{0.1, 0.2} << "0.3" << 0.3 << "0";
    }
    void withdrawals()
    {
        QFETCH(QString, locale);
        QFETCH(QList<double>, deposits);
        QFETCH(QString, amount);
        QFETCH(double, stored);
        QFETCH(QString, shown);
        QLocale::setDefault(QLocale(locale));
        addDeposits(kCitra, QStringLiteral("Citra Sari"), deposits);
        const double before = balanceOf(kCitra);
        openScreen();
        lookUp(kCitra);
        choose(1);
        QCOMPARE(field("txtJENIS")->text(), QStringLiteral("Penarikan"));
        QCOMPARE(focused(), field("txtDEBET"));
        type("txtDEBET", amount);
        enter("txtDEBET");
        if (shown == QLatin1String("0"))
            EXPECT_MESSAGE(dialogs->only(), "SALDO TIDAK BOLEH 0", "Perhatian", QMessageBox::Critical);
        else
            QCOMPARE(dialogs->count(), 0);
        QCOMPARE(field("txtSALDO")->text(), shown);
        QVERIFY(!field("txtSAL")->isVisible());
        QVERIFY(!field("txtSALDO")->isEnabled());
        QCOMPARE(focused(), button("cmdSIMPAN"));

        dialogs->clear();
        save();
        QCOMPARE(dialogs->count(), 0); // the warning does not stop the posting
        const QStringList row = lastRow().split(u'|');
        QCOMPARE(row.mid(0, 5), QStringList({kCitra, "Citra Sari", today(), "02", "Penarikan"}));
        QCOMPARE(row[5].toDouble(), stored);
        QCOMPARE(row[6].toDouble(), 0.0);
        QCOMPARE(row[7], shown == QLatin1String("0") ? QStringLiteral("0") : QString::number(before - stored));
    }

    // Refusals on Enter: below the minimum and above the balance the field is
    // emptied, text that is no number stays; no new balance is computed.
    void enterRefuses_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("kept");
        const QString minimum = QStringLiteral(" Tidak Boleh Kurang Dari 1000");
        QTest::newRow("deposit 999.99") << 0 << "999.99" << minimum << "";
        QTest::newRow("deposit zero") << 0 << "0" << minimum << "";
        QTest::newRow("deposit negative") << 0 << "-5000" << minimum << "";
        QTest::newRow("deposit empty") << 0 << "" << minimum << "";
        QTest::newRow("deposit words") << 0 << "seribu" << "JUMLAH KREDIT BUKAN ANGKA" << "seribu";
        QTest::newRow("deposit currency") << 0 << "Rp 1000" << "JUMLAH KREDIT BUKAN ANGKA" << "Rp 1000";
        QTest::newRow("deposit huge") << 0 << "1e308" << "JUMLAH KREDIT TERLALU BESAR" << "1e308";
        QTest::newRow("withdrawal above balance") << 1 << "7000" << "SALDO TIDAK CUKUP" << "";
        QTest::newRow("withdrawal garbled") << 1 << "1.0.0x" << "JUMLAH DEBET BUKAN ANGKA" << "1.0.0x";
        QTest::newRow("withdrawal zero") << 1 << "0" << "JUMLAH DEBET HARUS LEBIH DARI 0" << "0";
    }
    void enterRefuses()
    {
        QFETCH(int, code);
        QFETCH(QString, amount);
        QFETCH(QString, message);
        QFETCH(QString, kept);
        openScreen();
        lookUp(kAni);
        choose(code);
        const char *name = code == 0 ? "txtKREDIT" : "txtDEBET";
        type(name, QStringLiteral("1000"));
        enter(name);
        const QString preview = field("txtSALDO")->text();
        type(name, amount);
        enter(name);
        EXPECT_MESSAGE(dialogs->only(), message, "Perhatian", QMessageBox::Critical);
        QCOMPARE(field(name)->text(), kept);
        QCOMPARE(focused(), field(name));
        QCOMPARE(field("txtSALDO")->text(), preview);
    }

    // "SAVE" refuses an amount as Enter does: the same text, and below the minimum
    // or beyond the balance the same emptied field; everything else stays as typed.
    void saveRefuses_data()
    {
        QTest::addColumn<QString>("account");
        // -1 none chosen, 0 "01", 1 "02", 2 "01" chosen, then "1" typed over it
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("kredit");
        QTest::addColumn<QString>("debet");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<bool>("emptied");
        const QString minimum = QStringLiteral(" Tidak Boleh Kurang Dari 1000");
        QTest::newRow("no account") << "" << 0 << "2000" << "" << "NO REKENING BELUM DIISI" << "txtREKENING" << false;
        QTest::newRow("unknown account") << "0999" << 0 << "2000" << ""
                                         << "NO REKENING TIDAK ADA DI DATA NASABAH" << "txtREKENING" << false;
        const QString noCode = QStringLiteral("KODE TRANSAKSI BELUM DIPILIH DARI DAFTAR (01 ATAU 02)");
        QTest::newRow("no code") << kAni << -1 << "2000" << "" << noCode << "cbo_TRANSAKSI" << false;
        QTest::newRow("code typed") << kAni << 2 << "2000" << "" << noCode << "cbo_TRANSAKSI" << false;
        QTest::newRow("deposit missing") << kAni << 0 << "" << "" << minimum << "txtKREDIT" << true;
        QTest::newRow("deposit letters") << kAni << 0 << "dua ribu" << "" << "JUMLAH KREDIT BUKAN ANGKA"
                                         << "txtKREDIT" << false;
        QTest::newRow("deposit zero") << kAni << 0 << "0" << "" << minimum << "txtKREDIT" << true;
        QTest::newRow("deposit negative") << kAni << 0 << "-2000" << "" << minimum << "txtKREDIT" << true;
        QTest::newRow("deposit 999") << kAni << 0 << "999" << "" << minimum << "txtKREDIT" << true;
        QTest::newRow("withdrawal in the deposit field")
            << kAni << 1 << "2000" << "" << "PENARIKAN (KODE 02) DIISI DI DEBET, KREDIT HARUS KOSONG" << "txtKREDIT"
            << false;
        QTest::newRow("withdrawal missing") << kAni << 1 << "" << "" << "JUMLAH DEBET BELUM DIISI" << "txtDEBET" << false;
        QTest::newRow("withdrawal letters") << kAni << 1 << "" << "x" << "JUMLAH DEBET BUKAN ANGKA" << "txtDEBET" << false;
        QTest::newRow("withdrawal zero") << kAni << 1 << "" << "0" << "JUMLAH DEBET HARUS LEBIH DARI 0" << "txtDEBET"
                                         << false;
        QTest::newRow("withdrawal above balance") << kAni << 1 << "" << "5001" << "SALDO TIDAK CUKUP" << "txtDEBET"
                                                  << true;
        QTest::newRow("withdrawal without rows") << kCitra << 1 << "" << "1" << "SALDO TIDAK CUKUP" << "txtDEBET"
                                                 << true;
    }
    void saveRefuses()
    {
        QFETCH(QString, account);
        QFETCH(int, code);
        QFETCH(QString, kredit);
        QFETCH(QString, debet);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        QFETCH(bool, emptied);
        openScreen();
        lookUp(kAni);
        field("txtREKENING")->setText(account);
        if (code == 0 || code == 1)
            choose(code);
        if (code == 2) {
            choose(0);
            type("cbo_TRANSAKSI", QStringLiteral("1"));
            QCOMPARE(codeList()->currentText(), QStringLiteral("1"));
        }
        field("txtKREDIT")->setText(kredit);
        field("txtDEBET")->setText(debet);
        const int rows = ledgerRows();
        QStringList expected = {field("txtREKENING")->text(), field("TXTnama")->text(),
                                field("txtKREDIT")->text(), field("txtDEBET")->text(),
                                field("txtJENIS")->text(), codeList()->currentText()};
        if (emptied)
            expected[focus == QLatin1String("txtKREDIT") ? 2 : 3].clear();
        dialogs->clear();
        save();
        EXPECT_MESSAGE(dialogs->only(), message, "Perhatian", QMessageBox::Critical);
        QCOMPARE(dialogs->only().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(ledgerRows(), rows);
        QCOMPARE(screen->ledger()->recordCount(), 4);
        const QStringList after = {field("txtREKENING")->text(), field("TXTnama")->text(),
                                   field("txtKREDIT")->text(), field("txtDEBET")->text(),
                                   field("txtJENIS")->text(), codeList()->currentText()};
        QCOMPARE(after, expected);
        // The code list takes the focus in its text part.
        QWidget *focusedControl = focused();
        if (qobject_cast<QComboBox *>(focusedControl->parentWidget()))
            focusedControl = focusedControl->parentWidget();
        QCOMPARE(focusedControl->objectName(), focus);
    }

    // A code typed into the list and confirmed with Enter chooses its item exactly
    // as the list does; any other text is no code, and the clerk hears so.
    void typedCodeWithEnter_data()
    {
        QTest::addColumn<int>("before"); // -1 nothing chosen, else the item chosen first
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("jenis"); // empty: refused
        QTest::addColumn<QString>("focus");
        QTest::newRow("01") << -1 << "01" << "Penyetoran" << "txtKREDIT";
        QTest::newRow("02") << -1 << "02" << "Penarikan" << "txtDEBET";
        QTest::newRow("01 over 02") << 1 << "01" << "Penyetoran" << "txtKREDIT";
        QTest::newRow("1") << -1 << "1" << "" << "cbo_TRANSAKSI";
        QTest::newRow("setor") << 0 << "setor" << "" << "cbo_TRANSAKSI";
    }
    void typedCodeWithEnter()
    {
        QFETCH(int, before);
        QFETCH(QString, typed);
        QFETCH(QString, jenis);
        QFETCH(QString, focus);
        openScreen();
        lookUp(kAni);
        if (before >= 0)
            choose(before);
        const QString jenisBefore = field("txtJENIS")->text();
        type("cbo_TRANSAKSI", typed);
        dialogs->clear();
        enter("cbo_TRANSAKSI");
        QWidget *focusedControl = focused();
        if (qobject_cast<QComboBox *>(focusedControl->parentWidget()))
            focusedControl = focusedControl->parentWidget();
        QCOMPARE(focusedControl->objectName(), focus);
        if (jenis.isEmpty()) {
            EXPECT_MESSAGE(dialogs->only(), "KODE TRANSAKSI BELUM DIPILIH DARI DAFTAR (01 ATAU 02)", "Perhatian",
                           QMessageBox::Critical);
            QCOMPARE(field("txtJENIS")->text(), jenisBefore);
            return;
        }
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(field("txtJENIS")->text(), jenis);
        QCOMPARE(field("txtDEBET")->isEnabled(), typed == QLatin1String("02"));
        // Posted with the code typed.
        const char *amountField = typed == QLatin1String("01") ? "txtKREDIT" : "txtDEBET";
        type(amountField, QStringLiteral("1000"));
        enter(amountField);
        save();
        QCOMPARE(dialogs->count(), 0);
        QVERIFY(lastRow().contains(u'|' + typed + u'|' + jenis + u'|'));
    }

    // The balance stored is that of the amount actually saved, whatever the preview showed.
    // An amount changed after its Enter: the balance on screen is not the one that
    // would be stored, so the clerk is shown the right one and asked first.
    void balanceIsComputedWhenSaving_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("No") << int(QMessageBox::No);
        QTest::newRow("Yes") << int(QMessageBox::Yes);
    }
    void balanceIsComputedWhenSaving()
    {
        QFETCH(int, answer);
        openScreen();
        prepare(kAni, posting::Code::Deposit, QStringLiteral("1000"));
        QCOMPARE(field("txtSALDO")->text(), QStringLiteral("6000"));
        type("txtKREDIT", QStringLiteral("2500"));
        dialogs->answerMessage(QMessageBox::StandardButton(answer));
        save();
        EXPECT_MESSAGE(dialogs->only(),
                       "Jumlah sudah diubah sesudah saldo barunya dihitung.\n"
                       "Dengan jumlah Rp 2500 saldo barunya menjadi Rp 7500.\nSimpan dengan saldo baru ini?",
                       "PERHATIAN", QMessageBox::Question);
        QCOMPARE(balanceOf(kAni), answer == QMessageBox::Yes ? 7500.0 : 5000.0);
        if (answer == QMessageBox::No) {
            QCOMPARE(field("txtSALDO")->text(), QStringLiteral("7500"));
            QCOMPARE(field("txtKREDIT")->text(), QStringLiteral("2500"));
        }
    }

    // Two counters: another counter (a program of its own) deposits 25000 on a new
    // account while this screen is open. The lookup reads the account as it stands,
    // its balance and all its rows; a customer registered there shows no rows.
    void theLookupShowsOtherCountersPostings()
    {
        const QString dedi = QStringLiteral("0120100004"); // registered by another counter, no ledger rows
        openScreen();
        database->addCustomer(dedi, QStringLiteral("Dedi"));
        QCOMPARE(OtherCounter::post(kCitra, QStringLiteral("01"), QStringLiteral("25000")), QStringLiteral("ok 25000"));
        lookUp(dedi);
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(field("TXTnama")->text(), QStringLiteral("Dedi"));
        QCOMPARE(grid()->model()->rowCount(), 0);
        prepare(kCitra, posting::Code::Deposit, QStringLiteral("10000"));
        QCOMPARE(field("txtSALDO")->text(), QStringLiteral("35000"));
        save();
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(balanceOf(kCitra), 35000.0);
        QCOMPARE(screen->ledger()->recordCount(), 2);
        QCOMPARE(grid()->model()->index(0, 7).data().toString(), QStringLiteral("25000"));
        QCOMPARE(grid()->model()->index(1, 7).data().toString(), QStringLiteral("35000"));
    }

    // The other counter posts after this screen showed the balance: "SAVE" tells
    // the clerk the balance it found before anything is stored, and stores only
    // what he agreed to; after his answer the check is made again inside the write.
    void aBalanceChangedBeforeSaveIsTold_data()
    {
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QString>("whileAsked"); // posted by the other counter while the first question is open
        QTest::addColumn<QStringList>("told");
        QTest::addColumn<double>("balance"); // stored at last
        const QString first = QStringLiteral(
            "Saldo rekening 0120100003 sudah berubah sejak ditampilkan: saldo lamanya sekarang Rp 25000, bukan Rp 0.\n"
            "Dengan transaksi ini saldo barunya menjadi Rp 35000.\nSimpan dengan saldo baru ini?");
        const QString second = QStringLiteral(
            "Saldo rekening 0120100003 sudah berubah sejak ditampilkan: saldo lamanya sekarang Rp 30000, bukan Rp 25000.\n"
            "Dengan transaksi ini saldo barunya menjadi Rp 40000.\nSimpan dengan saldo baru ini?");
        QTest::newRow("agreed") << QList<int>{QMessageBox::Yes} << QString() << QStringList{first} << 35000.0;
        QTest::newRow("declined, then saved") << QList<int>{QMessageBox::No} << QString() << QStringList{first} << 35000.0;
        QTest::newRow("changed again while asked") << QList<int>{QMessageBox::Yes, QMessageBox::Yes} << "5000"
                                                   << QStringList{first, second} << 40000.0;
    }
    void aBalanceChangedBeforeSaveIsTold()
    {
        QFETCH(QList<int>, answers);
        QFETCH(QString, whileAsked);
        QFETCH(QStringList, told);
        QFETCH(double, balance);
        openScreen();
        prepare(kCitra, posting::Code::Deposit, QStringLiteral("10000"));
        QCOMPARE(field("txtSALDO")->text(), QStringLiteral("10000"));
        QCOMPARE(OtherCounter::post(kCitra, QStringLiteral("01"), QStringLiteral("25000")), QStringLiteral("ok 25000"));
        for (int answer : std::as_const(answers))
            dialogs->answerMessage(QMessageBox::StandardButton(answer));
        QString posted;
        if (!whileAsked.isEmpty())
            dialogs->whileNextMessageOpen([&] { posted = OtherCounter::post(kCitra, QStringLiteral("01"), whileAsked); });
        save();
        QCOMPARE(dialogs->count(), told.size());
        for (int i = 0; i < told.size(); ++i) {
            EXPECT_MESSAGE(dialogs->seen.at(i), told.at(i), "PERHATIAN", QMessageBox::Question);
            QCOMPARE(dialogs->seen.at(i).buttons, QMessageBox::Yes | QMessageBox::No);
        }
        if (!whileAsked.isEmpty())
            QCOMPARE(posted, QStringLiteral("ok 30000")); // no lock is held while the clerk is asked
        if (answers.last() == QMessageBox::No) {
            // Nothing stored; the screen shows the figures as they stand and waits.
            QCOMPARE(balanceOf(kCitra), 25000.0);
            QCOMPARE(field("txtSALDO")->text(), QStringLiteral("35000"));
            QCOMPARE(field("txtKREDIT")->text(), QStringLiteral("10000"));
            QCOMPARE(focused(), button("cmdSIMPAN"));
            dialogs->clear();
            save();
            QCOMPARE(dialogs->count(), 0);
        }
        QCOMPARE(balanceOf(kCitra), balance);
        const int rows = database->scalar(QStringLiteral("SELECT count(*) FROM nabubg WHERE norekening = ?"), {kCitra}).toInt();
        QCOMPARE(screen->ledger()->recordCount(), rows);
    }

    // The name stored is the register's name of the account posted, whatever the
    // name field showed from an earlier lookup; a balance not shown is told first.
    void nameComesFromTheRegister()
    {
        openScreen();
        lookUp(kAni);
        QVERIFY(!field("TXTnama")->isEnabled());
        field("txtREKENING")->setText(kBudi);
        choose(0);
        field("txtKREDIT")->setText(QStringLiteral("1000"));
        dialogs->answerMessage(QMessageBox::Yes);
        save();
        EXPECT_MESSAGE(dialogs->only(),
                       "Saldo rekening 0120100002 belum ditampilkan: saldo lamanya Rp 1500.5.\n"
                       "Dengan transaksi ini saldo barunya menjadi Rp 2500.5.\nSimpan dengan saldo baru ini?",
                       "PERHATIAN", QMessageBox::Question);
        dialogs->clear();
        QCOMPARE(lastRow().split(u'|').mid(0, 2), QStringList({kBudi, "Budi O'Hara"}));
        QCOMPARE(balanceOf(kBudi), 2500.5);
        // Each account's lookup finds its own latest balance.
        lookUp(kAni);
        QCOMPARE(field("txtSAL")->text(), QStringLiteral("5000"));
        lookUp(kBudi);
        QCOMPARE(field("txtSAL")->text(), QStringLiteral("2500.5"));

        // A customer deleted from the register meanwhile can no longer be posted on.
        database->exec(QStringLiteral("DELETE FROM daftar WHERE norekening = ?"), {kBudi});
        field("txtREKENING")->setText(kBudi);
        field("txtKREDIT")->setText(QStringLiteral("1000"));
        const int rows = ledgerRows();
        save();
        EXPECT_MESSAGE(dialogs->only(), "NO REKENING TIDAK ADA DI DATA NASABAH", "Perhatian",
                       QMessageBox::Critical);
        QCOMPARE(ledgerRows(), rows);
        QCOMPARE(field("txtKREDIT")->text(), QStringLiteral("1000"));
    }

    void withdrawalAfterDeposit()
    {
        openScreen();
        post(kAni, posting::Code::Deposit, QStringLiteral("1000"));
        QVERIFY(!field("txtDEBET")->isEnabled());
        lookUp(kAni);
        choose(1);
        QVERIFY(field("txtDEBET")->isEnabled());
        QCOMPARE(focused(), field("txtDEBET"));
        QCOMPARE(field("txtJENIS")->text(), QStringLiteral("Penarikan"));
        type("txtDEBET", QStringLiteral("2500"));
        enter("txtDEBET");
        QCOMPARE(field("txtSALDO")->text(), QStringLiteral("3500"));
        save();
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(database->rows(QStringLiteral("SELECT kode, debet, kredit, saldo FROM nabubg WHERE norekening = ? "
                                               "AND TANGGAL = ? ORDER BY rowid"),
                                {kAni, today()}),
                 QStringList({"01|0|1000|6000", "02|2500|0|3500"}));
    }

    // The ledger row refused, or its trail row (on a server the last statement,
    // sent with the COMMIT): nothing is stored and the connection goes on.
    void databaseRefusalKeepsTheFields_data()
    {
        QTest::addColumn<QString>("table");
        QTest::newRow("ledger row") << "nabubg";
        QTest::newRow("trail row") << "jejak";
    }
    void databaseRefusalKeepsTheFields()
    {
        QFETCH(QString, table);
        openScreen();
        prepare(kAni, posting::Code::Deposit, QStringLiteral("2000"));
        database->refuseWrites(QStringLiteral("t"), QStringLiteral("INSERT"), table, QStringLiteral("disk full"));
        const int rows = ledgerRows();
        save();
        const DialogSeen seen = dialogs->only();
        QCOMPARE(seen.title, QStringLiteral("Perhatian"));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QVERIFY2(seen.text.contains(QLatin1String("disk full")), qPrintable(seen.text));
        QVERIFY2(seen.text.contains(database->location()), qPrintable(seen.text));
        QCOMPARE(ledgerRows(), rows);
        QCOMPARE(screen->ledger()->recordCount(), 4);
        QCOMPARE(field("txtREKENING")->text(), kAni);
        QCOMPARE(field("TXTnama")->text(), QStringLiteral("Ani Lubis"));
        QCOMPARE(field("txtKREDIT")->text(), QStringLiteral("2000"));
        QCOMPARE(field("txtSALDO")->text(), QStringLiteral("7000"));

        // The screen goes on once the cause is gone.
        database->allowWrites(QStringLiteral("t"), table);
        dialogs->clear();
        save();
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(balanceOf(kAni), 7000.0);
        QCOMPARE(screen->ledger()->recordCount(), 5);
    }

    // A COMMIT that fails after every statement of the posting went through is
    // never told as saved: the clerk hears that nothing was stored, the typing
    // stays, and the next "SAVE" of it stores it once.
    void aFailedCommitIsToldNotSaved()
    {
        database->failCommits(true);
        openScreen();
        prepare(kAni, posting::Code::Deposit, QStringLiteral("2000"));
        const int rows = ledgerRows();
        save();
        const DialogSeen seen = dialogs->only();
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QVERIFY2(seen.text.startsWith(QLatin1String("Transaksi ini TIDAK tersimpan")), qPrintable(seen.text));
        QCOMPARE(ledgerRows(), rows);
        QCOMPARE(field("txtREKENING")->text(), kAni);
        QCOMPARE(field("txtKREDIT")->text(), QStringLiteral("2000"));

        database->failCommits(false);
        dialogs->clear();
        save();
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(ledgerRows(), rows + 1);
        QCOMPARE(balanceOf(kAni), 7000.0);
        QCOMPARE(field("txtREKENING")->text(), QString());
    }

    // A long run of postings, some refused, across several accounts: every
    // account's chain holds, and the last balance is what the accepted postings make.
    void randomPostingsKeepEveryChain()
    {
        openScreen();
        QRandomGenerator random(20240517);
        const QStringList accounts = {kAni, kBudi, kCitra};
        QHash<QString, double> expected = {{kAni, 5000}, {kBudi, 1500.5}, {kCitra, 0}};
        for (int i = 0; i < 60; ++i) {
            const QString account = accounts.at(random.bounded(3));
            const bool deposit = random.bounded(100) < 55;
            const double amount = random.bounded(1, 40) * 250.0 + (random.bounded(4) == 0 ? 0.5 : 0.0);
            dialogs->clear();
            post(account, deposit ? posting::Code::Deposit : posting::Code::Withdrawal, QString::number(amount));
            const double after = deposit ? expected[account] + amount : expected[account] - amount;
            if (deposit && amount < 1000) {
                // Refused on Enter, which empties the field; "SAVE" then refuses the same way.
                QCOMPARE(dialogs->count(), 2);
                QCOMPARE(dialogs->seen.at(0).text, QStringLiteral(" Tidak Boleh Kurang Dari 1000"));
                QCOMPARE(dialogs->seen.at(1).text, QStringLiteral(" Tidak Boleh Kurang Dari 1000"));
                field("txtREKENING")->clear();
                continue;
            }
            if (after < 0) {
                QCOMPARE(dialogs->count(), 2);
                QCOMPARE(dialogs->seen.at(0).text, QStringLiteral("SALDO TIDAK CUKUP"));
                QCOMPARE(dialogs->seen.at(1).text, QStringLiteral("JUMLAH DEBET BELUM DIISI"));
                field("txtREKENING")->clear();
                continue;
            }
            QCOMPARE(dialogs->count(), after == 0 ? 1 : 0);
            expected[account] = after;
            QCOMPARE(balanceOf(account), after);
        }
        verifyBalanceChains();
    }

    void cancelClosesAndShowsTheMainWindow()
    {
        openScreen();
        lookUp(kAni);
        QPointer<TransactionScreen> watched(screen);
        click("Command1");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(watched.isNull());
        QVERIFY(screens::find<MainWindow>() && screens::find<MainWindow>()->isVisible());

        // Opened again, it starts afresh on the tables as they now stand.
        database->addLedgerRow(kCitra, QStringLiteral("Citra Sari"), today(), QStringLiteral("01"), 0, 1000, 1000);
        openScreen();
        QVERIFY(field("txtREKENING")->text().isEmpty());
        QCOMPARE(grid()->model()->rowCount(), 6);
    }

    void cekSaldoKeepsTheScreen()
    {
        openScreen();
        lookUp(kAni);
        choose(0);
        type("txtKREDIT", QStringLiteral("1000"));
        click("cmdSALDO");
        LedgerView *view = screens::find<LedgerView>();
        QVERIFY(view);
        QVERIFY(view->isVisible());
        QCOMPARE(view->objectName(), QStringLiteral("frmTABUNGAN"));
        QVERIFY(screen->isVisible());
        QCOMPARE(field("txtREKENING")->text(), kAni);
        QCOMPARE(field("txtKREDIT")->text(), QStringLiteral("1000"));
        QCOMPARE(codeList()->currentIndex(), 0);
    }

    // Dates are shown the Indonesian way whatever the system's locale (Debian's
    // default is C.UTF-8): the date picker, the grid, and the caption a click on
    // the background gives.
    void datesInIndonesianWhateverTheLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("C") << "C";
        QTest::newRow("en_US") << "en_US";
        QTest::newRow("id_ID") << "id_ID";
    }
    void datesInIndonesianWhateverTheLocale()
    {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        openScreen();
        const QString today = QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"));
        QCOMPARE(child<QDateEdit>("DTPicker1")->text(), today);
        QCOMPARE(grid()->model()->index(0, 2).data().toString(), QStringLiteral("02/01/2024"));
        QTest::mouseClick(child<QLabel>("Label1"), Qt::LeftButton);
        QCOMPARE(screen->windowTitle(), QStringLiteral("TRANSAKSI TABUNGAN NASABAH SISWA"));
        QTest::mouseClick(screen, Qt::LeftButton, {}, QPoint(5, 300));
        QCOMPARE(screen->windowTitle(), today);
    }

    // With the register, this screen and the ledger view open, another program can
    // move the log into the file at any time, and the log stays small.
    void openScreensHoldNoTransaction()
    {
        screens::show<RegisterScreen>();
        screens::show<LedgerView>();
        openScreen();
        lookUp(kAni);
        RecordSource *ledger = screen->ledger();
        qint64 saldo = 0;
        for (int i = 0; i < 3000; ++i) {
            saldo += 100000;
            QVERIFY2(ledger->addNew({kCitra, QStringLiteral("Citra Sari"), QDate::currentDate(), QStringLiteral("01"),
                                     QStringLiteral("Penyetoran"), 0.0, 1000.0, Money::fromSen(saldo).toDouble()}),
                     qPrintable(ledger->lastError()));
        }
        if (TestDatabase::onServer()) {
            // No session of the program is left inside a transaction.
            QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE application_name = "
                                                     "'simparo' AND state <> 'idle'")).toInt(),
                     0);
            return;
        }
        QVERIFY(QFileInfo(database->file() + QStringLiteral("-wal")).size() < 4 * 1024 * 1024);
        const QStringList checkpoint = database->rows(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        QCOMPARE(checkpoint.value(0).section(u'|', 0, 0), QStringLiteral("0")); // not busy
        QCOMPARE(QFileInfo(database->file() + QStringLiteral("-wal")).size(), 0);
    }

    // A ledger or register that cannot be read is told with the file and the cause;
    // no name and no balance is shown from it.
    void unreadableFileShowsNoBalance_data()
    {
        QTest::addColumn<bool>("truncate");
        QTest::newRow("file cut short") << true;
        QTest::newRow("pages overwritten") << false;
    }
    void unreadableFileShowsNoBalance()
    {
        QFETCH(bool, truncate);
        if (TestDatabase::onServer())
            QSKIP("a damaged file: SQLite only (a server's faults: tst_server)");
        database->exec(QStringLiteral("BEGIN"));
        addDeposits(kBudi, QStringLiteral("Budi O'Hara"), QList<double>(600, 1000.0));
        database->exec(QStringLiteral("COMMIT"));
        database->exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        openScreen();
        QVERIFY(database->damage(truncate));
        lookUp(kBudi);
        const DialogSeen told = dialogs->only();
        QVERIFY2(told.text.contains(QDir::toNativeSeparators(database->file())), qPrintable(told.text));
        QCOMPARE(told.icon, QMessageBox::Critical);
        QVERIFY(field("TXTnama")->text().isEmpty());
        QVERIFY(!field("txtSAL")->isVisible() || field("txtSAL")->text().isEmpty());
        closeAllScreens();
        database.reset(); // the damaged file has no chains to check
    }
};

QTEST_MAIN(tst_Transaction)
#include "tst_transaction.moc"
