// The audit trail: every action of the screens writes its one row; nabubg and
// jejak refuse UPDATE and DELETE; simparo-verify names a row changed, deleted or
// inserted behind the program's back; known breaks are notices until accepted;
// an older database is refused until simparo-initdb --upgrade gives it the trail;
// the day's seal is that of the day's last row in local time.
#include "app/loginscreen.h"
#include "app/passwordscreen.h"
#include "customers/newcustomerscreen.h"
#include "customers/registerscreen.h"
#include "data/trail/audit.h"
#include "data/trail/auditcheck.h"
#include "data/operators/operators.h"
#include "data/operators/supervision.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/records/recordsource.h"
#include "savings/posting.h"
#include "savings/transactionscreen.h"
#include "shell/screens.h"
#include "fixture.h"
#include "testserver.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QTest>

namespace {
const QString kAni = QStringLiteral("0101");
const QString kCitra = QStringLiteral("0103"); // registered first, no ledger rows

enum Action { Deposit, Withdrawal, NewCustomer, CustomerChange, CustomerDeletion, PasswordChange, Login, FailedLogin };
} // namespace

class tst_Trail : public Fixture
{
    Q_OBJECT

private:
    qint64 trailRows() { return database->scalar(QStringLiteral("SELECT count(*) FROM jejak")).toLongLong(); }
    qint64 lastNomor() { return database->scalar(QStringLiteral("SELECT max(nomor) FROM jejak")).toLongLong(); }
    qint64 lastLedgerKey() { return database->scalar(QStringLiteral("SELECT max(rowid) FROM nabubg")).toLongLong(); }
    ToolRun verify(const QStringList &arguments = {}) { return runTool("simparo-verify", arguments, database->home()); }

    // The check of simparo-verify, in this process.
    audit::CheckResult check()
    {
        audit::CheckResult result;
        QString name, error;
        if (!db::openConnection(database->connectionText(), &name, &error))
            qFatal("%s", qPrintable(error));
        {
            QSqlDatabase live = db::connection(name);
            const Outcome checked = audit::check(live, &result);
            if (!checked.isOk())
                qFatal("%s", qPrintable(checked.message()));
        }
        db::closeConnection(name);
        return result;
    }

    // The findings simparo-verify printed, in order.
    static QStringList findings(const ToolRun &run)
    {
        QStringList found;
        for (const QString &line : run.out.split(u'\n'))
            if (line.startsWith(QLatin1String("TIDAK COCOK: ")))
                found << line.mid(13);
        return found;
    }
    // True when each finding begins with its expected words, one for one.
    static bool named(const QStringList &found, const QStringList &expected)
    {
        if (found.size() != expected.size())
            return false;
        for (int i = 0; i < found.size(); ++i)
            if (!found.at(i).startsWith(expected.at(i)))
                return false;
        return true;
    }

    // The role that owns the tables as the trail names it (none in a file), and an
    // operator's role of this database.
    QVariant ownersPeran()
    {
        return TestDatabase::onServer() ? database->scalar(QStringLiteral("SELECT CAST(current_user AS text)")) : QVariant();
    }
    QString operatorsPeran()
    {
        return (TestDatabase::onServer() ? database->scalar(QStringLiteral("SELECT current_database()")).toString()
                                         : QStringLiteral("simparo"))
            + QStringLiteral("_op_7");
    }

    // Appends a trail row behind the program's back, as the owner can (the rules
    // lifted): numbered and sealed over the last row as the chain seals, with this peran.
    void forge(const QString &tindakan, const QString &tabel, std::optional<qint64> kunci, const QString &rincian,
               const QVariant &peran)
    {
        const QStringList last = database->rows(QStringLiteral("SELECT nomor, segel FROM jejak ORDER BY nomor DESC LIMIT 1"));
        audit::Record record;
        record.nomor = last.value(0).section(u'|', 0, 0).toLongLong() + 1;
        record.waktu = QStringLiteral("2026-12-09T03:00:00.000Z");
        record.zona = QStringLiteral("+07:00");
        record.operatorName = QStringLiteral("siapa");
        record.peran = peran.isNull() ? QString() : peran.toString();
        record.tindakan = tindakan;
        record.tabel = tabel;
        record.kunci = kunci;
        record.rincian = rincian;
        record.segel = QString::fromLatin1(audit::seal(last.value(0).section(u'|', 1).toLatin1(), audit::content(record)));
        const auto text = [](const QString &value) { return value.isNull() ? QVariant() : QVariant(value); };
        database->execAsOwner(QStringLiteral("INSERT INTO jejak (nomor, waktu, zona, \"operator\", peran, tindakan, tabel, "
                                             "kunci, rincian, segel) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                              {record.nomor, record.waktu, record.zona, record.operatorName, text(record.peran),
                               record.tindakan, text(record.tabel), kunci ? QVariant(*kunci) : QVariant(),
                               text(record.rincian), record.segel});
    }

    // What an import records of these ledger rows, read from the database as it stands.
    QString coverage(qint64 first, qint64 last)
    {
        audit::Coverage covered;
        QString name, error;
        if (!db::openConnection(database->connectionText(), &name, &error))
            qFatal("%s", qPrintable(error));
        {
            QSqlDatabase live = db::connection(name);
            if (!audit::coverLedger(live, &covered, first, last).isOk())
                qFatal("coverage not read");
        }
        db::closeConnection(name);
        return audit::coverageDetails(covered);
    }

