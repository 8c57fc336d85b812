// The login screen driven through its real widgets, and the main window it opens.
#include "app/loginscreen.h"
#include "app/mainwindow.h"
#include "shell/screens.h"
#include "data/operators/operators.h"
#include "data/base/passwords.h"
#include "data/records/recordsource.h"
#include "fixture.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QCursor>
#include <QApplication>

class tst_Login : public Fixture
{
    Q_OBJECT

private:
    LoginScreen *login = nullptr;

    void openLogin() { login = drive(screens::show<LoginScreen>()); }
    // The login opened, the user and the password typed, each with its Enter.
    void logIn(const QString &user, const QString &password)
    {
        openLogin();
        type("TXTuser", user);
        enter("TXTuser");
        type("TXTpasword", password);
        enter("TXTpasword");
    }
    bool buttonsShown() { return button("cmdOK")->isVisible() && button("cmdCANCEL")->isVisible(); }

private slots:
    void opensAsDesigned()
    {
        openLogin();
        QCOMPARE(login->objectName(), QStringLiteral("frmPASWORD"));
        QCOMPARE(login->windowTitle(), QStringLiteral("L0GIN "));
        QCOMPARE(field("TXTpasword")->echoMode(), QLineEdit::Password);
        QVERIFY(field("TXTuser")->text().isEmpty());
        QVERIFY(!button("cmdOK")->isVisible());
        QVERIFY(!button("cmdCANCEL")->isVisible());
        QVERIFY(child<RecordSource>("Adodc1"));
        QCOMPARE(focused(), field("TXTuser"));
    }

    void rightUserAndPasswordOfferTheButtons()
    {
        openLogin();
        type("TXTuser", QStringLiteral("admin"));
        enter("TXTuser");
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(focused(), field("TXTpasword"));
        type("TXTpasword", QStringLiteral("admin123"));
        enter("TXTpasword");
        QCOMPARE(dialogs->count(), 0);
        QVERIFY(buttonsShown());
        QCOMPARE(focused(), button("cmdOK"));
        // The Enter key is never typed into the field.
        QCOMPARE(field("TXTpasword")->text(), QStringLiteral("admin123"));
    }

    void unknownUserIsRefused_data()
    {
        QTest::addColumn<QString>("user");
        QTest::newRow("unknown") << QStringLiteral("budi");
        QTest::newRow("letter case") << QStringLiteral("Admin");
        QTest::newRow("trailing blank") << QStringLiteral("admin ");
        QTest::newRow("empty") << QString();
        QTest::newRow("apostrophe") << QStringLiteral("ad'min");
    }
    void unknownUserIsRefused()
    {
        QFETCH(QString, user);
        openLogin();
        type("TXTuser", user);
        enter("TXTuser");
        EXPECT_MESSAGE(dialogs->only(), "MAAF USER TIDAK ADA", "Perhatian", QMessageBox::Critical);
        QCOMPARE(dialogs->only().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(field("TXTuser")->text().isEmpty());
        QCOMPARE(focused(), field("TXTuser"));

        // After a failed lookup no row is current: every password is refused, the empty one too.
        dialogs->clear();
        for (const QString &password : {QStringLiteral("admin123"), QString()}) {
            type("TXTpasword", password);
            enter("TXTpasword");
        }
        QCOMPARE(dialogs->count(), 2);
        QCOMPARE(dialogs->seen.at(1).text, QStringLiteral("PASSWORD SALAH"));
        QVERIFY(!buttonsShown());
    }

    void wrongPasswordIsRefused_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("letter case") << QStringLiteral("ADMIN123");
        QTest::newRow("trailing blank") << QStringLiteral("admin123 ");
        QTest::newRow("empty") << QString();
        QTest::newRow("other") << QStringLiteral("rahasia");
    }
    void wrongPasswordIsRefused()
    {
        QFETCH(QString, password);
        logIn(QStringLiteral("admin"), password);
        EXPECT_MESSAGE(dialogs->only(), "PASSWORD SALAH", "Perhatian", QMessageBox::Critical);
        QVERIFY(field("TXTpasword")->text().isEmpty());
        QCOMPARE(focused(), field("TXTpasword"));
        QVERIFY(!buttonsShown());
    }

