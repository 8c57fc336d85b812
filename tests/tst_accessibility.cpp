// Every control of every window has a name that a screen reader can speak, and
// every button can be reached with Tab and pressed from the keyboard; every window
// shows its captions, and no menu entry has a shortcut.
#include "app/firststart.h"
#include "app/loginscreen.h"
#include "app/mainwindow.h"
#include "app/passwordscreen.h"
#include "customers/newcustomerscreen.h"
#include "customers/registerscreen.h"
#include "reports/balancerequest.h"
#include "reports/dailyrequest.h"
#include "reports/reportdefinition.h"
#include "reports/reports.h"
#include "reports/reportwindow.h"
#include "reports/savingsrequest.h"
#include "savings/ledgerview.h"
#include "savings/transactionscreen.h"
#include "shell/bank.h"
#include "shell/screens.h"
#include "fixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

namespace {
QWidget *open(const QString &window)
{
    if (window == QLatin1String("frmAWAL"))
        return screens::show<FirstStartWindow>();
    if (window == QLatin1String("frmPASWORD"))
        return screens::show<LoginScreen>();
    if (window == QLatin1String("frmMENU"))
        return screens::show<MainWindow>();
    if (window == QLatin1String("frmDAFTAR"))
        return screens::show<RegisterScreen>();
    if (window == QLatin1String("frmTAMBAH"))
        return screens::show<NewCustomerScreen>();
    if (window == QLatin1String("frmPENARIKAN"))
        return screens::show<TransactionScreen>();
    if (window == QLatin1String("frmTABUNGAN"))
        return screens::show<LedgerView>();
    if (window == QLatin1String("frmRTABUNGAN"))
        return screens::show<SavingsRequestScreen>();
    if (window == QLatin1String("frmRHARIAN"))
        return screens::show<DailyRequestScreen>();
    if (window == QLatin1String("frmRSALDO"))
        return screens::show<BalanceRequestScreen>();
    if (window == QLatin1String("frmUBAHPASSWORD"))
        return screens::show<PasswordScreen>();
    if (window == QLatin1String("DATAR"))
        return reports::showReport(reports::datar());
    if (window == QLatin1String("LAPNASABAH"))
        return reports::showReport(reports::lapnasabah());
    if (window == QLatin1String("HARIAN"))
        return reports::showReport(reports::harian());
    if (window == QLatin1String("LAPSALDO")) {
        // Shown for the day its request screen names.
        screens::show<BalanceRequestScreen>()->findChild<QPushButton *>(QStringLiteral("cmdCETAK"))->click();
        return reports::reportWindow(window);
    }
    return nullptr;
}

// Parts that Qt builds inside a control (the text field of a list or date, the
// header and scroll bars of a grid, the tab bar's arrows) are spoken through that control.
bool isPartOfControl(QWidget *widget, QWidget *window)
{
    for (QWidget *above = widget->parentWidget(); above && above != window; above = above->parentWidget())
        if (qobject_cast<QComboBox *>(above) || qobject_cast<QAbstractSpinBox *>(above)
            || qobject_cast<QAbstractScrollArea *>(above) || qobject_cast<QTabBar *>(above))
            return true;
    return widget->objectName().startsWith(QLatin1String("qt_"));
}

bool isControl(QWidget *widget)
{
    return (widget->focusPolicy() & Qt::TabFocus) || qobject_cast<QAbstractButton *>(widget)
           || qobject_cast<QLineEdit *>(widget) || qobject_cast<QComboBox *>(widget)
           || qobject_cast<QAbstractSpinBox *>(widget) || qobject_cast<QAbstractScrollArea *>(widget)
           || qobject_cast<QGroupBox *>(widget) || qobject_cast<QTabWidget *>(widget)
           || qobject_cast<QMenuBar *>(widget) || qobject_cast<QMenu *>(widget);
}

QString describe(QWidget *widget)
{
    return QStringLiteral("%1 (%2)").arg(widget->objectName(), QLatin1String(widget->metaObject()->className()));
}
} // namespace

class tst_Accessibility : public Fixture
{
    Q_OBJECT

private slots:
    void init()
    {
        Fixture::init();
        database->addCustomer(QStringLiteral("0101"), QStringLiteral("Ahmad Fauzi"));
    }

    void cleanup()
    {
        closeScreens();
        const int seen = dialogs->count();
        Fixture::cleanup();
        QCOMPARE(seen, 0);
    }

