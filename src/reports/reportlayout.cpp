#include "reportlayout.h"

#include <QFontDatabase>
#include <algorithm>
#include <cmath>
#include <numeric>

// A finished report's table laid out onto pages: the type size and the column
// widths with which it fits the paper, its cells wrapped in their columns, and the
// rows placed page by page. Its rows are taken in reportbuilder.cpp.
namespace reports {

using namespace layout;

const char *const ReportDocument::kNoDataNotice = "Tidak ada data.";

ReportDocument::ReportDocument() = default;
ReportDocument::~ReportDocument() = default;
ReportDocument::ReportDocument(ReportDocument &&) noexcept = default;
ReportDocument &ReportDocument::operator=(ReportDocument &&) noexcept = default;

GlyphCache &ReportDocument::Data::glyphs(const QFont &font) const
{
    std::unique_ptr<GlyphCache> &cache = glyphCaches[font.key()];
    if (!cache)
        cache = std::make_unique<GlyphCache>(font);
    return *cache;
}

QString ReportDocument::Data::filled(const QString &text, const QHash<QString, QString> &texts)
{
    if (texts.isEmpty() || !text.contains(u'{'))
        return text;
    QString result = text;
    for (auto it = texts.constBegin(); it != texts.constEnd(); ++it)
        result.replace(u'{' + it.key() + u'}', it.value());
    return result;
}

ReportDocument::Data::Block ReportDocument::Data::block(const ReportSection &section, const QFont &font,
                                                       double textWidth, const QHash<QString, QString> &texts) const
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
            b.lines << wrapText(filled(item.text, texts), textWidth, cache);
    }
    return b;
}

void ReportDocument::Data::setPaper(QPageLayout::Orientation wanted)
{
    orientation = wanted;
    const QSizeF paper = QPageSize(QPageSize::A4).size(QPageSize::Inch) * kUnitsPerInch;
    page = wanted == QPageLayout::Landscape ? paper.transposed() : paper;
}

QVector<double> ReportDocument::Data::wantedWidths(double points, const Progress &progress) const
{
    const int total = progressTotal();
    GlyphCache &body = glyphs(reportFont(points, false));
    GlyphCache &heading = glyphs(reportFont(points, true));
    QVector<double> wanted(slotCount, 0);
    for (int s = 0; s < slotCount; ++s)
        wanted[s] = widest(headingTexts[s], heading);
    for (int r = 0; r < lineCount(); ++r) {
        for (int s = 0; s < slotCount; ++s) {
            const QStringView text = cell(r, s);
            if (!text.isEmpty())
                wanted[s] = std::max(wanted[s], widest(text, body));
        }
        if (progress && r % 500 == 0)
            progress(r / 2, total);
    }
    return wanted;
}

void ReportDocument::Data::fitColumns(const Progress &progress)
{
    const double room = tableRoom();
    QVector<double> wanted = wantedWidths(kBodyPoints, progress);
    double sum = std::accumulate(wanted.cbegin(), wanted.cend(), 0.0);
    const int gaps = std::max(slotCount - 1, 0);
    // The largest type with which the table fits the page at the narrowest spacing.
    bodyPoints = kBodyPoints;
    if (sum + gaps * kNarrowGap > room) {
        bodyPoints = kSmallerPoints[std::size(kSmallerPoints) - 1];
        for (double points : kSmallerPoints) {
            if (sum * points / kBodyPoints + gaps * kNarrowGap <= room) {
                bodyPoints = points;
                break;
            }
        }
        wanted = wantedWidths(bodyPoints, progress);
        sum = std::accumulate(wanted.cbegin(), wanted.cend(), 0.0);
    }
    width = wanted;
    double gap = kNarrowGap;
    if (sum + gaps * kNarrowGap > room) {
        width = shareWidths(wanted, room - gaps * kNarrowGap);
    } else if (slotCount > 0) {
        gap = gaps > 0 ? std::min(kWideGap, (room - sum) / gaps) : 0;
        // What room is left widens the columns, so that the table spans the page.
        const double extra = room - sum - gaps * gap;
        for (int s = 0; s < slotCount; ++s)
            width[s] += sum > 0 ? extra * wanted[s] / sum : extra / slotCount;
    }
    x.resize(slotCount);
    double left = kMargin;
    for (int s = 0; s < slotCount; ++s) {
        x[s] = left;
        left += width[s] + gap;
    }
}

