// The reports checked through their real output: each is saved (or printed) as
// PDF and its text read back with pdftotext, as an operator would read the paper.
#include "app/mainwindow.h"
#include "shell/screens.h"
#include "data/records/dataenvironment.h"
#include "data/operators/operators.h"
#include "data/base/session.h"
#include "reports/balancerequest.h"
#include "reports/dailyrequest.h"
#include "reports/reportengine.h"
#include "reports/reports.h"
#include "reports/reportwindow.h"
#include "reports/savingsrequest.h"
#include "reports/xlsxfile.h"
#include "savings/transactionscreen.h"
#include "fixture.h"
#include "testserver.h"
#include "workbook.h"

#include <QDateEdit>
#include <QFileDialog>
#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QApplication>
#include <QDialog>
#include <QToolButton>
#include <QCalendarWidget>

namespace {
const QString kDatarTitle = QStringLiteral("LAPORAN DATA TABUNGAN NASABAH SISWA PT.BPRS MERANTIKA");
const QStringList kDatarHeadings = {QStringLiteral("No Rekening"), QStringLiteral("Nama"), QStringLiteral("Tanggal"),
                                    QStringLiteral("Kode"),        QStringLiteral("Jenis"), QStringLiteral("Debet"),
                                    QStringLiteral("Kredit"),      QStringLiteral("Saldo")};
const QString kCustomerTitle = QStringLiteral("LAPORAN DATA NASABAH SISWA PT.BPRS MERANTIKA");
const QStringList kCustomerHeadings = {QStringLiteral("NO REKENING"), QStringLiteral("NAMA"),
                                       QStringLiteral("TEMPAT"),      QStringLiteral("TGL_LAHIR"),
                                       QStringLiteral("ALAMAT"),      QStringLiteral("KOTA"),
                                       QStringLiteral("KODE"),        QStringLiteral("PENDIDIKAN"),
                                       QStringLiteral("TELPHON")};
const QStringList kHarianHeadings = {QStringLiteral("Jam"),         QStringLiteral("Operator"), QStringLiteral("Loket"),
                                     QStringLiteral("No Rekening"), QStringLiteral("Nama"),     QStringLiteral("Kode"),
                                     QStringLiteral("Jenis"),       QStringLiteral("Debet"),    QStringLiteral("Kredit"),
                                     QStringLiteral("Saldo")};

// The cells of a printed table line: columns stand at least two blanks apart.
QStringList cells(const QString &line)
{
    return line.trimmed().split(QRegularExpression(QStringLiteral("\\s{2,}")), Qt::SkipEmptyParts);
}
} // namespace

// pdftotext as the build found it (empty when it is missing), else from PATH.
static QString pdftotext()
{
    if (qEnvironmentVariableIsSet("SIMPARO_PDFTOTEXT"))
        return qEnvironmentVariable("SIMPARO_PDFTOTEXT");
    return QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
}

// For the tests that read the text of a PDF.
#define REQUIRE_PDFTOTEXT()                                                                                            \
    do {                                                                                                               \
        if (pdftotext().isEmpty())                                                                                     \
            QSKIP("pdftotext (poppler-utils) is not installed, so the text of the PDF cannot be read");                \
    } while (false)

// The text of a PDF file, page by page, each page as its non-empty lines.
struct PdfText {
    QList<QStringList> pages;

    QStringList lines() const
    {
        QStringList all;
        for (const QStringList &page : pages)
            all += page;
        return all;
    }
    // The table lines below the headings, across all pages, as cells.
    QList<QStringList> rows(const QStringList &headings) const
    {
        QList<QStringList> result;
        for (const QStringList &page : pages) {
            bool below = false;
            for (const QString &line : page) {
                if (below && line.trimmed() != QLatin1String(reports::ReportDocument::kNoDataNotice))
                    result << cells(line);
                below = below || cells(line) == headings;
            }
        }
        return result;
    }
};