    void act(int action)
    {
        switch (action) {
        case Deposit:
        case Withdrawal: {
            const bool deposit = action == Deposit;
            drive(screens::show<TransactionScreen>());
            type("txtREKENING", kAni);
            enter("txtREKENING");
            ScreenDriver::choose("cbo_TRANSAKSI", deposit ? 0 : 1);
            type(deposit ? "txtKREDIT" : "txtDEBET", QStringLiteral("1000"));
            enter(deposit ? "txtKREDIT" : "txtDEBET");
            click("cmdSIMPAN");
            break;
        }
        case NewCustomer:
            drive(screens::show<NewCustomerScreen>());
            type("txtREKENING", QStringLiteral("0777"));
            type("txtNAMA", QStringLiteral("Dewi Sartika"));
            click("cmdSAVE");
            break;
        case CustomerChange:
            drive(screens::show<RegisterScreen>());
            click("cmdADD");
            type("txtKOTA", QStringLiteral("Binjai"));
            click("cmdUPDATE");
            break;
        case CustomerDeletion:
            drive(screens::show<RegisterScreen>());
            dialogs->answerMessage(QMessageBox::Yes);
            click("cmdHAPUS");
            break;
        case PasswordChange:
            drive(screens::show<PasswordScreen>());
            type("txtUserLama", QStringLiteral("admin"));
            enter("txtUserLama");
            type("txtPassLama", QStringLiteral("admin123"));
            enter("txtPassLama");
            type("txtUser", QStringLiteral("kasir"));
            type("txtPassBaru", QStringLiteral("rahasia99"));
            click("cmdGanti");
            break;
        case Login:
        case FailedLogin:
            drive(screens::show<LoginScreen>());
            type("TXTuser", QStringLiteral("admin"));
            enter("TXTuser");
            type("TXTpasword", action == Login ? QStringLiteral("admin123") : QStringLiteral("tebakan1"));
            enter("TXTpasword");
            break;
        }
    }

private slots:
    void init()
    {
        Fixture::init();
        database->addCustomer(kCitra, QStringLiteral("Citra Lestari"));
        database->addCustomer(kAni, QStringLiteral("Ani Lubis"));
        database->addLedgerRow(kAni, QStringLiteral("Ani Lubis"), QStringLiteral("2024-01-02"), QStringLiteral("01"), 0,
                               5000, 5000);
        database->addLedgerRow(kAni, QStringLiteral("Ani Lubis"), QStringLiteral("2024-01-03"), QStringLiteral("02"),
                               1000, 0, 4000);
    }