    void everyControlHasANameAndTakesTab_data()
    {
        QTest::addColumn<QString>("window");
        for (const char *window : {"frmAWAL", "frmPASWORD", "frmMENU", "frmDAFTAR", "frmTAMBAH", "frmPENARIKAN",
                                   "frmTABUNGAN", "frmRTABUNGAN", "frmRHARIAN", "frmRSALDO", "frmUBAHPASSWORD",
                                   "DATAR", "LAPNASABAH", "HARIAN", "LAPSALDO"})
            QTest::newRow(window) << QString::fromLatin1(window);
    }
    void everyControlHasANameAndTakesTab()
    {
        QFETCH(QString, window);
        QWidget *shown = open(window);
        QVERIFY(shown);
        QStringList unnamed;
        QStringList untabbable;
        QStringList enterDoesNothing;
        int controls = 0;
        for (QWidget *widget : shown->findChildren<QWidget *>()) {
            if (!isControl(widget) || isPartOfControl(widget, shown))
                continue;
            ++controls;
            if (widget->accessibleName().trimmed().isEmpty())
                unnamed << describe(widget);
            if (qobject_cast<QAbstractButton *>(widget) && !(widget->focusPolicy() & Qt::TabFocus))
                untabbable << describe(widget);
            if (auto *button = qobject_cast<QPushButton *>(widget); button && !button->autoDefault())
                enterDoesNothing << describe(widget);
        }
        QVERIFY(controls >= 3);
        const QString separator = QStringLiteral(", ");
        QVERIFY2(unnamed.isEmpty(), qPrintable(QStringLiteral("without a name: ") + unnamed.join(separator)));
        QVERIFY2(untabbable.isEmpty(), qPrintable(QStringLiteral("not reached by Tab: ") + untabbable.join(separator)));
        QVERIFY2(enterDoesNothing.isEmpty(),
                 qPrintable(QStringLiteral("Enter does not press: ") + enterDoesNothing.join(separator)));
    }

