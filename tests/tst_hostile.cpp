// Hostile text pasted into every field of the screens that store or search
// customers and postings: very long text, control characters, direction marks,
// emoji, combining letters, NUL, apostrophe and double quote. Each is refused
// with a message or stored and read back exactly; nothing crashes, and nothing
// stored before changes.
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
#include "savings/transactionscreen.h"
#include "shell/screens.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>

static const char *const kFields[] = {"txtREKENING", "txtNAMA", "txtTEMPAT", "txtLAHIR",
                                      "txtALAMAT",   "txtKOTA", "txtKODE",   "txtTELPHON"};

class tst_Hostile : public Fixture
{
    Q_OBJECT

private:
    // Replaces a field's text by pasting, as the operator does with Ctrl+V.
    static void paste(QLineEdit *field, const QString &text)
    {
        QApplication::clipboard()->setText(text);
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    }
    QStringList everything()
    {
        return database->rows(QStringLiteral("SELECT * FROM daftar ORDER BY rowid"))
               + database->rows(QStringLiteral("SELECT * FROM nabubg ORDER BY rowid"));
    }
    // The register row of this number, column by column as stored.
    QStringList storedCustomer(const QString &number)
    {
        QStringList columns;
        const QVariantList values = {number};
        for (const char *column : {"norekening", "nama", "tempat", "tgllahir", "alamat", "kota", "kode", "TELPHON"})
            columns << database->scalar(QStringLiteral("SELECT %1 FROM daftar WHERE norekening = ?")
                                            .arg(QLatin1String(column)),
                                        values)
                           .toString();
        return columns;
    }
    // After a write: either a message refused it and nothing changed, or it stored the fields exactly.
    void refusedOrStoredExactly(QWidget *screen, const QStringList &before)
    {
        QStringList typed;
        for (const char *name : kFields)
            typed << field(screen, name)->text();
        if (dialogs->count() > 0) {
            QCOMPARE(dialogs->seen.last().icon, QMessageBox::Critical);
            QCOMPARE(everything(), before);
        } else {
            QCOMPARE(storedCustomer(typed.first()), typed);
            QCOMPARE(everything().size(), before.size() + (screen->objectName() == QLatin1String("frmTAMBAH")));
        }
        dialogs->clear();
    }

private slots:
    void init()
    {
        Fixture::init();
        database->addCustomer(QStringLiteral("0101"), QStringLiteral("Ahmad Fauzi"));
        database->addCustomer(QStringLiteral("0102"), QStringLiteral("Budi \"Santoso\""));
        database->addLedgerRow(QStringLiteral("0101"), QStringLiteral("Ahmad Fauzi"), QStringLiteral("2024-01-02"),
                               QStringLiteral("01"), 0, 5000, 5000);
    }

