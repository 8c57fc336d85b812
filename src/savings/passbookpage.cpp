#include "savings/passbookpage.h"

#include "data/base/privatefiles.h"
#include "data/base/textforms.h"

#include <QDir>
#include <QFontDatabase>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>

namespace passbook {

namespace {

constexpr int kResolution = 1200;
constexpr qint64 kOutputFileLimit = 4096;

QString configFolder()
{
    QString own = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (own.isEmpty() || !QDir::isAbsolutePath(own))
        own = QDir::homePath() + QStringLiteral("/.config");
    return own + QStringLiteral("/simparo");
}

// Hundredths of a millimetre in the device's units.
qreal units(int hundredths, int dpi)
{
    return hundredths * dpi / 2540.0;
}

QPageLayout pageOf(const Layout &layout)
{
    // Wide and tall enough for every column and line; the printer's feed places the book.
    const int width = layout.left + std::max({layout.saldo, layout.operatorName, layout.debet, layout.kredit}) + 3000;
    const int height = baseline(layout.lines, layout) + 2000;
    return QPageLayout(QPageSize(QSizeF(width / 100.0, height / 100.0), QPageSize::Millimeter),
                       QPageLayout::Portrait, QMarginsF(0, 0, 0, 0));
}

QFont bookFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setFamily(QStringLiteral("DejaVu Sans Mono"));
    font.setPointSizeF(9);
    return font;
}

} // namespace

QString outputFile()
{
    return configFolder() + QStringLiteral("/buku");
}

bool readOutput(Output *output, QString *error)
{
    *output = Output();
    error->clear();
    QByteArray content;
    switch (privatefiles::readSmallFile(outputFile(), kOutputFileLimit, &content, error)) {
    case privatefiles::SmallFile::Missing:
        return false;
    case privatefiles::SmallFile::Refused:
        return false;
    case privatefiles::SmallFile::Read:
        break;
    }
    for (const QString &line : QString::fromUtf8(content).split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1String("printer=")))
            output->printer = trimmed.mid(8).trimmed();
        else if (trimmed.startsWith(QLatin1String("pdf=")))
            output->pdf = trimmed.mid(4).trimmed();
    }
    if (output->isEmpty()) {
        *error = QStringLiteral("File %1 tidak menyebut printer (printer=NAMA) atau file PDF (pdf=PATH).")
                     .arg(QDir::toNativeSeparators(outputFile()));
        return false;
    }
    return true;
}

bool writeOutput(const Output &output, QString *error)
{
    QByteArray content;
    if (!output.printer.isEmpty())
        content += "printer=" + output.printer.toUtf8() + '\n';
    if (!output.pdf.isEmpty())
        content += "pdf=" + output.pdf.toUtf8() + '\n';
    return privatefiles::replaceFile(outputFile(), content, error);
}

QString amountText(Money amount)
{
    const qint64 sen = amount.sen();
    const qint64 magnitude = sen < 0 ? -sen : sen;
    QString whole = QString::number(magnitude / 100);
    for (qsizetype at = whole.size() - 3; at > 0; at -= 3)
        whole.insert(at, u'.');
    return (sen < 0 ? QStringLiteral("-") : QString()) + whole + u','
        + QStringLiteral("%1").arg(magnitude % 100, 2, 10, QLatin1Char('0'));
}

QString shortOperator(const QString &name)
{
    return name.left(8).toUpper();
}

int baseline(int line, const Layout &layout)
{
    return layout.top + (line - 1) * layout.lineHeight + (line > layout.fold ? layout.gap : 0);
}

struct Sheets::Device {
    QSaveFile file;
    std::unique_ptr<QPdfWriter> pdf;
    std::unique_ptr<QPrinter> printer;
    QPainter painter;
    int sheets = 0;
    int dpi = kResolution;
};

Sheets::Sheets(const Layout &layout, const Output &output)
    : layout_(layout)
    , output_(output)
{ }

Sheets::~Sheets()
{
    if (device_ && device_->painter.isActive())
        device_->painter.end();
    if (device_)
        device_->file.cancelWriting();
}

Outcome Sheets::begin()
{
    if (!device_)
        device_ = std::make_unique<Device>();
    Device &device = *device_;
    if (!output_.pdf.isEmpty()) {
        if (device.pdf) {
            if (!device.pdf->newPage())
                return Outcome::failed(QStringLiteral("Halaman PDF berikutnya tidak bisa dibuat."));
            ++device.sheets;
            return Outcome::ok();
        }
        device.file.setFileName(output_.pdf);
        if (!device.file.open(QIODevice::WriteOnly))
            return Outcome::failed(QStringLiteral("File %1 tidak bisa ditulis.\n(%2)")
                                       .arg(QDir::toNativeSeparators(output_.pdf), device.file.errorString()));
        device.pdf = std::make_unique<QPdfWriter>(&device.file);
        device.pdf->setCreator(QStringLiteral("SIMPARO"));
        device.pdf->setTitle(QStringLiteral("Buku Tabungan"));
        device.pdf->setResolution(kResolution);
        device.pdf->setPageLayout(pageOf(layout_));
        device.dpi = kResolution;
        if (!device.painter.begin(device.pdf.get()))
            return Outcome::failed(QStringLiteral("PDF tidak bisa dibuat."));
    } else {
        // A printer: every sheet is a job of its own, printed before the page is turned.
        device.printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        device.printer->setPrinterName(output_.printer);
        device.printer->setFullPage(true);
        device.printer->setPageLayout(pageOf(layout_));
        device.printer->setDocName(QStringLiteral("Buku Tabungan"));
        if (!device.printer->isValid() || !device.painter.begin(device.printer.get()))
            return Outcome::failed(QStringLiteral("Printer %1 tidak bisa dipakai.").arg(output_.printer));
        device.dpi = device.printer->resolution();
    }
    ++device.sheets;
    started_ = true;
    return Outcome::ok();
}