    void olderClearTextRowsStillLogIn()
    {
        database->addOperator(QStringLiteral("kasir"), QStringLiteral("kasir99"));
        logIn(QStringLiteral("kasir"), QStringLiteral("kasir99"));
        QCOMPARE(dialogs->count(), 0);
        QVERIFY(buttonsShown());
    }

    void storedPasswordsAreSaltedHashes()
    {
        // On a server the password is the operator's role's (a SCRAM verifier no
        // operator can read): the row holds none.
        if (TestDatabase::onServer()) {
            QVERIFY(database->scalar(QStringLiteral("SELECT password FROM tpassword")).isNull());
            return;
        }
        const QString stored = database->scalar(QStringLiteral("SELECT password FROM tpassword")).toString();
        QVERIFY(passwords::isHash(stored));
        QVERIFY(!stored.contains(QLatin1String("admin123")));
        QVERIFY(passwords::hash(QStringLiteral("x")) != passwords::hash(QStringLiteral("x")));
        QVERIFY(passwords::matches(QStringLiteral("admin123"), stored));
        QVERIFY(!passwords::matches(QStringLiteral("admin12"), stored));
    }

    void clearTextRowIsHashedAtItsFirstLogin()
    {
        database->addOperator(QStringLiteral("kasir"), QStringLiteral("kasir99"));
        logIn(QStringLiteral("kasir"), QStringLiteral("kasir99"));
        QVERIFY(buttonsShown());
        // The hidden field never holds what is stored, hash or clear text.
        QVERIFY(!field("Text1")->text().contains(QLatin1String("kasir99")));
        QVERIFY(!field("Text1")->text().contains(QLatin1String("$argon2id$")));
        if (TestDatabase::onServer())
            return; // the row holds no password to hash
        const QString stored =
            database->scalar(QStringLiteral("SELECT password FROM tpassword WHERE \"user\" = 'kasir'")).toString();
        QVERIFY(passwords::isHash(stored));
        QVERIFY(passwords::matches(QStringLiteral("kasir99"), stored));
        QCOMPARE(database->rows(QStringLiteral("SELECT tindakan, rincian FROM jejak WHERE nomor > 1 ORDER BY nomor")),
                 (QStringList{QStringLiteral("ganti password|user=kasir\npassword=teks biasa diganti hash saat masuk"),
                              QStringLiteral("masuk|user=kasir")}));
    }

    void damagedHashIsRefusedUnchecked_data()
    {
        QTest::addColumn<QString>("stored");
        // Salt and hash as libsodium writes them; only the cost differs.
        const QString tail = QStringLiteral("$c2FsdHNhbHRzYWx0c2FsdA$aGFzaGhhc2hoYXNoaGFzaGhhc2hoYXNoaGFzaGhhc2g");
        QTest::newRow("memory") << QStringLiteral("$argon2id$v=19$m=4194304,t=2,p=1") + tail;
        QTest::newRow("passes") << QStringLiteral("$argon2id$v=19$m=19456,t=4000000,p=1") + tail;
        QTest::newRow("lanes") << QStringLiteral("$argon2id$v=19$m=19456,t=2,p=64") + tail;
        QTest::newRow("unreadable") << QStringLiteral("$argon2id$v=19$m=,t=2,p=1") + tail;
    }
    void damagedHashIsRefusedUnchecked()
    {
        QFETCH(QString, stored);
        QCOMPARE(passwords::check(QStringLiteral("admin123"), stored), passwords::Verdict::Damaged);
        if (TestDatabase::onServer())
            return; // a server keeps passwords as its roles', never in a row
        database->exec(QStringLiteral("UPDATE tpassword SET password = ?"), {stored});
        logIn(QStringLiteral("admin"), QStringLiteral("admin123"));
        EXPECT_MESSAGE(dialogs->only(), passwords::damagedText(QStringLiteral("admin")), "Perhatian",
                       QMessageBox::Critical);
        QVERIFY(!buttonsShown());
    }

