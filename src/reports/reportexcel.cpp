// A laid-out report as an Excel workbook: the cells as the pages show them, each
// read back into the kind of value it came from.
#include "reportlayout.h"
#include "xlsxfile.h"

#include "data/base/money.h"
#include "data/base/textforms.h"

#include <QDir>
#include <QLocale>
#include <algorithm>

namespace reports {

namespace {
using layout::CellKind;

// A cell's text as the value it shows: an amount as a number, a date as a date.
// A text that does not read back as its column's kind stays text.
QVariant cellValue(QStringView text, CellKind kind)
{
    if (text.isEmpty())
        return {};
    const QString shown = text.toString();
    switch (kind) {
    case CellKind::Number:
        if (const std::optional<Money> amount = Money::parse(shown, QLocale::c()))
            return amount->toDouble();
        break;
    case CellKind::Date:
        if (const QDate date = QDate::fromString(shown, textform::dateFormat()); date.isValid())
            return date;
        break;
    case CellKind::Text:
        break;
    }
    return shown;
}

// A label's lines, the empty ones (room left to sign in) left out.
QStringList nonEmptyLines(const QStringList &labels)
{
    QStringList lines;
    for (const QString &label : labels)
        for (const QString &line : label.split(u'\n'))
            if (!line.trimmed().isEmpty())
                lines << line;
    return lines;
}
} // namespace

bool ReportDocument::saveExcel(const QString &path, QString *error, const Progress &progress) const
{
    if (isEmpty()) {
        *error = QStringLiteral("Laporan belum disusun; file %1 tidak dibuat.").arg(QDir::toNativeSeparators(path));
        return false;
    }
    xlsx::Table table;
    table.sheet = d->caption.simplified();
    table.heading = nonEmptyLines(d->headerTexts);
    for (int slot = 0; slot < d->slotCount; ++slot) {
        table.columns << d->headingTexts.value(slot);
        // The column as wide as on the page, in characters of the sheet's type.
        table.widths << std::clamp(d->width.value(slot) / 50.0, 6.0, 60.0);
    }
    xlsx::Writer writer(path, table);
    if (!writer.ok()) {
        *error = writer.error();
        return false;
    }
    const int lines = d->lineCount();
    QVariantList values;
    for (int line = 0; line < lines; ++line) {
        values.clear();
        const bool total = line >= d->rows;
        for (int slot = 0; slot < d->slotCount; ++slot) {
            const QStringView cell = d->cell(line, slot);
            if (total)
                values << cellValue(cell, d->sumCells.at(line - d->rows).at(slot) ? CellKind::Number : CellKind::Text);
            else
                values << cellValue(cell, d->fixed.at(slot) ? CellKind::Text : d->kinds.at(slot));
        }
        writer.addRow(values, total);
        if (progress && line % 1000 == 0)
            progress(line, lines);
    }
    for (const QString &line : nonEmptyLines(d->footerTexts))
        writer.addNote(line);
    if (!writer.finish()) {
        *error = writer.error();
        return false;
    }
    if (progress)
        progress(lines, lines);
    return true;
}

} // namespace reports
