// The customer register screen driven through its real widgets: browsing,
// correcting, deleting and the two searches.
#include "app/mainwindow.h"
#include "shell/screens.h"
#include "customers/registerscreen.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/base/money.h"
#include "data/records/recordsource.h"
#include "data/records/recordwriter.h"
#include "fixture.h"
#include "shell/gridbinding.h"
#include "othercounter.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

static const char *const kFields[] = {"txtREKENING", "txtNAMA", "txtTEMPAT", "txtLAHIR",
                                      "txtALAMAT",   "txtKOTA", "txtKODE",   "txtTELPHON"};

class tst_Register : public Fixture
{
    Q_OBJECT

private:
    RegisterScreen *screen = nullptr;

    RecordSource *records() { return screen->records(); }

    void openRegister() { screen = drive(screens::show<RegisterScreen>()); }
    // The operator goes to the main window and comes back to the register.
    void comeBack()
    {
        QVERIFY(QTest::qWaitForWindowActive(screens::show<MainWindow>()));
        screens::show<RegisterScreen>();
        QVERIFY(QTest::qWaitForWindowActive(screen));
    }
    void addCustomers()
    {
        database->addCustomer(QStringLiteral("0101"), QStringLiteral("Ahmad Fauzi"));
        database->addCustomer(QStringLiteral("0102"), QStringLiteral("Budi Santoso"), QStringLiteral("SMP"));
        database->addCustomer(QStringLiteral("0103"), QStringLiteral("Citra Lestari"), QStringLiteral("SMU"));
    }
    QStringList stored()
    {
        return database->rows(QStringLiteral("SELECT norekening, nama, kota FROM daftar ORDER BY rowid"));
    }
    bool editable()
    {
        for (const char *name : kFields)
            if (!field(name)->isEnabled())
                return false;
        return true;
    }
    bool readOnly()
    {
        for (const char *name : kFields)
            if (field(name)->isEnabled())
                return false;
        return true;
    }

private slots:
    void opensAsDesigned()
    {
        addCustomers();
        openRegister();
        QCOMPARE(screen->objectName(), QStringLiteral("frmDAFTAR"));
        QCOMPARE(screen->windowTitle(), QStringLiteral("DAFTAR DATA NASABAH SISWA"));
        QCOMPARE(child<RecordSource>("Adodc1"), records());
        auto *tabs = child<QTabWidget>("SSTab1");
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(tabs->tabText(0), QStringLiteral("INPUT DATA NASABAH"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("CARI DATA NASABAH"));

        // The first customer, read-only; every customer in both grids; the count on tab 1.
        QCOMPARE(field("txtREKENING")->text(), QStringLiteral("0101"));
        QCOMPARE(field("txtNAMA")->text(), QStringLiteral("Ahmad Fauzi"));
        QCOMPARE(field("txtLAHIR")->text(), QStringLiteral("01/02/2010"));
        QCOMPARE(field("txtTELPHON")->text(), QStringLiteral("061-123"));
        QVERIFY(readOnly());
        QCOMPARE(field("txtREKENING")->maxLength(), 10);
        for (const char *grid : {"DataGrid1", "DataGrid2"}) {
            QTableView *view = child<QTableView>(grid);
            QCOMPARE(view->model()->rowCount(), 3);
            QCOMPARE(view->model()->columnCount(), 9);
            QCOMPARE(view->currentIndex().row(), 0);
            QCOMPARE(view->model()->data(view->model()->index(2, 7)).toString(), QStringLiteral("SMU"));
        }
        QCOMPARE(field("txtJUMLAH")->text(), QStringLiteral("3"));
        QCOMPARE(button("cmdADD")->isEnabled(), true);
        QCOMPARE(button("cmdEDIT")->isEnabled(), true);
        QCOMPARE(dialogs->count(), 0);
        // The captions: tst_accessibility.
        // The grids and the count sit on their tabs.
        QVERIFY(tabs->widget(0)->isAncestorOf(child<QTableView>("DataGrid1")));
        QVERIFY(tabs->widget(1)->isAncestorOf(child<QTableView>("DataGrid2")));
        QVERIFY(tabs->widget(1)->isAncestorOf(button("cmdHAPUS")));
    }

    void menuOpensOneRegister()
    {
        MainWindow *menu = screens::show<MainWindow>();
        QAction *entry = child<QAction>(menu, "MNUNASABAH");
        entry->trigger();
        screen = drive(screens::find<RegisterScreen>());
        entry->trigger();
        int open = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            open += qobject_cast<RegisterScreen *>(w) != nullptr;
        QCOMPARE(open, 1);
        QCOMPARE(screens::find<RegisterScreen>(), screen);
    }

    void navigationStopsAtBothEnds()
    {
        addCustomers();
        openRegister();
        click("cmdNEXT");
        click("cmdNEXT");
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(field("txtREKENING")->text(), QStringLiteral("0103"));
        click("cmdNEXT");
        EXPECT_MESSAGE(dialogs->only(), "MAAF DATA SUADAH PALING AKHIR", "Perhatian", QMessageBox::Critical);
        QCOMPARE(records()->position(), 2);
        QCOMPARE(field("txtNAMA")->text(), QStringLiteral("Citra Lestari"));
        QCOMPARE(child<QTableView>("DataGrid2")->currentIndex().row(), 2);

        dialogs->clear();
        click("cmdFIRS");
        QCOMPARE(records()->position(), 0);
        click("cmdPRIVIEW");
        EXPECT_MESSAGE(dialogs->only(), "MAAF DATA SUDAH DIAWAL", "Perhatian", QMessageBox::Critical);
        QCOMPARE(records()->position(), 0);
        QCOMPARE(field("txtREKENING")->text(), QStringLiteral("0101"));

        dialogs->clear();
        click("cmdLAST");
        click("cmdPRIVIEW");
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(field("txtREKENING")->text(), QStringLiteral("0102"));
        QCOMPARE(child<QTableView>("DataGrid1")->currentIndex().row(), 1);
    }

    // "LAST" on a register of many blocks of keys, its last rows deleted: the
    // true last customer, in both grids shown through their windows.
    void lastOnManyRows()
    {
        database->execAsOwner(QStringLiteral("WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 70000) "
                                             "INSERT INTO daftar (norekening, nama) SELECT CAST(i AS TEXT), 'N' FROM c"));
        database->execAsOwner(QStringLiteral("DELETE FROM daftar WHERE rowid >= 69998"));
        const int windowFrom = gridWindowFrom();
        setGridWindowFrom(1000);
        const auto restore = qScopeGuard([windowFrom] { setGridWindowFrom(windowFrom); });
        openRegister();
        click("cmdLAST");
        QCOMPARE(field("txtREKENING")->text(), QStringLiteral("69997"));
        QTableView *grid = child<QTableView>("DataGrid1");
        QVERIFY(grid->model() != records() && grid->model()->rowCount() < 100);
        QCOMPARE(grid->model()->index(grid->currentIndex().row(), 0).data().toString(), QStringLiteral("69997"));
        QCOMPARE(gridScrollBar(grid)->value(), gridScrollBar(grid)->maximum());
    }

    void editAndUpdate()
    {
        addCustomers();
        openRegister();
        click("cmdNEXT");
        click("cmdADD");
        QVERIFY(!button("cmdADD")->isEnabled());
        QVERIFY(editable());
        QCOMPARE(focused(), field("txtREKENING"));
        // Enter walks the fields and goes on from the telephone to "UPDATE".
        for (int i = 0; i + 1 < 8; ++i) {
            enter(kFields[i]);
            QCOMPARE(focused(), field(kFields[i + 1]));
        }
        enter("txtTELPHON");
        QCOMPARE(focused(), button("cmdUPDATE"));

        type("txtKOTA", QStringLiteral("Binjai"));
        type("txtNAMA", QStringLiteral("Nu'man"));
        click("cmdUPDATE");
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(stored().at(1), QStringLiteral("0102|Nu'man|Binjai"));
        QCOMPARE(database->scalar(QStringLiteral("SELECT PENDIDIKAN FROM daftar WHERE norekening='0102'")).toString(),
                 QStringLiteral("SMP"));
        QAbstractItemModel *grid = child<QTableView>("DataGrid2")->model();
        QCOMPARE(grid->data(grid->index(1, 5)).toString(), QStringLiteral("Binjai"));
        QVERIFY(readOnly());
        QVERIFY(button("cmdADD")->isEnabled());
        QCOMPARE(records()->position(), 1);
    }

    void unstoredChangesAreDropped()
    {
        addCustomers();
        openRegister();
        click("cmdADD");
        type("txtNAMA", QStringLiteral("Salah Ketik"));
        click("cmdNEXT");
        click("cmdPRIVIEW");
        QCOMPARE(field("txtNAMA")->text(), QStringLiteral("Ahmad Fauzi"));
        QVERIFY(editable()); // editing goes on across moves
        type("txtKOTA", QStringLiteral("Salah Ketik"));
        click("cmdCLOSE");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!screens::find<RegisterScreen>());
        QVERIFY(screens::find<MainWindow>() && screens::find<MainWindow>()->isVisible());
        QCOMPARE(stored().at(0), QStringLiteral("0101|Ahmad Fauzi|Medan"));
        openRegister();
        QCOMPARE(field("txtKOTA")->text(), QStringLiteral("Medan"));
        QCOMPARE(child<QTabWidget>("SSTab1")->currentIndex(), 0);
    }

