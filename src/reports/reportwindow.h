#pragma once

#include "reportdefinition.h"
#include "reportengine.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QPrinter;
class QProgressDialog;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QToolButton;

namespace reports {

// Shows the progress of a long piece of work (laying out, printing, saving) in a
// progress box that appears only when the work takes a while.
class ProgressBox
{
public:
    ProgressBox(QWidget *parent, const QString &text);
    ~ProgressBox();
    // Rows read so far; the number of rows is not known yet.
    std::function<void(int)> reading();
    // The second stage of the work, done of total.
    Progress stage(const QString &text);

private:
    QProgressDialog *dialog_;
};

// One page of a report drawn at a scale.
class PageView : public QWidget
{
    Q_OBJECT
public:
    explicit PageView(QWidget *parent = nullptr);
    void setDocument(const ReportDocument *document);
    void setPage(int page);
    // Screen pixels per unit of the document.
    void setScale(double scale);
    double scale() const { return scale_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const ReportDocument *document_ = nullptr;
    int page_ = 0;
    double scale_ = 0.1;
};

// The report window: the laid-out pages of one report, with page navigation and
// zoom, printing through the system's print dialog, and saving as a PDF file or
// an Excel workbook.
// It is not modal; there is at most one for each report at a time, and closing
// it frees it with its laid-out pages.
class ReportWindow : public QWidget
{
    Q_OBJECT
public:
    explicit ReportWindow(const ReportDefinition &definition, QWidget *parent = nullptr);

    void setDocument(ReportDocument document);
    void clearDocument();
    const ReportDocument &document() const { return document_; }

    int currentPage() const { return page_; }
    void showPage(int page);

    // Zoom choices: fit the page width, fit the whole page, or a percentage.
    enum class Fit { Width, Page, Percent };
    void setZoom(Fit fit, int percent = 100);

    // Writes the report as a PDF file; on failure *error names the file and cause.
    bool saveAsPdf(const QString &path, QString *error);
    // Writes the report as an Excel workbook; on failure *error names the file and cause.
    bool saveAsExcel(const QString &path, QString *error);
    // Prints the pages the printer's settings ask for (all, or a range).
    bool printTo(QPrinter *printer);

public slots:
    // Offers the system's print dialog and prints what the operator chose.
    void print();
    // Asks for a file name and saves the report there as PDF.
    void saveAsPdfAskingName();
    // Asks for a file name and saves the report there as an Excel workbook.
    void saveAsExcelAskingName();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateControls();
    void applyZoom();
    // The file the operator names in a save dialog; empty when he cancels.
    QString askFileName(const QString &title, const QString &filter, const QString &suffix);

    ReportDefinition definition_;
    ReportDocument document_;
    int page_ = 0;
    Fit fit_ = Fit::Width;
    int percent_ = 100;

    QToolButton *first_;
    QToolButton *previous_;
    QSpinBox *pageNumber_;
    QLabel *pageTotal_;
    QToolButton *next_;
    QToolButton *last_;
    QComboBox *zoom_;
    QPushButton *print_;
    QPushButton *savePdf_;
    QPushButton *saveExcel_;
    QScrollArea *scroll_;
    PageView *view_;
};

} // namespace reports
