#include "reportwindow.h"

#include "shell/messages.h"

#include <QDir>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QStandardPaths>

// What leaves a report window: its pages printed, or saved as a PDF file or an Excel
// workbook, with the box that shows how far long work has come (the reading of
// the rows among it).
namespace reports {

// ---------------------------------------------------------------------------
// ProgressBox

namespace {
constexpr int kSteps = 1000;
constexpr int kReadingSteps = 100;
} // namespace

ProgressBox::ProgressBox(QWidget *parent, const QString &text)
    : dialog_(new QProgressDialog(text, QString(), 0, kSteps, parent))
{
    dialog_->setObjectName(QStringLiteral("progress"));
    dialog_->setWindowTitle(QString::fromLatin1(msg::kAppTitle));
    dialog_->setWindowModality(Qt::ApplicationModal);
    dialog_->setCancelButton(nullptr);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setMinimumDuration(400);
    dialog_->setValue(0);
}

ProgressBox::~ProgressBox()
{
    dialog_->close();
    delete dialog_;
}

std::function<void(int)> ProgressBox::reading()
{
    return [this](int rows) {
        // The number of rows is not known while they are read: the bar creeps towards a tenth.
        dialog_->setValue(1 + int(double(kReadingSteps - 2) * rows / (rows + 5000.0)));
    };
}

Progress ProgressBox::stage(const QString &text)
{
    dialog_->setLabelText(text);
    return [this](int done, int total) {
        const int value = kReadingSteps + int(double(kSteps - kReadingSteps) * done / std::max(total, 1));
        if (value != dialog_->value())
            dialog_->setValue(std::min(value, kSteps));
    };
}

// ---------------------------------------------------------------------------
// ReportWindow: printing and saving

bool ReportWindow::saveAsPdf(const QString &path, QString *error)
{
    ProgressBox progress(this, QStringLiteral("Menyimpan laporan ..."));
    return document_.savePdf(path, error, progress.stage(QStringLiteral("Menyimpan halaman ...")));
}

bool ReportWindow::saveAsExcel(const QString &path, QString *error)
{
    ProgressBox progress(this, QStringLiteral("Menyimpan laporan ..."));
    return document_.saveExcel(path, error, progress.stage(QStringLiteral("Menulis baris laporan ...")));
}

bool ReportWindow::printTo(QPrinter *printer)
{
    int first = 0;
    int last = document_.pageCount() - 1;
    if (printer->printRange() == QPrinter::PageRange && printer->fromPage() > 0) {
        first = printer->fromPage() - 1;
        last = std::max(first, (printer->toPage() > 0 ? printer->toPage() : document_.pageCount()) - 1);
    } else if (printer->printRange() == QPrinter::CurrentPage) {
        first = last = page_;
    }
    ProgressBox progress(this, QStringLiteral("Mencetak laporan ..."));
    return document_.print(printer, first, last, progress.stage(QStringLiteral("Mencetak halaman ...")));
}

void ReportWindow::print()
{
    if (document_.isEmpty())
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(definition_.caption);
    printer.setPageLayout(document_.pageLayout());
    printer.setFullPage(true);
    QPrintDialog dialog(&printer, this);
    dialog.setObjectName(QStringLiteral("printDialog"));
    dialog.setMinMax(1, document_.pageCount());
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, true);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!printTo(&printer))
        msg::perhatian(this, QStringLiteral("Laporan tidak bisa dicetak ke %1.\nPeriksa printernya, lalu ulangi.")
                                 .arg(printer.printerName().isEmpty() ? printer.outputFileName()
                                                                      : printer.printerName()));
}

QString ReportWindow::askFileName(const QString &title, const QString &filter, const QString &suffix)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString suggested = QDir(folder.isEmpty() ? QDir::homePath() : folder)
                                  .filePath(definition_.name + u'.' + suffix);
    QFileDialog dialog(this, title, suggested, filter);
    dialog.setObjectName(QStringLiteral("saveDialog"));
    // Qt's own chooser, which speaks Indonesian with the program (a desktop's own
    // follows the desktop's language).
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void ReportWindow::saveAsPdfAskingName()
{
    if (document_.isEmpty())
        return;
    const QString path = askFileName(QStringLiteral("Simpan laporan sebagai PDF"), QStringLiteral("Dokumen PDF (*.pdf)"),
                                     QStringLiteral("pdf"));
    QString error;
    if (!path.isEmpty() && !saveAsPdf(path, &error))
        msg::perhatian(this, error);
}

void ReportWindow::saveAsExcelAskingName()
{
    if (document_.isEmpty())
        return;
    const QString path = askFileName(QStringLiteral("Simpan laporan sebagai Excel"),
                                     QStringLiteral("Buku kerja Excel (*.xlsx)"), QStringLiteral("xlsx"));
    QString error;
    if (!path.isEmpty() && !saveAsExcel(path, &error))
        msg::perhatian(this, error);
}
} // namespace reports
