// The change of password driven through its real widgets, followed by real logins.
#include "app/loginscreen.h"
#include "app/mainwindow.h"
#include "app/passwordscreen.h"
#include "shell/screens.h"
#include "data/base/passwords.h"
#include "fixture.h"

#include <QTest>

class tst_Password : public Fixture
{
    Q_OBJECT

private:
    MainWindow *menu = nullptr;
    PasswordScreen *screen = nullptr;

    void open()
    {
        menu = screens::show<MainWindow>();
        trigger(menu, "mnuGanti");
        screen = drive(screens::find<PasswordScreen>());
    }
    void confirm(const QString &user, const QString &password)
    {
        type("txtUserLama", user);
        enter("txtUserLama");
        type("txtPassLama", password);
        enter("txtPassLama");
    }
    QStringList operators() { return database->rows(QStringLiteral("SELECT \"user\", password FROM tpassword ORDER BY rowid")); }

    // Logs in through the real login screen; true when "OK" was offered.
    bool logIn(const QString &user, const QString &password)
    {
        DialogAnswerer answers;
        LoginScreen *login = screens::show<LoginScreen>();
        // The keys go to the active window, as a keyboard's do.
        if (!QTest::qWaitForWindowActive(login))
            return false;
        type(login, "TXTuser", user);
        enter(login, "TXTuser");
        type(login, "TXTpasword", password);
        enter(login, "TXTpasword");
        const bool offered = button(login, "cmdOK")->isVisible();
        login->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return offered;
    }

private slots:
    void init()
    {
        Fixture::init();
        database->addOperator(QStringLiteral("kasir"), QStringLiteral("kasir99"));
    }

    void opensOwnedByTheMainWindowWithItsFieldsCovered()
    {
        open();
        QCOMPARE(screen->objectName(), QStringLiteral("frmUBAHPASSWORD"));
        QCOMPARE(screen->windowTitle(), QStringLiteral("GANTI PASSWORD"));
        QCOMPARE(screen->parentWidget(), menu);
        QVERIFY(field("Text1")->isVisible() && field("Text2")->isVisible());
        QCOMPARE(field("Text1")->geometry(), field("txtUser")->geometry());
        QCOMPARE(field("Text2")->geometry(), field("txtPassBaru")->geometry());
        QCOMPARE(focused(), field("txtUserLama"));
        QPointer<PasswordScreen> watched(screen);
        menu->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(watched.isNull());
    }

    void wholeChangeThenOnlyTheNewPairLogsIn()
    {
        open();
        confirm(QStringLiteral("kasir"), QStringLiteral("kasir99"));
        QCOMPARE(dialogs->count(), 0);
        QVERIFY(!field("Text1")->isVisible() && !field("Text2")->isVisible());
        QVERIFY(field("txtUser")->text().isEmpty());
        QVERIFY(field("txtPassBaru")->text().isEmpty());
        QCOMPARE(focused(), field("txtUser"));
        QTest::keyClicks(field("txtUser"), QStringLiteral("Kasir Dua"));
        enter("txtUser");
        QCOMPARE(focused(), field("txtPassBaru"));
        QTest::keyClicks(field("txtPassBaru"), QStringLiteral("Baru 2026"));
        enter("txtPassBaru");
        QCOMPARE(focused(), button("cmdGanti"));
        QPointer<PasswordScreen> watched(screen);
        click("cmdGanti");
        EXPECT_MESSAGE(dialogs->only(), "Ganti Password Sukses....!!", "Informasi", QMessageBox::Information);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(watched.isNull());
        QVERIFY(menu->isVisible());

        const QStringList rows = operators();
        QCOMPARE(rows.size(), 2);
        // On a server the password is the role's: the row keeps none.
        if (TestDatabase::onServer())
            QCOMPARE(rows.at(1), QStringLiteral("Kasir Dua|"));
        else
            QVERIFY(rows.at(1).startsWith(QLatin1String("Kasir Dua|$argon2id$")));
        QVERIFY(!rows.join(u' ').contains(QLatin1String("Baru 2026")));
        QVERIFY(logIn(QStringLiteral("Kasir Dua"), QStringLiteral("Baru 2026")));
        QVERIFY(!logIn(QStringLiteral("kasir"), QStringLiteral("kasir99")));
        QVERIFY(!logIn(QStringLiteral("Kasir Dua"), QStringLiteral("kasir99")));
        QVERIFY(logIn(QStringLiteral("admin"), QStringLiteral("admin123")));
    }

