// The program's shell: the database tool, the screen registry and its activation
// steps, and the start of the program on a missing database.
#include "app/loginscreen.h"
#include "shell/messages.h"
#include "app/startup.h"
#include "shell/screens.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/operators/operators.h"
#include "data/base/passwords.h"
#include "dialogs.h"
#include "testdb.h"
#include "testserver.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QFontMetrics>
#include <QTemporaryDir>
#include <QTest>

namespace {
// A plain screen that counts its activations.
class CountingScreen : public QWidget
{
public:
    CountingScreen()
    {
        setObjectName(QStringLiteral("frmCOUNT"));
        field = new QLineEdit(this);
        screens::onActivation(this, [this] { ++activations; });
    }
    QLineEdit *field;
    int activations = 0;
};

class OtherScreen : public QWidget
{
public:
    OtherScreen() { setObjectName(QStringLiteral("frmOTHER")); }
};
} // namespace

class tst_Shell : public QObject
{
    Q_OBJECT

private slots:
    // Each program's command line: help in Indonesian without Qt's own (English)
    // options, and a wrong command line refused with exit code 2 (the program
    // itself takes none but its help; simparo-import says 2 in its help).
    void commandLines_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said"); // the start of what it writes (help on stdout, else on stderr)
        QTest::newRow("simparo --help") << "simparo" << QStringList{"--help"} << 0 << "Pemakaian: simparo";
        QTest::newRow("simparo -h") << "simparo" << QStringList{"-h"} << 0 << "Pemakaian: simparo";
        QTest::newRow("simparo, wrong") << "simparo" << QStringList{"--bukan"} << 2 << "simparo: argumen tidak dikenal";
        QTest::newRow("simparo, Qt's own") << "simparo" << QStringList{"-platform", "offscreen"} << 2
                                           << "simparo: argumen tidak dikenal";
        QTest::newRow("simparo-import, wrong") << "simparo-import" << QStringList{"--bukan", "a.mdb"} << 2
                                               << "Opsi 'bukan' tidak dikenal.";
        QTest::newRow("simparo-import --help-all") << "simparo-import" << QStringList{"--help-all"} << 2 << "Opsi";
        for (const char *tool : {"simparo-import", "simparo-initdb", "simparo-backup", "simparo-verify",
                                 "simparo-operator", "simparo-migrate"})
            QTest::newRow(qPrintable(QStringLiteral("%1 --help").arg(QLatin1String(tool))))
                << tool << QStringList{"--help"} << 0 << "Pemakaian:";
    }
    void commandLines()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QTemporaryDir home;
        const ToolRun run = runTool(program, arguments, home.path());
        QCOMPARE(run.exitCode, exitCode);
        const QString text = (exitCode == 0 ? run.out : run.err).trimmed();
        QVERIFY2(text.startsWith(said), qPrintable(text));
        QVERIFY2(!(run.out + run.err).contains(QLatin1String("qmljsdebugger")), qPrintable(run.out));
    }

    void initdbCreatesAndNeverOverwrites()
    {
        TestDatabase home(false);
        // The password comes on standard input, never as an argument; spaces at its ends are its own.
        // On a server: the tables are made on the database of the service.
        const QStringList where = TestDatabase::onServer()
                                      ? QStringList{QStringLiteral("--server"), testserver::service()}
                                      : QStringList();
        const QStringList made = where + QStringList{QStringLiteral("--user"), QStringLiteral("kepala"),
                                                     QStringLiteral("--password-stdin")};
        QCOMPARE(runTool("simparo-initdb", made, home.home(), {}, " rahasia \nbaris lain\n").exitCode, 0);
        QCOMPARE(QFile::exists(home.file()), !TestDatabase::onServer());
        QCOMPARE(home.scalar(QStringLiteral("SELECT \"user\" FROM Qpass")).toString(), QStringLiteral("kepala"));
        if (TestDatabase::onServer()) {
            // The operator is a role of the server with that password.
            QString error;
            QVERIFY2(operators::logIn(home.connectionText(), QStringLiteral("kepala"), QStringLiteral(" rahasia "), &error),
                     qPrintable(error));
            operators::logOut(home.connectionText());
        } else {
            const QString stored = home.scalar(QStringLiteral("SELECT password FROM tpassword")).toString();
            QVERIFY(passwords::matches(QStringLiteral(" rahasia "), stored));
        }
        QCOMPARE(home.scalar(TestDatabase::onServer()
                                 ? QStringLiteral("SELECT count(*) FROM pg_indexes WHERE indexname = 'nabubg_norekening'")
                                 : QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='index' "
                                                  "AND tbl_name='nabubg'"))
                     .toInt(),
                 1);

        home.addCustomer(QStringLiteral("0001"), QStringLiteral("Ani"));
        const ToolRun again = runTool("simparo-initdb", where + QStringList{QStringLiteral("--user"), QStringLiteral("x"),
                                                                            QStringLiteral("--password-stdin")},
                                      home.home(), {}, "y\n");
        QCOMPARE(again.exitCode, 1);
        QVERIFY(again.err.contains(QLatin1String("sudah ada")));
        QCOMPARE(home.scalar(QStringLiteral("SELECT count(*) FROM daftar")).toInt(), 1);
        QCOMPARE(home.scalar(QStringLiteral("SELECT count(*) FROM tpassword")).toInt(), 1);
    }

    void startOnABrokenDatabaseSaysWhichFileAndWhatToDo_data()
    {
        QTest::addColumn<QString>("breakage");
        QTest::addColumn<QString>("advice");
        QTest::newRow("missing") << "missing" << "simparo-initdb";
        QTest::newRow("not sqlite") << "junk" << "bukan database";
        QTest::newRow("no ledger") << "table" << "tabel nabubg";
        QTest::newRow("no view") << "view" << "Qpass";
    }
    void startOnABrokenDatabaseSaysWhichFileAndWhatToDo()
    {
        QFETCH(QString, breakage);
        QFETCH(QString, advice);
        TestDatabase home(breakage != QLatin1String("missing"));
        if (TestDatabase::onServer() && breakage == QLatin1String("junk"))
            QSKIP("a file that is no database: SQLite only");
        if (!TestDatabase::onServer() && breakage == QLatin1String("missing"))
            QSKIP("no file and no setting: the first-start window opens (tst_firststart)");
        if (breakage == QLatin1String("junk")) {
            QFile::remove(home.file());
            QFile junk(home.file());
            QVERIFY(junk.open(QIODevice::WriteOnly));
            junk.write(QByteArray(4096, 'x'));
        } else if (breakage == QLatin1String("table")) {
            home.exec(QStringLiteral("DROP TABLE nabubg"));
        } else if (breakage == QLatin1String("view")) {
            home.exec(QStringLiteral("DROP VIEW Qpass"));
        }
        DialogAnswerer dialogs;
        QVERIFY(!startProgram());
        const DialogSeen seen = dialogs.only();
        QVERIFY2(seen.text.contains(home.location()), qPrintable(seen.text));
        QVERIFY2(seen.text.contains(advice), qPrintable(seen.text));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QVERIFY(!screens::find<LoginScreen>());
        if (breakage == QLatin1String("missing"))
            QVERIFY(!QFile::exists(home.file()));
    }

    void startOnAGoodDatabaseOpensTheLogin()
    {
        TestDatabase home;
        QVERIFY(startProgram());
        LoginScreen *login = screens::find<LoginScreen>();
        QVERIFY(login && login->isVisible());
        login->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void registryShowsEachScreenOnce()
    {
        CountingScreen *first = screens::show<CountingScreen>();
        first->field->setText(QStringLiteral("ketik"));
        CountingScreen *again = screens::show<CountingScreen>();
        QCOMPARE(again, first);
        QCOMPARE(again->field->text(), QStringLiteral("ketik"));
        QPointer<CountingScreen> watched(first);
        first->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(watched.isNull());
        QVERIFY(!screens::find<CountingScreen>());
        CountingScreen *fresh = screens::show<CountingScreen>();
        QVERIFY(fresh->field->text().isEmpty());
        fresh->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void activationRunsForTheOperatorNotForOurOwnBoxes()
    {
        DialogAnswerer dialogs;
        CountingScreen *screen = screens::show<CountingScreen>();
        QVERIFY(QTest::qWaitForWindowActive(screen));
        QCOMPARE(screen->activations, 1);

        msg::perhatian(screen, QStringLiteral("MAAF DATA TIDAK ADA?"));
        QCOMPARE(dialogs.count(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(screen->activations, 1);
        QVERIFY(msg::prompt(screen, QStringLiteral("Ketikan NAMA ANDA"), QStringLiteral("Pencarian Nama")).isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(screen->activations, 1);

        // Coming back from another window of the program runs it again.
        OtherScreen *other = screens::show<OtherScreen>();
        QVERIFY(QTest::qWaitForWindowActive(other));
        screen->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(screen));
        QCOMPARE(screen->activations, 2);
        screens::show<CountingScreen>();
        QCoreApplication::processEvents();
        QCOMPARE(screen->activations, 2); // already the active window: nothing runs again
        other->close();
        screen->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void messageBoxesCarryTheirTitlesAndIcons()
    {
        DialogAnswerer dialogs;
        QWidget window;
        window.show();
        msg::plain(&window, QStringLiteral("PENGHAPUSAN SUKSES"));
        EXPECT_MESSAGE(dialogs.only(), "PENGHAPUSAN SUKSES", "SIMPARO", QMessageBox::NoIcon);
        dialogs.clear();
        dialogs.answerMessage(QMessageBox::No);
        QVERIFY(!msg::askYesNo(&window, QStringLiteral("ANDA YAKIN MAU MENGHAPUS?"), QStringLiteral("PERHATIAN")));
        EXPECT_MESSAGE(dialogs.only(), "ANDA YAKIN MAU MENGHAPUS?", "PERHATIAN", QMessageBox::Question);
        QCOMPARE(dialogs.only().buttons, QMessageBox::Yes | QMessageBox::No);
        dialogs.clear();
        dialogs.answerPrompt(QStringLiteral("Ma'ruf"));
        QCOMPARE(msg::prompt(&window, QStringLiteral("Ketikan NAMA ANDA"), QStringLiteral("Pencarian Nama")),
                 QStringLiteral("Ma'ruf"));
        QCOMPARE(dialogs.only().title, QStringLiteral("Pencarian Nama"));
        // Wide enough for its title beside the title bar's buttons.
        QVERIFY2(dialogs.only().width >= QFontMetrics(QApplication::font()).horizontalAdvance(dialogs.only().title) + 150,
                 qPrintable(QString::number(dialogs.only().width)));
    }
};

QTEST_MAIN(tst_Shell)
#include "tst_shell.moc"