    void spokenNames_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::newRow("login user") << "frmPASWORD" << "TXTuser" << "USER";
        QTest::newRow("first start, password again") << "frmAWAL" << "txtPASS2" << "Ulangi password";
        QTest::newRow("first start, import report") << "frmAWAL" << "txtLAPORAN" << "Laporan impor";
        QTest::newRow("register button shows EDIT") << "frmDAFTAR" << "cmdADD" << "EDIT";
        QTest::newRow("register birth place") << "frmDAFTAR" << "txtTEMPAT" << "Tempat lahir";
        QTest::newRow("new customer education") << "frmTAMBAH" << "OPTMHS" << "MAHASISWA";
        QTest::newRow("transaction date") << "frmPENARIKAN" << "DTPicker1" << "Tanggal Transaksi";
        QTest::newRow("day of the daily report") << "frmRHARIAN" << "DTPicker1" << "Tanggal Transaksi";
        QTest::newRow("ledger total") << "frmTABUNGAN" << "txtSAL" << "Total Saldo";
        QTest::newRow("new password") << "frmUBAHPASSWORD" << "txtPassBaru" << "Password Baru";
        QTest::newRow("report first page") << "DATAR" << "firstPage" << "Halaman pertama";
    }
    void spokenNames()
    {
        QFETCH(QString, window);
        QFETCH(QString, control);
        QFETCH(QString, name);
        QWidget *shown = open(window);
        QVERIFY(shown);
        QWidget *widget = shown->findChild<QWidget *>(control);
        QVERIFY(widget);
        QCOMPARE(widget->accessibleName(), name);
    }

    // Each control's caption, as "objectName=caption". Captions do not depend on the
    // engine, so they are checked here, on SQLite only.
    void captions_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QStringList>("captions");
        const QString address = QStringLiteral("Label9=") + QString::fromUtf8(bank::kAddress);
        QTest::newRow("frmMENU") << "frmMENU"
                                 << QStringList{"mnuFILE=File", "MNUNASABAH=Input Data Nasabah", "mnuEXIT=Exit",
                                                "mnuTRANSAKSI=Transaksi", "mnuLAPORAN=Laporan",
                                                "mnuLNASABAH=Data Nasabah", "mnuTNASABAH=Data Tabungan",
                                                "mnuHARIAN=Transaksi Harian", "mnuLSALDO=Daftar Saldo",
                                                "mnuGanti=Ganti Password",
                                                "Label1=SELAMAT DATANG "};
        // The crossed "EDIT" and "ADD" among them.
        QTest::newRow("frmDAFTAR")
            << "frmDAFTAR"
            << QStringList{"cmdADD=EDIT", "cmdEDIT=ADD", "cmdUPDATE=UPDATE", "cmdFIRS=FIRST", "cmdPRIVIEW=PREVIOUS",
                           "cmdNEXT=NEXT", "cmdLAST=LAST", "cmdCLOSE=CLOSE", "cmdKODE=Cari Kode", "cmdNAMA=Cari Nama",
                           "cmdHAPUS=Hapus", "PT=PT.BPRS.MERANTIKA", "Label8=DAFTAR DATA NASABAH",
                           "lblJUMLAH=Jumlah Data", "Label1=NO REKENING", "Label2=NAMA NASABAH", "Label3=TTGL/LAHIR",
                           "Label4=ALAMAT", "Label5=KOTA", "Label6=KODE POS", "Label7=TELPHON", "optSD=SD",
                           "Option2=SMP", "optSMU=SMU", "optMHS=MAHASISWA", "optSMP=STATUS PENDIDIKAN", address};
        QTest::newRow("frmTAMBAH") << "frmTAMBAH"
                                   << QStringList{"Label1=NO REKENING", "Label2=NAMA NASABAH", "Label3=TTGL/LAHIR",
                                                  "Label4=ALAMAT", "Label5=KOTA", "Label6=KODE POS", "Label7=TELPHON",
                                                  "OPTSD=SD", "OPTSMP=SMP", "OPTSMU=SMU", "OPTMHS=MAHASISWA",
                                                  "cmdSAVE=SAVE", "cmdCANCEL=CANCEL", "Frame1=STATUS PENDIDIKAN"};
        QTest::newRow("frmPENARIKAN")
            << "frmPENARIKAN"
            << QStringList{"Label6=PT.BPRS.MERANTIKA", "Label1=No Rekening", "Label2=Nama Nasabah",
                           "Label4=Tanggal Transaksi", "Label13=Kode Transaksi", "Label12=Jenis Transaksi",
                           "Label7=Debet", "Rp=Rp", "Label3=Kredit", "Label5=Rp", "Label8=Saldo", "Label10=Rp", address,
                           "cmdSIMPAN=SAVE", "Command1=CANCEL", "cmdSALDO=CEK SALDO"};
        QTest::newRow("frmAWAL") << "frmAWAL"
                                 << QStringList{"optBARU=Buat database baru",
                                                "optIMPOR=Ambil data dari program lama (asli.mdb)",
                                                "optSERVER=Pakai database di server", "cmdLANJUT=Lanjut",
                                                "cmdBATAL=Batal", "cmdUJI=Uji"};
        QTest::newRow("frmRSALDO") << "frmRSALDO"
                                   << QStringList{"Label3=CETAK DAFTAR SALDO", "Label1=Per Tanggal", "cmdCETAK=Cetak",
                                                  "cmdBatal=Batal"};
        QTest::newRow("frmTABUNGAN") << "frmTABUNGAN"
                                     << QStringList{"Label4=DATA TABUNGAN NASABAH SISWA", "Label3=Masukan No Rekening",
                                                    "lblSAL=Total Saldo", "lblRP=Rp"};
    }
    void captions()
    {
        QFETCH(QString, window);
        QFETCH(QStringList, captions);
        QWidget *shown = open(window);
        QVERIFY(shown);
        for (const QString &caption : captions) {
            const QByteArray name = caption.section(u'=', 0, 0).toLatin1();
            // A menu's entry bears the menu's name too.
            QObject *control = shown->findChild<QAction *>(QLatin1String(name));
            if (!control)
                control = child<QObject>(shown, name.constData());
            QString text;
            if (auto *label = qobject_cast<QLabel *>(control))
                text = label->text();
            else if (auto *button = qobject_cast<QAbstractButton *>(control))
                text = button->text();
            else if (auto *group = qobject_cast<QGroupBox *>(control))
                text = group->title();
            else if (auto *action = qobject_cast<QAction *>(control))
                text = action->shortcut().isEmpty() ? action->text() : QStringLiteral("(with a shortcut)");
            QCOMPARE(QString::fromLatin1(name) + u'=' + text, caption);
        }
    }

    // The menu entries carry no access keys: Alt reaches the menu bar, arrows and Enter choose.
    void altReachesTheMenu()
    {
        auto *window = screens::show<MainWindow>();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyPress(window, Qt::Key_Alt, Qt::AltModifier);
        QTest::keyRelease(window, Qt::Key_Alt, Qt::NoModifier);
        auto *bar = window->findChild<QMenuBar *>(QStringLiteral("menubar"));
        QCOMPARE(QApplication::focusWidget(), bar);
        QTest::keyClick(bar, Qt::Key_Right);
        QTest::keyClick(bar, Qt::Key_Return);
        QTRY_VERIFY(screens::find<TransactionScreen>());
    }

    // The page buttons of a report are tool buttons, which Qt presses with Space only.
    void enterAndSpacePressReportButtons()
    {
        for (int i = 0; i < 120; ++i)
            database->addCustomer(QStringLiteral("02%1").arg(i, 3, 10, QLatin1Char('0')), QStringLiteral("Nasabah"));
        auto *window = qobject_cast<reports::ReportWindow *>(open(QStringLiteral("LAPNASABAH")));
        QVERIFY(window);
        QVERIFY(window->document().pageCount() > 1);
        auto *next = window->findChild<QAbstractButton *>(QStringLiteral("nextPage"));
        QTest::keyClick(next, Qt::Key_Return);
        QCOMPARE(window->currentPage(), 1);
        auto *first = window->findChild<QAbstractButton *>(QStringLiteral("firstPage"));
        QTest::keyClick(first, Qt::Key_Space);
        QCOMPARE(window->currentPage(), 0);
    }
};

QTEST_MAIN(tst_Accessibility)
#include "tst_accessibility.moc"
