// The first start: a program without a database or a setting opens frmAWAL, which
// makes a new database, brings over an old asli.mdb, or points the program at a
// server, worked through its widgets in a fresh home, each ending at the login.
#include "app/firststart.h"
#include "app/loginscreen.h"
#include "app/startup.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "shell/screens.h"
#include "fixture.h"
#include "testserver.h"

#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollBar>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

class tst_FirstStart : public Fixture
{
    Q_OBJECT

private:
    // A fresh home with neither a database nor a setting file; the program started there.
    FirstStartWindow *start()
    {
        database.reset();
        database = std::make_unique<TestDatabase>(false);
        if (!startProgram())
            return nullptr;
        FirstStartWindow *window = screens::find<FirstStartWindow>();
        return window ? drive(window) : nullptr;
    }

    QString settingFile() const { return database->home() + QStringLiteral("/.config/simparo/koneksi"); }

    // Every file and folder under the home, with its size.
    QStringList homeContents() const
    {
        QStringList found;
        QDirIterator it(database->home(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info = it.nextFileInfo();
            found << QStringLiteral("%1 %2").arg(info.filePath()).arg(info.size());
        }
        found.sort();
        return found;
    }

    // The login that opened in place of the window, worked as the operator does: true when it lets him in.
    bool logsIn(const QString &user, const QString &password)
    {
        LoginScreen *login = screens::find<LoginScreen>();
        const FirstStartWindow *first = screens::find<FirstStartWindow>();
        if (!login || (first && first->isVisible()))
            return false;
        drive(login);
        type("TXTuser", user);
        enter("TXTuser");
        type("TXTpasword", password);
        enter("TXTpasword");
        return dialogs->count() == 0 && button("cmdOK")->isVisible();
    }

    static QString legacyFixture(const QString &name)
    {
        const QString file = QDir::cleanPath(qEnvironmentVariable("SIMPARO_LEGACY_FIXTURES") + u'/' + name);
        return QFileInfo::exists(file) ? file : QString();
    }

private slots:
    // The window names where it looked; only the fields of the chosen way are open.
    void opensWhereNothingIsAndOffersThreeWays()
    {
        QVERIFY(start());
        QCOMPARE(screens::find<FirstStartWindow>()->objectName(), QStringLiteral("frmAWAL"));
        QCOMPARE(screens::find<FirstStartWindow>()->windowTitle(), QStringLiteral("SIMPARO - MULAI"));
        QVERIFY2(child<QLabel>("lblTEMPAT")->text().contains(database->file()),
                 qPrintable(child<QLabel>("lblTEMPAT")->text()));
        // The keyboard starts in the first field of the way chosen.
        QCOMPARE(focused(), field("txtUSER"));
        // The passwords are masked with "*", as on the login.
        for (const char *name : {"txtPASS", "txtPASS2"}) {
            type(name, QStringLiteral("ab1"));
            QCOMPARE(field(name)->displayText(), QStringLiteral("***"));
        }
        // The way onto a server tells who sets it up, and what to ask him for.
        const QString note = child<QLabel>("lblSERVERINFO")->text();
        QVERIFY2(note.contains(QLatin1String("bagian TI")) && note.contains(QLatin1String("nama layanan")),
                 qPrintable(note));
        QVERIFY(child<QPlainTextEdit>("txtLAPORAN")->isReadOnly());
        const QList<std::pair<const char *, QStringList>> ways = {
            {"optBARU", {"txtUSER", "txtPASS", "txtPASS2"}},
            {"optIMPOR", {"txtFILE", "cmdPILIH"}},
            {"optSERVER", {"txtLAYANAN", "cmdUJI"}},
        };
        for (const auto &[option, open] : ways) {
            child<QRadioButton>(option)->click();
            for (const char *control : {"txtUSER", "txtPASS", "txtPASS2", "txtFILE", "cmdPILIH", "txtLAYANAN", "cmdUJI"})
                QVERIFY2(child<QWidget>(control)->isEnabled() == open.contains(QLatin1String(control)),
                         qPrintable(QStringLiteral("%1 with %2").arg(QLatin1String(control), QLatin1String(option))));
        }
        // The file chooser speaks Indonesian, as the rest of the window.
        child<QRadioButton>("optIMPOR")->click();
        click("cmdPILIH");
        auto *chooser = child<QFileDialog>("dlgPILIH");
        QTRY_VERIFY(chooser->isVisible());
        QCOMPARE(englishIn(shownTexts(chooser)), QStringList());
        chooser->reject();
        QVERIFY(homeContents().isEmpty());
    }

    void newDatabaseThenLogin_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("again");
        QTest::addColumn<QString>("refusal"); // empty: made
        QTest::addColumn<QString>("focus");   // after the refusal
        QTest::newRow("made") << "siti" << "rahasia 1" << "rahasia 1" << "" << "";
        QTest::newRow("no name") << " " << "rahasia" << "rahasia" << "NAMA OPERATOR BELUM DIISI" << "txtUSER";
        QTest::newRow("no password") << "siti" << "" << "" << "PASSWORD BELUM DIISI" << "txtPASS";
        // Neither password can be seen: both are emptied, to be typed again.
        QTest::newRow("passwords differ") << "siti" << "rahasia" << "Rahasia" << "PASSWORD TIDAK SAMA" << "txtPASS";
    }
    void newDatabaseThenLogin()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, again);
        QFETCH(QString, refusal);
        QFETCH(QString, focus);
        QVERIFY(start());
        // From the keyboard: each Enter moves on, the last one to Lanjut, which Enter presses.
        const std::pair<const char *, QString> typed[] = {{"txtUSER", user}, {"txtPASS", password}, {"txtPASS2", again}};
        for (const auto &[name, text] : typed) {
            type(name, text);
            enter(name);
        }
        QCOMPARE(focused(), button("cmdLANJUT"));
        QTest::keyClick(focused(), Qt::Key_Return);
        if (!refusal.isEmpty()) {
            EXPECT_MESSAGE(dialogs->only(), refusal, "Perhatian", QMessageBox::Critical);
            QVERIFY(screens::find<FirstStartWindow>());
            const bool differ = password != again;
            QCOMPARE(field("txtUSER")->text(), user);
            QCOMPARE(field("txtPASS")->text(), differ ? QString() : password);
            QCOMPARE(field("txtPASS2")->text(), differ ? QString() : again);
            QCOMPARE(focused(), field(focus.toLatin1().constData()));
            QVERIFY(homeContents().isEmpty());
            return;
        }
        QVERIFY(logsIn(user, password));
        const QFileInfo file(database->file());
        QCOMPARE(file.permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QCOMPARE(QFileInfo(file.absolutePath()).permissions(),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser
                     | QFile::ExeUser);
        // The first operator is the first row of the trail, as with simparo-initdb.
        QCOMPARE(database->rows(QStringLiteral("SELECT nomor, tindakan, tabel FROM jejak ORDER BY nomor")).first(),
                 QStringLiteral("1|%1|tpassword").arg(QLatin1String(audit::action::kOperatorAdded)));
    }

    void legacyFileImported_data()
    {
        QTest::addColumn<QString>("source"); // a fixture's name, or "junk"
        QTest::newRow("small legacy file") << "asli-small.mdb";
        QTest::newRow("not an Access file") << "junk";
    }
    void legacyFileImported()
    {
        QFETCH(QString, source);
        QString file = legacyFixture(QStringLiteral("asli-small.mdb"));
        if (file.isEmpty())
            QFAIL("the old-file fixtures (tests/fixtures/legacy, SIMPARO_LEGACY_FIXTURES) are not there");
        QVERIFY(start());
        QTemporaryDir elsewhere;
        if (source == QLatin1String("junk")) {
            file = elsewhere.filePath(QStringLiteral("asli.mdb"));
            QFile junk(file);
            QVERIFY(junk.open(QIODevice::WriteOnly));
            junk.write(QByteArray(64 * 1024, 'x'));
        }
        child<QRadioButton>("optIMPOR")->click();
        if (source == QLatin1String("junk")) {
            type("txtFILE", file);
        } else {
            // Chosen with the file chooser.
            click("cmdPILIH");
            auto *chooser = child<QFileDialog>("dlgPILIH");
            QTRY_VERIFY(chooser->isVisible());
            chooser->selectFile(file);
            static_cast<QDialog *>(chooser)->accept();
            QCOMPARE(field("txtFILE")->text(), file);
        }
        click("cmdLANJUT");
        // The window stays responsive while the import runs in its own process.
        QTRY_VERIFY_WITH_TIMEOUT(button("cmdLANJUT")->isEnabled(), 120000);
        if (source == QLatin1String("junk")) {
            const DialogSeen seen = dialogs->only();
            QVERIFY2(seen.text.startsWith(QLatin1String("IMPOR GAGAL")), qPrintable(seen.text));
            QCOMPARE(field("txtFILE")->text(), file);
            QVERIFY(!QFileInfo::exists(database->file()));
            QVERIFY(screens::find<FirstStartWindow>());
            return;
        }
        QCOMPARE(dialogs->count(), 0);
        const QString report = child<QPlainTextEdit>("txtLAPORAN")->toPlainText();
        // The anomalies are in the report shown, not hidden, and read without scrolling sideways.
        QVERIFY2(report.contains(QLatin1String("ANOMALI daftar baris 11")), qPrintable(report));
        QCOMPARE(child<QPlainTextEdit>("txtLAPORAN")->horizontalScrollBar()->maximum(), 0);
        // The old operators brought over are named, to be asked for new passwords.
        QVERIFY2(report.contains(QLatin1String("operator lama yang dibawa: ")) && report.contains(QLatin1String("\"kasir\"")),
                 qPrintable(report));
        QVERIFY2(report.contains(QLatin1String("nasabah \"Hendra Gunawan\"")), qPrintable(report));
        QCOMPARE(child<QProgressBar>("prgIMPOR")->value(), child<QProgressBar>("prgIMPOR")->maximum());
        // The report is there to read; the second Lanjut goes on to the login.
        QVERIFY(screens::find<FirstStartWindow>());
        click("cmdLANJUT");
        QVERIFY(logsIn(QStringLiteral("kasir"), QStringLiteral("kasir99")));
    }

    void serverService_data()
    {
        QTest::addColumn<QString>("service"); // "{tests}": the tests' own server; "{weak}": a service with weak TLS
        QTest::addColumn<bool>("tables");
        QTest::addColumn<QString>("told");
        QTest::newRow("holds the program's tables") << "{tests}" << true << "KONEKSI BERHASIL.";
        QTest::newRow("empty database") << "{tests}" << false << "simparo-initdb --server";
        QTest::newRow("no such service") << "tidakada" << false << "layanan \"tidakada\"";
        // The program's TLS rules hold: refused before anything is sent to that address.
        QTest::newRow("weak TLS over the network") << "{weak}" << false << "sslmode=require";
    }
    void serverService()
    {
        QFETCH(QString, service);
        QFETCH(bool, tables);
        QFETCH(QString, told);
        if (const QString why = testserver::unavailable(); !why.isEmpty())
            QFAIL(qPrintable(QStringLiteral("no throwaway PostgreSQL server: ") + why));
        const QString tests = testserver::service();
        testserver::clearDatabase();
        QString error;
        if (tables)
            QVERIFY2(db::createServerDatabase(tests, QStringLiteral("admin"), QStringLiteral("geheim"), &error),
                     qPrintable(error));
        service.replace(QLatin1String("{tests}"), tests);
        if (service == QLatin1String("{weak}"))
            service = testserver::defineService(QStringLiteral("simparo_uji_lemah"),
                                                {QStringLiteral("host=192.0.2.10"), QStringLiteral("sslmode=require")});
        QVERIFY(start());
        child<QRadioButton>("optSERVER")->click();
        type("txtLAYANAN", service);
        click("cmdUJI");
        QVERIFY2(dialogs->only().text.contains(told), qPrintable(dialogs->only().text));
        dialogs->clear();
        click("cmdLANJUT");
        if (!tables) {
            QVERIFY2(dialogs->only().text.contains(told), qPrintable(dialogs->only().text));
            QCOMPARE(field("txtLAYANAN")->text(), service);
            QVERIFY(!QFileInfo::exists(settingFile()));
            return;
        }
        QFile setting(settingFile());
        QVERIFY(setting.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(setting.readAll());
        QVERIFY2(text.endsWith(QStringLiteral("\nProvider=PostgreSQL;Data Source=%1\n").arg(service)), qPrintable(text));
        QCOMPARE(setting.permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QCOMPARE(db::connectionText(), db::serviceConnectionText(service));
        QVERIFY(logsIn(QStringLiteral("admin"), QStringLiteral("geheim")));
        QVERIFY(!QFileInfo::exists(database->file()));
    }

    // What is at the place, or a setting, is never offered to be replaced: the start tells what is wrong.
    void somethingThereStillGetsItsMessage_data()
    {
        QTest::addColumn<QString>("there");
        QTest::addColumn<QString>("told");
        QTest::newRow("damaged file") << "junk" << "{file}";
        QTest::newRow("foreign database") << "foreign" << "{file}";
        QTest::newRow("a setting file") << "setting" << "layanan \"cabang\"";
    }
    void somethingThereStillGetsItsMessage()
    {
        QFETCH(QString, there);
        QFETCH(QString, told);
        database.reset();
        database = std::make_unique<TestDatabase>(false);
        const QString file = there == QLatin1String("setting") ? settingFile() : database->file();
        QDir().mkpath(QFileInfo(file).absolutePath());
        QByteArray content(4096, 'x');
        if (there == QLatin1String("setting"))
            content = "Provider=PostgreSQL;Data Source=cabang\n";
        if (there == QLatin1String("foreign")) {
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("foreign"));
            other.setDatabaseName(file);
            QVERIFY(other.open());
            QVERIFY(QSqlQuery(other).exec(QStringLiteral("CREATE TABLE buku (judul TEXT)")));
            other.close();
            other = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("foreign"));
            QFile read(file);
            QVERIFY(read.open(QIODevice::ReadOnly));
            content = read.readAll();
        } else {
            QFile write(file);
            QVERIFY(write.open(QIODevice::WriteOnly));
            write.write(content);
        }
        QVERIFY(!startProgram());
        QVERIFY(!screens::find<FirstStartWindow>());
        QVERIFY(!screens::find<LoginScreen>());
        const DialogSeen seen = dialogs->only();
        QVERIFY2(seen.text.contains(told.replace(QLatin1String("{file}"), database->file())), qPrintable(seen.text));
        // Still there as it was (opening a database file may switch its journal, in its header).
        QFile after(file);
        QVERIFY(after.open(QIODevice::ReadOnly));
        const QByteArray now = after.readAll();
        QCOMPARE(now.size(), content.size());
        if (there != QLatin1String("foreign"))
            QCOMPARE(now, content);
    }

    // Last: the program's end leaves the test's event loops ended too, so no later box would show.
    void batalWritesNothing()
    {
        QVERIFY(start());
        type("txtUSER", QStringLiteral("siti"));
        type("txtPASS", QStringLiteral("rahasia"));
        type("txtPASS2", QStringLiteral("rahasia"));
        QPointer<FirstStartWindow> window = screens::find<FirstStartWindow>();
        click("cmdBATAL");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window.isNull());
        QVERIFY(!screens::find<LoginScreen>());
        QVERIFY(homeContents().isEmpty());
    }
};

QTEST_MAIN(tst_FirstStart)
#include "tst_firststart.moc"