    void wrongOldPasswordIsRefused_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::newRow("letter case, clear-text row") << "kasir" << "KASIR99";
        QTest::newRow("other, clear-text row") << "kasir" << "kasir9";
        QTest::newRow("letter case, hashed row") << "admin" << "Admin123";
    }
    void wrongOldPasswordIsRefused()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        const QStringList before = operators();
        open();
        confirm(user, password);
        EXPECT_MESSAGE(dialogs->only(), "Maaf password lama tidak sesuai...!!", "Informasi", QMessageBox::Critical);
        QVERIFY(field("txtPassLama")->text().isEmpty());
        QCOMPARE(focused(), field("txtPassLama"));
        QVERIFY(field("Text1")->isVisible());
        // "Ganti" now changes nothing.
        dialogs->clear();
        type("txtPassLama", password);
        click("cmdGanti");
        QCOMPARE(dialogs->only().text, QStringLiteral("Maaf password lama tidak sesuai...!!"));
        QCOMPARE(operators(), before);
    }

    void unknownUserIsRefusedAndNothingIsCompared()
    {
        const QStringList before = operators();
        open();
        type("txtUserLama", QStringLiteral("Kasir"));
        enter("txtUserLama");
        EXPECT_MESSAGE(dialogs->only(), "MAAF USER TIDAK ADA", "Perhatian", QMessageBox::Critical);
        QVERIFY(field("txtUserLama")->text().isEmpty());
        QCOMPARE(focused(), field("txtUserLama"));
        // With no row current, an empty user and empty password confirm nothing.
        dialogs->clear();
        enter("txtPassLama");
        QCOMPARE(dialogs->count(), 0);
        QVERIFY(field("Text1")->isVisible());
        // "Ganti" looks the (empty) user up before it compares anything.
        type("txtPassLama", QStringLiteral("x"));
        click("cmdGanti");
        QCOMPARE(dialogs->only().text, QStringLiteral("MAAF USER TIDAK ADA"));
        QCOMPARE(operators(), before);
    }

    void gantiNeedsTheOldPassword()
    {
        const QStringList before = operators();
        open();
        click("cmdGanti");
        EXPECT_MESSAGE(dialogs->only(), "Isi dulu password lamanya.", "Informasi", QMessageBox::Information);
        QCOMPARE(focused(), field("txtPassLama"));
        // The right old password typed without its Enter is checked as Enter checks
        // it, the user looked up first when that was not done: confirmed, nothing stored yet.
        for (bool lookedUp : {true, false}) {
            dialogs->clear();
            type("txtUserLama", QStringLiteral("kasir"));
            if (lookedUp)
                enter("txtUserLama");
            type("txtPassLama", QStringLiteral("kasir99"));
            click("cmdGanti");
            QCOMPARE(dialogs->count(), 0);
            QVERIFY(!field("Text1")->isVisible());
            QVERIFY(field("txtUser")->text().isEmpty());
            QCOMPARE(focused(), field("txtUser"));
            QCOMPARE(operators(), before);
            screen->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            open();
        }
    }

    void refusedNewValues_data()
    {
        QTest::addColumn<QString>("newUser");
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty user") << "" << "baru" << "User baru tidak boleh kosong.";
        QTest::newRow("empty password") << "kasir2" << "" << "Password baru tidak boleh kosong.";
        QTest::newRow("name of another operator")
            << "admin" << "baru" << "User \"admin\" sudah dipakai operator lain. Pilih nama user yang lain.";
    }
    void refusedNewValues()
    {
        QFETCH(QString, newUser);
        QFETCH(QString, newPassword);
        QFETCH(QString, message);
        const QStringList before = operators();
        open();
        confirm(QStringLiteral("kasir"), QStringLiteral("kasir99"));
        QTest::keyClicks(field("txtUser"), newUser);
        field("txtPassBaru")->setText(newPassword);
        click("cmdGanti");
        EXPECT_MESSAGE(dialogs->only(), message, "Informasi", QMessageBox::Critical);
        QCOMPARE(operators(), before);
        QVERIFY(screen->isVisible());
        QCOMPARE(field("txtUser")->text(), newUser);
        QCOMPARE(field("txtPassBaru")->text(), newPassword);
    }

    void anotherEnterInTheOldPasswordKeepsWhatWasTyped()
    {
        open();
        confirm(QStringLiteral("kasir"), QStringLiteral("kasir99"));
        QTest::keyClicks(field("txtUser"), QStringLiteral("baru"));
        field("txtPassBaru")->setText(QStringLiteral("rahasia"));
        field("txtPassLama")->setFocus();
        enter("txtPassLama");
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(field("txtUser")->text(), QStringLiteral("baru"));
        QCOMPARE(field("txtPassBaru")->text(), QStringLiteral("rahasia"));
        // Enter on "Ganti", where the chain ends, stores the change.
        auto *ganti = button("cmdGanti");
        ganti->setFocus();
        QTest::keyClick(ganti, Qt::Key_Return);
        QCOMPARE(dialogs->only().text, QStringLiteral("Ganti Password Sukses....!!"));
        QVERIFY(logIn(QStringLiteral("baru"), QStringLiteral("rahasia")));
    }

    void keepingOnesOwnNameChangesOnlyThePassword()
    {
        open();
        confirm(QStringLiteral("kasir"), QStringLiteral("kasir99"));
        QTest::keyClicks(field("txtUser"), QStringLiteral("kasir"));
        field("txtPassBaru")->setText(QStringLiteral("lebih kuat"));
        click("cmdGanti");
        QCOMPARE(dialogs->only().text, QStringLiteral("Ganti Password Sukses....!!"));
        QVERIFY(logIn(QStringLiteral("kasir"), QStringLiteral("lebih kuat")));
    }

    void batalShowsTheStoredNameAndNeverAPassword()
    {
        open();
        confirm(QStringLiteral("kasir"), QStringLiteral("kasir99"));
        QTest::keyClicks(field("txtUser"), QStringLiteral("lain"));
        field("txtPassBaru")->setText(QStringLiteral("lain"));
        click("cmdBatal");
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(field("txtUser")->text(), QStringLiteral("kasir"));
        QVERIFY(field("txtPassBaru")->text().isEmpty());
        QVERIFY(!field("Text1")->isVisible());
        QCOMPARE(field("txtUserLama")->text(), QStringLiteral("kasir"));
        QCOMPARE(operators().at(1), TestDatabase::onServer() ? QStringLiteral("kasir|") : QStringLiteral("kasir|kasir99"));
        // A hashed row never shows its hash either.
        confirm(QStringLiteral("admin"), QStringLiteral("admin123"));
        click("cmdBatal");
        QCOMPARE(field("txtUser")->text(), QStringLiteral("admin"));
        QVERIFY(field("txtPassBaru")->text().isEmpty());
    }

    void focusReturnsToTheOldUserOnReactivation()
    {
        open();
        confirm(QStringLiteral("kasir"), QStringLiteral("kasir99"));
        QCOMPARE(focused(), field("txtUser"));
        // The operator works in another window of the program, then comes back.
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        screen->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(screen));
        QCOMPARE(focused(), field("txtUserLama"));
        QCOMPARE(field("txtUserLama")->text(), QStringLiteral("kasir"));
    }

    void databaseRefusalIsShownAndNothingIsLost()
    {
        database->refuseWrites(QStringLiteral("locked"), QStringLiteral("UPDATE"), QStringLiteral("tpassword"),
                               QStringLiteral("disk I/O error"));
        const QStringList before = operators();
        open();
        confirm(QStringLiteral("kasir"), QStringLiteral("kasir99"));
        QTest::keyClicks(field("txtUser"), QStringLiteral("kasir2"));
        field("txtPassBaru")->setText(QStringLiteral("baru"));
        click("cmdGanti");
        const DialogSeen seen = dialogs->only();
        QVERIFY2(seen.text.contains(database->location()) && seen.text.contains(QLatin1String("disk I/O error")),
                 qPrintable(seen.text));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(operators(), before);
        QCOMPARE(field("txtUser")->text(), QStringLiteral("kasir2"));
        QCOMPARE(field("txtPassBaru")->text(), QStringLiteral("baru"));
        QVERIFY(screen->isVisible());
    }
};

QTEST_MAIN(tst_Password)
#include "tst_password.moc"
