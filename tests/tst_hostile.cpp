// Hostile text pasted into every field of the screens that store or search
// customers and postings: very long text, control characters, direction marks,
// emoji, combining letters, NUL, apostrophe and double quote. Each is refused
// with a message or stored and read back exactly; nothing crashes, and nothing
// stored before changes.
#include "customers/newcustomerscreen.h"
#include "customers/registerscreen.h"
#include "data/database.h"
#include "data/recordsource.h"
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
};

QTEST_MAIN(tst_Hostile)
#include "tst_hostile.moc"
