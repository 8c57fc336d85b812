// The pupil's passbook: where each row goes, what a print remembers, and the
// page drawn for the printer.
#include "app/mainwindow.h"
#include "app/settingsscreen.h"
#include "data/engine/pool.h"
#include "data/operators/operators.h"
#include "data/operators/supervision.h"
#include "fixture.h"
#include "othercounter.h"
#include "savings/passbook.h"
#include "reports/passbookday.h"
#include "savings/passbookpage.h"
#include "shell/messages.h"
#include "shell/screens.h"

#include <QDialog>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

namespace {

const QString kAccount = QStringLiteral("0120100001");

QString placed(const QVector<passbook::Position> &lines)
{
    QStringList out;
    for (const passbook::Position &position : lines)
        out << QStringLiteral("%1.%2").arg(position.page).arg(position.line);
    return out.join(u' ');
}

QString placed(const QVector<passbook::Line> &lines)
{
    QVector<passbook::Position> positions;
    for (const passbook::Line &line : lines)
        positions << line.at;
    return placed(positions);
}

// A word of a PDF as pdftotext -bbox places it, in points from the page's top left.
struct Word {
    int page = 0;
    QString text;
    double left = 0, right = 0, bottom = 0;
};

QList<Word> pdfWords(const QString &pdf)
{
    QString program = qEnvironmentVariable("SIMPARO_PDFTOTEXT");
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    QProcess process;
    process.start(program, {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    if (!process.waitForFinished(30000))
        return {};
    const QString html = QString::fromUtf8(process.readAllStandardOutput());
    static const QRegularExpression item(QStringLiteral(
        R"re(<page |<word xMin="([0-9.]+)" yMin="[0-9.]+" xMax="([0-9.]+)" yMax="([0-9.]+)">([^<]*)</word>)re"));
    QList<Word> words;
    int page = 0;
    for (const QRegularExpressionMatch &match : item.globalMatch(html)) {
        if (match.captured(0).startsWith(QLatin1String("<page"))) {
            ++page;
            continue;
        }
        words.append({page, match.captured(4), match.captured(1).toDouble(), match.captured(2).toDouble(),
                      match.captured(3).toDouble()});
    }
    return words;
}

// Hundredths of a millimetre in points.
double points(int hundredths)
{
    return hundredths / 2540.0 * 72.0;
}

} // namespace

class tst_Passbook : public Fixture
{
    Q_OBJECT

private:
    // A customer with `count` deposits of Rp 1.000 each.
    void setUpAccount(int count)
    {
        database->addCustomer(kAccount, QStringLiteral("Ani Lubis"));
        for (int row = 1; row <= count; ++row)
            database->addLedgerRow(kAccount, QStringLiteral("Ani Lubis"), QStringLiteral("2024-01-02"),
                                   QStringLiteral("01"), 0, 1000, 1000 * row);
    }

    // One page's print; the lines drawn.
    passbook::PageResult print(const passbook::Layout &layout, bool turned, QString *drawn = nullptr)
    {
        passbook::PageResult result;
        QVector<passbook::Line> lines;
        const Outcome outcome = passbook::printPage(
            database->connectionText(), kAccount, layout, turned,
            [&](const QVector<passbook::Line> &given) {
                lines = given;
                return Outcome::ok();
            },
            &result);
        [&] { QCOMPARE(outcome.message(), QString()); }();
        if (drawn)
            *drawn = placed(lines);
        return result;
    }

    // The supervisor's approval window, once a button asked for it; nothing when it did not come.
    static QDialog *approvalWindow()
    {
        QDialog *found = nullptr;
        const bool came = QTest::qWaitFor([&] {
            found = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            return found && found->objectName() == QLatin1String("frmPENYELIA") && QApplication::activeWindow() == found;
        });
        return came ? found : nullptr;
    }

    void approveAs(const QString &user)
    {
        QDialog *approval = approvalWindow();
        QVERIFY(approval);
        type(approval, "txtUSER", user);
        type(approval, "txtPASWORD", user + QStringLiteral("123"));
        click(approval, "cmdOK");
    }

private slots:
    // The lines a print's rows take from the last line written: the page turned
    // before the row that opens the next one, the rows past the last page left
    // for a new book.
    void positions_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("lines");
        QTest::addColumn<QList<int>>("turns");
        QTest::addColumn<bool>("bookFull");
        // Pages of 4 lines, 3 pages.
        QTest::newRow("a new book") << 1 << 0 << 2 << "1.1 1.2" << QList<int>{} << false;
        QTest::newRow("fills the page") << 1 << 1 << 3 << "1.2 1.3 1.4" << QList<int>{} << false;
        QTest::newRow("turns in the middle") << 1 << 3 << 3 << "1.4 2.1 2.2" << QList<int>{1} << false;
        QTest::newRow("after a full page") << 1 << 4 << 1 << "2.1" << QList<int>{0} << false;
        QTest::newRow("two turns") << 1 << 4 << 6 << "2.1 2.2 2.3 2.4 3.1 3.2" << QList<int>{0, 4} << false;
        QTest::newRow("book full midway") << 3 << 2 << 4 << "3.3 3.4" << QList<int>{} << true;
        QTest::newRow("book already full") << 3 << 4 << 1 << "" << QList<int>{} << true;
    }
    void positions()
    {
        QFETCH(int, page);
        QFETCH(int, line);
        QFETCH(int, rows);
        passbook::Layout layout;
        layout.lines = 4;
        layout.pages = 3;
        QFETCH(QString, lines);
        QFETCH(QList<int>, turns);
        QFETCH(bool, bookFull);
        const passbook::Plan plan = passbook::plan({1, page, line}, rows, layout);
        QCOMPARE(placed(plan.lines), lines);
        QCOMPARE(plan.turns, turns);
        QCOMPARE(plan.bookFull, bookFull);
    }

    // Prints remember where they stopped: a page's rows, the turn asked for and
    // remembered when the clerk did not turn, a second print finding nothing
    // left, a new book carrying the balance; each with its trail row, which
    // simparo-verify checks; rows appended only, never one printed twice.
    void printsRemembered()
    {
        setUpAccount(3);
        passbook::Layout layout;
        layout.lines = 2;
        layout.pages = 2;
        QString drawn;
        passbook::PageResult result = print(layout, false, &drawn);
        QCOMPARE(drawn, QStringLiteral("1.1 1.2"));
        QCOMPARE(result.printed, 2);
        QCOMPARE(result.left, 1);
        QVERIFY(result.turn);
        // Not turned (Cancel): nothing printed, the turn asked again.
        result = print(layout, false, &drawn);
        QCOMPARE(result.printed, 0);
        QVERIFY(result.turn);
        result = print(layout, true, &drawn);
        QCOMPARE(drawn, QStringLiteral("2.1"));
        QCOMPARE(result.left, 0);
        QVERIFY(!result.turn);
        result = print(layout, false, &drawn);
        QCOMPARE(result.printed, 0);
        QCOMPARE(result.left, 0);

        database->addLedgerRow(kAccount, QStringLiteral("Ani Lubis"), QStringLiteral("2024-01-03"),
                               QStringLiteral("02"), 500, 0, 2500);
        database->addLedgerRow(kAccount, QStringLiteral("Ani Lubis"), QStringLiteral("2024-01-03"),
                               QStringLiteral("01"), 0, 100, 2600);
        database->addLedgerRow(kAccount, QStringLiteral("Ani Lubis"), QStringLiteral("2024-01-03"),
                               QStringLiteral("01"), 0, 100, 2700);
        result = print(layout, false, &drawn);
        QCOMPARE(drawn, QStringLiteral("2.2"));
        QVERIFY(result.bookFull);
        QCOMPARE(result.left, 2);

        // The new book: line 1 the balance after the last row printed, then the rest.
        QVector<passbook::Line> first;
        QCOMPARE(passbook::startBook(database->connectionText(), kAccount,
                                     [&](const QVector<passbook::Line> &given) {
                                         first = given;
                                         return Outcome::ok();
                                     })
                     .message(),
                 QString());
        QCOMPARE(first.size(), 1);
        QCOMPARE(first.first().at, (passbook::Position{2, 1, 1}));
        QVERIFY(!first.first().row);
        QCOMPARE(first.first().carried, Money::fromRupiah(2500));
        result = print(layout, false, &drawn);
        QCOMPARE(drawn, QStringLiteral("1.2"));
        QVERIFY(result.turn);
        result = print(layout, true, &drawn);
        QCOMPARE(drawn, QStringLiteral("2.1"));

        QVector<QPair<qint64, passbook::Position>> lines;
        {
            passbook::Book book;
            QCOMPARE(passbook::readBook(database->connectionText(), kAccount, &book).message(), QString());
            QCOMPARE(book.printedCount(), 6);
            QCOMPARE(book.last, (passbook::Position{2, 2, 1}));
        }
        QCOMPARE(database->rows(QStringLiteral("SELECT j.tindakan, j.rincian FROM jejak j JOIN cetak_buku c "
                                               "ON j.tabel = 'cetak_buku' AND j.kunci = c.id ORDER BY c.id"))
                     .size(),
                 6);
        QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM jejak WHERE tindakan = 'buku baru'")).toInt(),
                 1);

        // The database itself takes no row printed twice, and changes none.
        const qint64 firstKey = database->scalar(QStringLiteral("SELECT min(rowid) FROM nabubg")).toLongLong();
        QString error;
        QVERIFY(!database->tryExec(QStringLiteral("INSERT INTO cetak_buku (norekening, nobuku, jenis, kunci_awal, "
                                                  "kunci_akhir, halaman_awal, baris_awal, halaman_akhir, baris_akhir, "
                                                  "waktu) VALUES (?, 2, 'cetak', ?, ?, 2, 2, 2, 2, '2024-01-03')"),
                                   {kAccount, firstKey, firstKey}, &error));
        QVERIFY2(error.contains(QLatin1String("sudah dicetak")), qPrintable(error));
        QVERIFY(!database->tryExec(QStringLiteral("UPDATE cetak_buku SET baris_awal = 1"), {}, &error));
        QVERIFY2(error.contains(QLatin1String("hanya bisa ditambah")), qPrintable(error));

        ToolRun verified = runTool(QStringLiteral("simparo-verify"), {}, database->home());
        QVERIFY2(verified.exitCode == 0, qPrintable(verified.out + verified.err));
        // A print written behind the program's back has no trail row: simparo-verify says so.
        database->execAsOwner(QStringLiteral("INSERT INTO cetak_buku (norekening, nobuku, jenis, kunci_akhir, "
                                             "halaman_awal, baris_awal, halaman_akhir, baris_akhir, saldo_pindahan, "
                                             "waktu) VALUES (?, 3, 'baru', (SELECT max(rowid) FROM nabubg), 1, 1, 1, "
                                             "1, 270000, '2024-01-04')"),
                              {kAccount});
        verified = runTool(QStringLiteral("simparo-verify"), {}, database->home());
        QVERIFY2(verified.exitCode == 1 && verified.out.contains(QLatin1String("cetak_buku baris")),
                 qPrintable(verified.out + verified.err));
    }