    void waitAfterFailuresDoubles_data()
    {
        QTest::addColumn<int>("failures");
        QTest::addColumn<int>("milliseconds");
        QTest::newRow("free") << 4 << 0;
        QTest::newRow("first") << 5 << 1000;
        QTest::newRow("second") << 6 << 2000;
        QTest::newRow("fifth") << 9 << 16000;
        QTest::newRow("longest") << 10 << 30000;
        QTest::newRow("many") << 100000 << 30000;
    }
    void waitAfterFailuresDoubles()
    {
        QFETCH(int, failures);
        QFETCH(int, milliseconds);
        QCOMPARE(operators::waitAfter(failures).count(), milliseconds);
    }

    void failuresCountFromTheTrail()
    {
        operators::setFirstWaitForTesting(std::chrono::milliseconds(5));
        database->addOperator(QStringLiteral("kasir"), QStringLiteral("kasir99"));
        for (int i = 0; i <= operators::kFreeFailures; ++i)
            logIn(QStringLiteral("admin"), QStringLiteral("tebakan"));
        QCOMPARE(dialogs->count(), operators::kFreeFailures + 1);
        QCOMPARE(dialogs->seen.last().text, QStringLiteral("PASSWORD SALAH"));
        // As after a restart: a new screen's operators count them from the trail, by name.
        RecordSource records;
        const std::unique_ptr<operators::Directory> found = operators::directory(&records, QStringLiteral("Qpass"));
        bool known = false;
        QVERIFY(found->find(QStringLiteral("admin"), &known).isOk() && known);
        QCOMPARE(found->waitBeforeCheck().count(), 10);
        QVERIFY(found->find(QStringLiteral("kasir"), &known).isOk() && known);
        QCOMPARE(found->waitBeforeCheck().count(), 0);
        // The right password, after its wait, still logs in.
        dialogs->clear();
        logIn(QStringLiteral("admin"), QStringLiteral("admin123"));
        QCOMPARE(dialogs->count(), 0);
        QVERIFY(buttonsShown());
    }

    // While a try waits after repeated wrong passwords, the clerk sees the wait
    // cursor and the screen goes on painting; the messages stay the same.
    void waitShowsTheWaitCursor()
    {
        operators::setFirstWaitForTesting(std::chrono::milliseconds(600));
        for (int i = 0; i < operators::kFreeFailures; ++i)
            logIn(QStringLiteral("admin"), QStringLiteral("tebakan"));
        bool waitCursor = false;
        int paints = 0;
        struct PaintCounter : QObject {
            int *paints;
            explicit PaintCounter(int *counted) : paints(counted) {}
            bool eventFilter(QObject *, QEvent *event) override
            {
                *paints += event->type() == QEvent::Paint;
                return false;
            }
        } counter(&paints);
        QTimer::singleShot(200, this, [&] {
            const QCursor *cursor = QApplication::overrideCursor();
            waitCursor = cursor && cursor->shape() == Qt::WaitCursor;
            login->installEventFilter(&counter);
            paints = 0;
            login->repaint();
        });
        dialogs->clear();
        logIn(QStringLiteral("admin"), QStringLiteral("tebakan"));
        login->removeEventFilter(&counter);
        QVERIFY(waitCursor);
        QVERIFY(paints > 0);
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(dialogs->only().text, QStringLiteral("PASSWORD SALAH"));
    }

    void firstOfTwoRowsOfOneUserIsCompared()
    {
        database->addOperator(QStringLiteral("kasir"), QStringLiteral("pertama"));
        database->addOperator(QStringLiteral("kasir"), QStringLiteral("kedua"));
        logIn(QStringLiteral("kasir"), QStringLiteral("kedua"));
        QCOMPARE(dialogs->only().text, QStringLiteral("PASSWORD SALAH"));
        type("TXTpasword", QStringLiteral("pertama"));
        enter("TXTpasword");
        QCOMPARE(dialogs->count(), 1);
        QVERIFY(buttonsShown());
    }

