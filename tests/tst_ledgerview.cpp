// The ledger view driven through its real widgets, opened from the transaction
// screen's "CEK SALDO": the whole ledger on opening, an account's rows and its
// balance, failed lookups, and rows posted while it stays open.
#include "shell/screens.h"
#include "data/recordsource.h"
#include "dialogs.h"
#include "fixture.h"
#include "savings/ledgerview.h"
#include "savings/transactionscreen.h"
#include "testdb.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

namespace {
const QString kAni = QStringLiteral("0120100001");
const QString kBudi = QStringLiteral("0120100002");
const QString kCitra = QStringLiteral("0120100003"); // registered, no ledger rows
} // namespace

class tst_LedgerView : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestDatabase> database;
    std::unique_ptr<DialogAnswerer> dialogs;
    TransactionScreen *transactions = nullptr;
    LedgerView *view = nullptr;

    template <class T>
    T *child(QWidget *screen, const char *name)
    {
        return screen->findChild<T *>(QLatin1String(name));
    }
    QLineEdit *account() { return child<QLineEdit>(view, "txtREKENING"); }
    QLineEdit *total() { return child<QLineEdit>(view, "txtSAL"); }
    QTableView *grid() { return child<QTableView>(view, "DataGrid1"); }
    bool totalShown()
    {
        const bool shown = total()->isVisible();
        // The total and its two labels show and hide together.
        if (child<QLabel>(view, "lblSAL")->isVisible() != shown || child<QLabel>(view, "lblRP")->isVisible() != shown)
            QTest::qFail("the total and its labels differ", __FILE__, __LINE__);
        return shown && child<QLabel>(view, "lblSAL")->isVisible() && child<QLabel>(view, "lblRP")->isVisible();
    }
    QStringList gridColumn(int column)
    {
        QStringList values;
        for (int r = 0; r < grid()->model()->rowCount(); ++r)
            values << grid()->model()->index(r, column).data().toString();
        return values;
    }

    void openView()
    {
        transactions = screens::show<TransactionScreen>();
        QVERIFY(QTest::qWaitForWindowExposed(transactions));
        QTest::mouseClick(child<QPushButton>(transactions, "cmdSALDO"), Qt::LeftButton);
        view = screens::find<LedgerView>();
        QVERIFY(view);
        QVERIFY(QTest::qWaitForWindowExposed(view));
    }
    void lookUp(const QString &number)
    {
        account()->setFocus();
        account()->clear();
        QTest::keyClicks(account(), number);
        QTest::keyClick(account(), Qt::Key_Return);
    }