class tst_Reports : public Fixture
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> output;
    int saved = 0;

    static PdfText readPdf(const QString &path)
    {
        QProcess pdftotext;
        pdftotext.start(::pdftotext(), {QStringLiteral("-layout"), path, QStringLiteral("-")});
        if (!pdftotext.waitForFinished(60000) || pdftotext.exitCode() != 0)
            QTest::qFail(qPrintable(QStringLiteral("pdftotext failed: %1").arg(QString::fromLocal8Bit(pdftotext.readAllStandardError()))), __FILE__, __LINE__);
        PdfText text;
        QStringList pages = QString::fromUtf8(pdftotext.readAllStandardOutput()).split(u'\f');
        if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
            pages.removeLast();
        for (const QString &page : std::as_const(pages)) {
            QStringList lines;
            for (const QString &line : page.split(u'\n'))
                if (!line.trimmed().isEmpty())
                    lines << line;
            text.pages << lines;
        }
        return text;
    }

    // The height (in points) between the words above the signature line and the line.
    double signingRoom() const
    {
        QProcess pdftotext;
        pdftotext.start(::pdftotext(), {QStringLiteral("-bbox"), lastSaved(), QStringLiteral("-")});
        if (!pdftotext.waitForFinished(60000))
            return 0;
        const QString html = QString::fromUtf8(pdftotext.readAllStandardOutput());
        static const QRegularExpression wordTag(
            QStringLiteral("<word xMin=\"[\\d.]+\" yMin=\"([\\d.]+)\" xMax=\"[\\d.]+\" yMax=\"([\\d.]+)\">([^<]*)<"));
        double above = -1, line = -1;
        for (auto it = wordTag.globalMatch(html); it.hasNext();) {
            const auto m = it.next();
            if (m.captured(3) == QLatin1String("oleh:"))
                above = m.captured(2).toDouble();
            else if (m.captured(3).startsWith(QLatin1String("____")))
                line = m.captured(1).toDouble();
        }
        return above >= 0 && line >= 0 ? line - above : 0;
    }

    // Every word of the PDF lies inside its page, and no two words of one line overlap:
    // no text runs off the paper or over a neighbouring column.
    static bool wordsStayApart(const QString &path)
    {
        QProcess pdftotext;
        pdftotext.start(::pdftotext(), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
        if (!pdftotext.waitForFinished(60000))
            return false;
        const QString html = QString::fromUtf8(pdftotext.readAllStandardOutput());
        static const QRegularExpression pageTag(QStringLiteral("<page width=\"([\\d.]+)\""));
        static const QRegularExpression wordTag(
            QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)<"));
        const double width = pageTag.match(html).captured(1).toDouble();
        if (width <= 0)
            return false;
        struct Box { double x0, y0, x1; QString text; };
        QList<Box> boxes;
        for (const QString &page : html.split(QStringLiteral("<page "))) {
            QList<Box> onPage;
            for (auto it = wordTag.globalMatch(page); it.hasNext();) {
                const auto m = it.next();
                const Box box{m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                              m.captured(5)};
                if (box.x0 < 0 || box.x1 > width) {
                    QTest::qFail(qPrintable(QStringLiteral("word off the page: %1").arg(box.text)), __FILE__, __LINE__);
                    return false;
                }
                onPage << box;
            }
            std::sort(onPage.begin(), onPage.end(), [](const Box &a, const Box &b) {
                return std::abs(a.y0 - b.y0) > 0.5 ? a.y0 < b.y0 : a.x0 < b.x0;
            });
            for (int i = 1; i < onPage.size(); ++i) {
                const Box &a = onPage.at(i - 1);
                const Box &b = onPage.at(i);
                if (std::abs(a.y0 - b.y0) <= 0.5 && b.x0 < a.x1 - 0.5) {
                    QTest::qFail(qPrintable(QStringLiteral("words overlap: %1 %2").arg(a.text, b.text)), __FILE__, __LINE__);
                    return false;
                }
            }
        }
        return true;
    }

    QString lastSaved() const { return output->filePath(QStringLiteral("report-%1.pdf").arg(saved)); }

    PdfText savedText(reports::ReportWindow *window)
    {
        const QString path = output->filePath(QStringLiteral("report-%1.pdf").arg(++saved));
        QString error;
        if (!window->saveAsPdf(path, &error))
            QTest::qFail(qPrintable(QStringLiteral("saving failed: %1").arg(error)), __FILE__, __LINE__);
        return readPdf(path);
    }

    MainWindow *menu() { return screens::show<MainWindow>(); }
    void trigger(const char *entry) { ScreenDriver::trigger(menu(), entry); }

    SavingsRequestScreen *openRequest()
    {
        trigger("mnuTNASABAH");
        return drive(screens::find<SavingsRequestScreen>());
    }
    static QLineEdit *accountField(QWidget *screen) { return field(screen, "txtREKENING"); }
    static void typeAccount(QWidget *screen, const QString &text) { type(screen, "txtREKENING", text); }
    reports::ReportWindow *cetak(QWidget *screen)
    {
        click(screen, "cmdCETAK");
        return reports::reportWindow(QStringLiteral("DATAR"));
    }

    // Two customers with ledger rows posted in turn, one whose number holds an
    // apostrophe, one without rows, and a ledger row of a deleted customer.
    void addLedger()
    {
        database->addCustomer(QStringLiteral("0101"), QStringLiteral("Ahmad Fauzi"));
        database->addCustomer(QStringLiteral("0102"), QStringLiteral("Siti Aminah"), QStringLiteral("SMP"));
        database->addCustomer(QStringLiteral("01'03"), QStringLiteral("Rafi O'Neil"));
        database->addCustomer(QStringLiteral("0104"), QStringLiteral("Tanpa Transaksi"));
        database->addLedgerRow(QStringLiteral("0102"), QStringLiteral("Siti Aminah"), QStringLiteral("2024-01-03"),
                               QStringLiteral("01"), 0, 25000, 25000);
        database->addLedgerRow(QStringLiteral("0101"), QStringLiteral("Ahmad Fauzi"), QStringLiteral("2024-01-05"),
                               QStringLiteral("01"), 0, 6000, 6000);
        database->addLedgerRow(QStringLiteral("0199"), QStringLiteral("Sudah Dihapus"), QStringLiteral("2024-01-06"),
                               QStringLiteral("01"), 0, 1000, 1000);
        database->addLedgerRow(QStringLiteral("01'03"), QStringLiteral("Rafi O'Neil"), QStringLiteral("2024-02-01"),
                               QStringLiteral("01"), 0, 1000, 1000);
        database->addLedgerRow(QStringLiteral("0101"), QStringLiteral("Ahmad Fauzi"), QStringLiteral("2024-02-10"),
                               QStringLiteral("02"), 1500.5, 0, 4499.5);
        // Posted later, but dated earlier: the report keeps the posting order.
        database->addLedgerRow(QStringLiteral("0101"), QStringLiteral("Ahmad Fauzi"), QStringLiteral("2023-12-31"),
                               QStringLiteral("01"), 0, 10000, 14499.5);
    }

    // The day of a request screen typed as the operator types it, day, month and year.
    static void typeDay(QWidget *request, const QDate &day)
    {
        auto *edit = child<QDateEdit>(request, "DTPicker1");
        edit->setFocus();
        // The day's two digits chosen, then typed over; each full part moves on to the next.
        QTest::keyClick(focused(), Qt::Key_Home);
        QTest::keyClick(focused(), Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(focused(), Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClicks(focused(), day.toString(QStringLiteral("ddMMyyyy")));
        QCOMPARE(edit->date(), day);
    }

    // The list of balances at the end of a day, as the operator asks for it.
    reports::ReportWindow *balancesAt(const QDate &day)
    {
        trigger("mnuLSALDO");
        auto *request = drive(screens::find<BalanceRequestScreen>());
        if (!request)
            return nullptr;
        if (day != QDate::currentDate())
            typeDay(request, day);
        else if (child<QDateEdit>(request, "DTPicker1")->date() != day)
            QTest::qFail("the day is not today at first", __FILE__, __LINE__);
        enter(request, "DTPicker1");
        click(request, "cmdCETAK");
        return reports::reportWindow(QStringLiteral("LAPSALDO"));
    }

    // A button of the report window that asks for a file, the file named as the
    // operator types it into the save dialog.
    void saveThroughDialog(reports::ReportWindow *window, const char *saveButton, const QString &path)
    {
        bool answered = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            auto *name = qobject_cast<QLineEdit *>(QApplication::focusWidget());
            if (!dialog || !name || answered)
                return;
            answered = true;
            name->setText(path);
            QTest::keyClick(name, Qt::Key_Return);
        });
        poll.start(20);
        click(window, saveButton);
        poll.stop();
        QVERIFY(answered);
    }

private slots:
    // A workbook keeps the kind of each value: an amount a number, a date a date,
    // an account number text with its leading zeros.
    void excelKeepsTheKindOfEachValue()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("laporan.xlsx"));
        reports::xlsx::Writer writer(path, {QStringLiteral("DATAR"), {QStringLiteral("LAPORAN DATA TABUNGAN")},
                                            {QStringLiteral("No Rekening"), QStringLiteral("Tanggal"),
                                             QStringLiteral("Kredit"), QStringLiteral("Nama")},
                                            {}});
        QVERIFY2(writer.ok(), qPrintable(writer.error()));
        writer.addRow({QStringLiteral("0120100001"), QDate(2026, 12, 10), 1500.5, QStringLiteral("Siti \"Aminah\"")});
        writer.addRow({QStringLiteral("0007"), QVariant(), 12500, QString()});
        writer.addRow({QStringLiteral("Jumlah"), QVariant(), 14000.5, QVariant()}, true);
        writer.addNote(QStringLiteral("Segel akhir"));
        QVERIFY2(writer.finish(), qPrintable(writer.error()));
        QCOMPARE(readWorkbook(path),
                 QStringList({"s:LAPORAN DATA TABUNGAN", "s:No Rekening|s:Tanggal|s:Kredit|s:Nama",
                              "s:0120100001|d:2026-12-10|n:1500.5|s:Siti \"Aminah\"", "s:0007||n:12500.0",
                              "s:Jumlah||n:14000.5", "s:Segel akhir"}));
    }

    // As on a Debian system left at its default locale (C.UTF-8): the reports
    // still show their dates the Indonesian way.
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
    }

    void init()
    {
        Fixture::init();
        output = std::make_unique<QTemporaryDir>();
    }

    void cleanup()
    {
        Fixture::cleanup();
        output.reset();
    }

    void savingsReportOfOneAccount_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QList<QStringList>>("expected");
        QTest::newRow("rows in posting order, plain numbers")
            << QStringLiteral("0101")
            << QList<QStringList>{
                   {"0101", "Ahmad Fauzi", "05/01/2024", "01", "Penyetoran", "0", "6000", "6000"},
                   {"0101", "Ahmad Fauzi", "10/02/2024", "02", "Penarikan", "1500.5", "0", "4499.5"},
                   {"0101", "Ahmad Fauzi", "31/12/2023", "01", "Penyetoran", "0", "10000", "14499.5"}};
        QTest::newRow("apostrophe searched literally")
            << QStringLiteral("01'03")
            << QList<QStringList>{{"01'03", "Rafi O'Neil", "01/02/2024", "01", "Penyetoran", "0", "1000", "1000"}};
        QTest::newRow("account without rows") << QStringLiteral("0104") << QList<QStringList>{};
        QTest::newRow("account not in the register") << QStringLiteral("0199") << QList<QStringList>{};
        QTest::newRow("empty field") << QString() << QList<QStringList>{};
        QTest::newRow("leading blank kept") << QStringLiteral(" 0101") << QList<QStringList>{};
        QTest::newRow("quote trick stays a value") << QStringLiteral("' OR ''='") << QList<QStringList>{};
        // The number is matched exactly, never as a pattern: "_" and "%" are letters.
        QTest::newRow("underscore beside a look-alike")
            << QStringLiteral("01_5")
            << QList<QStringList>{{"01_5", "Garis Bawah", "02/03/2024", "01", "Penyetoran", "0", "3000", "3000"}};
        QTest::newRow("percent beside look-alikes")
            << QStringLiteral("01%")
            << QList<QStringList>{{"01%", "Persen", "03/03/2024", "01", "Penyetoran", "0", "4000", "4000"}};
    }
    void savingsReportOfOneAccount()
    {
        REQUIRE_PDFTOTEXT();
        QFETCH(QString, account);
        QFETCH(QList<QStringList>, expected);
        addLedger();
        const QList<QStringList> patterned = {{"0105", "Mirip Garis", "2000"}, {"01_5", "Garis Bawah", "3000"},
                                              {"01%", "Persen", "4000"}, {"01%9", "Mirip Persen", "5000"}};
        for (int i = 0; i < patterned.size(); ++i) {
            const QStringList &c = patterned.at(i);
            database->addCustomer(c.at(0), c.at(1));
            database->addLedgerRow(c.at(0), c.at(1), QStringLiteral("2024-03-0%1").arg(i + 1), QStringLiteral("01"), 0,
                                   c.at(2).toDouble(), c.at(2).toDouble());
        }
        // 0101's withdrawals are blocked: its report says so under the title.
        database->execAsOwner(QStringLiteral("INSERT INTO blokir (norekening, jenis, alasan, keterangan, penyelia, waktu) "
                                             "VALUES ('0101', 'debet', 'Buku hilang', '', 'admin', '2026-01-05 10:00:00')"));
        const bool blocked = account == QLatin1String("0101");
        auto *screen = openRequest();
        QVERIFY(screen);
        typeAccount(screen, account);
        reports::ReportWindow *window = cetak(screen);
        QCOMPARE(dialogs->count(), 0);
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QVERIFY(!window->isModal());
        QCOMPARE(window->objectName(), QStringLiteral("DATAR"));
        QCOMPARE(window->windowTitle(), QStringLiteral("LAPORAN DATA TABUNGAN SISWA"));
        // The request screen stays open with the number as typed.
        QVERIFY(screen->isVisible());
        QCOMPARE(accountField(screen)->text(), account);

        const PdfText text = savedText(window);
        QCOMPARE(text.pages.size(), 1);
        const QStringList lines = text.lines();
        QVERIFY(lines.size() >= 2);
        QCOMPARE(lines.at(0).trimmed(), kDatarTitle);
        if (blocked)
            QCOMPARE(lines.at(1).trimmed(), QStringLiteral("PENARIKAN DIBLOKIR: Buku hilang"));
        QCOMPARE(cells(lines.at(blocked ? 2 : 1)), kDatarHeadings);
        QCOMPARE(text.rows(kDatarHeadings), expected);
        QCOMPARE(lines.last().trimmed() == QLatin1String("Tidak ada data."), expected.isEmpty());
    }

    void customerListListsTheRegisterInStoredOrder()
    {
        REQUIRE_PDFTOTEXT();
        database->addCustomer(QStringLiteral("0300"), QStringLiteral("Cahya Putri"), QStringLiteral("MAHASISWA"));
        database->addCustomer(QStringLiteral("0100"), QStringLiteral("Andi Saputra"), QStringLiteral("SD"));
        database->exec(QStringLiteral("INSERT INTO daftar VALUES ('0200', 'Bagus', 'Binjai', '1/2/2009', "
                                      "'Jl. Kenanga 2', 'Binjai', '20712', 'SMU', NULL)"));
        trigger("mnuLNASABAH");
        reports::ReportWindow *window = reports::reportWindow(QStringLiteral("LAPNASABAH"));
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("LAPORAN DATA NASABAH  SISWA"));
        QVERIFY(menu()->isVisible());
        QCOMPARE(dialogs->count(), 0);

        const PdfText text = savedText(window);
        const QStringList lines = text.lines();
        QCOMPARE(lines.at(0).trimmed(), kCustomerTitle);
        QCOMPARE(cells(lines.at(1)), kCustomerHeadings);
        // The date of birth and the postal code as stored; an empty telephone stays empty.
        const QList<QStringList> expected = {
            {"0300", "Cahya Putri", "Medan", "01/02/2010", "Jl. Melati 1", "Medan", "20111", "MAHASISWA", "061-123"},
            {"0100", "Andi Saputra", "Medan", "01/02/2010", "Jl. Melati 1", "Medan", "20111", "SD", "061-123"},
            {"0200", "Bagus", "Binjai", "1/2/2009", "Jl. Kenanga 2", "Binjai", "20712", "SMU"}};
        QCOMPARE(text.rows(kCustomerHeadings), expected);
        QVERIFY(wordsStayApart(lastSaved()));
    }

    void wideRowsTakeSmallerTypeAndStayOnOneLine()
    {
        REQUIRE_PDFTOTEXT();
        const QString name = QStringLiteral("Muhammad Rizky Pratama Wijaya");
        const QString address = QStringLiteral("Jl. Sisingamangaraja Gang Keluarga No. 123");
        database->exec(QStringLiteral("INSERT INTO daftar VALUES ('0123456789', ?, 'Pematangsiantar', '31/12/2009', "
                                      "?, 'Tebing Tinggi', '20999', 'MAHASISWA', '0812-3456-7890')"),
                       {name, address});
        trigger("mnuLNASABAH");
        reports::ReportWindow *window = reports::reportWindow(QStringLiteral("LAPNASABAH"));
        QVERIFY(window->document().bodyPointSize() < 9);
        const PdfText text = savedText(window);
        QCOMPARE(text.rows(kCustomerHeadings),
                 (QList<QStringList>{{"0123456789", name, "Pematangsiantar", "31/12/2009", address, "Tebing Tinggi",
                                      "20999", "MAHASISWA", "0812-3456-7890"}}));
        QVERIFY(wordsStayApart(lastSaved()));
    }

    void everyShowingReadsTheRowsAsTheyStand()
    {
        REQUIRE_PDFTOTEXT();
        addLedger();
        auto *screen = openRequest();
        typeAccount(screen, QStringLiteral("0102"));
        reports::ReportWindow *first = cetak(screen);
        QCOMPARE(savedText(first).rows(kDatarHeadings).size(), 1);

        // With the window still open: another account, and a row posted meanwhile.
        database->addLedgerRow(QStringLiteral("0101"), QStringLiteral("Ahmad Fauzi"), QStringLiteral("2024-03-01"),
                               QStringLiteral("01"), 0, 2000, 16499.5);
        typeAccount(screen, QStringLiteral("0101"));
        reports::ReportWindow *second = cetak(screen);
        QCOMPARE(second, first);
        QList<QStringList> rows = savedText(second).rows(kDatarHeadings);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows.last(), (QStringList{"0101", "Ahmad Fauzi", "01/03/2024", "01", "Penyetoran", "0", "2000",
                                           "16499.5"}));

        // Closed by the operator, it is freed with its pages; the next "Cetak" shows a new one.
        const QPointer<reports::ReportWindow> closed(second);
        second->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(closed.isNull());
        QVERIFY(!reports::reportWindow(QStringLiteral("DATAR")));
        typeAccount(screen, QStringLiteral("0102"));
        first = cetak(screen);
        QVERIFY(first && first->isVisible());
        rows = savedText(first).rows(kDatarHeadings);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().first(), QStringLiteral("0102"));

        // The customer list too: the same window, listing a customer added since.
        trigger("mnuLNASABAH");
        reports::ReportWindow *list = reports::reportWindow(QStringLiteral("LAPNASABAH"));
        QCOMPARE(savedText(list).rows(kCustomerHeadings).size(), 4);
        database->addCustomer(QStringLiteral("0105"), QStringLiteral("Baru Daftar"));
        trigger("mnuLNASABAH");
        QCOMPARE(reports::reportWindow(QStringLiteral("LAPNASABAH")), list);
        QCOMPARE(savedText(list).rows(kCustomerHeadings).last().mid(0, 2),
                 (QStringList{"0105", "Baru Daftar"}));
        QCOMPARE(dialogs->count(), 0);
    }

    void enterPreparesTheFilterAndMovesToCetak()
    {
        REQUIRE_PDFTOTEXT();
        addLedger();
        auto *screen = openRequest();
        QCOMPARE(accountField(screen)->maxLength(), 10);
        QCOMPARE(focused(), accountField(screen));
        typeAccount(screen, QStringLiteral("0102"));
        enter(screen, "txtREKENING");
        QCOMPARE(focused(), button(screen, "cmdCETAK"));
        QCOMPARE(accountField(screen)->text(), QStringLiteral("0102"));
        QVERIFY(!reports::reportWindow(QStringLiteral("DATAR")));
        dataenv::CommandSource *source = dataenv::DMN()->command(QStringLiteral("Command2"));
        QCOMPARE(source->objectName(), QStringLiteral("rsCommand2"));
        QCOMPARE(source->filter(), QStringLiteral("NOREKENING='0102'"));

        // "Cetak" takes the number the field holds now.
        typeAccount(screen, QStringLiteral("0101"));
        const QList<QStringList> rows = savedText(cetak(screen)).rows(kDatarHeadings);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.first().first(), QStringLiteral("0101"));
    }

    void batalAndActivation()
    {
        addLedger();
        auto *screen = openRequest();
        QPointer<SavingsRequestScreen> watched(screen);
        typeAccount(screen, QStringLiteral("0101"));
        reports::ReportWindow *window = cetak(screen);
        QVERIFY(QTest::qWaitForWindowActive(window));

        // Back from the report window: the focus is in the field, the text kept.
        button(screen, "cmdCETAK")->setFocus();
        screen->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(screen));
        QCOMPARE(focused(), accountField(screen));
        QCOMPARE(accountField(screen)->text(), QStringLiteral("0101"));

        click(screen, "cmdBatal");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(watched.isNull());
        QVERIFY(screens::find<MainWindow>()->isVisible());
        QVERIFY(window->isVisible());
        QCOMPARE(dataenv::DMN()->command(QStringLiteral("Command2"))->filter(), QStringLiteral("NOREKENING='0101'"));

        screen = openRequest();
        QVERIFY(accountField(screen)->text().isEmpty());
    }

    // The report window's buttons, and the dialogs of Qt they open, read in
    // Indonesian: none shows Qt's own English words.
    void reportWindowSpeaksIndonesian_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("print dialog") << "print";
        QTest::newRow("save as PDF") << "savePdf";
        QTest::newRow("save as Excel") << "saveExcel";
    }
    void reportWindowSpeaksIndonesian()
    {
        QFETCH(QString, button);
        database->addCustomer(QStringLiteral("0101"), QStringLiteral("Ahmad Fauzi"));
        trigger("mnuLNASABAH");
        reports::ReportWindow *window = reports::reportWindow(QStringLiteral("LAPNASABAH"));
        QVERIFY(window);
        QCOMPARE(this->button(window, "print")->text(), QStringLiteral("Cetak"));
        QCOMPARE(this->button(window, "savePdf")->text(), QStringLiteral("Simpan PDF"));
        QCOMPARE(this->button(window, "saveExcel")->text(), QStringLiteral("Simpan Excel"));
        QStringList texts;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog || qobject_cast<QMessageBox *>(dialog))
                return;
            texts = shownTexts(dialog);
            dialog->reject();
        });
        poll.start(20);
        click(window, button.toLatin1().constData());
        poll.stop();
        QVERIFY(texts.size() > 3);
        QCOMPARE(englishIn(texts), QStringList());
        QCOMPARE(dialogs->count(), 0);
    }

    // Postings of today made on the transaction screen by two operators, and one
    // brought in without a trail row: the daily report lists them in posting order
    // with when, who and where, totals for each operator and for the day, and the
    // seal that simparo-verify prints for the day. A day before any trail row has
    // no seal, and says so.
    void dailyReportOfTwoOperators()
    {
        REQUIRE_PDFTOTEXT();
        const QDate today = QDate::currentDate();
        const QString ahmad = QStringLiteral("Ahmad Fauzi"), siti = QStringLiteral("Siti Aminah");
        database->addCustomer(QStringLiteral("0101"), ahmad);
        database->addCustomer(QStringLiteral("0102"), siti);
        database->addLedgerRow(QStringLiteral("0101"), ahmad, QStringLiteral("2024-01-05"), QStringLiteral("01"), 0,
                               6000, 6000);
        database->exec(QStringLiteral("INSERT INTO nabubg VALUES ('0102', ?, ?, '01', 'Penyetoran', 0, 2000, 2000)"),
                       {siti, today.toString(Qt::ISODate)});
        const QTime started = QTime::currentTime().addSecs(-1);
        const QString kasir = QStringLiteral("kasir");
        database->addOperator(kasir, QStringLiteral("kasir99"));
        for (const auto &[who, account, deposit, amount] :
             {std::tuple{kTestOperator, "0101", true, "5000"}, std::tuple{kTestOperator, "0102", true, "3000"},
              std::tuple{"kasir", "0101", false, "1500"}, std::tuple{kTestOperator, "0102", false, "1000"}}) {
            // As the login names the operator (on a server his role is the one that logs
            // in): the transaction screen opens anew after it.
            if (auto *open = screens::find<TransactionScreen>()) {
                open->close();
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            }
            QString error;
            QVERIFY2(operators::logIn(database->connectionText(), QString::fromLatin1(who),
                                      QLatin1String(who) == kasir ? QStringLiteral("kasir99") : QString::fromLatin1(kTestPassword),
                                      &error),
                     qPrintable(error));
            postAtCounter(QString::fromLatin1(account), deposit, QString::fromLatin1(amount));
        }
        const QTime ended = QTime::currentTime().addSecs(1);
        const QString admin = QString::fromLatin1(kTestOperator);
        const QString clerk = kasir;
        const QVariant address = database->scalar(QStringLiteral("SELECT alamat FROM jejak ORDER BY nomor DESC LIMIT 1"));
        const QString counter = session::counterName()
                                + (address.isNull() ? QString() : QStringLiteral(" (%1)").arg(address.toString()));

        trigger("mnuHARIAN");
        auto *request = drive(screens::find<DailyRequestScreen>());
        QVERIFY(request);
        auto *day = child<QDateEdit>(request, "DTPicker1");
        QCOMPARE(day->date(), today);
        // The calendar names its months in Indonesian.
        const QStringList months = {"Januari", "Februari", "Maret",     "April",   "Mei",      "Juni",
                                    "Juli",    "Agustus",  "September", "Oktober", "November", "Desember"};
        auto *month = day->calendarWidget()->findChild<QToolButton *>(QStringLiteral("qt_calendar_monthbutton"));
        QVERIFY(month);
        QCOMPARE(month->text(), months.at(today.month() - 1));
        QCOMPARE(focused(), day);
        enter(request, "DTPicker1");
        QCOMPARE(focused(), button(request, "cmdCETAK"));
        click(request, "cmdCETAK");
        reports::ReportWindow *window = reports::reportWindow(QStringLiteral("HARIAN"));
        QVERIFY(window && window->isVisible());
        QCOMPARE(dialogs->count(), 0);

        PdfText text = savedText(window);
        const QString date = today.toString(QStringLiteral("dd/MM/yyyy"));
        QCOMPARE(text.lines().value(1).trimmed(), QStringLiteral("Tanggal ") + date);
        QList<QStringList> rows = text.rows(kHarianHeadings);
        for (QStringList &row : rows) {
            if (QTime::fromString(row.first(), QStringLiteral("HH:mm:ss")).isValid()) {
                const QTime at = QTime::fromString(row.first(), QStringLiteral("HH:mm:ss"));
                QVERIFY2(at >= started && at <= ended, qPrintable(row.first()));
                row.first() = QStringLiteral("jam");
            }
        }
        const QString in = QStringLiteral("Penyetoran"), out = QStringLiteral("Penarikan");
        QList<QStringList> expected = {
            {"0102", siti, "01", in, "0", "2000", "2000"}, // no trail row: no time, operator nor counter
            {"jam", admin, counter, "0101", ahmad, "01", in, "0", "5000", "11000"},
            {"jam", admin, counter, "0102", siti, "01", in, "0", "3000", "5000"},
            {"jam", clerk, counter, "0101", ahmad, "02", out, "1500", "0", "9500"},
            {"jam", admin, counter, "0102", siti, "02", out, "1000", "0", "4000"},
            {"Jumlah", "(data lama, tanpa nama operator)", "1 transaksi", "0", "2000"}};
        expected << QStringList{"Jumlah", admin, "3 transaksi", "1000", "8000"}
                 << QStringList{"Jumlah", kasir, "1 transaksi", "1500", "0"};
        expected << QStringList{"Jumlah", date, "5 transaksi", "2500", "10000"};
        QCOMPARE(rows.mid(0, expected.size()), expected);

        const ToolRun verify = runTool(QStringLiteral("simparo-verify"),
                                       {QStringLiteral("--seal"), today.toString(Qt::ISODate)}, database->home());
        QCOMPARE(verify.exitCode, 0);
        const QString seal = verify.out.trimmed().section(u'\n', -1);
        QCOMPARE(seal.size(), 64 + 15);
        QCOMPARE(rows.value(expected.size()), QStringList{QStringLiteral("Kode segel: ") + seal});
        // The seal's moment in the report's own date form.
        const QString sealLine = rows.value(expected.size() + 1).join(u' ');
        QVERIFY2(sealLine.startsWith(QStringLiteral("Segel akhir %1 (jejak nomor ").arg(date))
                     && sealLine.contains(QStringLiteral(", %1 ").arg(date)) && !sealLine.contains(today.toString(Qt::ISODate)),
                 qPrintable(sealLine));
        QVERIFY2(signingRoom() >= 42, "less than 1.5 cm to sign in above the line");
        // Beside it, the number of the trail row that bears it: a seal printed before the
        // day is over is compared later at that row.
        const QString nomor = database->scalar(QStringLiteral("SELECT max(nomor) FROM jejak")).toString();
        QVERIFY2(rows.value(expected.size() + 1).join(u' ').contains(QStringLiteral("(jejak nomor %1,").arg(nomor)),
                 qPrintable(rows.value(expected.size() + 1).join(u' ')));
        QCOMPARE(runTool(QStringLiteral("simparo-verify"),
                         {QStringLiteral("--seal-at"), nomor, QStringLiteral("--expect"), seal}, database->home())
                     .exitCode,
                 0);
        // The day's reprints and new books of passbooks stand in a section of their own.
        QCOMPARE(rows.mid(expected.size() + 2),
                 (QList<QStringList>{{"Cetak ulang dan buku baru buku tabungan:"}, {"tidak ada"},
                                     {"Diperiksa oleh:"}, {"______________________________"},
                                     {"Tanda tangan dan nama penyelia"}}));

        // A day before the first trail row: nothing posted, and no seal yet.
        day->setDate(QDate(2000, 1, 3));
        click(request, "cmdCETAK");
        QCOMPARE(reports::reportWindow(QStringLiteral("HARIAN")), window);
        text = savedText(window);
        QVERIFY(text.lines().join(u'\n').contains(QLatin1String(reports::ReportDocument::kNoDataNotice)));
        rows = text.rows(kHarianHeadings);
        QCOMPARE(rows.value(0), (QStringList{"Jumlah", "03/01/2000", "0 transaksi", "0", "0"}));
        QCOMPARE(rows.value(1), QStringList{QStringLiteral("Kode segel: belum ada")});
        QCOMPARE(dialogs->count(), 0);
    }

    void registerOfThousandsOverManyPages()
    {
        REQUIRE_PDFTOTEXT();
        const int customers = 3000;
        database->exec(QStringLiteral("BEGIN"));
        for (int i = 0; i < customers; ++i)
            database->addCustomer(QStringLiteral("%1").arg(i + 1, 10, 10, QLatin1Char('0')),
                                  QStringLiteral("Pelajar %1").arg(i + 1));
        database->exec(QStringLiteral("COMMIT"));
        trigger("mnuLNASABAH");
        reports::ReportWindow *window = reports::reportWindow(QStringLiteral("LAPNASABAH"));
        QVERIFY(window);
        QVERIFY(window->document().pageCount() > 20);

        const PdfText text = savedText(window);
        QCOMPARE(text.pages.size(), window->document().pageCount());
        int headerLines = 0;
        for (const QStringList &page : text.pages) {
            // The headings head every page; the report header only the first.
            QVERIFY(page.size() > 1);
            headerLines += page.first().trimmed() == kCustomerTitle;
            const int headings = &page == &text.pages.first() ? 1 : 0;
            QCOMPARE(cells(page.at(headings)), kCustomerHeadings);
        }
        QCOMPARE(headerLines, 1);
        const QList<QStringList> rows = text.rows(kCustomerHeadings);
        QCOMPARE(rows.size(), customers);
        for (int i = 0; i < customers; ++i) {
            QCOMPARE(rows.at(i).size(), 9);
            QCOMPARE(rows.at(i).at(0), QStringLiteral("%1").arg(i + 1, 10, 10, QLatin1Char('0')));
        }

        // Page navigation.
        QCOMPARE(window->currentPage(), 0);
        window->showPage(window->document().pageCount() + 5);
        QCOMPARE(window->currentPage(), window->document().pageCount() - 1);
    }

    void longRowsWrapAndNothingIsCutOff()
    {
        REQUIRE_PDFTOTEXT();
        QStringList words;
        // As long as a field may be (255 characters).
        for (int i = 1; i <= 36; ++i)
            words << QStringLiteral("Gang%1").arg(i);
        const QString address = words.join(u' ');
        const QString unbroken = QStringLiteral("X").repeated(150) + QStringLiteral("END");
        database->exec(QStringLiteral("INSERT INTO daftar VALUES ('0500', ?, 'Medan', '01/02/2010', ?, 'Medan', "
                                      "'20111', 'SD', '061-123')"),
                       {unbroken, address});
        database->addCustomer(QStringLiteral("0501"), QStringLiteral("Sesudahnya"));
        trigger("mnuLNASABAH");
        const PdfText text = savedText(reports::reportWindow(QStringLiteral("LAPNASABAH")));
        const QString all = text.lines().join(u'\n');
        for (const QString &word : std::as_const(words))
            QVERIFY2(all.contains(QRegularExpression(QStringLiteral("\\b%1\\b").arg(word))), qPrintable(word));
        QCOMPARE(QString(all).remove(QRegularExpression(QStringLiteral("[^X]"))).size(), 150);
        QVERIFY(all.contains(QLatin1String("END")));
        QVERIFY(wordsStayApart(lastSaved()));
        // The rows around it keep all their columns.
        const QList<QStringList> rows = text.rows(kCustomerHeadings);
        QCOMPARE(rows.last(), (QStringList{"0501", "Sesudahnya", "Medan", "01/02/2010", "Jl. Melati 1", "Medan",
                                           "20111", "SD", "061-123"}));
    }

    void printingDrawsTheSamePages()
    {
        REQUIRE_PDFTOTEXT();
        database->exec(QStringLiteral("BEGIN"));
        for (int i = 0; i < 200; ++i)
            database->addCustomer(QStringLiteral("%1").arg(i + 1, 4, 10, QLatin1Char('0')),
                                  QStringLiteral("Pelajar %1").arg(i + 1));
        database->exec(QStringLiteral("COMMIT"));
        trigger("mnuLNASABAH");
        reports::ReportWindow *window = reports::reportWindow(QStringLiteral("LAPNASABAH"));
        const PdfText shown = savedText(window);
        QVERIFY(shown.pages.size() >= 3);

        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setFullPage(true);
        printer.setPageLayout(window->document().pageLayout());
        const QString all = output->filePath(QStringLiteral("printed.pdf"));
        printer.setOutputFileName(all);
        QVERIFY(window->printTo(&printer));
        QCOMPARE(readPdf(all).pages, shown.pages);

        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(2, 3);
        const QString range = output->filePath(QStringLiteral("range.pdf"));
        printer.setOutputFileName(range);
        QVERIFY(window->printTo(&printer));
        QCOMPARE(readPdf(range).pages, shown.pages.mid(1, 2));
    }

    void refusedDatabaseRead()
    {
        REQUIRE_PDFTOTEXT();
        addLedger();
        auto *screen = openRequest();
        typeAccount(screen, QStringLiteral("0101"));
        QPointer<reports::ReportWindow> window = cetak(screen);
        QVERIFY(window->isVisible());

        // The ledger cannot be read: the operator hears why, and no stale rows stay on show.
        database->exec(QStringLiteral("ALTER TABLE nabubg RENAME TO nabubg_lama"));
        typeAccount(screen, QStringLiteral("0102"));
        cetak(screen);
        const DialogSeen seen = dialogs->only();
        QCOMPARE(seen.title, QStringLiteral("Perhatian"));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QVERIFY2(seen.text.contains(QDir::toNativeSeparators(database->location())), qPrintable(seen.text));
        QVERIFY2(seen.text.contains(QLatin1String("nabubg")), qPrintable(seen.text));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window.isNull());
        QVERIFY(screen->isVisible());
        QCOMPARE(accountField(screen)->text(), QStringLiteral("0102"));

        // The program goes on: once the ledger is back, the report is shown.
        database->exec(QStringLiteral("ALTER TABLE nabubg_lama RENAME TO nabubg"));
        dialogs->clear();
        window = cetak(screen);
        QVERIFY(window);
        QCOMPARE(dialogs->count(), 0);
        QVERIFY(window->isVisible());
        QCOMPARE(savedText(window).rows(kDatarHeadings).size(), 1);
    }

    // The file is gone, or the server is down.
    void missingDatabase()
    {
        if (TestDatabase::onServer())
            testserver::stop();
        for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(database->file() + suffix);
        trigger("mnuLNASABAH");
        if (TestDatabase::onServer())
            testserver::start();
        const DialogSeen seen = dialogs->only();
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QVERIFY2(seen.text.contains(QDir::toNativeSeparators(database->location())), qPrintable(seen.text));
        QVERIFY(!reports::reportWindow(QStringLiteral("LAPNASABAH")));
        QVERIFY(menu()->isVisible());
    }

    void savingToAnUnwritablePlaceKeepsTheReport()
    {
        REQUIRE_PDFTOTEXT();
        database->addCustomer(QStringLiteral("0100"), QStringLiteral("Andi"));
        trigger("mnuLNASABAH");
        reports::ReportWindow *window = reports::reportWindow(QStringLiteral("LAPNASABAH"));
        const QString path = output->filePath(QStringLiteral("tidak-ada/laporan.pdf"));
        QString error;
        QVERIFY(!window->saveAsPdf(path, &error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
        QVERIFY(!QFile::exists(path));
        // The window still holds its pages and saves them elsewhere.
        QCOMPARE(savedText(window).rows(kCustomerHeadings).size(), 1);
    }

    // Every report saved through its window's "Simpan Excel" and read back by a real
    // reader: amounts are numbers, dates are dates, account numbers and codes keep
    // their leading zeros, the heading stands above and the totals below.
    void everyReportSavesAsExcel_data()
    {
        QTest::addColumn<QString>("report");
        QTest::addColumn<QStringList>("expected");
        const QString today = QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"));
        QTest::newRow("savings of one account")
            << "DATAR"
            << QStringList{"s:LAPORAN DATA TABUNGAN NASABAH SISWA PT.BPRS MERANTIKA",
                           "s:No Rekening|s:Nama|s:Tanggal|s:Kode|s:Jenis|s:Debet|s:Kredit|s:Saldo",
                           "s:0101|s:Ahmad Fauzi|d:2024-01-05|s:01|s:Penyetoran|n:0.0|n:6000.0|n:6000.0",
                           "s:0101|s:Ahmad Fauzi|d:2024-02-10|s:02|s:Penarikan|n:1500.5|n:0.0|n:4499.5",
                           "s:0101|s:Ahmad Fauzi|d:2023-12-31|s:01|s:Penyetoran|n:0.0|n:10000.0|n:14499.5"};
        // The date of birth is text as the register keeps it.
        QTest::newRow("customer list")
            << "LAPNASABAH"
            << QStringList{"s:LAPORAN DATA NASABAH SISWA PT.BPRS MERANTIKA",
                           "s:NO REKENING|s:NAMA|s:TEMPAT|s:TGL_LAHIR|s:ALAMAT|s:KOTA|s:KODE|s:PENDIDIKAN|s:TELPHON",
                           "s:0101|s:Ahmad Fauzi|s:Medan|s:01/02/2010|s:Jl. Melati 1|s:Medan|s:20111|s:SD|s:061-123",
                           "s:0102|s:Siti Aminah|s:Medan|s:01/02/2010|s:Jl. Melati 1|s:Medan|s:20111|s:SMP|s:061-123",
                           "s:01'03|s:Rafi O'Neil|s:Medan|s:01/02/2010|s:Jl. Melati 1|s:Medan|s:20111|s:SD|s:061-123",
                           "s:0104|s:Tanpa Transaksi|s:Medan|s:01/02/2010|s:Jl. Melati 1|s:Medan|s:20111|s:SD|s:061-123"};
        // A row brought in without a trail row: no time, operator nor counter.
        QTest::newRow("postings of a day")
            << "HARIAN"
            << QStringList{"s:LAPORAN TRANSAKSI HARIAN PT.BPRS MERANTIKA", "s:Tanggal " + today,
                           "s:Jam|s:Operator|s:Loket|s:No Rekening|s:Nama|s:Kode|s:Jenis|s:Debet|s:Kredit|s:Saldo",
                           "|||s:0104|s:Tanpa Transaksi|s:01|s:Penyetoran|n:0.0|n:2000.0|n:2000.0",
                           "s:Jumlah|s:(data lama, tanpa nama operator)|s:1 transaksi|||||n:0.0|n:2000.0",
                           "s:Jumlah|s:" + today + "|s:1 transaksi|||||n:0.0|n:2000.0"};
        QTest::newRow("balances at the end of a day")
            << "LAPSALDO"
            << QStringList{"s:DAFTAR SALDO TABUNGAN PT.BPRS MERANTIKA", "s:Per tanggal 01/02/2024",
                           "s:No Rekening|s:Nama|s:Saldo|s:Transaksi Terakhir",
                           "s:01'03|s:Rafi O'Neil|n:1000.0|d:2024-02-01",
                           "s:0101|s:Ahmad Fauzi|n:14499.5|d:2023-12-31",
                           "s:0102|s:Siti Aminah|n:25000.0|d:2024-01-03",
                           "s:0104|s:Tanpa Transaksi|n:0.0",
                           "s:Jumlah|s:4 rekening|n:40499.5",
                           "s:Saldo nol|s:1 rekening"};
    }
    void everyReportSavesAsExcel()
    {
        QFETCH(QString, report);
        QFETCH(QStringList, expected);
        addLedger();
        reports::ReportWindow *window = nullptr;
        if (report == QLatin1String("DATAR")) {
            auto *screen = openRequest();
            typeAccount(screen, QStringLiteral("0101"));
            window = cetak(screen);
        } else if (report == QLatin1String("LAPNASABAH")) {
            trigger("mnuLNASABAH");
            window = reports::reportWindow(report);
        } else if (report == QLatin1String("HARIAN")) {
            database->exec(QStringLiteral("INSERT INTO nabubg VALUES ('0104', 'Tanpa Transaksi', ?, '01', "
                                          "'Penyetoran', 0, 2000, 2000)"),
                           {QDate::currentDate().toString(Qt::ISODate)});
            trigger("mnuHARIAN");
            click(screens::find<DailyRequestScreen>(), "cmdCETAK");
            window = reports::reportWindow(report);
        } else {
            window = balancesAt(QDate(2024, 2, 1));
        }
        QVERIFY(window);
        QCOMPARE(dialogs->count(), 0);
        const QString path = output->filePath(report + QStringLiteral(".xlsx"));
        saveThroughDialog(window, "saveExcel", path);
        QCOMPARE(dialogs->count(), 0);
        const QStringList read = readWorkbook(path);
        QCOMPARE(read.mid(0, expected.size()), expected);
        if (report == QLatin1String("HARIAN")) {
            // The seal and the place to sign under the table.
            QVERIFY2(read.value(expected.size()).startsWith(QLatin1String("s:Kode segel: ")), qPrintable(read.join(u'\n')));
            QCOMPARE(read.last(), QStringLiteral("s:Tanda tangan dan nama penyelia"));
        } else {
            QCOMPARE(read.size(), expected.size());
        }

        // A place that cannot be written: the operator hears where and why, and the
        // window keeps its pages.
        const QString nowhere = output->filePath(QStringLiteral("tidak-ada/laporan.xlsx"));
        saveThroughDialog(window, "saveExcel", nowhere);
        const DialogSeen seen = dialogs->only();
        QCOMPARE(seen.title, QStringLiteral("Perhatian"));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QVERIFY2(seen.text.contains(QDir::toNativeSeparators(nowhere)), qPrintable(seen.text));
        QVERIFY(!QFile::exists(nowhere));
        QVERIFY(window->isVisible());
        QVERIFY(window->document().pageCount() > 0);
    }

    // The balance of every account of the register at the end of a day, against
    // the ledger read row by row in posting order: an account whose row posted last
    // is dated earlier, one with rows only after the day, one without rows, and rows
    // of an account no longer in the register.
    void balancesAtTheEndOfADay_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::newRow("a past day") << QDate(2024, 1, 4);
        QTest::newRow("today") << QDate::currentDate();
    }
    void balancesAtTheEndOfADay()
    {
        QFETCH(QDate, day);
        addLedger();
        database->addLedgerRow(QStringLiteral("0102"), QStringLiteral("Siti Aminah"),
                               QDate::currentDate().toString(Qt::ISODate), QStringLiteral("01"), 0, 5000, 30000);
        const auto number = [](double value) {
            QString text = QString::number(value, 'g', 15);
            return QStringLiteral("n:") + (text.contains(u'.') ? text : text + QStringLiteral(".0"));
        };
        QMap<QString, QStringList> expected;
        for (const QString &row : database->rows(QStringLiteral("SELECT norekening, nama FROM daftar")))
            expected.insert(row.section(u'|', 0, 0), {"s:" + row.section(u'|', 0, 0), "s:" + row.section(u'|', 1), number(0)});
        double total = 0;
        int nothing = 0;
        for (const QString &row :
             database->rows(QStringLiteral("SELECT norekening, TANGGAL, saldo FROM nabubg ORDER BY rowid"))) {
            const QStringList cells = row.split(u'|');
            const QDate date = QDate::fromString(cells.at(1).left(10), Qt::ISODate);
            if (expected.contains(cells.at(0)) && date <= day)
                expected[cells.at(0)] = {expected[cells.at(0)].at(0), expected[cells.at(0)].at(1),
                                         number(cells.at(2).toDouble()), "d:" + date.toString(Qt::ISODate)};
        }
        QStringList lines;
        for (const QStringList &cells : std::as_const(expected)) {
            lines << cells.join(u'|');
            total += cells.at(2).mid(2).toDouble();
            nothing += cells.at(2) == number(0);
        }
        QCOMPARE(nothing, day == QDate::currentDate() ? 1 : 2);
        lines << QStringLiteral("s:Jumlah|s:%1 rekening|%2").arg(expected.size()).arg(number(total))
              << QStringLiteral("s:Saldo nol|s:%1 rekening").arg(nothing);

        reports::ReportWindow *window = balancesAt(day);
        QVERIFY(window);
        QCOMPARE(dialogs->count(), 0);
        QCOMPARE(window->windowTitle(), QStringLiteral("DAFTAR SALDO TABUNGAN SISWA"));
        const QString path = output->filePath(QStringLiteral("saldo.xlsx"));
        QString error;
        QVERIFY2(window->saveAsExcel(path, &error), qPrintable(error));
        const QStringList read = readWorkbook(path);
        QCOMPARE(read.value(1), QStringLiteral("s:Per tanggal ") + day.toString(QStringLiteral("dd/MM/yyyy")));
        QCOMPARE(read.mid(3), lines);
    }
};

QTEST_MAIN(tst_Reports)
#include "tst_reports.moc"