    // Each row drawn on its line: the lines 1/6 inch apart, the fold's gap
    // after line 12, each amount ending at its column (a deposit's and a
    // profit share's in kredit, a withdrawal's, a correction's of a deposit and
    // a tax's in debet), a page turn a second sheet, a new book's carried balance.
    void drawn()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()
            && qEnvironmentVariable("SIMPARO_PDFTOTEXT").isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        const passbook::Layout layout;
        const QString pdf = database->home() + QStringLiteral("/buku.pdf");
        const auto row = [](qint64 key, const char *code, qint64 debet, qint64 kredit, qint64 saldo) {
            passbook::Row made;
            made.key = key;
            made.date = QDate(2024, 1, 2);
            made.code = QLatin1String(code);
            made.debet = Money::fromRupiah(debet);
            made.kredit = Money::fromRupiah(kredit);
            made.saldo = Money::fromRupiah(saldo);
            made.operatorName = QStringLiteral("budi");
            return made;
        };
        {
            passbook::Sheets sheets(layout, {QString(), pdf});
            QCOMPARE(sheets.draw({{{2, 1, 1}, std::nullopt, Money::fromRupiah(7000)},
                                  {{2, 1, 11}, row(1, "01", 0, 5000, 12000), Money()},
                                  {{2, 1, 12}, row(2, "02", 2000, 0, 10000), Money()},
                                  {{2, 1, 13}, row(3, "03", 0, 300, 10300), Money()},
                                  {{2, 1, 24}, row(4, "04", 60, 0, 10240), Money()}})
                         .message(),
                     QString());
            QCOMPARE(sheets.draw({{{2, 2, 1}, row(5, "05", 5000, 0, 5240), Money()}}).message(), QString());
            QCOMPARE(sheets.finish().message(), QString());
        }
        const QList<Word> words = pdfWords(pdf);
        const auto find = [&](int page, const QString &text) {
            for (const Word &word : words)
                if (word.page == page && word.text == text)
                    return word;
            return Word();
        };
        const double line = points(layout.lineHeight);
        const Word carried = find(1, QStringLiteral("7.000,00"));
        QVERIFY2(carried.page == 1, "the carried balance is not on the first sheet");
        QVERIFY(find(1, QStringLiteral("pindahan")).page == 1);
        QCOMPARE_LT(qAbs(carried.right - points(layout.left + layout.saldo)), 1.0);
        const struct {
            const char *amount;
            int page;
            int line;
            int column;
        } expected[] = {{"5.000,00", 1, 11, layout.kredit}, {"2.000,00", 1, 12, layout.debet},
                        {"300,00", 1, 13, layout.kredit},   {"60,00", 1, 24, layout.debet},
                        {"5.000,00", 2, 1, layout.debet}};
        for (const auto &want : expected) {
            const Word word = find(want.page, QLatin1String(want.amount));
            QVERIFY2(word.page == want.page, want.amount);
            QVERIFY2(qAbs(word.right - points(layout.left + want.column)) < 1.0, want.amount);
            // Every line's baseline the same distance below line 1's, the fold's gap added past line 12.
            const double below = (want.line - 1) * line + (want.line > layout.fold ? points(layout.gap) : 0);
            QVERIFY2(qAbs(word.bottom - (carried.bottom + below)) < 0.3, want.amount);
        }
        QVERIFY(find(1, QStringLiteral("BUDI")).page == 1);
    }

    // At the counter: Enter from the account to "Cetak"; a page turn in the
    // middle of a print (OK goes on at line 1 of the next page); nothing left on
    // a second print; Cancel at the turn remembered, the turn asked again; the
    // book full; a new book after its question.
    void printAtScreen()
    {
        setUpAccount(3);
        const QString text = database->connectionText();
        QCOMPARE(passbook::setSetting(text, QStringLiteral("buku_baris"), 2).message(), QString());
        QCOMPARE(passbook::setSetting(text, QStringLiteral("buku_halaman"), 3).message(), QString());
        const QString pdf = database->home() + QStringLiteral("/cetak.pdf");
        QString error;
        QVERIFY2(passbook::writeOutput({QString(), pdf}, &error), qPrintable(error));
        trigger(screens::show<MainWindow>(), "mnuBUKU");
        QWidget *screen = nullptr;
        QVERIFY(QTest::qWaitFor([&] {
            screen = QApplication::activeWindow();
            return screen && screen->objectName() == QLatin1String("frmBUKU");
        }));
        QCOMPARE(screen->windowTitle(), QStringLiteral("CETAK BUKU TABUNGAN"));
        type(screen, "txtREKENING", kAccount);
        enter(screen, "txtREKENING");
        QCOMPARE(field(screen, "txtNAMA")->text(), QStringLiteral("Ani Lubis"));
        QCOMPARE(field(screen, "txtNOBUKU")->text(), QStringLiteral("1"));
        QCOMPARE(field(screen, "txtHALAMAN")->text() + u'/' + field(screen, "txtBARIS")->text(), QStringLiteral("1/1"));
        QCOMPARE(focused()->objectName(), QStringLiteral("cmdCETAK"));

        dialogs->answerMessage(QMessageBox::Ok);
        QTest::keyClick(focused(), Qt::Key_Return);
        EXPECT_MESSAGE(dialogs->only(), passbook::text::kPageFull, "Informasi", QMessageBox::Information);
        QCOMPARE(dialogs->only().buttons, QMessageBox::Ok | QMessageBox::Cancel);
        QList<Word> words = pdfWords(pdf);
        QStringList amounts;
        for (const Word &word : std::as_const(words))
            if (word.text.endsWith(QLatin1String(",00")))
                amounts << QStringLiteral("%1:%2").arg(word.page).arg(word.text);
        QCOMPARE(amounts.join(u' '), QStringLiteral("1:1.000,00 1:1.000,00 1:1.000,00 1:2.000,00 2:1.000,00 2:3.000,00"));
        QCOMPARE(field(screen, "txtHALAMAN")->text() + u'/' + field(screen, "txtBARIS")->text(), QStringLiteral("2/2"));

        dialogs->clear();
        QTest::keyClick(focused(), Qt::Key_Return);
        EXPECT_MESSAGE(dialogs->only(), passbook::text::kNothingLeft, "Informasi", QMessageBox::Information);

        for (int row = 4; row <= 7; ++row)
            database->addLedgerRow(kAccount, QStringLiteral("Ani Lubis"), QStringLiteral("2024-01-03"),
                                   QStringLiteral("01"), 0, 1000, 1000 * row);
        dialogs->clear();
        dialogs->answerMessage(QMessageBox::Cancel);
        QTest::keyClick(focused(), Qt::Key_Return);
        EXPECT_MESSAGE(dialogs->only(), passbook::text::kPageFull, "Informasi", QMessageBox::Information);
        QCOMPARE(field(screen, "txtHALAMAN")->text() + u'/' + field(screen, "txtBARIS")->text(), QStringLiteral("3/1"));
        // The turn is asked again; then the last page fills and the book is full.
        dialogs->clear();
        dialogs->answerMessage(QMessageBox::Ok);
        dialogs->answerMessage(QMessageBox::Ok);
        QTest::keyClick(focused(), Qt::Key_Return);
        QCOMPARE(dialogs->count(), 2);
        EXPECT_MESSAGE(dialogs->seen.at(1), passbook::text::kBookFull, "Informasi", QMessageBox::Information);
        QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM cetak_buku WHERE jenis = 'cetak'")).toInt(), 4);

        dialogs->clear();
        dialogs->answerMessage(QMessageBox::Yes);
        click(screen, "cmdBUKUBARU");
        EXPECT_MESSAGE(dialogs->only(), passbook::text::kNewBookQuestion, "PERHATIAN", QMessageBox::Question);
        QCOMPARE(field(screen, "txtNOBUKU")->text(), QStringLiteral("2"));
        QCOMPARE(field(screen, "txtHALAMAN")->text() + u'/' + field(screen, "txtBARIS")->text(), QStringLiteral("1/2"));
        words = pdfWords(pdf);
        QVERIFY(std::any_of(words.begin(), words.end(), [](const Word &word) { return word.text == "6.000,00"; }));
    }

    // A reprint, after a supervisor's approval, lands exactly on the lines of the
    // first print and is recorded with him; a position set by hand (approved
    // too) makes the next print go on from the line typed, after the row chosen.
    void reprintAndPosition()
    {
        setUpAccount(3);
        const QString text = database->connectionText();
        QCOMPARE(passbook::setSetting(text, QStringLiteral("buku_baris"), 2).message(), QString());
        QCOMPARE(operators::add(text, QStringLiteral("budi"), QStringLiteral("budi123")).message(), QString());
        QCOMPARE(operators::add(text, QStringLiteral("sari"), QStringLiteral("sari123"), supervision::Kind::Supervisor)
                     .message(),
                 QString());
        QString error;
        QVERIFY2(operators::logIn(text, QStringLiteral("budi"), QStringLiteral("budi123"), &error), qPrintable(error));
        const QString pdf = database->home() + QStringLiteral("/cetak.pdf");
        QVERIFY2(passbook::writeOutput({QString(), pdf}, &error), qPrintable(error));
        trigger(screens::show<MainWindow>(), "mnuBUKU");
        QWidget *screen = nullptr;
        QVERIFY(QTest::qWaitFor([&] {
            screen = QApplication::activeWindow();
            return screen && screen->objectName() == QLatin1String("frmBUKU");
        }));
        type(screen, "txtREKENING", kAccount);
        enter(screen, "txtREKENING");
        dialogs->answerMessage(QMessageBox::Ok);
        QTest::keyClick(focused(), Qt::Key_Return);
        const QList<Word> first = pdfWords(pdf);

        // From the second row (the last is current, one up) to the last.
        key(screen, "DataGrid1", Qt::Key_Up);
        dialogs->clear();
        dialogs->answerMessage(QMessageBox::Ok);
        click(screen, "cmdULANG");
        approveAs(QStringLiteral("sari"));
        QTRY_COMPARE(dialogs->count(), 1);
        EXPECT_MESSAGE(dialogs->only(), passbook::text::kPageFull, "Informasi", QMessageBox::Information);
        const QList<Word> again = pdfWords(pdf);
        QStringList reprinted;
        for (const Word &word : again) {
            reprinted << word.text;
            QVERIFY2(std::any_of(first.begin(), first.end(),
                                 [&](const Word &was) {
                                     return was.page == word.page && was.text == word.text
                                         && qAbs(was.left - word.left) < 0.01 && qAbs(was.bottom - word.bottom) < 0.01;
                                 }),
                     qPrintable(word.text));
        }
        QVERIFY2(reprinted.contains(QStringLiteral("2.000,00")) && reprinted.contains(QStringLiteral("3.000,00")),
                 qPrintable(reprinted.join(u' ')));
        QCOMPARE(database->rows(QStringLiteral("SELECT c.penyelia, j.tindakan FROM cetak_buku c JOIN jejak j "
                                               "ON j.tabel = 'cetak_buku' AND j.kunci = c.id WHERE c.jenis = 'ulang'")),
                 QStringList{QStringLiteral("sari|cetak ulang")});

        // Rows 4 and 5 were written in the book by hand, row 5 on page 3 line 1.
        for (int row = 4; row <= 6; ++row)
            database->addLedgerRow(kAccount, QStringLiteral("Ani Lubis"), QStringLiteral("2024-01-03"),
                                   QStringLiteral("01"), 0, 1000, 1000 * row);
        enter(screen, "txtREKENING");
        key(screen, "DataGrid1", Qt::Key_Down);
        type(screen, "txtHALAMAN", QStringLiteral("3"));
        type(screen, "txtBARIS", QStringLiteral("2"));
        click(screen, "cmdATUR");
        approveAs(QStringLiteral("sari"));
        QTRY_COMPARE(field(screen, "txtHALAMAN")->text() + u'/' + field(screen, "txtBARIS")->text(),
                     QStringLiteral("3/2"));
        dialogs->clear();
        enter(screen, "cmdCETAK");
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(database->rows(QStringLiteral("SELECT halaman_awal, baris_awal FROM cetak_buku "
                                               "WHERE jenis = 'cetak' ORDER BY id DESC LIMIT 1")),
                 QStringList{QStringLiteral("3|2")});
        const ToolRun verified = runTool(QStringLiteral("simparo-verify"), {}, database->home());
        QVERIFY2(verified.exitCode == 0, qPrintable(verified.out + verified.err));

        // The daily report's section lists the reprint under its day, with the supervisor.
        QString name;
        QVERIFY2(db::openConnection(text, &name, &error), qPrintable(error));
        QString today, yesterday;
        {
            QSqlDatabase connection = db::connection(name);
            QCOMPARE(reports::passbookEvents(connection, QDate::currentDate(), &today).message(), QString());
            QCOMPARE(reports::passbookEvents(connection, QDate::currentDate().addDays(-1), &yesterday).message(),
                     QString());
        }
        db::closeConnection(name);
        QVERIFY2(today.contains(QStringLiteral("cetak ulang  rekening %1  buku 1  hal 1 baris 2 s.d. hal 2 baris 1  "
                                               "kasir budi  penyelia sari")
                                    .arg(kAccount)),
                 qPrintable(today));
        QVERIFY2(yesterday.endsWith(QLatin1String("tidak ada")), qPrintable(yesterday));
    }

    // Two counters print the same book at once: the second waits for the
    // first, then finds nothing left to print.
    void twoCounters()
    {
        setUpAccount(2);
        passbook::Layout layout;
        OtherCounter other;
        QString otherSaid;
        passbook::PageResult result;
        const Outcome outcome = passbook::printPage(
            database->connectionText(), kAccount, layout, false,
            [&](const QVector<passbook::Line> &) {
                // The other counter starts while this one holds the book.
                other.startPassbook(kAccount);
                if (other.waitUntilReady())
                    QTest::qWait(1500);
                return Outcome::ok();
            },
            &result);
        QCOMPARE(outcome.message(), QString());
        QCOMPARE(result.printed, 2);
        QCOMPARE(other.result(), QStringLiteral("ok 0 0"));
        QCOMPARE(database->scalar(QStringLiteral("SELECT count(*) FROM cetak_buku")).toInt(), 1);
    }

    // In "Pengaturan": a value of the page changed in its table and stored,
    // and the test page: every line numbered on its baseline, the fold's gap
    // between lines 12 and 13.
    void settingsScreen()
    {
        const QString pdf = database->home() + QStringLiteral("/contoh.pdf");
        QString error;
        QVERIFY2(passbook::writeOutput({QString(), pdf}, &error), qPrintable(error));
        QWidget *screen = screens::show<SettingsScreen>();
        key(screen, "txtPAJAKTARIF", Qt::Key_Tab);
        QVERIFY(focused());
        QCOMPARE(focused()->objectName(), QStringLiteral("tblBUKU"));
        QTest::keyClick(focused(), Qt::Key_Right);
        QTest::keyClick(focused(), Qt::Key_F2);
        QTest::keyClicks(focused(), QStringLiteral("20"));
        QTest::keyClick(focused(), Qt::Key_Return);
        dialogs->answerMessage(QMessageBox::Ok);
        click(screen, "cmdSIMPAN");
        EXPECT_MESSAGE(dialogs->only(), "Pengaturan tersimpan.", QString::fromLatin1(msg::kAppTitle),
                       QMessageBox::Information);
        passbook::Layout layout;
        QCOMPARE(passbook::readLayout(database->connectionText(), &layout).message(), QString());
        QCOMPARE(layout.lines, 20);

        screen = screens::show<SettingsScreen>();
        click(screen, "cmdCONTOH");
        QHash<QString, double> baselines;
        for (const Word &word : pdfWords(pdf))
            if (word.text.size() == 2 && word.text.at(0).isDigit() && word.left < points(layout.left + 100))
                baselines.insert(word.text, word.bottom);
        QCOMPARE(baselines.size(), 20);
        const double line = points(layout.lineHeight);
        QVERIFY(qAbs(baselines.value(QStringLiteral("12")) - baselines.value(QStringLiteral("11")) - line) < 0.3);
        QVERIFY(qAbs(baselines.value(QStringLiteral("13")) - baselines.value(QStringLiteral("12")) - line
                     - points(layout.gap))
                < 0.3);
        QVERIFY(qAbs(baselines.value(QStringLiteral("20")) - baselines.value(QStringLiteral("01")) - 19 * line
                     - points(layout.gap))
                < 0.3);
    }

    // The page's settings: the defaults, a supervisor's change kept with its
    // trail row, a value out of bounds refused.
    void settings()
    {
        const QString text = database->connectionText();
        passbook::Layout layout;
        QCOMPARE(passbook::readLayout(text, &layout).message(), QString());
        QCOMPARE(layout.lines, 24);
        QCOMPARE(layout.fold, 12);
        QCOMPARE(layout.lineHeight, 423);
        QCOMPARE(passbook::setSetting(text, QStringLiteral("buku_baris"), 20).message(), QString());
        QVERIFY(!passbook::setSetting(text, QStringLiteral("buku_baris"), 0).isOk());
        QCOMPARE(passbook::readLayout(text, &layout).message(), QString());
        QCOMPARE(layout.lines, 20);
        const QString change =
            database->scalar(QStringLiteral("SELECT rincian FROM jejak WHERE tindakan = 'pengaturan ubah'")).toString();
        QVERIFY2(change.startsWith(QLatin1String("buku_baris:")) && change.endsWith(QLatin1String("-> 20")),
                 qPrintable(change));
        const ToolRun verified = runTool(QStringLiteral("simparo-verify"), {}, database->home());
        QVERIFY2(verified.exitCode == 0, qPrintable(verified.out + verified.err));
    }
};

QTEST_MAIN(tst_Passbook)
#include "tst_passbook.moc"