    void everyActionWritesItsOneRow_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("tindakan");
        QTest::addColumn<QString>("tabel");
        QTest::addColumn<QString>("norekening");
        QTest::addColumn<QString>("rincian"); // a part of the details
        QTest::newRow("deposit") << int(Deposit) << "setoran" << "nabubg" << kAni << "";
        QTest::newRow("withdrawal") << int(Withdrawal) << "penarikan" << "nabubg" << kAni << "";
        QTest::newRow("new customer") << int(NewCustomer) << "nasabah baru" << "daftar" << "0777" << "";
        QTest::newRow("change") << int(CustomerChange) << "nasabah ubah" << "daftar" << kCitra
                                << "kota: Medan -> Binjai";
        QTest::newRow("deletion") << int(CustomerDeletion) << "nasabah hapus" << "daftar" << kCitra
                                  << "nama=Citra Lestari";
        QTest::newRow("password") << int(PasswordChange) << "ganti password" << "tpassword" << QString()
                                  << "user: admin -> kasir\npassword=diganti";
        QTest::newRow("login") << int(Login) << "masuk" << QString() << QString() << "user=admin";
        QTest::newRow("failed login") << int(FailedLogin) << "masuk gagal" << QString() << QString()
                                      << "user=admin\nsebab=password salah";
    }
    void everyActionWritesItsOneRow()
    {
        QFETCH(int, action);
        QFETCH(QString, tindakan);
        QFETCH(QString, tabel);
        QFETCH(QString, norekening);
        QFETCH(QString, rincian);
        const qint64 before = trailRows();
        act(action);
        QCOMPARE(trailRows(), before + 1);
        const QStringList row = database->rows(QStringLiteral("SELECT tindakan, tabel, norekening, \"operator\", rincian, "
                                                              "isi, token FROM jejak WHERE nomor = ?"),
                                               {lastNomor()});
        const QStringList columns = row.value(0).split(u'|');
        QCOMPARE(columns.value(0), tindakan);
        QCOMPARE(columns.value(1), tabel);
        QCOMPARE(columns.value(2), norekening);
        // Who: the operator as logged in. On a server the server says so: the name of
        // the operator whose role the session logged in as (a change of password is
        // made as the operator whose old password was typed, here renamed kasir).
        // A failed login there is recorded by the role the service names, as nobody has logged in.
        const QString who = !TestDatabase::onServer()                ? QString::fromLatin1(kTestOperator)
                            : tindakan == QLatin1String("ganti password") ? QStringLiteral("kasir")
                            : tindakan == QLatin1String("masuk gagal")
                                ? database->scalar(QStringLiteral("SELECT CAST(session_user AS text)")).toString()
                                : QString::fromLatin1(kTestOperator);
        QCOMPARE(columns.value(3), who);
        QVERIFY2(columns.value(4).contains(rincian), qPrintable(columns.value(4)));
        // A posting has its token; no password, typed or hashed, is ever in the trail.
        QCOMPARE(columns.value(6).size(), tabel == QLatin1String("nabubg") ? 32 : 0);
        for (const QString &secret : {QStringLiteral("admin123"), QStringLiteral("rahasia99"), QStringLiteral("tebakan1"),
                                      QStringLiteral("$argon2")})
            QVERIFY2(!row.value(0).contains(secret), qPrintable(row.value(0)));
        QVERIFY2(check().holds(), qPrintable(audit::describe(check()).join(u'\n')));
    }

    // A posting whose token is stored already stores nothing more, on either
    // engine: done, the row stored first made current, and the clerk told so.
    void aTokenIsStoredOnce()
    {
        RecordSource ledger;
        QVERIFY(ledger.open(QStringLiteral("nabubg")));
        const QString token = audit::newToken();
        const Money amount = Money::fromRupiah(1000);
        const auto post = [&] {
            return ledger.addNew(posting::ledgerRow(kAni, QString(), QDate::currentDate(), posting::Code::Deposit, amount),
                                 posting::postingCheck(kAni, posting::Code::Deposit, amount),
                                 posting::trailEntry(posting::Code::Deposit, kAni, token));
        };
        QVERIFY2(post(), qPrintable(ledger.lastError()));
        QCOMPARE(ledger.lastWrite().notice(), QString());
        // Tokens made later sort later (each new one at the end of the token index),
        // and two of the same moment differ.
        QTest::qWait(2);
        const QString later = audit::newToken();
        QVERIFY2(token < later && later.size() == 32, qPrintable(token + u' ' + later));
        QVERIFY(audit::newToken() != audit::newToken());
        const std::optional<qint64> key = ledger.currentKey();
        const qint64 rows = trailRows();
        QVERIFY2(post(), qPrintable(ledger.lastError()));
        QCOMPARE(ledger.lastWrite().notice(), db::savedBeforeText(database->location()));
        QCOMPARE(ledger.currentKey(), key);
        QCOMPARE(ledger.value(7).toDouble(), 5000.0);
        QCOMPARE(trailRows(), rows);
        QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM nabubg")).toInt(), 3);
    }

    void ledgerAndTrailRefuseChanges_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("rule");
        QTest::newRow("nabubg UPDATE") << "UPDATE nabubg SET saldo = 1 WHERE rowid = 1" << audit::kLedgerAppendOnly;
        QTest::newRow("nabubg DELETE") << "DELETE FROM nabubg WHERE rowid = 1" << audit::kLedgerAppendOnly;
        QTest::newRow("jejak UPDATE") << "UPDATE jejak SET rincian = 'x' WHERE nomor = 1" << audit::kTrailAppendOnly;
        QTest::newRow("jejak DELETE") << "DELETE FROM jejak WHERE nomor = 1" << audit::kTrailAppendOnly;
        // A server's TRUNCATE skips row triggers: the statement triggers refuse it too, to the owner.
        if (TestDatabase::onServer()) {
            QTest::newRow("nabubg TRUNCATE") << "TRUNCATE nabubg" << audit::kLedgerAppendOnly;
            QTest::newRow("jejak TRUNCATE") << "TRUNCATE jejak" << audit::kTrailAppendOnly;
        }
    }
    void ledgerAndTrailRefuseChanges()
    {
        QFETCH(QString, statement);
        QFETCH(QString, rule);
        const QStringList before = database->rows(QStringLiteral("SELECT * FROM jejak ORDER BY nomor"))
                                   + database->rows(QStringLiteral("SELECT * FROM nabubg ORDER BY rowid"));
        QString error;
        QVERIFY(!database->tryExec(statement, {}, &error));
        QVERIFY2(error.contains(rule), qPrintable(error));
        QCOMPARE(database->rows(QStringLiteral("SELECT * FROM jejak ORDER BY nomor"))
                     + database->rows(QStringLiteral("SELECT * FROM nabubg ORDER BY rowid")),
                 before);
    }

    void tamperingIsNamed_data()
    {
        // What the owner does behind the program's back (%1: the last ledger row,
        // %2: the last trail row), and what simparo-verify names first.
        QTest::addColumn<QString>("tampering");
        QTest::addColumn<QString>("named");
        QTest::newRow("amount changed") << "UPDATE nabubg SET kredit = 90000 WHERE rowid = %1"
                                        << "nabubg baris %1 (rekening 0101): berbeda dari jejak nomor %2: kredit";
        QTest::newRow("ledger row deleted") << "DELETE FROM nabubg WHERE rowid = %1" << "nabubg baris %1 (rekening 0101): hilang";
        QTest::newRow("ledger row inserted")
            << "INSERT INTO nabubg VALUES ('0101', 'Ani Lubis', '2024-01-04', '01', 'Penyetoran', 0, 100, 4100)"
            << "nabubg baris %3 (rekening 0101): tidak ada baris jejaknya";
        QTest::newRow("trail row changed") << "UPDATE jejak SET zona = '+08:00' WHERE nomor = %2"
                                           << "jejak nomor %2 (setoran): segel tidak cocok";
        QTest::newRow("trail row deleted") << "DELETE FROM jejak WHERE nomor = %2 - 1"
                                           << "jejak nomor %2: tidak bersambung, datang sesudah nomor %4";
        QTest::newRow("trail row inserted")
            << "INSERT INTO jejak (nomor, tindakan, tabel, kunci, segel) VALUES (%2 + 1, 'setoran', 'nabubg', %1, '00')"
            << "jejak nomor %5 (setoran): segel tidak cocok";
    }
    void tamperingIsNamed()
    {
        QFETCH(QString, tampering);
        QFETCH(QString, named);
        // A posting through the program, then the change behind its back.
        database->addLedgerRow(kAni, QStringLiteral("Ani Lubis"), QStringLiteral("2024-01-04"), QStringLiteral("01"), 0,
                               1000, 5000);
        QCOMPARE(verify().exitCode, 0);
        const qint64 key = lastLedgerKey();
        const qint64 nomor = lastNomor();
        const auto fill = [&](QString text) {
            const qint64 values[] = {key, nomor, key + 1, nomor - 2, nomor + 1};
            for (int i = 0; i < 5; ++i)
                text.replace(QStringLiteral("%%1").arg(i + 1), QString::number(values[i]));
            return text;
        };
        database->execAsOwner(fill(tampering));
        const ToolRun run = verify();
        QVERIFY2(run.exitCode == 1, qPrintable(run.out + run.err + fill(tampering)));
        const QString first = run.out.section(QStringLiteral("TIDAK COCOK: "), 1, 1);
        QVERIFY2(first.startsWith(fill(named)), qPrintable(run.out + run.err));
    }

    // Every row changed behind the program's back is named at its own row, and only
    // those: the walks go on from what is stored, not from what they expected.
    void everyTamperedRowIsNamedAtItsRow_data()
    {
        QTest::addColumn<QList<double>>("saldos"); // deposits of 1000 on 0102, with these balances
        QTest::addColumn<QString>("tampering");    // %1: the first of those rows, %2 the trail row of the first
        QTest::addColumn<QStringList>("named");
        QTest::newRow("two breaks on one account")
            << QList<double>{1000, 3000, 4000, 5500, 6500} << QString()
            << QStringList{"Saldo tidak bersambung: rekening 0102, baris %3 ", "Saldo tidak bersambung: rekening 0102, baris %5 "};
        QTest::newRow("two trail rows changed")
            << QList<double>{1000, 2000, 3000, 4000} << "UPDATE jejak SET zona = '+08:00' WHERE nomor IN (%2, %2 + 2)"
            << QStringList{"jejak nomor %2 (setoran): segel tidak cocok", "jejak nomor %4 (setoran): segel tidak cocok"};
    }
    void everyTamperedRowIsNamedAtItsRow()
    {
        QFETCH(QList<double>, saldos);
        QFETCH(QString, tampering);
        QFETCH(QStringList, named);
        database->addCustomer(QStringLiteral("0102"), QStringLiteral("Budi"));
        const qint64 first = lastLedgerKey() + 1, nomor = lastNomor() + 1;
        for (const double saldo : saldos)
            database->addLedgerRow(QStringLiteral("0102"), QStringLiteral("Budi"), QStringLiteral("2024-02-01"),
                                   QStringLiteral("01"), 0, 1000, saldo);
        const auto fill = [&](QString text) {
            return text.replace(QLatin1String("%1"), QString::number(first))
                .replace(QLatin1String("%2"), QString::number(nomor))
                .replace(QLatin1String("%3"), QString::number(first + 1))
                .replace(QLatin1String("%4"), QString::number(nomor + 2))
                .replace(QLatin1String("%5"), QString::number(first + 3));
        };
        if (!tampering.isEmpty())
            database->execAsOwner(fill(tampering));
        QStringList expected;
        for (const QString &words : std::as_const(named))
            expected << fill(words);
        const ToolRun run = verify();
        QVERIFY2(run.exitCode == 1 && this->named(findings(run), expected), qPrintable(run.out + run.err));
    }

    // A customer row changed, deleted or added without its trail row is named.
    void registerRowsMatchTheirTrail_data()
    {
        QTest::addColumn<QString>("tampering");
        QTest::addColumn<QString>("named"); // %1: Ani's row, %2: her last trail row, %3: the next key
        QTest::newRow("changed") << "UPDATE daftar SET nama = 'Ani L' WHERE norekening = '0101'"
                                 << "daftar baris %1 (rekening 0101): berbeda dari jejak nomor %2 (nasabah ubah): "
                                    "nama sekarang \"Ani L\", di jejak \"Ani Lubis\"";
        QTest::newRow("deleted") << "DELETE FROM daftar WHERE norekening = '0101'"
                                 << "daftar baris %1 (rekening 0101): hilang; jejak nomor %2 mencatat nasabah ubah";
        QTest::newRow("added") << "INSERT INTO daftar (norekening, nama) VALUES ('0999', 'Siluman')"
                               << "daftar baris %3 (rekening 0999): tidak ada baris jejaknya";
    }
    void registerRowsMatchTheirTrail()
    {
        QFETCH(QString, tampering);
        QFETCH(QString, named);
        // Deleted (Citra, the first row), changed (Ani, then the first) and added through
        // the screens first: their trail rows hold.
        for (const int action : {CustomerDeletion, CustomerChange, NewCustomer}) {
            act(action);
            closeScreens();
        }
        ToolRun run = verify();
        QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
        const QString ani = database->scalar(QStringLiteral("SELECT rowid FROM daftar WHERE norekening = '0101'")).toString();
        const QString nomor =
            database->scalar(QStringLiteral("SELECT max(nomor) FROM jejak WHERE tabel = 'daftar' AND kunci = ?"), {ani})
                .toString();
        const QString next =
            QString::number(database->scalar(QStringLiteral("SELECT max(rowid) FROM daftar")).toLongLong() + 1);
        database->execAsOwner(tampering);
        run = verify();
        named.replace(QLatin1String("%1"), ani).replace(QLatin1String("%2"), nomor).replace(QLatin1String("%3"), next);
        QVERIFY2(run.exitCode == 1 && this->named(findings(run), {named}),
                 qPrintable(run.out + run.err));
    }

    // A supervisor's setting and block events stand as their trail rows record them.
    void supervisorsRowsMatchTheirTrail_data()
    {
        QTest::addColumn<QString>("tampering");
        QTest::addColumn<QString>("named");
        QTest::newRow("setting changed") << "UPDATE pengaturan SET nilai = '999999999' WHERE kunci = 'batas_penarikan'"
                                         << "pengaturan batas_penarikan = 999999999, jejak nomor ";
        QTest::newRow("setting added") << "INSERT INTO pengaturan (kunci, nilai) VALUES ('pajak_batas', '1')"
                                       << "pengaturan pajak_batas = 1: tidak ada baris jejaknya";
        QTest::newRow("block lifted past the program")
            << "INSERT INTO blokir (norekening, jenis, alasan, keterangan, penyelia, waktu) "
               "VALUES ('0101', 'buka', '', '', 'admin', '2026-01-01')"
            << "blokir baris 2 (rekening 0101): tidak ada baris jejaknya";
    }
    void supervisorsRowsMatchTheirTrail()
    {
        QFETCH(QString, tampering);
        QFETCH(QString, named);
        const QString text = database->connectionText();
        QString error;
        QVERIFY2(operators::logIn(text, QStringLiteral("admin"), QStringLiteral("admin123"), &error), qPrintable(error));
        QCOMPARE(supervision::setWithdrawalLimit(text, Money::fromRupiah(500000)).message(), QString());
        QCOMPARE(supervision::setBlock(text, QStringLiteral("0101"), supervision::Block::Withdrawals,
                                       QStringLiteral("Buku hilang"), QString())
                     .message(),
                 QString());
        ToolRun run = verify();
        QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
        database->execAsOwner(tampering);
        run = verify();
        QVERIFY2(run.exitCode == 1 && this->named(findings(run), {named}), qPrintable(run.out + run.err));
    }

    // The rows only the owner's tools write count only when the owner wrote them:
    // forged by an operator's role they are findings, and cover nothing.
    void ownersRowsCountOnlyFromTheOwner_data()
    {
        QTest::addColumn<QString>("tindakan");
        QTest::addColumn<bool>("byOperator");
        QTest::addColumn<QString>("told"); // what verify prints besides
        for (const bool byOperator : {false, true}) {
            const QByteArray who = byOperator ? " by an operator" : " by the owner";
            QTest::newRow(("break accepted" + who).constData())
                << "putus diterima" << byOperator
                << (byOperator ? "TIDAK COCOK: Saldo tidak bersambung" : "Catatan (sudah diketahui, putus diterima");
            QTest::newRow(("import" + who).constData()) << "impor" << byOperator
                                                         << (byOperator ? "tidak ada baris jejaknya" : "Semua cocok.");
            QTest::newRow(("operator added" + who).constData()) << "operator tambah" << byOperator << "";
        }
    }
    void ownersRowsCountOnlyFromTheOwner()
    {
        QFETCH(QString, tindakan);
        QFETCH(bool, byOperator);
        QFETCH(QString, told);
        const QVariant peran = byOperator ? QVariant(operatorsPeran()) : ownersPeran();
        if (tindakan == QLatin1String("putus diterima")) {
            database->addLedgerRow(kAni, QStringLiteral("Ani Lubis"), QStringLiteral("2024-01-04"), QStringLiteral("01"), 0,
                                   1000, 9000);
            forge(tindakan, QStringLiteral("nabubg"), lastLedgerKey(),
                  QStringLiteral("putus=%1@%2").arg(kAni).arg(lastLedgerKey()), peran);
        } else if (tindakan == QLatin1String("impor")) {
            // A ledger row without its posting row, covered by the forged import.
            database->execAsOwner(QStringLiteral("INSERT INTO nabubg VALUES ('0101', 'Ani Lubis', '2024-01-04', '01', "
                                                 "'Penyetoran', 0, 100, 4100)"));
            forge(tindakan, QStringLiteral("nabubg"), std::nullopt, coverage(lastLedgerKey(), lastLedgerKey()), peran);
        } else {
            forge(tindakan, QStringLiteral("tpassword"), std::nullopt, QStringLiteral("user=penyusup"), peran);
        }
        const ToolRun run = verify();
        QCOMPARE(run.exitCode, byOperator ? 1 : 0);
        const QString refused = QStringLiteral("TIDAK COCOK: jejak nomor %1 (%2): ditulis oleh peran %3, bukan pemilik")
                                    .arg(lastNomor())
                                    .arg(tindakan, operatorsPeran());
        QVERIFY2(run.out.contains(refused) == byOperator && run.out.contains(told), qPrintable(run.out + run.err));
    }

    // An import made before the register was recorded vouches for its customers
    // only as a notice: those below the first customer registered since; one added
    // after that without his trail row is a finding.
    void customersOfAnOlderImportAreANotice()
    {
        database->execAsOwner(QStringLiteral("INSERT INTO daftar (norekening, nama) VALUES ('0105', 'Lama')"));
        forge(QStringLiteral("impor"), QStringLiteral("nabubg"), std::nullopt,
              QStringLiteral("jumlah=0\ndigest=") + QString::fromLatin1(QCryptographicHash::hash({}, QCryptographicHash::Sha256).toHex()),
              ownersPeran());
        ToolRun run = verify();
        QVERIFY2(run.exitCode == 0 && run.out.contains(QLatin1String("Catatan: 1 baris daftar tanpa baris jejak sendiri")),
                 qPrintable(run.out + run.err));
        database->addCustomer(QStringLiteral("0106"), QStringLiteral("Baru"));
        database->execAsOwner(QStringLiteral("INSERT INTO daftar (norekening, nama) VALUES ('0107', 'Siluman')"));
        run = verify();
        QVERIFY2(run.exitCode == 1 && named(findings(run), {QStringLiteral("daftar baris ")})
                     && findings(run).value(0).contains(QLatin1String("(rekening 0107): tidak ada baris jejaknya")),
                 qPrintable(run.out + run.err));
    }

    // The newest rows cut off, or the chain rewritten from some row on, with all
    // the rest holding together: found against the head seen last, again and again.
    void aCutOrRewrittenHeadIsFound_data()
    {
        QTest::addColumn<int>("cut");       // trail rows deleted from the end (the ledger row of the last too)
        QTest::addColumn<int>("appended");  // trail rows appended after it, through the program
        QTest::addColumn<QString>("named"); // empty: all holds
        QTest::newRow("cut short") << 1 << 0 << "dipotong di luar SIMPARO";
        QTest::newRow("rewritten") << 1 << 3 << "ditulis ulang di luar SIMPARO";
        QTest::newRow("grown") << 0 << 2 << "";
    }
    void aCutOrRewrittenHeadIsFound()
    {
        QFETCH(int, cut);
        QFETCH(int, appended);
        QFETCH(QString, named);
        QCOMPARE(verify().exitCode, 0);
        if (cut > 0) {
            database->execAsOwner(QStringLiteral("DELETE FROM nabubg WHERE rowid = ?"), {lastLedgerKey()});
            database->execAsOwner(QStringLiteral("DELETE FROM jejak WHERE nomor > ?"), {lastNomor() - cut});
        }
        for (int i = 0; i < appended; ++i)
            QVERIFY(audit::recordLogin(database->connectionText(), QStringLiteral("admin"), true).isOk());
        for (int run = 0; run < 2; ++run) {
            const ToolRun checked = verify();
            QVERIFY2(checked.exitCode == (named.isEmpty() ? 0 : 1) && checked.out.contains(named),
                     qPrintable(checked.out + checked.err));
        }
    }

    // A rule that keeps nabubg or jejak append-only, lifted, is a finding.
    void aLiftedRuleIsFound_data()
    {
        QTest::addColumn<QString>("lifting");
        const db::Dialect &dialect = db::dialectFor(TestDatabase::onServer() ? testserver::connectionText()
                                                                            : QString::fromLatin1(db::kConnectionText));
        for (const QString &statement : dialect.trailRuleStatements(false))
            QTest::newRow(qPrintable(statement)) << statement;
    }
    void aLiftedRuleIsFound()
    {
        QFETCH(QString, lifting);
        database->exec(lifting);
        const ToolRun run = verify();
        const QString trigger = lifting.section(u' ', -1);
        QVERIFY2(run.exitCode == 1 && run.out.contains(QStringLiteral("aturan %1 (trigger) tidak ada atau dimatikan").arg(trigger)),
                 qPrintable(run.out + run.err));
    }

    // A seal printed by the daily report (with its row number) is compared later.
    void aPrintedSealIsCompared_data()
    {
        QTest::addColumn<QStringList>("arguments"); // %1: the last trail row, %2 its seal
        QTest::addColumn<int>("exitCode");
        QTest::newRow("at the row, printed") << QStringList{"--seal-at", "%1"} << 0;
        QTest::newRow("at the row, the same") << QStringList{"--seal-at", "%1", "--expect", "%2"} << 0;
        QTest::newRow("at the row, another") << QStringList{"--seal-at", "%1", "--expect", QString(64, u'0')} << 1;
        QTest::newRow("no such row yet") << QStringList{"--seal-at", "99999"} << 3;
        QTest::newRow("no such row, printed") << QStringList{"--seal-at", "99999", "--expect", "%2"} << 1;
        QTest::newRow("today, the same") << QStringList{"--seal", "%3", "--expect", "%2"} << 0;
        QTest::newRow("a day before the trail") << QStringList{"--seal", "2000-01-01"} << 3;
        QTest::newRow("not a seal") << QStringList{"--seal-at", "%1", "--expect", "abc"} << 2;
    }
    void aPrintedSealIsCompared()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        const QString nomor = QString::number(lastNomor());
        const QString seal = audit::groupedSeal(
            database->scalar(QStringLiteral("SELECT segel FROM jejak WHERE nomor = ?"), {lastNomor()}).toString());
        for (QString &argument : arguments)
            argument.replace(QLatin1String("%1"), nomor)
                .replace(QLatin1String("%2"), seal)
                .replace(QLatin1String("%3"), QDate::currentDate().addDays(1).toString(Qt::ISODate));
        const ToolRun run = verify(arguments);
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.out + run.err));
        QVERIFY2(exitCode != 0 || run.out.contains(seal), qPrintable(run.out));
    }

    // Data holding control characters never reaches the IT person's terminal raw.
    void controlCharactersAreEscaped()
    {
        const QString account = QStringLiteral("\x1b[2J\x1b]0");
        database->execAsOwner(QStringLiteral("INSERT INTO daftar (norekening, nama) VALUES (?, 'Siluman')"), {account});
        database->execAsOwner(QStringLiteral("INSERT INTO nabubg VALUES (?, 'Siluman', '2024-01-04', '01', 'Penyetoran', "
                                             "0, 100, 100)"),
                              {account});
        QList<ToolRun> runs{verify()};
        if (!TestDatabase::onServer())
            runs << runTool("simparo-backup", {}, database->home());
        for (const ToolRun &run : std::as_const(runs)) {
            QVERIFY2(run.exitCode != 0 && run.out.contains(QLatin1String("(rekening \\x1b[2J\\x1b]0)")),
                     qPrintable(run.out + run.err));
            QVERIFY(!(run.out + run.err).contains(QChar(0x1b)));
        }
    }

    void knownBreaksAreNoticesOnceAccepted()
    {
        // A balance that does not follow from the one before, posted with its trail row.
        database->addLedgerRow(kAni, QStringLiteral("Ani Lubis"), QStringLiteral("2024-01-04"), QStringLiteral("01"), 0,
                               1000, 9000);
        const QString broken = QStringLiteral("%1:%2").arg(kAni).arg(lastLedgerKey());
        ToolRun run = verify();
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.out.contains(QStringLiteral("TIDAK COCOK: Saldo tidak bersambung: rekening 0101")), qPrintable(run.out));
        QCOMPARE(verify({QStringLiteral("--accept"), QStringLiteral("%1:1").arg(kAni)}).exitCode, 1); // no break there
        run = verify({QStringLiteral("--accept"), broken});
        QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
        QCOMPARE(database->scalar(QStringLiteral("SELECT tindakan FROM jejak WHERE nomor = ?"), {lastNomor()}).toString(),
                 QStringLiteral("putus diterima"));
        QCOMPARE(verify({QStringLiteral("--accept"), broken}).exitCode, 1); // known already
        run = verify();
        QVERIFY2(run.exitCode == 0, qPrintable(run.out));
        QVERIFY2(run.out.contains(QStringLiteral("Catatan (sudah diketahui, putus diterima")), qPrintable(run.out));
        // The backup of a file lists it as a notice too, and keeps its exit code 0.
        if (!TestDatabase::onServer()) {
            run = runTool("simparo-backup", {}, database->home());
            QVERIFY2(run.exitCode == 0 && run.out.contains(QStringLiteral("Catatan (sudah diketahui")),
                     qPrintable(run.out + run.err));
        }
    }

    void olderDatabaseIsGivenTheTrail()
    {
        // A database as made before the trail: the program's tables without it,
        // a ledger with one break of a balance chain.
        TestDatabase older(false);
        QDir().mkpath(QFileInfo(older.file()).absolutePath());
        const db::Dialect &dialect = db::dialectFor(older.connectionText());
        QStringList statements = dialect.schemaStatements();
        for (const QString &trail : dialect.trailStatements())
            statements.removeOne(trail);
        for (const QString &statement : std::as_const(statements))
            older.exec(statement);
        older.addOperator(QStringLiteral("admin"), QStringLiteral("admin123"));
        for (const auto &[saldo, kredit] : {std::pair{5000.0, 5000.0}, std::pair{7000.0, 1000.0}, std::pair{8000.0, 1000.0}})
            older.exec(QStringLiteral("INSERT INTO nabubg VALUES ('0101', 'Ani', '2016-01-02', '01', 'Penyetoran', 0, ?, ?)"),
                       {kredit, saldo});
        QString error;
        QVERIFY(!db::verifyConnection(older.connectionText(), &error));
        QVERIFY2(error.contains(QStringLiteral("simparo-initdb --upgrade")), qPrintable(error));

        ToolRun run = runTool("simparo-initdb", {QStringLiteral("--upgrade")}, older.home());
        QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
        QVERIFY2(run.out.contains(QStringLiteral("rekening 0101, baris 2")), qPrintable(run.out));
        QVERIFY2(db::verifyConnection(older.connectionText(), &error), qPrintable(error));
        run = runTool("simparo-verify", {}, older.home());
        QVERIFY2(run.exitCode == 0 && run.out.contains(QStringLiteral("Catatan (sudah diketahui, pasang jejak")),
                 qPrintable(run.out));
        // A second time only puts the database's rules (and a server's roles and rights) right again.
        run = runTool("simparo-initdb", {QStringLiteral("--upgrade")}, older.home());
        QVERIFY2(run.exitCode == 0 && run.out.contains(QStringLiteral("aturan database diperbarui")),
                 qPrintable(run.out + run.err));
        // The rows covered are the rows as they were: a change later is found.
        older.execAsOwner(QStringLiteral("UPDATE nabubg SET nama = 'Anu' WHERE rowid = 1"));
        run = runTool("simparo-verify", {}, older.home());
        QVERIFY2(run.exitCode == 1 && run.out.contains(QStringLiteral("isinya berbeda dari yang tercatat")),
                 qPrintable(run.out));
    }

    // An older database whose ledger had a gap when it was given the trail: a row
    // slipped into the gap afterwards is named as a row added to the covered range.
    void aRowSlippedIntoACoveredGapIsAdded()
    {
        TestDatabase older(false);
        QDir().mkpath(QFileInfo(older.file()).absolutePath());
        const db::Dialect &dialect = db::dialectFor(older.connectionText());
        QStringList statements = dialect.schemaStatements();
        for (const QString &trail : dialect.trailStatements())
            statements.removeOne(trail);
        for (const QString &statement : std::as_const(statements))
            older.exec(statement);
        older.addOperator(QStringLiteral("admin"), QStringLiteral("admin123"));
        for (const auto &[kredit, saldo] : {std::pair{5000.0, 5000.0}, std::pair{1000.0, 6000.0}, std::pair{1000.0, 7000.0}})
            older.exec(QStringLiteral("INSERT INTO nabubg VALUES ('0101', 'Ani', '2016-01-02', '01', 'Penyetoran', 0, ?, ?)"),
                       {kredit, saldo});
        older.exec(QStringLiteral("DELETE FROM nabubg WHERE rowid = 2"));
        const ToolRun upgraded = runTool("simparo-initdb", {QStringLiteral("--upgrade")}, older.home());
        QVERIFY2(upgraded.exitCode == 0, qPrintable(upgraded.out + upgraded.err));
        older.execAsOwner(QStringLiteral("INSERT INTO nabubg (rowid, norekening, nama, TANGGAL, kode, Jenis, debet, kredit, "
                                         "saldo) VALUES (2, '0101', 'Ani', '2016-01-02', '01', 'Penyetoran', 0, 0, 5000)"));
        const ToolRun run = runTool("simparo-verify", {}, older.home());
        QVERIFY2(run.exitCode == 1 && named(findings(run), {QStringLiteral("nabubg baris 1-3 (pasang jejak, jejak nomor ")})
                     && run.out.contains(QLatin1String("3 baris, tercatat 2 baris: baris dihapus atau ditambah")),
                 qPrintable(run.out + run.err));
    }

    void daySealIsTheDaysLastRowInLocalTime_data()
    {
        QTest::addColumn<QString>("day");
        QTest::addColumn<QString>("segel"); // empty: none
        QTest::newRow("before the rows") << "2026-12-08" << "";
        QTest::newRow("the day, ended at 23:59:59 local") << "2026-12-09" << "aaaa";
        QTest::newRow("the next day") << "2026-12-10" << "bbbb";
        QTest::newRow("a later day") << "2027-01-01" << "bbbb";
    }
    void daySealIsTheDaysLastRowInLocalTime()
    {
        QFETCH(QString, day);
        QFETCH(QString, segel);
        // Two rows written at 23:59:59.999 and 00:00 at a counter seven hours east of
        // UTC; their days differ in local time, not in UTC.
        database->execAsOwner(QStringLiteral("DELETE FROM jejak"));
        for (const auto &[nomor, waktu, seal] : {std::tuple{1, "2026-12-09T16:59:59.999Z", "aaaa"},
                                                 std::tuple{2, "2026-12-09T17:00:00.000Z", "bbbb"}})
            database->execAsOwner(QStringLiteral("INSERT INTO jejak (nomor, waktu, zona, segel) VALUES (?, ?, '+07:00', ?)"),
                                  {nomor, QString::fromLatin1(waktu), QString::fromLatin1(seal)});
        std::optional<audit::DaySeal> found;
        QString name, error;
        QVERIFY2(db::openConnection(database->connectionText(), &name, &error), qPrintable(error));
        {
            QSqlDatabase live = db::connection(name);
            QVERIFY(audit::sealAtEndOfDay(live, QDate::fromString(day, Qt::ISODate), &found).isOk());
        }
        db::closeConnection(name);
        QCOMPARE(found ? found->segel : QString(), segel);
        const ToolRun run = verify({QStringLiteral("--seal"), day});
        QCOMPARE(run.exitCode, segel.isEmpty() ? 3 : 0);
        QVERIFY2(segel.isEmpty() || run.out.endsWith(segel + u'\n'), qPrintable(run.out));
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    tst_Trail test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_trail.moc"