    void pastedTextIsRefusedOrKeptExactly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("10,000 characters") << QString(10000, u'x');
        QTest::newRow("10,000 digits") << QString(10000, u'7');
        QTest::newRow("control characters") << QStringLiteral("a\tb\rc\nd\x01\x1b\x7f\u0085e");
        QTest::newRow("right-to-left marks") << QStringLiteral("\u200f\u202e\u0645\u0631\u062d\u0628\u0627\u202c\u200e1");
        QTest::newRow("emoji") << QStringLiteral("\U0001F600\U0001F468\u200d\U0001F469\u200d\U0001F467\U0001F4B0");
        QTest::newRow("emoji after one letter") << QStringLiteral("1\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600");
        QTest::newRow("combining letters") << QStringLiteral("e\u0301a\u0308Z\u0324\u035a\u0354o\u0302\u0303");
        QTest::newRow("NUL") << QStringLiteral("ab") + QChar(u'\0') + QStringLiteral("cd");
        QTest::newRow("apostrophe") << QStringLiteral("Ma'ruf' OR '1'='1");
        QTest::newRow("double quote") << QStringLiteral("\"Budi\"; DROP TABLE daftar; --");
    }
    void pastedTextIsRefusedOrKeptExactly()
    {
        QFETCH(QString, text);

        // A new customer: every field pasted, then "SAVE".
        QStringList before = everything();
        auto *adding = screens::show<NewCustomerScreen>();
        QVERIFY(QTest::qWaitForWindowActive(adding));
        for (const char *name : kFields)
            paste(field(adding, name), QLatin1Char('A') + text);
        enter(adding, "txtREKENING");
        const bool warned = dialogs->count() > 0;
        dialogs->clear();
        QStringList typed;
        for (const char *name : kFields)
            typed << field(adding, name)->text();
        click(adding, "cmdSAVE");
        if (dialogs->count() > 0 || warned) {
            QCOMPARE(everything(), before);
            QCOMPARE(field(adding, "txtNAMA")->text(), typed.at(1));
        } else {
            QCOMPARE(storedCustomer(typed.first()), typed);
            QCOMPARE(everything().size(), before.size() + 1);
            // Read back by the program: the register shows it as stored.
            RecordSource *records = screens::find<RegisterScreen>()->records();
            for (int c = 0; c < 7; ++c)
                QCOMPARE(records->value(c).toString(), typed.at(c));
        }
        dialogs->clear();
        adding->close();

        // A customer corrected on the register: every field pasted, then "UPDATE".
        auto *reg = screens::show<RegisterScreen>();
        QVERIFY(QTest::qWaitForWindowActive(reg));
        reg->records()->moveFirst();
        reg->records()->moveNext(); // 0102, without ledger rows
        before = everything();
        click(reg, "cmdADD");
        for (const char *name : kFields)
            paste(field(reg, name), QLatin1Char('B') + text);
        click(reg, "cmdUPDATE");
        refusedOrStoredExactly(reg, before);

        // Both searches of the register.
        before = everything();
        for (const char *search : {"cmdKODE", "cmdNAMA"}) {
            dialogs->answerPrompt(text);
            click(reg, search);
        }
        QCOMPARE(everything(), before);
        dialogs->clear();
        reg->close();

        // The transaction screen: the account looked up, an amount, "SAVE".
        auto *posting = screens::show<TransactionScreen>();
        QVERIFY(QTest::qWaitForWindowExposed(posting));
        for (const char *name : {"txtREKENING", "txtKREDIT", "txtDEBET"}) {
            paste(field(posting, name), text);
            enter(posting, name);
        }
        click(posting, "cmdSIMPAN");
        QVERIFY(dialogs->count() > 0);
        for (const DialogSeen &seen : std::as_const(dialogs->seen))
            QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(everything(), before);
    }

    // A ledger row that no screen writes is refused by the database itself, on a
    // file as on a server, whoever writes it: 0101 holds 5000 after one deposit.
    void databaseRefusesRowsNoScreenWrites_data()
    {
        QTest::addColumn<QString>("row"); // rowid?, norekening, nama, TANGGAL, kode, Jenis, debet, kredit, saldo
        QTest::addColumn<bool>("stored");
        QTest::newRow("a deposit as SAVE writes it") << "'0101', 'Ahmad Fauzi', %TODAY%, '01', 'Penyetoran', 0, 1000, 6000"
                                                   << true;
        QTest::newRow("no customer") << "'0199', 'Ahmad Fauzi', %TODAY%, '01', 'Penyetoran', 0, 1000, 1000" << false;
        QTest::newRow("another's name") << "'0101', 'Budi', %TODAY%, '01', 'Penyetoran', 0, 1000, 6000" << false;
        QTest::newRow("balance not from the previous") << "'0101', 'Ahmad Fauzi', %TODAY%, '01', 'Penyetoran', 0, 1000, 9000"
                                                       << false;
        QTest::newRow("withdrawal beyond the balance")
            << "'0101', 'Ahmad Fauzi', %TODAY%, '02', 'Penarikan', 6000, 0, -1000" << false;
        QTest::newRow("negative withdrawal") << "'0101', 'Ahmad Fauzi', %TODAY%, '02', 'Penarikan', -700000, 0, 705000"
                                             << false;
        QTest::newRow("part of a sen") << "'0101', 'Ahmad Fauzi', %TODAY%, '01', 'Penyetoran', 0, 1000.004, 6000.004"
                                       << false;
        QTest::newRow("deposit with a debet") << "'0101', 'Ahmad Fauzi', %TODAY%, '01', 'Penyetoran', 100, 1000, 5900"
                                              << false;
        QTest::newRow("deposit below the minimum") << "'0101', 'Ahmad Fauzi', %TODAY%, '01', 'Penyetoran', 0, 999, 5999"
                                                   << false;
        QTest::newRow("kind of another code") << "'0101', 'Ahmad Fauzi', %TODAY%, '03', 'Penyetoran', 0, 1000, 6000"
                                              << false;
        QTest::newRow("key far ahead") << "9000000000000000000, '0101', 'Ahmad Fauzi', %TODAY%, '01', 'Penyetoran', 0, "
                                          "1000, 6000"
                                       << false;
        // A server dates every row itself; a file refuses a day but today's.
        QTest::newRow("back-dated") << "'0101', 'Ahmad Fauzi', '2020-01-01', '01', 'Penyetoran', 0, 1000, 6000"
                                    << TestDatabase::onServer();
        QTest::newRow("in 2099") << "'0101', 'Ahmad Fauzi', '2099-01-01', '01', 'Penyetoran', 0, 1000, 6000"
                                 << TestDatabase::onServer();
    }
    void databaseRefusesRowsNoScreenWrites()
    {
        QFETCH(QString, row);
        QFETCH(bool, stored);
        const QString today = QStringLiteral("'%1'").arg(QDate::currentDate().toString(Qt::ISODate));
        const QString columns = row.startsWith(QLatin1String("9000")) ? QStringLiteral("rowid, ") : QString();
        const QStringList before = everything();
        QString error;
        const bool done = database->tryExec(QStringLiteral("INSERT INTO nabubg (%1norekening, nama, TANGGAL, kode, Jenis, "
                                                           "debet, kredit, saldo) VALUES (%2)")
                                                .arg(columns, QString(row).replace(QLatin1String("%TODAY%"), today)),
                                            {}, &error);
        QVERIFY2(done == stored, qPrintable(error));
        if (!stored) {
            QCOMPARE(everything(), before);
            return;
        }
        QCOMPARE(database->scalar(QStringLiteral("SELECT TANGGAL FROM nabubg ORDER BY rowid DESC LIMIT 1")).toDate(),
                 QDate::currentDate());
    }
};

QTEST_MAIN(tst_Hostile)
#include "tst_hostile.moc"
