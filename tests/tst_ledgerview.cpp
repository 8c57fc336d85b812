// The ledger view driven through its real widgets, opened from the transaction
// screen's "CEK SALDO": the whole ledger on opening, an account's rows and its
// balance, failed lookups, and rows posted while it stays open.
#include "shell/screens.h"
#include "data/records/recordsource.h"
#include "fixture.h"
#include "savings/ledgerview.h"
#include "savings/transactionscreen.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTableView>
#include <QTest>

namespace {
const QString kAni = QStringLiteral("0120100001");
const QString kBudi = QStringLiteral("0120100002");
const QString kCitra = QStringLiteral("0120100003"); // registered, no ledger rows
} // namespace

class tst_LedgerView : public Fixture
{
    Q_OBJECT

private:
    TransactionScreen *transactions = nullptr;
    LedgerView *view = nullptr;

    QLineEdit *account() { return field("txtREKENING"); }
    QLineEdit *total() { return field("txtSAL"); }
    QTableView *grid() { return child<QTableView>("DataGrid1"); }
    bool totalShown()
    {
        const bool shown = total()->isVisible();
        // The total and its two labels show and hide together.
        if (child<QLabel>("lblSAL")->isVisible() != shown || child<QLabel>("lblRP")->isVisible() != shown)
            QTest::qFail("the total and its labels differ", __FILE__, __LINE__);
        return shown && child<QLabel>("lblSAL")->isVisible() && child<QLabel>("lblRP")->isVisible();
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
        transactions = shown(screens::show<TransactionScreen>());
        click(transactions, "cmdSALDO");
        view = drive(screens::find<LedgerView>());
    }
    void lookUp(const QString &number)
    {
        type("txtREKENING", number);
        enter("txtREKENING");
    }

private slots:
    void init()
    {
        Fixture::init();
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

    void opensWithTheWholeLedgerAndNoTotal()
    {
        openView();
        QCOMPARE(view->objectName(), QStringLiteral("frmTABUNGAN"));
        QCOMPARE(view->windowTitle(), QStringLiteral("TABEL DATA TABUNGAN NASABAH SISWA"));
        // The captions: tst_accessibility.
        QVERIFY(child<QLabel>("lblSAL")->x() < child<QLabel>("lblRP")->x());
        QVERIFY(child<QLabel>("lblRP")->x() < total()->x());
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
        QCOMPARE(focused(), account());
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

    // A number not in the register shows nothing of the account before it: no
    // total, and only the ledger rows of the number typed (an old program's rows
    // without a customer).
    void unknownAccount_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<int>("rows");
        QTest::newRow("not registered") << QStringLiteral("0999") << 0;
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("apostrophe") << QStringLiteral("0' OR '1") << 0;
        QTest::newRow("rows without a customer") << QStringLiteral("0120100009") << 2;
    }
    void unknownAccount()
    {
        QFETCH(QString, number);
        QFETCH(int, rows);
        for (int i = 0; i < rows; ++i)
            database->addLedgerRow(number, QStringLiteral("Nurul Huda"), QStringLiteral("2024-01-05"),
                                   QStringLiteral("01"), 0, 1000, 1000.0 * (i + 1));
        openView();
        lookUp(kBudi);
        lookUp(number);
        EXPECT_MESSAGE(dialogs->only(), "MAAF DATA TIDAK ADA", "SIMPARO", QMessageBox::NoIcon);
        QCOMPARE(dialogs->only().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(view->customers()->position(), 0);
        QCOMPARE(account()->text(), number);
        QCOMPARE(gridColumn(0), QStringList(QList<QString>(rows, number)));
        QVERIFY(!totalShown());
        QVERIFY(total()->text().isEmpty());
    }

    // An account without rows shows a total of 0 and no rows, never the total and
    // rows of the account looked up before it.
    void accountWithoutRowsShowsZero()
    {
        openView();
        lookUp(kAni);
        lookUp(kCitra);
        QCOMPARE(dialogs->count(), 0);
        QVERIFY(totalShown());
        QCOMPARE(total()->text(), QStringLiteral("0"));
        QCOMPARE(grid()->model()->rowCount(), 0);
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
        type("txtREKENING", kAni);
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(gridColumn(0), QStringList({kBudi}));
        QCOMPARE(total()->text(), QStringLiteral("1500.5"));
        QCOMPARE(account()->text(), kAni);
    }

    // A posting made while the view is open shows at its next lookup, which reads
    // the ledger as it stands; unfiltered, the grid keeps the rows of its opening.
    void postingShowsAtTheNextLookup()
    {
        openView();
        QCOMPARE(grid()->model()->rowCount(), 4);

        transactions->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), transactions);
        type(transactions, "txtREKENING", kAni);
        enter(transactions, "txtREKENING");
        type(transactions, "cbo_TRANSAKSI", QStringLiteral("01"));
        enter(transactions, "cbo_TRANSAKSI");
        type(transactions, "txtKREDIT", QStringLiteral("1000"));
        click(transactions, "cmdSIMPAN");
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(database->scalar(QStringLiteral("SELECT saldo FROM nabubg ORDER BY rowid DESC LIMIT 1")).toDouble(),
                 7000.0);

        QCOMPARE(grid()->model()->rowCount(), 4);
        view->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), view);
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
        QTRY_COMPARE(focused(), account());
    }
};

QTEST_MAIN(tst_LedgerView)
#include "tst_ledgerview.moc"
