// The new-customer screen driven through its real widgets, with the register
// screen whose record source it checks and saves through.
#include "app/mainwindow.h"
#include "shell/screens.h"
#include "customers/newcustomerscreen.h"
#include "customers/registerscreen.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/records/recordsource.h"
#include "fixture.h"

#include <QGroupBox>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

static const char *const kFields[] = {"txtREKENING", "txtNAMA", "txtTEMPAT", "txtLAHIR",
                                      "txtALAMAT",   "txtKOTA", "txtKODE",   "txtTELPHON"};

class tst_NewCustomer : public Fixture
{
    Q_OBJECT

private:
    NewCustomerScreen *screen = nullptr;

    QRadioButton *option(const char *name) { return child<QRadioButton>(name); }
    RegisterScreen *registerScreen() { return screens::find<RegisterScreen>(); }
    RecordSource *registerRecords() { return registerScreen()->records(); }
    int customers() { return database->scalar(QStringLiteral("SELECT count(*) FROM daftar")).toInt(); }

    // The register opened from the menu, then "ADD" (the button named cmdEDIT).
    void openFromRegister()
    {
        RegisterScreen *reg = screens::show<RegisterScreen>();
        QVERIFY(QTest::qWaitForWindowActive(reg));
        click(reg, "cmdEDIT");
        screen = drive(screens::find<NewCustomerScreen>());
    }
    void openAlone() { screen = drive(screens::show<NewCustomerScreen>()); }
    void fillIn(const QString &number)
    {
        type("txtREKENING", number);
        const QStringList texts = {QStringLiteral("Nu'man Hakim"), QStringLiteral("Binjai"),
                                   QStringLiteral("17-08-2009"),   QStringLiteral("Jl. Kenanga 5"),
                                   QStringLiteral("Medan"),        QStringLiteral("20112"),
                                   QStringLiteral("0812-555")};
        for (int i = 1; i < 8; ++i)
            type(kFields[i], texts.at(i - 1));
    }
    QStringList typed()
    {
        QStringList texts;
        for (const char *name : kFields)
            texts << field(name)->text();
        return texts;
    }
    void addCustomers()
    {
        database->addCustomer(QStringLiteral("0101"), QStringLiteral("Ahmad Fauzi"));
        database->addCustomer(QStringLiteral("0102"), QStringLiteral("Budi Santoso"));
        database->addCustomer(QStringLiteral("01'03"), QStringLiteral("Ma'ruf Amin"));
    }

private slots:
    void opensFromTheRegister()
    {
        addCustomers();
        openFromRegister();
        QCOMPARE(screen->objectName(), QStringLiteral("frmTAMBAH"));
        QCOMPARE(screen->windowTitle(), QStringLiteral("TABEL TAMBAH DATA NASABAH SISWA"));
        QVERIFY(registerScreen()->isVisible());
        QVERIFY(child<RecordSource>("Adodc1") != registerRecords());
        for (const char *name : kFields)
            QVERIFY2(field(name)->text().isEmpty() && field(name)->isEnabled(), name);
        for (const char *name : {"OPTSD", "OPTSMP", "OPTSMU", "OPTMHS"})
            QVERIFY2(!option(name)->isChecked(), name);
        QCOMPARE(focused(), field("txtREKENING"));
        QCOMPARE(child<QTableView>("DataGrid1")->model()->rowCount(), 3);
        QCOMPARE(child<QTableView>("DataGrid1")->model()->columnCount(), 9);
        // The captions: tst_accessibility.
        QVERIFY(child<QGroupBox>("Frame1")->isAncestorOf(option("OPTMHS")));

        // An eleventh character cannot be typed.
        type("txtREKENING", QStringLiteral("01234567890"));
        QCOMPARE(field("txtREKENING")->text(), QStringLiteral("0123456789"));
    }

    // The register opened on an empty table widens its grids' columns for the
    // customers saved since: every value shows whole.
    void registerGridsShowWholeValues()
    {
        openFromRegister();
        fillIn(QStringLiteral("0104"));
        click("cmdSAVE");
        QCOMPARE(dialogs->count(), 0);
        for (const char *name : {"DataGrid1", "DataGrid2"}) {
            auto *grid = child<QTableView>(registerScreen(), name);
            QCOMPARE(grid->model()->rowCount(), 1);
            QCOMPARE(cutColumn(grid), QString());
        }
    }

