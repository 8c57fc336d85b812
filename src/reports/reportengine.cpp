#include "reportlayout.h"

#include "data/textforms.h"

#include <QFontDatabase>
#include <algorithm>
#include <cmath>

namespace reports {

using namespace layout;

const char *const ReportDocument::kNoDataNotice = "Tidak ada data.";

GlyphCache &ReportDocument::Data::glyphs(const QFont &font) const
{
    std::unique_ptr<GlyphCache> &cache = glyphCaches[font.key()];
    if (!cache)
        cache = std::make_unique<GlyphCache>(font);
    return *cache;
}

ReportDocument::Data::Block ReportDocument::Data::block(const ReportSection &section, const QFont &font,
                                                       double textWidth) const
{
    Block b;
    b.font = font;
    GlyphCache &cache = glyphs(font);
    b.lineSpacing = cache.metrics().lineSpacing();
    b.ascent = cache.metrics().ascent();
    for (const ReportItem &item : section.items) {
        if (section.kind != SectionKind::ReportHeader && section.kind != SectionKind::ReportFooter
            && section.kind != SectionKind::PageFooter && item.slot >= 0)
            continue;
        if (item.kind == ReportItem::Kind::Label)
            b.lines << wrapText(item.text, textWidth, cache);
    }
    return b;
}

void ReportDocument::Data::drawBlock(QPainter &painter, const Block &b, double y) const
{
    if (b.lines.isEmpty())
        return;
    GlyphCache &cache = glyphs(b.font);
    const double room = page.width() - 2 * kMargin;
    for (int i = 0; i < b.lines.size(); ++i) {
        const double w = cache.width(b.lines.at(i));
        cache.draw(painter, QPointF(kMargin + std::max(0.0, (room - w) / 2), y + b.ascent + i * b.lineSpacing),
                   b.lines.at(i));
    }
}

void ReportDocument::Data::drawCell(QPainter &painter, int slot, const QString &text, double baseline,
                                    GlyphCache &cache) const
{
    if (text.isEmpty())
        return;
    double left = x.at(slot);
    if (numeric.at(slot))
        left += std::max(0.0, width.at(slot) - cache.width(text));
    cache.draw(painter, QPointF(left, baseline), text);
}

ReportDocument::ReportDocument() = default;
ReportDocument::~ReportDocument() = default;
ReportDocument::ReportDocument(ReportDocument &&) noexcept = default;
ReportDocument &ReportDocument::operator=(ReportDocument &&) noexcept = default;

std::optional<ReportDocument> ReportDocument::layOut(const ReportDefinition &definition, const dataenv::ReportRows &rows,
                                                     QString *error, const Progress &progress)
{
    ReportDocument document;
    document.d = std::make_unique<Data>();
    Data &d = *document.d;
    d.caption = definition.caption;
    d.orientation = definition.orientation;
    const QSizeF paper = QPageSize(QPageSize::A4).size(QPageSize::Inch) * kUnitsPerInch;
    d.page = definition.orientation == QPageLayout::Landscape ? paper.transposed() : paper;
    const double room = d.page.width() - 2 * kMargin;

    // Table columns: the headings of the page header over the items of the detail.
    const ReportSection &pageHeader = definition.section(SectionKind::PageHeader);
    const ReportSection &detail = definition.section(SectionKind::Detail);
    for (const ReportSection *section : {&pageHeader, &detail})
        for (const ReportItem &item : section->items)
            d.slotCount = std::max(d.slotCount, item.slot + 1);
    QVector<QString> headingText(d.slotCount);
    for (const ReportItem &item : pageHeader.items)
        if (item.slot >= 0 && item.kind == ReportItem::Kind::Label)
            headingText[item.slot] = item.text;
    // What each slot of a detail line shows: a column of the row, or a fixed text.
    QVector<int> source(d.slotCount, -1);
    QVector<QString> fixedText(d.slotCount);
    for (const ReportItem &item : detail.items) {
        if (item.slot < 0)
            continue;
        if (item.kind == ReportItem::Kind::Label) {
            fixedText[item.slot] = item.text;
            continue;
        }
        int column = -1;
        for (int c = 0; c < rows.columns.size() && column < 0; ++c)
            if (rows.columns.at(c).compare(item.column, Qt::CaseInsensitive) == 0)
                column = c;
        if (column < 0) {
            *error = QStringLiteral("Laporan %1 tidak bisa disusun: kolom %2 tidak ada pada data %3.")
                         .arg(definition.name, item.column, definition.dataMember);
            return std::nullopt;
        }
        source[item.slot] = column;
    }

    // The text of every cell, and the widths the columns would like.
    d.rows = int(rows.rows.size());
    d.cells.resize(qsizetype(d.rows) * d.slotCount);
    d.numeric.fill(false, d.slotCount);
    QVector<bool> anyText(d.slotCount, false);
    for (int r = 0; r < d.rows; ++r) {
        const QVector<QVariant> &values = rows.rows.at(r);
        for (int s = 0; s < d.slotCount; ++s) {
            QString &cell = d.cells[qsizetype(r) * d.slotCount + s];
            if (source[s] < 0) {
                cell = fixedText[s];
                continue;
            }
            const QVariant &value = values.value(source[s]);
            if (value.metaType().id() == QMetaType::Double)
                d.numeric[s] = true;
            else if (!value.isNull())
                anyText[s] = true;
            cell = textform::display(value);
        }
    }
    for (int s = 0; s < d.slotCount; ++s)
        d.numeric[s] = d.numeric[s] && !anyText[s];

    const int total = std::max(d.rows, 1);
    auto measure = [&](double points, QVector<double> *wanted) {
        GlyphCache &body = d.glyphs(reportFont(points, false));
        GlyphCache &heading = d.glyphs(reportFont(points, true));
        wanted->fill(0, d.slotCount);
        for (int s = 0; s < d.slotCount; ++s)
            (*wanted)[s] = widest(headingText[s], heading);
        for (int r = 0; r < d.rows; ++r) {
            for (int s = 0; s < d.slotCount; ++s) {
                const QString &cell = d.cells.at(qsizetype(r) * d.slotCount + s);
                if (!cell.isEmpty())
                    (*wanted)[s] = std::max((*wanted)[s], widest(cell, body));
            }
            if (progress && r % 500 == 0)
                progress(r / 2, total);
        }
    };
    QVector<double> wanted;
    measure(kBodyPoints, &wanted);
    double sum = 0;
    for (double w : std::as_const(wanted))
        sum += w;
    const int gaps = std::max(d.slotCount - 1, 0);
    // The largest type with which the table fits the page at the narrowest spacing.
    d.bodyPoints = kBodyPoints;
    if (sum + gaps * kNarrowGap > room) {
        d.bodyPoints = kSmallerPoints[std::size(kSmallerPoints) - 1];
        for (double points : kSmallerPoints) {
            if (sum * points / kBodyPoints + gaps * kNarrowGap <= room) {
                d.bodyPoints = points;
                break;
            }
        }
        measure(d.bodyPoints, &wanted);
        sum = 0;
        for (double w : std::as_const(wanted))
            sum += w;
    }
    d.width = wanted;
    double gap = kNarrowGap;
    if (sum + gaps * kNarrowGap > room) {
        d.width = shareWidths(wanted, room - gaps * kNarrowGap);
    } else if (d.slotCount > 0) {
        gap = gaps > 0 ? std::min(kWideGap, (room - sum) / gaps) : 0;
        // What room is left widens the columns, so that the table spans the page.
        const double extra = room - sum - gaps * gap;
        for (int s = 0; s < d.slotCount; ++s)
            d.width[s] += sum > 0 ? extra * wanted[s] / sum : extra / d.slotCount;
    }
    d.x.resize(d.slotCount);
    double left = kMargin;
    for (int s = 0; s < d.slotCount; ++s) {
        d.x[s] = left;
        left += d.width[s] + gap;
    }

    d.bodyFont = reportFont(d.bodyPoints, false);
    d.headingFont = reportFont(d.bodyPoints, true);
    d.noticeFont = reportFont(d.bodyPoints, false, true);
    GlyphCache &body = d.glyphs(d.bodyFont);
    GlyphCache &heading = d.glyphs(d.headingFont);
    d.lineSpacing = body.metrics().lineSpacing();
    d.ascent = body.metrics().ascent();
    d.rowPad = d.lineSpacing * 0.3;
    d.headingSpacing = heading.metrics().lineSpacing();
    d.headingAscent = heading.metrics().ascent();

    d.reportHeader = d.block(definition.section(SectionKind::ReportHeader), reportFont(kTitlePoints, true), room);
    d.pageHeaderLines = d.block(pageHeader, d.headingFont, room);
    d.pageFooter = d.block(definition.section(SectionKind::PageFooter), d.bodyFont, room);
    d.reportFooter = d.block(definition.section(SectionKind::ReportFooter), d.bodyFont, room);

    d.headings.resize(d.slotCount);
    int headingLines = 0;
    for (int s = 0; s < d.slotCount; ++s) {
        d.headings[s] = headingText[s].isEmpty() ? QStringList() : wrapText(headingText[s], d.width[s], heading);
        headingLines = std::max(headingLines, int(d.headings[s].size()));
    }
    d.headingHeight = d.slotCount > 0 ? headingLines * d.headingSpacing + d.rowPad * 2 : 0;

    // Cells wider than their column wrap; a row is as tall as its tallest cell.
    d.rowLines.fill(1, d.rows);
    for (int r = 0; r < d.rows; ++r) {
        for (int s = 0; s < d.slotCount; ++s) {
            const int index = r * d.slotCount + s;
            const QString &cell = d.cells.at(index);
            if (cell.isEmpty() || (!cell.contains(u'\n') && body.width(cell) <= d.width[s]))
                continue;
            QStringList lines = wrapText(cell, d.width[s], body);
            if (lines.size() == 1 && lines.first() == cell)
                continue;
            d.rowLines[r] = std::max(d.rowLines[r], int(lines.size()));
            d.wrapped.insert(index, std::move(lines));
        }
        if (progress && r % 500 == 0)
            progress(total / 2 + r / 2, total);
    }

    // Pages.
    const double top = kMargin;
    const double bottom = d.page.height() - kMargin - d.pageFooter.height();
    double y = top;
    double bodyTop = top;
    auto newPage = [&] {
        Data::Page page;
        page.reportHeader = d.pages.isEmpty();
        page.firstFragment = int(d.fragments.size());
        y = top;
        if (page.reportHeader)
            y += d.reportHeader.height();
        page.pageHeaderY = y;
        y += d.pageHeaderLines.height() + d.headingHeight;
        bodyTop = y;
        d.pages << page;
    };
    newPage();
    const int linesPerPage = std::max(1, int((bottom - bodyTop - d.rowPad) / d.lineSpacing));
    for (int r = 0; r < d.rows; ++r) {
        int first = 0;
        int remaining = d.rowLines[r];
        while (remaining > 0) {
            const bool fits = y + remaining * d.lineSpacing + d.rowPad <= bottom;
            const bool noLineFits = y + d.lineSpacing + d.rowPad > bottom;
            // A row that fits a fresh page starts on one; a row taller than a whole
            // page goes on over the next.
            if (!fits && y > bodyTop && (remaining <= linesPerPage || noLineFits)) {
                newPage();
                continue;
            }
            const int fit = std::clamp(int((bottom - y - d.rowPad) / d.lineSpacing), 1, remaining);
            d.fragments.append({r, first, fit, y});
            d.pages.last().fragmentCount++;
            y += fit * d.lineSpacing + d.rowPad;
            first += fit;
            remaining -= fit;
        }
    }
    if (d.rows == 0) {
        d.pages.last().noticeY = y + d.rowPad;
        y += d.lineSpacing + 2 * d.rowPad;
    }
    if (!d.reportFooter.lines.isEmpty()) {
        if (y + d.reportFooter.height() > bottom)
            newPage();
        d.pages.last().reportFooterY = y;
    }
    if (progress)
        progress(total, total);
    return document;
}

} // namespace reports
