#pragma once

#include <QList>
#include <QPageLayout>
#include <QString>
#include <array>

// A report is defined by data, not by code: a caption, the data environment and
// data member whose record source supplies the rows, five sections of label and
// field items, and lines of totals. One engine lays any definition out into pages.
namespace reports {

struct ReportItem {
    // A label shows a fixed text; a field the value of one column of the row. In a
    // line of totals (ReportTotals) a sum shows the sum of a column's amounts over
    // the line's rows, a count the number of those rows (or, when it names a column,
    // of those rows whose amount in that column is nothing: zero or empty).
    enum class Kind { Label, Field, Sum, Count };
    Kind kind = Kind::Label;
    QString name;   // the item's own name (Label1, txtnorekening, ...)
    // A label's fixed text. It may name a text the report learns only when it is
    // shown as {name} (dataenv::ReportRows::texts); a name not given stays as written.
    // A field in a line of totals: what it shows when the line's value is empty.
    // A sum or count: the pattern of its text, "%1" standing for the number (empty: the number alone).
    QString text;
    QString column; // a field's or a sum's column of the record source, matched without regard to case
    // The table column the item stands in, counted from 0 at the left; a heading in
    // the page header and a field of the detail with the same slot stand one above
    // the other. -1: the item is a line of its own across the page.
    int slot = -1;

    static ReportItem label(const QString &name, const QString &text, int slot = -1)
    {
        return {Kind::Label, name, text, QString(), slot};
    }
    static ReportItem field(const QString &name, const QString &column, int slot, const QString &whenEmpty = QString())
    {
        return {Kind::Field, name, whenEmpty, column, slot};
    }
    static ReportItem sum(const QString &name, const QString &column, int slot, const QString &pattern = QString())
    {
        return {Kind::Sum, name, pattern, column, slot};
    }
    static ReportItem count(const QString &name, int slot, const QString &pattern = QString())
    {
        return {Kind::Count, name, pattern, QString(), slot};
    }
    static ReportItem countNothing(const QString &name, const QString &column, int slot,
                                   const QString &pattern = QString())
    {
        return {Kind::Count, name, pattern, column, slot};
    }
};

struct ReportSection {
    enum class Kind { ReportHeader, PageHeader, Detail, PageFooter, ReportFooter };
    Kind kind = Kind::Detail;
    QString name;
    QList<ReportItem> items;
};

// Lines of totals after the last row of the detail, in the table's columns: one
// line for each value of the column `by` (in the order the values first appear
// among the rows), or, when `by` is empty, one line over all the rows (also when
// there are none). A field item shows the line's value of `by`.
struct ReportTotals {
    QString name;
    QString by;
    QList<ReportItem> items;
};

struct ReportDefinition {
    QString name;            // DATAR, LAPNASABAH, HARIAN: the objectName of its window
    QString caption;         // the title of the report window
    QString dataEnvironment; // DE, DMN
    QString dataMember;      // the command whose record source gives the rows
    // Report header, page header, detail, page footer, report footer, in this order.
    std::array<ReportSection, 5> sections;
    // After the detail, before the report footer, in this order.
    QList<ReportTotals> totals;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;

    const ReportSection &section(ReportSection::Kind kind) const { return sections[static_cast<int>(kind)]; }
};

// The savings report of one account.
const ReportDefinition &datar();
// The customer list.
const ReportDefinition &lapnasabah();
// The postings of one day (the rows of the command HARIAN narrowed to that day's
// TANGGAL), with totals for each operator and for the day, and at the foot the
// seal of the audit trail at the end of that day and a place for the supervisor's
// signature. Its texts, read when it is shown: {tanggal} the day, {segel} the
// seal in groups of four (or that there is none yet), {jejak} the trail row that
// bears it.
const ReportDefinition &harian();
// A month's profit sharing or bonus: per account its average balance, portion,
// share, tax and what it received, with totals. Made from the rows the month end
// computes (no data environment). Its texts: {bulan}, {akad}, {masukan} (the
// inputs), {dibagi} (the amount shared), {sisa} (the remainder), {posting}
// (whether it is posted, and the trail row's seal).
const ReportDefinition &lapbagihasil();

// Every account of the register in account order with its balance at the end of a
// day and the date of its last posting up to then (the rows of the command SALDO),
// with the number of accounts, how many hold nothing and the total balance at
// the foot. Its text, read when it is shown: {tanggal} the day.
const ReportDefinition &lapsaldo();

} // namespace reports