    void saveStoresTheEducationChoice_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QString>("stored");
        QTest::newRow("SD") << "OPTSD" << "SD";
        QTest::newRow("SMP") << "OPTSMP" << "SMP";
        QTest::newRow("SMU") << "OPTSMU" << "SMU";
        QTest::newRow("MAHASISWA") << "OPTMHS" << "MAHASISWA";
        QTest::newRow("none chosen") << QString() << "MAHASISWA";
    }
    void saveStoresTheEducationChoice()
    {
        QFETCH(QString, choice);
        QFETCH(QString, stored);
        addCustomers();
        openFromRegister();
        fillIn(QStringLiteral("0104"));
        if (!choice.isEmpty())
            QTest::mouseClick(option(choice.toLatin1().constData()), Qt::LeftButton);
        click("cmdSAVE");
        QCOMPARE(dialogs->count(), 0);

        // Filled by position, every text as typed.
        QCOMPARE(database->rows(QStringLiteral("SELECT norekening, nama, tempat, tgllahir, alamat, kota, kode, PENDIDIKAN, TELPHON FROM daftar "
                                               "WHERE rowid = (SELECT max(rowid) FROM daftar)")),
                 QStringList(QStringLiteral("0104|Nu'man Hakim|Binjai|17-08-2009|Jl. Kenanga 5|Medan|20112|%1|0812-555")
                                 .arg(stored)));
        QCOMPARE(typed(), QStringList(8, QString()));
        QCOMPARE(focused(), field("txtREKENING"));
        if (!choice.isEmpty())
            QVERIFY(option(choice.toLatin1().constData())->isChecked());

        // The new customer is the register's current record at once; this screen's grid
        // lists it only when opened again.
        QCOMPARE(registerRecords()->value(0).toString(), QStringLiteral("0104"));
        QCOMPARE(registerRecords()->recordCount(), 4);
        QCOMPARE(field(registerScreen(), "txtNAMA")->text(), QStringLiteral("Nu'man Hakim"));
        QCOMPARE(child<QTableView>("DataGrid1")->model()->rowCount(), 3);
    }

    void choiceSurvivesTheSave()
    {
        openFromRegister();
        QTest::mouseClick(option("OPTSMP"), Qt::LeftButton);
        type("txtREKENING", QStringLiteral("0201"));
        click("cmdSAVE");
        type("txtREKENING", QStringLiteral("0202"));
        click("cmdSAVE");
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(database->rows(QStringLiteral("SELECT norekening, nama, PENDIDIKAN FROM daftar ORDER BY rowid")),
                 QStringList({QStringLiteral("0201||SMP"), QStringLiteral("0202||SMP")}));
    }

    void numberInUseIsWarnedOnEnter_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<int>("holder");
        QTest::newRow("plain") << QStringLiteral("0102") << 1;
        QTest::newRow("apostrophe") << QStringLiteral("01'03") << 2;
    }
    void numberInUseIsWarnedOnEnter()
    {
        QFETCH(QString, number);
        QFETCH(int, holder);
        addCustomers();
        openFromRegister();
        type("txtREKENING", number);
        enter("txtREKENING");
        EXPECT_MESSAGE(dialogs->only(), "NO REKENING SUDAH ADA ?", "Perhatian", QMessageBox::Critical);
        QCOMPARE(dialogs->only().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(field("txtREKENING")->text(), number);
        QCOMPARE(focused(), field("txtREKENING"));
        // The register behind shows the customer who holds the number.
        QCOMPARE(registerRecords()->position(), holder);
        QCOMPARE(field(registerScreen(), "txtREKENING")->text(), number);
    }

    void newNumberMovesOn()
    {
        addCustomers();
        openFromRegister();
        type("txtREKENING", QStringLiteral("01'04"));
        enter("txtREKENING");
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(focused(), field("txtNAMA"));
        QCOMPARE(field("txtREKENING")->text(), QStringLiteral("01'04"));
        // The register stands past its end.
        QVERIFY(registerRecords()->isEOF());
        for (int i = 1; i + 1 < 8; ++i) {
            enter(kFields[i]);
            QCOMPARE(focused(), field(kFields[i + 1]));
        }
        enter("txtTELPHON");
        QCOMPARE(focused(), field("txtTELPHON"));
        QVERIFY(field("txtTELPHON")->text().isEmpty());
        QCOMPARE(dialogs->count(), 0);
    }

    void registerPastItsEndIsHarmless()
    {
        addCustomers();
        openFromRegister();
        type("txtREKENING", QStringLiteral("0999"));
        enter("txtREKENING");
        RegisterScreen *reg = registerScreen();
        for (const char *button : {"cmdNEXT", "cmdPRIVIEW"})
            click(reg, button);
        click(reg, "cmdADD");
        click(reg, "cmdUPDATE");
        QCOMPARE(dialogs->count(), 0);
        click(reg, "cmdHAPUS");
        EXPECT_MESSAGE(dialogs->only(), "Tidak ada data nasabah yang bisa dihapus.", "Perhatian",
                       QMessageBox::Critical);
        QCOMPARE(customers(), 3);
        QVERIFY(registerRecords()->isEOF());
    }

    void refusedSaveKeepsTheTyping_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("olderFile");
        QTest::addColumn<bool>("addedElsewhere");
        QTest::addColumn<QString>("message");
        const QString inUse = QStringLiteral("NO REKENING SUDAH ADA ?");
        const QString empty = QStringLiteral("NO REKENING belum diisi.\nKetikkan nomor rekening nasabah, lalu ulangi.");
        QTest::newRow("in use, never checked") << QStringLiteral("0102") << false << false << inUse;
        QTest::newRow("in use, with apostrophe") << QStringLiteral("01'03") << false << false << inUse;
        QTest::newRow("taken since opening") << QStringLiteral("0300") << false << true << inUse;
        QTest::newRow("empty") << QString() << false << false << empty;
        QTest::newRow("older file, in use") << QStringLiteral("0102") << true << false << inUse;
        QTest::newRow("older file, empty") << QString() << true << false << empty;
    }
    void refusedSaveKeepsTheTyping()
    {
        QFETCH(QString, number);
        QFETCH(bool, olderFile);
        QFETCH(bool, addedElsewhere);
        QFETCH(QString, message);
        if (olderFile) {
            // A file made before the database itself kept the numbers apart.
            database->makeOlderRegister();
        }
        addCustomers();
        openFromRegister();
        if (addedElsewhere)
            database->addCustomer(QStringLiteral("0300"), QStringLiteral("Dewi"));
        const int before = customers();
        fillIn(number);
        QTest::mouseClick(option("OPTSMU"), Qt::LeftButton);
        const QStringList typing = typed();
        click("cmdSAVE");
        EXPECT_MESSAGE(dialogs->only(), message, "Perhatian", QMessageBox::Critical);
        QCOMPARE(customers(), before);
        QCOMPARE(typed(), typing);
        QVERIFY(option("OPTSMU")->isChecked());
        QCOMPARE(focused(), field("txtREKENING"));

        // Corrected, the same typing is saved.
        dialogs->clear();
        field("txtREKENING")->setText(QStringLiteral("0400"));
        click("cmdSAVE");
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(customers(), before + 1);
    }

    // A number whose ledger rows lost their customer (deleted earlier) is given to
    // a new one only after Yes, and only with the rows the operator was told of.
    void reusedNumberAsksFirst_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("postedWhileAsked");
        QTest::newRow("Yes") << int(QMessageBox::Yes) << false;
        QTest::newRow("No") << int(QMessageBox::No) << false;
        QTest::newRow("posted while asked") << int(QMessageBox::Yes) << true;
    }
    void reusedNumberAsksFirst()
    {
        QFETCH(int, answer);
        QFETCH(bool, postedWhileAsked);
        addCustomers();
        database->addLedgerRow(QStringLiteral("0900"), QStringLiteral("Lama"), QStringLiteral("2024-01-02"),
                               QStringLiteral("01"), 0, 15000.5, 15000.5);
        openFromRegister();
        fillIn(QStringLiteral("0900"));
        const QStringList typing = typed();
        dialogs->answerMessage(QMessageBox::StandardButton(answer));
        if (postedWhileAsked) {
            dialogs->whileNextMessageOpen([this] {
                database->addLedgerRow(QStringLiteral("0900"), QStringLiteral("Lama"), QStringLiteral("2024-01-03"),
                                       QStringLiteral("02"), 5000, 0, 10000.5);
            });
            dialogs->answerMessage(QMessageBox::Yes);
        }
        click("cmdSAVE");
        QCOMPARE(dialogs->count(), postedWhileAsked ? 2 : 1);
        for (const DialogSeen &seen : std::as_const(dialogs->seen)) {
            QCOMPARE(seen.title, QStringLiteral("PERHATIAN"));
            QCOMPARE(seen.icon, QMessageBox::Question);
            QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);
        }
        QVERIFY(dialogs->seen.first().text.contains(QLatin1String("1 transaksi")));
        QVERIFY(dialogs->seen.first().text.contains(QLatin1String("Rp 15000.5")));
        // Asked again with the rows as they now stand.
        if (postedWhileAsked)
            QVERIFY(dialogs->seen.last().text.contains(QLatin1String("2 transaksi"))
                    && dialogs->seen.last().text.contains(QLatin1String("Rp 10000.5")));
        const bool stored = answer == QMessageBox::Yes;
        QCOMPARE(customers(), stored ? 4 : 3);
        QCOMPARE(typed(), stored ? QStringList(8, QString()) : typing);
        QCOMPARE(focused(), field("txtREKENING"));
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
            database->refuseWrites(QStringLiteral("full"), QStringLiteral("INSERT"), QStringLiteral("daftar"),
                                   QStringLiteral("disk full"));
        openFromRegister();
        fillIn(QStringLiteral("0104"));
        const QStringList typing = typed();
        click("cmdSAVE");
        const DialogSeen refusal = dialogs->only();
        QVERIFY2(refusal.text.contains(cause), qPrintable(refusal.text));
        QVERIFY2(refusal.text.contains(database->location()), qPrintable(refusal.text));
        QCOMPARE(refusal.title, QStringLiteral("Perhatian"));
        QCOMPARE(refusal.icon, QMessageBox::Critical);
        QCOMPARE(typed(), typing);
        QCOMPARE(customers(), 3);
        QCOMPARE(registerRecords()->recordCount(), 3);

        if (!readOnlyFile) {
            // Once the database takes rows again, the same typing is saved, once.
            database->allowWrites(QStringLiteral("full"), QStringLiteral("daftar"));
            dialogs->clear();
            click("cmdSAVE");
            QCOMPARE(dialogs->count(), 0);
            QCOMPARE(database->rows(QStringLiteral("SELECT norekening FROM daftar WHERE norekening = '0104'")),
                     QStringList(QStringLiteral("0104")));
            QCOMPARE(registerRecords()->recordCount(), 4);
        }
    }

    void savesWhileTheRegisterIsClosed()
    {
        addCustomers();
        openAlone();
        QVERIFY(!registerScreen());
        type("txtREKENING", QStringLiteral("0101"));
        enter("txtREKENING");
        // The check loads the register screen without showing it.
        QVERIFY(registerScreen());
        QVERIFY(!registerScreen()->isVisible());
        QCOMPARE(dialogs->only().text, QStringLiteral("NO REKENING SUDAH ADA ?"));
        field("txtREKENING")->setText(QStringLiteral("0105"));
        click("cmdSAVE");
        QCOMPARE(customers(), 4);

        QPointer<NewCustomerScreen> watched(screen);
        click("cmdCANCEL");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(watched.isNull());
        RegisterScreen *reg = registerScreen();
        QVERIFY(QTest::qWaitForWindowActive(reg));
        // Coming back counts the new customer and shows it as the current one.
        QCOMPARE(field(reg, "txtJUMLAH")->text(), QStringLiteral("4"));
        QCOMPARE(field(reg, "txtREKENING")->text(), QStringLiteral("0105"));
        QVERIFY(!field(reg, "txtREKENING")->isEnabled());
    }

    void cancelAfterEditLeavesEditDisabled()
    {
        addCustomers();
        RegisterScreen *reg = screens::show<RegisterScreen>();
        QVERIFY(QTest::qWaitForWindowActive(reg));
        click(reg, "cmdADD");
        QVERIFY(field(reg, "txtNAMA")->isEnabled());
        click(reg, "cmdEDIT");
        screen = drive(screens::find<NewCustomerScreen>());
        click("cmdCANCEL");
        QVERIFY(QTest::qWaitForWindowActive(reg));
        QVERIFY(!field(reg, "txtNAMA")->isEnabled());
        QVERIFY(!button(reg, "cmdADD")->isEnabled());
        QVERIFY(button(reg, "cmdEDIT")->isEnabled());
        QCOMPARE(dialogs->count(), 0);
    }

    void comingBackPutsTheFocusInTheNumber()
    {
        openFromRegister();
        field("txtKOTA")->setFocus();
        QVERIFY(QTest::qWaitForWindowActive(screens::show<MainWindow>()));
        screens::show<NewCustomerScreen>();
        QVERIFY(QTest::qWaitForWindowActive(screen));
        QCOMPARE(focused(), field("txtREKENING"));
    }
};

QTEST_MAIN(tst_NewCustomer)
#include "tst_newcustomer.moc"