Outcome Sheets::end()
{
    if (!device_ || !device_->printer)
        return Outcome::ok();
    const bool ended = device_->painter.end();
    device_->printer.reset();
    return ended ? Outcome::ok() : Outcome::failed(QStringLiteral("Printer %1 gagal mencetak.").arg(output_.printer));
}

void Sheets::paintLines(QPainter *painter, const QVector<Line> &lines) const
{
    const int dpi = device_->dpi;
    painter->setFont(bookFont());
    const QFontMetricsF metrics(painter->font(), painter->device());
    const auto at = [&](int column, int line, const QString &text, bool right) {
        qreal x = units(layout_.left + column, dpi);
        if (right)
            x -= metrics.horizontalAdvance(text);
        painter->drawText(QPointF(x, units(baseline(line, layout_), dpi)), text);
    };
    for (const Line &line : lines) {
        const int number = line.at.line;
        if (!line.row) {
            at(layout_.date, number, QString::fromLatin1(kCarried), false);
            at(layout_.saldo, number, amountText(line.carried), true);
            continue;
        }
        const Row &row = *line.row;
        at(layout_.date, number, textform::shortDate(row.date), false);
        at(layout_.code, number, row.code, false);
        if (row.debet.sen() != 0)
            at(layout_.debet, number, amountText(row.debet), true);
        if (row.kredit.sen() != 0)
            at(layout_.kredit, number, amountText(row.kredit), true);
        at(layout_.saldo, number, amountText(row.saldo), true);
        if (!row.operatorName.isEmpty())
            at(layout_.operatorName, number, shortOperator(row.operatorName), false);
    }
}

Outcome Sheets::draw(const QVector<Line> &lines)
{
    Outcome outcome = begin();
    if (!outcome.isOk())
        return outcome;
    paintLines(&device_->painter, lines);
    return end();
}

Outcome Sheets::drawTestPage()
{
    Outcome outcome = begin();
    if (!outcome.isOk())
        return outcome;
    QPainter &painter = device_->painter;
    const int dpi = device_->dpi;
    painter.setFont(bookFont());
    const QFontMetricsF metrics(painter.font(), painter.device());
    const auto text = [&](int x, int y, const QString &words, bool right) {
        painter.drawText(QPointF(units(x, dpi) - (right ? metrics.horizontalAdvance(words) : 0), units(y, dpi)), words);
    };
    // The ruler, above line 1: a mark every centimetre from the page's left edge.
    const int rulerY = std::max(layout_.top - 2 * layout_.lineHeight, layout_.lineHeight);
    const int width = layout_.left + std::max({layout_.saldo, layout_.operatorName}) + 2000;
    painter.drawLine(QPointF(0, units(rulerY, dpi)), QPointF(units(width, dpi), units(rulerY, dpi)));
    for (int cm = 0; cm * 1000 <= width; ++cm) {
        painter.drawLine(QPointF(units(cm * 1000, dpi), units(rulerY - 200, dpi)),
                         QPointF(units(cm * 1000, dpi), units(rulerY, dpi)));
        if (cm > 0)
            text(cm * 1000 + 50, rulerY - 50, QString::number(cm), false);
    }
    for (int line = 1; line <= layout_.lines; ++line) {
        const int y = baseline(line, layout_);
        text(layout_.left + layout_.date, y, QStringLiteral("%1").arg(line, 2, 10, QLatin1Char('0')), false);
        text(layout_.left + layout_.code, y, QStringLiteral("KODE"), false);
        text(layout_.left + layout_.debet, y, QStringLiteral("DEBET"), true);
        text(layout_.left + layout_.kredit, y, QStringLiteral("KREDIT"), true);
        text(layout_.left + layout_.saldo, y, QStringLiteral("SALDO"), true);
        text(layout_.left + layout_.operatorName, y, QStringLiteral("OPR"), false);
        if (line == layout_.fold)
            text(layout_.left + layout_.date, y + layout_.gap / 2 + layout_.lineHeight / 2,
                 QStringLiteral("- - - LIPATAN - - -"), false);
    }
    return end();
}

Outcome Sheets::finish()
{
    if (!device_)
        return Outcome::ok();
    Outcome outcome = end();
    if (!device_->pdf)
        return outcome;
    const bool ended = device_->painter.end();
    device_->pdf.reset();
    if (!ended || device_->file.error() != QFileDevice::NoError || !device_->file.commit())
        return Outcome::failed(QStringLiteral("File %1 tidak bisa disimpan.\n(%2)")
                                   .arg(QDir::toNativeSeparators(output_.pdf), device_->file.errorString()));
    device_.reset();
    return outcome;
}

} // namespace passbook