private slots:
    void init()
    {
        database = std::make_unique<TestDatabase>();
        dialogs = std::make_unique<DialogAnswerer>();
        database->addCustomer(kAni, QStringLiteral("Ani Lubis"));
        database->addCustomer(kBudi, QStringLiteral("Budi Harahap"));
        database->addCustomer(kCitra, QStringLiteral("Citra Sari"));
        const QString ani = QStringLiteral("Ani Lubis");
        const QString budi = QStringLiteral("Budi Harahap");
        database->addLedgerRow(kAni, ani, QStringLiteral("2024-01-02"), QStringLiteral("01"), 0, 5000, 5000);
        database->addLedgerRow(kBudi, budi, QStringLiteral("2024-01-02"), QStringLiteral("01"), 0, 1500.5, 1500.5);
        database->addLedgerRow(kAni, ani, QStringLiteral("2024-01-03"), QStringLiteral("02"), 2000, 0, 3000);
        database->addLedgerRow(kAni, ani, QStringLiteral("2024-01-04"), QStringLiteral("01"), 0, 3000, 6000);
    }

    void cleanup()
    {
        closeAllScreens();
        dialogs.reset();
        database.reset();
    }

    void opensWithTheWholeLedgerAndNoTotal()
    {
        openView();
        QCOMPARE(view->objectName(), QStringLiteral("frmTABUNGAN"));
        QCOMPARE(view->windowTitle(), QStringLiteral("TABEL DATA TABUNGAN NASABAH SISWA"));
        QCOMPARE(child<QLabel>(view, "Label4")->text(), QStringLiteral("DATA TABUNGAN NASABAH SISWA"));
        QCOMPARE(child<QLabel>(view, "Label3")->text(), QStringLiteral("Masukan No Rekening"));
        QCOMPARE(child<QLabel>(view, "lblSAL")->text(), QStringLiteral("Total Saldo"));
        QCOMPARE(child<QLabel>(view, "lblRP")->text(), QStringLiteral("Rp"));
        QVERIFY(child<QLabel>(view, "lblSAL")->x() < child<QLabel>(view, "lblRP")->x());
        QVERIFY(child<QLabel>(view, "lblRP")->x() < total()->x());
        QCOMPARE(account()->maxLength(), 10);
        QVERIFY(!totalShown());
        QVERIFY(!total()->isEnabled());
        QVERIFY(view->customers() && view->customers() != transactions->customers());
        QVERIFY(view->ledger() && view->ledger() != transactions->ledger());
        QCOMPARE(view->ledger()->objectName(), QStringLiteral("Adodc2"));
        QCOMPARE(view->customers()->objectName(), QStringLiteral("Adodc1"));
        QCOMPARE(grid()->model(), view->ledger());
        QCOMPARE(gridColumn(0), QStringList({kAni, kBudi, kAni, kAni}));
        QCOMPARE(gridColumn(7), QStringList({"5000", "1500.5", "3000", "6000"}));
        QCOMPARE(grid()->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(QApplication::focusWidget(), account());
        QCOMPARE(dialogs->count(), 0);
    }

    void accountShowsItsRowsAndLatestBalance_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QStringList>("balances");
        QTest::addColumn<QString>("total");
        // The total is the latest row's saldo, not a sum of the amounts.
        QTest::newRow("three rows") << kAni << QStringList{"5000", "3000", "6000"} << "6000";
        QTest::newRow("fractional") << kBudi << QStringList{"1500.5"} << "1500.5";
    }
    void accountShowsItsRowsAndLatestBalance()
    {
        QFETCH(QString, number);
        QFETCH(QStringList, balances);
        QFETCH(QString, total);
        openView();
        lookUp(number);
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(gridColumn(0), QStringList(QList<QString>(balances.size(), number)));
        QCOMPARE(gridColumn(7), balances);
        QVERIFY(totalShown());
        QCOMPARE(this->total()->text(), total);
        QCOMPARE(account()->text(), number);
    }

    void unknownAccount_data()
    {
        QTest::addColumn<QString>("number");
        QTest::newRow("not registered") << QStringLiteral("0999");
        QTest::newRow("empty") << QString();
        QTest::newRow("apostrophe") << QStringLiteral("0' OR '1");
    }
    void unknownAccount()
    {
        QFETCH(QString, number);
        openView();
        lookUp(kBudi);
        lookUp(number);
        EXPECT_MESSAGE(dialogs->only(), "MAAF DATA TIDAK ADA", "SIMPARO", QMessageBox::NoIcon);
        QCOMPARE(dialogs->only().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(view->customers()->position(), 0);
        QCOMPARE(account()->text(), number);
        // The grid and the total keep what they showed.
        QCOMPARE(gridColumn(0), QStringList({kBudi}));
        QVERIFY(totalShown());
        QCOMPARE(total()->text(), QStringLiteral("1500.5"));
    }

    void accountWithoutRowsKeepsTheEarlierTotal()
    {
        openView();
        lookUp(kCitra);
        QCOMPARE(dialogs->count(), 0);
        QVERIFY(!totalShown());
        lookUp(kAni);
        lookUp(kCitra);
        QCOMPARE(dialogs->count(), 0);
        QVERIFY(totalShown());
        QCOMPARE(total()->text(), QStringLiteral("6000"));
        QCOMPARE(grid()->model()->rowCount(), 3); // still the earlier account's rows, beside its total
    }

    // Each lookup searches the whole ledger, whatever the one before left.
    void lookupAfterAnotherAccount()
    {
        openView();
        const QList<QPair<QString, QString>> sequence = {
            {kBudi, "1500.5"}, {kAni, "6000"}, {kBudi, "1500.5"}, {kBudi, "1500.5"}, {kAni, "6000"}};
        for (const auto &[number, expected] : sequence) {
            lookUp(number);
            QCOMPARE(total()->text(), expected);
            const QStringList column = gridColumn(0);
            QCOMPARE(QSet<QString>(column.begin(), column.end()), QSet<QString>({number}));
        }
    }

    void typingWithoutEnterChangesNothing()
    {
        openView();
        lookUp(kBudi);
        account()->clear();
        QTest::keyClicks(account(), kAni);
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(gridColumn(0), QStringList({kBudi}));
        QCOMPARE(total()->text(), QStringLiteral("1500.5"));
        QCOMPARE(account()->text(), kAni);
    }

    // A posting made while the view is open shows only once it is opened again.
    void postingShowsAfterReopening()
    {
        openView();
        lookUp(kAni);
        QCOMPARE(total()->text(), QStringLiteral("6000"));

        transactions->activateWindow();
        auto *number = child<QLineEdit>(transactions, "txtREKENING");
        number->setFocus();
        QTest::keyClicks(number, kAni);
        QTest::keyClick(number, Qt::Key_Return);
        auto *codes = child<QComboBox>(transactions, "cbo_TRANSAKSI");
        codes->setCurrentIndex(0);
        emit codes->activated(0);
        auto *kredit = child<QLineEdit>(transactions, "txtKREDIT");
        QTest::keyClicks(kredit, QStringLiteral("1000"));
        QTest::mouseClick(child<QPushButton>(transactions, "cmdSIMPAN"), Qt::LeftButton);
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(database->scalar(QStringLiteral("SELECT saldo FROM nabubg ORDER BY rowid DESC LIMIT 1")).toDouble(),
                 7000.0);

        lookUp(kAni);
        QCOMPARE(total()->text(), QStringLiteral("6000"));
        QCOMPARE(grid()->model()->rowCount(), 3);

        QPointer<LedgerView> old(view);
        view->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(old.isNull());
        openView();
        QCOMPARE(grid()->model()->rowCount(), 5);
        lookUp(kAni);
        QCOMPARE(total()->text(), QStringLiteral("7000"));
        QCOMPARE(gridColumn(7), QStringList({"5000", "3000", "6000", "7000"}));
    }

    void cekSaldoAgainBringsTheSameViewForward()
    {
        openView();
        lookUp(kBudi);
        grid()->setFocus();
        LedgerView *first = view;
        transactions->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), transactions);
        openView();
        QCOMPARE(view, first);
        QCOMPARE(account()->text(), kBudi);
        QCOMPARE(total()->text(), QStringLiteral("1500.5"));
        QTRY_COMPARE(QApplication::focusWidget(), account());
    }
};

QTEST_MAIN(tst_LedgerView)
#include "tst_ledgerview.moc"