void ReportDocument::Data::setFonts()
{
    bodyFont = reportFont(bodyPoints, false);
    headingFont = reportFont(bodyPoints, true);
    noticeFont = reportFont(bodyPoints, false, true);
    GlyphCache &body = glyphs(bodyFont);
    GlyphCache &heading = glyphs(headingFont);
    lineSpacing = body.metrics().lineSpacing();
    ascent = body.metrics().ascent();
    rowPad = lineSpacing * 0.3;
    headingSpacing = heading.metrics().lineSpacing();
    headingAscent = heading.metrics().ascent();
}

void ReportDocument::Data::layOutSections(const ReportDefinition &definition, const QHash<QString, QString> &texts)
{
    const double room = tableRoom();
    reportHeader = block(definition.section(SectionKind::ReportHeader), reportFont(kTitlePoints, true), room, texts);
    pageHeaderLines = block(definition.section(SectionKind::PageHeader), headingFont, room, texts);
    pageFooter = block(definition.section(SectionKind::PageFooter), bodyFont, room, texts);
    reportFooter = block(definition.section(SectionKind::ReportFooter), bodyFont, room, texts);
}

void ReportDocument::Data::wrapHeadings()
{
    GlyphCache &heading = glyphs(headingFont);
    headings.resize(slotCount);
    int headingLines = 0;
    for (int s = 0; s < slotCount; ++s) {
        headings[s] = headingTexts[s].isEmpty() ? QStringList() : wrapText(headingTexts[s], width[s], heading);
        headingLines = std::max(headingLines, int(headings[s].size()));
    }
    headingHeight = slotCount > 0 ? headingLines * headingSpacing + rowPad * 2 : 0;
}

void ReportDocument::Data::wrapCells(const Progress &progress)
{
    const int total = progressTotal();
    GlyphCache &body = glyphs(bodyFont);
    rowLines.fill(1, lineCount());
    for (int r = 0; r < lineCount(); ++r) {
        for (int s = 0; s < slotCount; ++s) {
            const QStringView text = cell(r, s);
            if (text.isEmpty() || (!text.contains(u'\n') && body.width(text) <= width[s]))
                continue;
            QStringList lines = wrapText(text.toString(), width[s], body);
            if (lines.size() == 1 && lines.first() == text)
                continue;
            rowLines[r] = std::max(rowLines[r], int(lines.size()));
            wrapped.insert(r * slotCount + s, std::move(lines));
        }
        if (progress && r % 500 == 0)
            progress(total / 2 + r / 2, total);
    }
}

void ReportDocument::Data::paginate()
{
    const double top = kMargin;
    const double bottom = page.height() - kMargin - pageFooter.height();
    double y = top;
    double bodyTop = top;
    auto newPage = [&] {
        Page next;
        next.reportHeader = pages.isEmpty();
        next.firstFragment = int(fragments.size());
        y = top;
        if (next.reportHeader)
            y += reportHeader.height();
        next.pageHeaderY = y;
        y += pageHeaderLines.height() + headingHeight;
        bodyTop = y;
        pages << next;
    };
    fragments.reserve(lineCount());
    newPage();
    const int linesPerPage = std::max(1, int((bottom - bodyTop - rowPad) / lineSpacing));
    auto place = [&](int r) {
        int first = 0;
        int remaining = rowLines[r];
        while (remaining > 0) {
            const bool fits = y + remaining * lineSpacing + rowPad <= bottom;
            const bool noLineFits = y + lineSpacing + rowPad > bottom;
            // A row that fits a fresh page starts on one; a row taller than a whole
            // page goes on over the next.
            if (!fits && y > bodyTop && (remaining <= linesPerPage || noLineFits)) {
                newPage();
                continue;
            }
            const int fit = std::clamp(int((bottom - y - rowPad) / lineSpacing), 1, remaining);
            fragments.append({r, first, fit, y});
            pages.last().fragmentCount++;
            y += fit * lineSpacing + rowPad;
            first += fit;
            remaining -= fit;
        }
    };
    for (int r = 0; r < rows; ++r)
        place(r);
    if (rows == 0) {
        pages.last().noticeY = y + rowPad;
        y += lineSpacing + 2 * rowPad;
    }
    for (int r = rows; r < lineCount(); ++r)
        place(r);
    if (!reportFooter.lines.isEmpty()) {
        // A line's space between the table and the report footer.
        if (slotCount > 0)
            y += reportFooter.lineSpacing;
        if (y + reportFooter.height() > bottom)
            newPage();
        pages.last().reportFooterY = y;
    }
}

} // namespace reports
