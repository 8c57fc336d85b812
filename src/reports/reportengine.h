#pragma once

#include "reportdefinition.h"
#include "data/records/dataenvironment.h"

#include <QFont>
#include <QPageLayout>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

class QPainter;
class QPagedPaintDevice;

namespace reports {

// Told how far a long piece of work has come (done of total).
using Progress = std::function<void(int done, int total)>;

// A report laid out into pages. The same drawing code serves the preview, the
// printer and PDF files: pages are measured in units of 1/720 inch and drawn on
// any paint device through a scaled painter.
//
// Field items show the default text form of their value (textform::display). A
// table wider than the page first gives up spacing, then takes a smaller type,
// and at last wraps its cells within their columns; a row taller than a page goes
// on over the next. Nothing is ever cut off. Lines of totals follow the rows,
// each definition's under a rule, in the table's columns; the report footer stands
// a line below the table. Labels name the texts read with the rows ({name}).
class ReportDocument
{
public:
    static constexpr double kUnitsPerInch = 720.0;
    // The notice a report over zero rows shows under its headers.
    static const char *const kNoDataNotice;

    ReportDocument();
    ~ReportDocument();
    ReportDocument(ReportDocument &&) noexcept;
    ReportDocument &operator=(ReportDocument &&) noexcept;

    // Lays the rows out by the definition's sections. Fails (with a message for the
    // operator) when a field names a column the rows do not have.
    static std::optional<ReportDocument> layOut(const ReportDefinition &definition, const dataenv::ReportRows &rows,
                                                QString *error, const Progress &progress = {});

    // Lays rows out as they are read, one at a time, keeping only the text of each
    // cell: a list of many thousand rows is never held as values.
    class Builder
    {
    public:
        explicit Builder(const ReportDefinition &definition);
        ~Builder();
        // The columns of the rows to come. False (with a message for the operator)
        // when a field names a column that is not among them.
        bool begin(const QStringList &columns, QString *error);
        void add(const QVector<QVariant> &values);
        // The pages, with the texts read alongside the rows ({name}) filled in.
        ReportDocument finish(const QHash<QString, QString> &texts, const Progress &progress = {});

    private:
        struct State;
        std::unique_ptr<State> s_;
    };

    bool isEmpty() const;
    int pageCount() const;
    int rowCount() const;
    QString caption() const;
    // The paper, its orientation and margins the pages are laid out for.
    QPageLayout pageLayout() const;
    // The page size in units of 1/720 inch.
    QSizeF pageSize() const;
    // The type size (in points) the table was given to fit the page.
    double bodyPointSize() const;

    // Draws one page (from 0) with the painter's origin at the paper's top left
    // corner, one unit of the painter being 1/720 inch (scale the painter before).
    void drawPage(QPainter &painter, int page) const;

    // Draws pages first..last (from 0) onto a printer or PDF writer, each page
    // scaled to the device's paper. False when the device cannot be painted on.
    bool print(QPagedPaintDevice *device, int first, int last, const Progress &progress = {}) const;
    // Writes the whole report as a PDF file, replacing the file only once it is
    // complete. On failure *error names the file and the cause.
    bool savePdf(const QString &path, QString *error, const Progress &progress = {}) const;
    // Writes the report as an Excel workbook (.xlsx): its heading above, the column
    // headings, one row for each row of the report, its lines of totals in bold and
    // its footer under them. A column whose cells all hold amounts has numbers, one
    // whose cells all hold dates has dates, any other text as shown (an account
    // number keeps its leading zeros). On failure *error names the file and the cause,
    // and no file is left there.
    bool saveExcel(const QString &path, QString *error, const Progress &progress = {}) const;

private:
    struct Data;
    std::unique_ptr<Data> d;
};

} // namespace reports