    void refusedNumbersAreNotStored_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("addedElsewhere");
        QTest::addColumn<QString>("message");
        QTest::newRow("held by another customer") << QStringLiteral("0103") << false << "NO REKENING SUDAH ADA ?";
        QTest::newRow("taken since the screen opened") << QStringLiteral("0200") << true << "NO REKENING SUDAH ADA ?";
        QTest::newRow("empty") << QString() << false
                               << "NO REKENING belum diisi.\nKetikkan nomor rekening nasabah, lalu ulangi.";
    }
    void refusedNumbersAreNotStored()
    {
        QFETCH(QString, number);
        QFETCH(bool, addedElsewhere);
        QFETCH(QString, message);
        addCustomers();
        openRegister();
        if (addedElsewhere)
            database->addCustomer(QStringLiteral("0200"), QStringLiteral("Dewi"));
        const QStringList before = stored();
        click("cmdADD");
        type("txtREKENING", number);
        type("txtKOTA", QStringLiteral("Binjai"));
        click("cmdUPDATE");
        EXPECT_MESSAGE(dialogs->only(), message, "Perhatian", QMessageBox::Critical);
        QCOMPARE(dialogs->only().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(stored(), before);
        QCOMPARE(field("txtREKENING")->text(), number);
        QCOMPARE(field("txtKOTA")->text(), QStringLiteral("Binjai"));
        QVERIFY(editable());
        QVERIFY(!button("cmdADD")->isEnabled());

        // Corrected, the same typing is stored.
        dialogs->clear();
        type("txtREKENING", QStringLiteral("0109"));
        click("cmdUPDATE");
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(stored().at(0), QStringLiteral("0109|Ahmad Fauzi|Binjai"));
    }

    void databaseRefusalKeepsTheTyping_data()
    {
        QTest::addColumn<bool>("readOnlyFile");
        QTest::addColumn<QString>("cause");
        QTest::newRow("read-only file") << true << "hanya-baca";
        QTest::newRow("full disk") << false << "disk full";
    }
    void databaseRefusalKeepsTheTyping()
    {
        QFETCH(bool, readOnlyFile);
        QFETCH(QString, cause);
        addCustomers();
        if (readOnlyFile)
            db::setReadOnlyForTesting(true);
        else
            database->refuseWrites(QStringLiteral("full"), QStringLiteral("UPDATE"), QStringLiteral("daftar"),
                                   QStringLiteral("disk full"));
        openRegister();
        click("cmdADD");
        type("txtNAMA", QStringLiteral("Ma'ruf"));
        click("cmdUPDATE");
        const DialogSeen refusal = dialogs->only();
        QVERIFY2(refusal.text.contains(cause), qPrintable(refusal.text));
        QVERIFY2(refusal.text.contains(database->location()), qPrintable(refusal.text));
        QCOMPARE(refusal.icon, QMessageBox::Critical);
        QCOMPARE(field("txtNAMA")->text(), QStringLiteral("Ma'ruf"));
        QVERIFY(editable());
        QCOMPARE(stored().at(0), QStringLiteral("0101|Ahmad Fauzi|Medan"));

        // The program goes on: deleting is refused the same way, and nothing is lost.
        if (readOnlyFile) {
            dialogs->clear();
            dialogs->answerMessage(QMessageBox::Yes);
            click("cmdHAPUS");
            QCOMPARE(dialogs->count(), 2);
            QVERIFY(dialogs->seen.at(1).text.contains(cause));
            QCOMPARE(stored().size(), 3);
            QCOMPARE(records()->recordCount(), 3);
        }
    }

    void deleteAsksFirst()
    {
        addCustomers();
        database->addLedgerRow(QStringLiteral("0102"), QStringLiteral("Budi Santoso"), QStringLiteral("2024-01-02"),
                               QStringLiteral("01"), 0, 5000, 5000);
        database->addLedgerRow(QStringLiteral("0102"), QStringLiteral("Budi Santoso"), QStringLiteral("2024-01-03"),
                               QStringLiteral("02"), 5000, 0, 0);
        openRegister();
        click("cmdNEXT");
        dialogs->answerMessage(QMessageBox::No);
        click("cmdHAPUS");
        EXPECT_MESSAGE(dialogs->only(), "ANDA YAKIN MAU MENGHAPUS?", "PERHATIAN", QMessageBox::Question);
        QCOMPARE(dialogs->only().buttons, QMessageBox::Yes | QMessageBox::No);
        QStringList buttonTexts = dialogs->only().buttonTexts;
        buttonTexts.sort();
        QCOMPARE(buttonTexts, QStringList({"Tidak", "Ya"}));
        QCOMPARE(stored().size(), 3);
        QCOMPARE(records()->position(), 1);

        dialogs->clear();
        dialogs->answerMessage(QMessageBox::Yes);
        click("cmdHAPUS");
        QCOMPARE(dialogs->count(), 2);
        EXPECT_MESSAGE(dialogs->seen.at(1), "PENGHAPUSAN SUKSES", "SIMPARO", QMessageBox::NoIcon);
        QCOMPARE(dialogs->seen.at(1).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(stored(), QStringList({QStringLiteral("0101|Ahmad Fauzi|Medan"),
                                        QStringLiteral("0103|Citra Lestari|Medan")}));
        QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM nabubg")).toInt(), 2);
        QCOMPARE(field("txtREKENING")->text(), QStringLiteral("0101"));
        QCOMPARE(child<QTableView>("DataGrid2")->model()->rowCount(), 2);

        // The count is read on activation only.
        QCOMPARE(field("txtJUMLAH")->text(), QStringLiteral("3"));
        comeBack();
        QCOMPARE(field("txtJUMLAH")->text(), QStringLiteral("2"));
    }

    void deleteTheRowChosenInTheGrid()
    {
        addCustomers();
        openRegister();
        auto *tabs = child<QTabWidget>("SSTab1");
        tabs->setCurrentIndex(1);
        QTableView *grid = child<QTableView>("DataGrid2");
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(2, 1)).center());
        QCOMPARE(field("txtREKENING")->text(), QStringLiteral("0103"));
        QCOMPARE(child<QTableView>("DataGrid1")->currentIndex().row(), 2);
        // Cells take no typing.
        QTest::keyClicks(grid, QStringLiteral("xyz"));
        QCOMPARE(grid->model()->data(grid->model()->index(2, 1)).toString(), QStringLiteral("Citra Lestari"));

        dialogs->answerMessage(QMessageBox::Yes);
        click("cmdHAPUS");
        QCOMPARE(dialogs->count(), 2);
        QCOMPARE(database->rows(QStringLiteral("SELECT norekening FROM daftar ORDER BY rowid")),
                 QStringList({QStringLiteral("0101"), QStringLiteral("0102")}));
    }

    // The ledger is kept by account number: a customer with ledger rows keeps his
    // number, and a number whose rows lost their customer is taken only after Yes.
    void renumberingMindsTheLedger_data()
    {
        QTest::addColumn<QString>("holder"); // whose ledger rows there are
        QTest::addColumn<int>("answer");     // to the question; 0 when none is asked
        QTest::addColumn<bool>("stored");
        QTest::newRow("customer with ledger rows") << "0101" << 0 << false;
        QTest::newRow("rows without customer, No") << "0900" << int(QMessageBox::No) << false;
        QTest::newRow("rows without customer, Yes") << "0900" << int(QMessageBox::Yes) << true;
    }
    void renumberingMindsTheLedger()
    {
        QFETCH(QString, holder);
        QFETCH(int, answer);
        QFETCH(bool, stored);
        addCustomers();
        for (double saldo : {20000.0, 15000.5})
            database->addLedgerRow(holder, QStringLiteral("Lama"), QStringLiteral("2024-01-02"), QStringLiteral("01"),
                                   0, 1000, saldo);
        openRegister();
        const QStringList before = this->stored();
        click("cmdADD");
        type("txtREKENING", QStringLiteral("0900"));
        if (answer)
            dialogs->answerMessage(QMessageBox::StandardButton(answer));
        click("cmdUPDATE");
        const DialogSeen seen = dialogs->only();
        if (answer) {
            QCOMPARE(seen.title, QStringLiteral("PERHATIAN"));
            QCOMPARE(seen.icon, QMessageBox::Question);
            QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);
            QVERIFY2(seen.text.contains(QLatin1String("2 transaksi")) && seen.text.contains(QLatin1String("Rp 15000.5")),
                     qPrintable(seen.text));
        } else {
            QCOMPARE(seen.title, QStringLiteral("Perhatian"));
            QCOMPARE(seen.icon, QMessageBox::Critical);
            QVERIFY2(seen.text.contains(QLatin1String("tidak bisa diubah")), qPrintable(seen.text));
        }
        QCOMPARE(this->stored().at(0), stored ? QStringLiteral("0900|Ahmad Fauzi|Medan") : before.at(0));
        QCOMPARE(field("txtREKENING")->text(), QStringLiteral("0900"));
        QCOMPARE(editable(), !stored);
    }

    // A customer who still has money is told so before the question; one whose money
    // another counter posts while the question is open is refused by the write itself.
    // The advice fits the balance: paid out, or a shortfall (brought over from the
    // old program) made good by a deposit, at least the least one.
    void customerWithMoneyStays_data()
    {
        QTest::addColumn<double>("saldo");
        QTest::addColumn<bool>("whileAsked");
        QTest::addColumn<QString>("advice");
        const QString payOut = QStringLiteral("penarikan sebesar saldo");
        QTest::newRow("balance left") << 5000.0 << false << payOut;
        QTest::newRow("one sen left") << 0.01 << false << payOut;
        QTest::newRow("posted while asked") << 2500.0 << true << payOut;
        QTest::newRow("shortfall") << -2500.0 << false << "setoran sebesar Rp 2500";
        QTest::newRow("shortfall below the least deposit") << -400.5 << false << "setorkan Rp 1000, lalu tarik Rp 599.5";
    }
    void customerWithMoneyStays()
    {
        QFETCH(double, saldo);
        QFETCH(bool, whileAsked);
        QFETCH(QString, advice);
        addCustomers();
        const auto post = [this, saldo] {
            database->addLedgerRow(QStringLiteral("0101"), QStringLiteral("Ahmad Fauzi"), QStringLiteral("2024-01-02"),
                                   saldo > 0 ? QStringLiteral("01") : QStringLiteral("02"), std::max(0.0, -saldo),
                                   std::max(0.0, saldo), saldo);
        };
        if (whileAsked)
            dialogs->whileNextMessageOpen(post);
        else
            post();
        openRegister();
        dialogs->answerMessage(QMessageBox::Yes);
        click("cmdHAPUS");
        QCOMPARE(dialogs->count(), whileAsked ? 2 : 1);
        if (whileAsked)
            QCOMPARE(dialogs->seen.at(0).text, QStringLiteral("ANDA YAKIN MAU MENGHAPUS?"));
        const DialogSeen refusal = dialogs->seen.last();
        QCOMPARE(refusal.title, QStringLiteral("Perhatian"));
        QCOMPARE(refusal.icon, QMessageBox::Critical);
        QVERIFY2(refusal.text.contains(QLatin1String("Rp ") + Money::fromStored(saldo)->toText())
                     && refusal.text.contains(advice),
                 qPrintable(refusal.text));
        QCOMPARE(stored().size(), 3);
        QCOMPARE(records()->recordCount(), 3);
        QCOMPARE(field("txtREKENING")->text(), QStringLiteral("0101"));
    }

    // "Hapus" and a change of number hold off every posting on the account from
    // their check to their commit: another counter posting in that moment waits,
    // then finds the number gone and is refused. No money is left on a number
    // without a customer.
    void registerChangesHoldOffPostings_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("Hapus") << "cmdHAPUS";
        QTest::newRow("number changed") << "cmdUPDATE";
    }
    void registerChangesHoldOffPostings()
    {
        QFETCH(QString, button);
        addCustomers();
        openRegister();
        OtherCounter counter;
        bool started = false;
        // The write pauses after its check while the other counter tries to post on
        // 0101: until it has posted, or, on a server, waits for a lock; a file's
        // writers always wait their turn.
        recordwrite::setAfterCheckForTesting([&](const QString &table) {
            if (table != QLatin1String("daftar") || std::exchange(started, true))
                return;
            counter.start(QStringLiteral("0101"), QStringLiteral("01"), QStringLiteral("5000"));
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
        if (button == QLatin1String("cmdUPDATE")) {
            click("cmdADD");
            type("txtREKENING", QStringLiteral("0199"));
        } else {
            dialogs->answerMessage(QMessageBox::Yes);
        }
        click(qPrintable(button));
        QVERIFY(started);
        QCOMPARE(counter.result(), QStringLiteral("ditolak NO REKENING TIDAK ADA DI DATA NASABAH"));
        QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM daftar WHERE norekening = '0101'")).toInt(), 0);
        QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM nabubg")).toInt(), 0);
    }

    void educationOptionsStoreNothing()
    {
        addCustomers();
        openRegister();
        for (const char *option : {"optSD", "Option2", "optSMU", "optMHS"})
            QTest::mouseClick(child<QRadioButton>(option), Qt::LeftButton);
        click("cmdADD");
        click("cmdUPDATE");
        QCOMPARE(database->rows(QStringLiteral("SELECT PENDIDIKAN FROM daftar ORDER BY rowid")),
                 QStringList({QStringLiteral("SD"), QStringLiteral("SMP"), QStringLiteral("SMU")}));
    }

    void emptyRegisterIsHarmless()
    {
        openRegister();
        QCOMPARE(field("txtJUMLAH")->text(), QStringLiteral("0"));
        for (const char *button : {"cmdNEXT", "cmdPRIVIEW", "cmdFIRS", "cmdLAST"})
            click(button);
        QCOMPARE(dialogs->count(), 0);

        click("cmdHAPUS");
        EXPECT_MESSAGE(dialogs->only(), "Tidak ada data nasabah yang bisa dihapus.", "Perhatian",
                       QMessageBox::Critical);

        dialogs->clear();
        click("cmdADD");
        type("txtNAMA", QStringLiteral("Ahmad"));
        click("cmdUPDATE");
        QCOMPARE(dialogs->only().title, QStringLiteral("Perhatian"));
        QCOMPARE(field("txtNAMA")->text(), QStringLiteral("Ahmad"));
        QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM daftar")).toInt(), 0);

        dialogs->clear();
        dialogs->answerPrompt(QStringLiteral("0101"));
        click("cmdKODE");
        QCOMPARE(dialogs->count(), 2);
        QCOMPARE(dialogs->seen.at(1).text, QStringLiteral("No Rekening tidak ditemukan?"));
        QVERIFY(!records()->hasCurrent());
    }

    void search_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("found"); // -1: not found
        const QString kode = QStringLiteral("cmdKODE");
        const QString nama = QStringLiteral("cmdNAMA");
        QTest::newRow("number of the third") << kode << false << QStringLiteral("0103") << 2;
        QTest::newRow("number with apostrophe") << kode << false << QStringLiteral("01'05") << 4;
        QTest::newRow("unknown number") << kode << false << QStringLiteral("9999") << -1;
        QTest::newRow("part of a number") << kode << false << QStringLiteral("010") << -1;
        QTest::newRow("number cancelled") << kode << true << QString() << -1;
        QTest::newRow("name held twice") << nama << false << QStringLiteral("Budi Santoso") << 1;
        QTest::newRow("name with apostrophe") << nama << false << QStringLiteral("Ma'ruf Amin") << 4;
        QTest::newRow("first word of a name") << nama << false << QStringLiteral("Budi") << -1;
        QTest::newRow("name in other case") << nama << false << QStringLiteral("budi santoso") << -1;
        QTest::newRow("quote trick") << nama << false << QStringLiteral("x' OR '1'='1") << -1;
        QTest::newRow("name cancelled") << nama << true << QString() << -1;
    }
    void search()
    {
        QFETCH(QString, button);
        QFETCH(bool, cancelled);
        QFETCH(QString, typed);
        QFETCH(int, found);
        addCustomers();
        database->addCustomer(QStringLiteral("0104"), QStringLiteral("Budi Santoso"));
        database->addCustomer(QStringLiteral("01'05"), QStringLiteral("Ma'ruf Amin"));
        openRegister();
        click("cmdADD");
        // Searching always starts from the first customer, wherever the register stands.
        click("cmdLAST");
        dialogs->answerPrompt(cancelled ? std::nullopt : std::optional<QString>(typed));
        click(button.toLatin1().constData());

        const bool byNumber = button == QLatin1String("cmdKODE");
        QCOMPARE(dialogs->seen.at(0).kind, QStringLiteral("prompt"));
        QCOMPARE(dialogs->seen.at(0).text, byNumber ? QStringLiteral("Ketikan NO REKENING ")
                                                    : QStringLiteral("Ketikan NAMA ANDA"));
        QCOMPARE(dialogs->seen.at(0).title, byNumber ? QStringLiteral("Pencarian No Rekning")
                                                     : QStringLiteral("Pencarian Nama"));
        QStringList promptButtons = dialogs->seen.at(0).buttonTexts;
        promptButtons.sort();
        QCOMPARE(promptButtons, QStringList({"Batal", "OK"}));
        if (found >= 0) {
            QCOMPARE(dialogs->count(), 1);
            QCOMPARE(records()->position(), found);
        } else {
            QCOMPARE(dialogs->count(), 2);
            EXPECT_MESSAGE(dialogs->seen.at(1),
                           byNumber ? "No Rekening tidak ditemukan?" : "Nama Nasabah tidak ditemukan?",
                           "Perhatian", QMessageBox::Critical);
            QCOMPARE(records()->position(), 0);
        }
        const int current = std::max(found, 0);
        QCOMPARE(field("txtREKENING")->text(), records()->valueAt(current, 0).toString());
        QCOMPARE(child<QTableView>("DataGrid2")->currentIndex().row(), current);
        // A search filters nothing and leaves the editing state alone.
        QCOMPARE(child<QTableView>("DataGrid2")->model()->rowCount(), 5);
        QVERIFY(editable());
        QCOMPARE(child<QTabWidget>("SSTab1")->currentIndex(), 0);
    }

    void olderFileWithRepeatedNumbers()
    {
        database->makeOlderRegister();
        addCustomers();
        database->addCustomer(QStringLiteral("0101"), QStringLiteral("Andi Wijaya"));
        openRegister();
        dialogs->answerPrompt(QStringLiteral("0101"));
        click("cmdKODE");
        QCOMPARE(dialogs->count(), 1);
        QCOMPARE(field("txtNAMA")->text(), QStringLiteral("Ahmad Fauzi"));

        // A customer keeps his (repeated) number while his other details are corrected,
        click("cmdLAST");
        click("cmdADD");
        type("txtKOTA", QStringLiteral("Binjai"));
        click("cmdUPDATE");
        QCOMPARE(dialogs->count(), 1);
        QCOMPARE(stored().at(3), QStringLiteral("0101|Andi Wijaya|Binjai"));
        // but no customer is given a number in use, even where the file would allow it.
        click("cmdFIRS");
        click("cmdADD");
        type("txtREKENING", QStringLiteral("0102"));
        click("cmdUPDATE");
        QCOMPARE(dialogs->seen.last().text, QStringLiteral("NO REKENING SUDAH ADA ?"));
        QCOMPARE(stored().at(0), QStringLiteral("0101|Ahmad Fauzi|Medan"));
    }

    void olderFileWithOverlongNumber()
    {
        // The field takes ten characters; a longer stored number is not cut short by
        // correcting the customer's other details.
        database->makeOlderRegister();
        database->addCustomer(QStringLiteral("01234567890"), QStringLiteral("Ahmad Fauzi"));
        openRegister();
        click("cmdADD");
        type("txtKOTA", QStringLiteral("Binjai"));
        click("cmdUPDATE");
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(stored(), QStringList(QStringLiteral("01234567890|Ahmad Fauzi|Binjai")));
    }
};

QTEST_MAIN(tst_Register)
#include "tst_register.moc"
