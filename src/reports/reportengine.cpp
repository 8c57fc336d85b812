#include "reportlayout.h"

#include "data/base/money.h"
#include "data/base/textforms.h"

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

void ReportDocument::Data::drawCell(QPainter &painter, int slot, QStringView text, double baseline,
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

// What a report keeps while its rows come: the texts of their cells, and the counts
// and sums of its lines of totals.
struct ReportDocument::Builder::State {
    explicit State(const ReportDefinition &report) : definition(report) {}
    const ReportDefinition &definition;
    std::unique_ptr<Data> d = std::make_unique<Data>();
    QStringList columns;
    QVector<int> source;   // the column each slot of the detail shows, -1 for a fixed text
    QVector<bool> anyText; // slots with a value that is not a number
    QVector<bool> anyDate, anyOther; // slots with a date, and with a value that is no date
    // Each line of a definition's totals: its value of `by`, its rows' count and
    // the sums of its columns in sen.
    struct Line {
        QString value;
        qint64 count = 0;
        QHash<int, qint64> sen;
        QHash<int, qint64> nothing; // rows with nothing in a column
    };
    struct Totals {
        int by = -1;
        QList<int> sums;
        QList<int> nothing; // columns whose rows with nothing are counted
        QVector<Line> lines;
        QHash<QString, int> lineOf;
    };
    QVector<Totals> totals;

    int columnOf(const QString &name) const
    {
        for (int c = 0; c < columns.size(); ++c)
            if (columns.at(c).compare(name, Qt::CaseInsensitive) == 0)
                return c;
        return -1;
    }
};

ReportDocument::Builder::Builder(const ReportDefinition &definition) : s_(std::make_unique<State>(definition))
{
    Data &d = *s_->d;
    // Table columns: the headings of the page header over the items of the detail.
    for (const SectionKind kind : {SectionKind::PageHeader, SectionKind::Detail})
        for (const ReportItem &item : definition.section(kind).items)
            d.slotCount = std::max(d.slotCount, item.slot + 1);
    d.fixed.fill(false, d.slotCount);
    d.fixedText.resize(d.slotCount);
    d.numeric.fill(false, d.slotCount);
    s_->anyText.fill(false, d.slotCount);
    s_->anyDate.fill(false, d.slotCount);
    s_->anyOther.fill(false, d.slotCount);
    s_->source.fill(-1, d.slotCount);
}

ReportDocument::Builder::~Builder() = default;

bool ReportDocument::Builder::begin(const QStringList &columns, QString *error)
{
    State &s = *s_;
    s.columns = columns;
    const auto found = [&](const QString &name, int *column) {
        *column = s.columnOf(name);
        if (*column < 0)
            *error = QStringLiteral("Laporan %1 tidak bisa disusun: kolom %2 tidak ada pada data %3.")
                         .arg(s.definition.name, name, s.definition.dataMember);
        return *column >= 0;
    };
    // What each slot of a detail line shows: a column of the row, or a fixed text.
    for (const ReportItem &item : s.definition.section(SectionKind::Detail).items) {
        if (item.slot < 0)
            continue;
        s.d->fixed[item.slot] = item.kind != ReportItem::Kind::Field;
        if (item.kind == ReportItem::Kind::Field && !found(item.column, &s.source[item.slot]))
            return false;
    }
    s.totals.clear();
    for (const ReportTotals &definition : s.definition.totals) {
        State::Totals totals;
        if (!definition.by.isEmpty() && !found(definition.by, &totals.by))
            return false;
        for (const ReportItem &item : definition.items) {
            const bool counted = item.kind == ReportItem::Kind::Count && !item.column.isEmpty();
            if (item.slot >= s.d->slotCount || (item.kind != ReportItem::Kind::Sum && !counted))
                continue;
            int column = -1;
            if (!found(item.column, &column))
                return false;
            QList<int> &wanted = counted ? totals.nothing : totals.sums;
            if (!wanted.contains(column))
                wanted << column;
        }
        if (totals.by < 0)
            totals.lines.resize(1);
        s.totals << totals;
    }
    return true;
}

void ReportDocument::Builder::add(const QVector<QVariant> &values)
{
    State &s = *s_;
    Data &d = *s.d;
    for (int slot = 0; slot < d.slotCount; ++slot) {
        if (s.source[slot] < 0) {
            d.appendCell({});
            continue;
        }
        const QVariant &value = values.value(s.source[slot]);
        const int type = value.metaType().id();
        if (type == QMetaType::Double)
            d.numeric[slot] = true;
        else if (!value.isNull())
            s.anyText[slot] = true;
        if (type == QMetaType::QDate)
            s.anyDate[slot] = true;
        else if (!value.isNull())
            s.anyOther[slot] = true;
        d.appendCell(textform::display(value));
    }
    ++d.rows;
    for (State::Totals &totals : s.totals) {
        int at = 0;
        if (totals.by >= 0) {
            const QString value = textform::display(values.value(totals.by));
            at = totals.lineOf.value(value, -1);
            if (at < 0) {
                at = int(totals.lines.size());
                totals.lineOf.insert(value, at);
                totals.lines.append(State::Line{value, 0, {}, {}});
            }
        }
        State::Line &line = totals.lines[at];
        ++line.count;
        for (int column : std::as_const(totals.sums))
            if (const std::optional<Money> amount = Money::fromStored(values.value(column)))
                line.sen[column] += amount->sen();
        for (int column : std::as_const(totals.nothing)) {
            const std::optional<Money> amount = Money::fromStored(values.value(column));
            if (!amount || amount->sen() == 0)
                ++line.nothing[column];
        }
    }
}

std::optional<ReportDocument> ReportDocument::layOut(const ReportDefinition &definition, const dataenv::ReportRows &rows,
                                                     QString *error, const Progress &progress)
{
    Builder builder(definition);
    if (!builder.begin(rows.columns, error))
        return std::nullopt;
    for (const QVector<QVariant> &values : rows.rows)
        builder.add(values);
    return builder.finish(rows.texts, progress);
}

ReportDocument ReportDocument::Builder::finish(const QHash<QString, QString> &texts, const Progress &progress)
{
    State &state = *s_;
    const ReportDefinition &definition = state.definition;
    ReportDocument document;
    document.d = std::move(state.d);
    Data &d = *document.d;
    d.caption = definition.caption;
    d.orientation = definition.orientation;
    const QSizeF paper = QPageSize(QPageSize::A4).size(QPageSize::Inch) * kUnitsPerInch;
    d.page = definition.orientation == QPageLayout::Landscape ? paper.transposed() : paper;
    const double room = d.page.width() - 2 * kMargin;

    const ReportSection &pageHeader = definition.section(SectionKind::PageHeader);
    QVector<QString> headingText(d.slotCount);
    for (const ReportItem &item : pageHeader.items)
        if (item.slot >= 0 && item.kind == ReportItem::Kind::Label)
            headingText[item.slot] = Data::filled(item.text, texts);
    d.headingTexts = headingText;
    const auto labels = [&](SectionKind kind) {
        QStringList lines;
        for (const ReportItem &item : definition.section(kind).items)
            if (item.kind == ReportItem::Kind::Label && item.slot < 0)
                lines << Data::filled(item.text, texts);
        return lines;
    };
    d.headerTexts = labels(SectionKind::ReportHeader);
    d.footerTexts = labels(SectionKind::ReportFooter);
    for (const ReportItem &item : definition.section(SectionKind::Detail).items)
        if (item.slot >= 0 && item.kind != ReportItem::Kind::Field)
            d.fixedText[item.slot] = Data::filled(item.text, texts);

    // The lines of totals after the rows, each definition's under a rule.
    QVector<bool> summed(d.slotCount, false);
    for (qsizetype t = 0; t < state.totals.size(); ++t) {
        const ReportTotals &totals = definition.totals.at(t);
        d.totalsStart << d.rows + d.totalLines;
        for (const State::Line &line : std::as_const(state.totals.at(t).lines)) {
            QVector<QString> cells(d.slotCount);
            QVector<bool> sums(d.slotCount, false);
            for (const ReportItem &item : totals.items) {
                if (item.slot < 0 || item.slot >= d.slotCount)
                    continue;
                const auto shown = [&](const QString &number) {
                    return item.text.isEmpty() ? number : item.text.arg(number);
                };
                QString &cell = cells[item.slot];
                switch (item.kind) {
                case ReportItem::Kind::Label:
                    cell = Data::filled(item.text, texts);
                    break;
                case ReportItem::Kind::Field:
                    cell = line.value.isEmpty() ? item.text : line.value;
                    break;
                case ReportItem::Kind::Sum:
                    cell = shown(Money::fromSen(line.sen.value(state.columnOf(item.column))).toText());
                    summed[item.slot] = true;
                    sums[item.slot] = item.text.isEmpty();
                    break;
                case ReportItem::Kind::Count:
                    cell = shown(QString::number(item.column.isEmpty() ? line.count
                                                                       : line.nothing.value(state.columnOf(item.column))));
                    break;
                }
            }
            for (const QString &cell : std::as_const(cells))
                d.appendCell(cell);
            d.sumCells << sums;
            ++d.totalLines;
        }
    }
    state.totals.clear();
    if (!d.cellBlocks.empty()) {
        d.cellBlocks.back().text.squeeze();
        d.cellBlocks.back().ends.squeeze();
    }
    d.kinds.fill(CellKind::Text, d.slotCount);
    for (int slot = 0; slot < d.slotCount; ++slot) {
        if (d.numeric[slot] && !state.anyText[slot])
            d.kinds[slot] = CellKind::Number;
        else if (state.anyDate[slot] && !state.anyOther[slot])
            d.kinds[slot] = CellKind::Date;
    }
    // A column of amounts, or of their sums, is set to the right.
    for (int slot = 0; slot < d.slotCount; ++slot)
        d.numeric[slot] = (d.numeric[slot] || summed[slot]) && !state.anyText[slot];

    const int total = std::max(d.rows, 1);
    auto measure = [&](double points, QVector<double> *wanted) {
        GlyphCache &body = d.glyphs(reportFont(points, false));
        GlyphCache &heading = d.glyphs(reportFont(points, true));
        wanted->fill(0, d.slotCount);
        for (int s = 0; s < d.slotCount; ++s)
            (*wanted)[s] = widest(headingText[s], heading);
        for (int r = 0; r < d.lineCount(); ++r) {
            for (int s = 0; s < d.slotCount; ++s) {
                const QStringView cell = d.cell(r, s);
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

    d.reportHeader =
        d.block(definition.section(SectionKind::ReportHeader), reportFont(kTitlePoints, true), room, texts);
    d.pageHeaderLines = d.block(pageHeader, d.headingFont, room, texts);
    d.pageFooter = d.block(definition.section(SectionKind::PageFooter), d.bodyFont, room, texts);
    d.reportFooter = d.block(definition.section(SectionKind::ReportFooter), d.bodyFont, room, texts);

    d.headings.resize(d.slotCount);
    int headingLines = 0;
    for (int s = 0; s < d.slotCount; ++s) {
        d.headings[s] = headingText[s].isEmpty() ? QStringList() : wrapText(headingText[s], d.width[s], heading);
        headingLines = std::max(headingLines, int(d.headings[s].size()));
    }
    d.headingHeight = d.slotCount > 0 ? headingLines * d.headingSpacing + d.rowPad * 2 : 0;

    // Cells wider than their column wrap; a row is as tall as its tallest cell.
    d.rowLines.fill(1, d.lineCount());
    for (int r = 0; r < d.lineCount(); ++r) {
        for (int s = 0; s < d.slotCount; ++s) {
            const QStringView cell = d.cell(r, s);
            if (cell.isEmpty() || (!cell.contains(u'\n') && body.width(cell) <= d.width[s]))
                continue;
            QStringList lines = wrapText(cell.toString(), d.width[s], body);
            if (lines.size() == 1 && lines.first() == cell)
                continue;
            d.rowLines[r] = std::max(d.rowLines[r], int(lines.size()));
            d.wrapped.insert(r * d.slotCount + s, std::move(lines));
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
    d.fragments.reserve(d.lineCount());
    newPage();
    const int linesPerPage = std::max(1, int((bottom - bodyTop - d.rowPad) / d.lineSpacing));
    auto place = [&](int r) {
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
    };
    for (int r = 0; r < d.rows; ++r)
        place(r);
    if (d.rows == 0) {
        d.pages.last().noticeY = y + d.rowPad;
        y += d.lineSpacing + 2 * d.rowPad;
    }
    for (int r = d.rows; r < d.lineCount(); ++r)
        place(r);
    if (!d.reportFooter.lines.isEmpty()) {
        // A line's space between the table and the report footer.
        if (d.slotCount > 0)
            y += d.reportFooter.lineSpacing;
        if (y + d.reportFooter.height() > bottom)
            newPage();
        d.pages.last().reportFooterY = y;
    }
    if (progress)
        progress(total, total);
    return document;
}

} // namespace reports
