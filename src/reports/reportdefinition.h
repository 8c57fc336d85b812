#pragma once

#include <QList>
#include <QPageLayout>
#include <QString>
#include <array>

// A report is defined by data, not by code: a caption, the data environment and
// data member whose record source supplies the rows, and five sections of label
// and field items. One engine lays any definition out into pages.
namespace reports {

struct ReportItem {
    enum class Kind { Label, Field };
    Kind kind = Kind::Label;
    QString name;   // the item's own name (Label1, txtnorekening, ...)
    QString text;   // a label's fixed text
    QString column; // a field's column of the record source, matched without regard to case
    // The table column the item stands in, counted from 0 at the left; a heading in
    // the page header and a field of the detail with the same slot stand one above
    // the other. -1: the item is a line of its own across the page.
    int slot = -1;

    static ReportItem label(const QString &name, const QString &text, int slot = -1)
    {
        return {Kind::Label, name, text, QString(), slot};
    }
    static ReportItem field(const QString &name, const QString &column, int slot)
    {
        return {Kind::Field, name, QString(), column, slot};
    }
};

struct ReportSection {
    enum class Kind { ReportHeader, PageHeader, Detail, PageFooter, ReportFooter };
    Kind kind = Kind::Detail;
    QString name;
    QList<ReportItem> items;
};

struct ReportDefinition {
    QString name;            // DATAR, LAPNASABAH: the objectName of its window
    QString caption;         // the title of the report window
    QString dataEnvironment; // DE, DMN
    QString dataMember;      // the command whose record source gives the rows
    // Report header, page header, detail, page footer, report footer, in this order.
    std::array<ReportSection, 5> sections;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;

    const ReportSection &section(ReportSection::Kind kind) const { return sections[static_cast<int>(kind)]; }
};

// The savings report of one account.
const ReportDefinition &datar();
// The customer list.
const ReportDefinition &lapnasabah();

} // namespace reports