    void passwordWithoutLookupIsCheckedAgainstTheFirstRow()
    {
        database->addOperator(QStringLiteral("kasir"), QStringLiteral("kasir99"));
        openLogin();
        type("TXTuser", QStringLiteral("kasir")); // no Enter
        type("TXTpasword", QStringLiteral("kasir99"));
        enter("TXTpasword");
        QCOMPARE(dialogs->only().text, QStringLiteral("PASSWORD SALAH"));
        type("TXTpasword", QStringLiteral("admin123"));
        enter("TXTpasword");
        QVERIFY(buttonsShown());
    }

    void changedUserFieldKeepsTheLookedUpRow()
    {
        database->addOperator(QStringLiteral("kasir"), QStringLiteral("kasir99"));
        openLogin();
        type("TXTuser", QStringLiteral("kasir"));
        enter("TXTuser");
        field("TXTuser")->setText(QStringLiteral("admin"));
        type("TXTpasword", QStringLiteral("kasir99"));
        enter("TXTpasword");
        QCOMPARE(dialogs->count(), 0);
        QVERIFY(buttonsShown());
    }

    void wrongPasswordAfterRightOneKeepsOk()
    {
        logIn(QStringLiteral("admin"), QStringLiteral("admin123"));
        type("TXTpasword", QStringLiteral("x"));
        enter("TXTpasword");
        QCOMPARE(dialogs->only().text, QStringLiteral("PASSWORD SALAH"));
        QVERIFY(buttonsShown());
        click("cmdOK");
        QTRY_VERIFY(screens::find<MainWindow>());
    }

    void okOpensTheMainWindowAndClosesTheLogin()
    {
        logIn(QStringLiteral("admin"), QStringLiteral("admin123"));
        QPointer<LoginScreen> watched(login);
        click("cmdOK");
        MainWindow *menu = screens::find<MainWindow>();
        QVERIFY(menu);
        QVERIFY(menu->isVisible());
        QCOMPARE(menu->objectName(), QStringLiteral("frmMENU"));
        QCOMPARE(menu->windowTitle(), QStringLiteral("SIMPARO"));
        QTRY_VERIFY(watched.isNull() || !watched->isVisible());
    }

    void cancelEndsTheProgram()
    {
        logIn(QStringLiteral("admin"), QStringLiteral("admin123"));
        QPointer<LoginScreen> watched(login);
        click("cmdCANCEL");
        QTRY_VERIFY(watched.isNull() || !watched->isVisible());
        QVERIFY(!screens::find<MainWindow>());
    }

    void mainWindowMenu()
    {
        MainWindow *menu = screens::show<MainWindow>();
        // The entries' captions, and that none has a shortcut: tst_accessibility.
        const QList<QAction *> bar = menu->menuBar()->actions();
        QCOMPARE(bar.size(), 5);
        QCOMPARE(bar.at(1)->objectName(), QStringLiteral("mnuTRANSAKSI"));
        QCOMPARE(bar.at(3)->objectName(), QStringLiteral("mnuGanti"));
        QCOMPARE(bar.at(4)->objectName(), QStringLiteral("mnuPENYELIA"));
        // The list of balances right after the daily report.
        const QList<QAction *> reports = child<QMenu>(menu, "mnuLAPORAN")->actions();
        QVERIFY(reports.size() > 3);
        QCOMPARE(reports.at(2)->objectName(), QStringLiteral("mnuHARIAN"));
        QCOMPARE(reports.at(3)->objectName(), QStringLiteral("mnuLSALDO"));
        QCOMPARE(child<QLabel>(menu, "Picture1")->pixmap().size(), QSize(800, 600));

        QPointer<MainWindow> watched(menu);
        trigger(menu, "mnuEXIT");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(watched.isNull());
    }
};

QTEST_MAIN(tst_Login)
#include "tst_login.moc"
