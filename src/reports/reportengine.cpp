#include "reportengine.h"

#include "data/textforms.h"

#include <QDir>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QSaveFile>
#include <algorithm>
#include <array>
#include <map>
#include <cmath>

namespace reports {

const char *const ReportDocument::kNoDataNotice = "Tidak ada data.";

namespace {
using SectionKind = ReportSection::Kind;

// Sizes in units of 1/720 inch (tenths of a point).
constexpr double kPoint = 10.0;
constexpr double kMargin = 15.0 / 25.4 * ReportDocument::kUnitsPerInch; // 15 mm
constexpr double kTitlePoints = 13.0;
constexpr double kBodyPoints = 9.0;
// Smaller type sizes a table wider than the page tries, largest first.
constexpr double kSmallerPoints[] = {8.5, 8.0, 7.5, 7.0};
constexpr double kWideGap = 14.0 * kPoint;
constexpr double kNarrowGap = 8.0 * kPoint;

QFont reportFont(double points, bool bold, bool italic = false)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(false);
    font.setPixelSize(int(std::lround(points * kPoint)));
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}
} // namespace

// Measures and draws text in one font. Text of Latin letters (what the register
// and the ledger hold) goes glyph by glyph from a cache, without shaping: this is
// what makes a list of thousands of rows quick, and the text stays exactly as
// stored (no ligatures) when read back from a PDF. Any other text is shaped by Qt.
class GlyphCache
{
public:
    explicit GlyphCache(const QFont &font)
        : font_(font), raw_(QRawFont::fromFont(font)), metrics_(font)
    {
        known_.fill(false);
    }

    double width(const QString &text)
    {
        double width = 0;
        if (simple(text, false, &width))
            return width;
        return metrics_.horizontalAdvance(text);
    }

    void draw(QPainter &painter, const QPointF &baseline, const QString &text)
    {
        double width = 0;
        if (!simple(text, true, &width)) {
            painter.setFont(font_);
            painter.drawText(baseline, text);
            return;
        }
        QGlyphRun run;
        run.setRawFont(raw_);
        run.setGlyphIndexes(glyphs_);
        run.setPositions(positions_);
        painter.drawGlyphRun(baseline, run);
    }

    const QFontMetricsF &metrics() const { return metrics_; }

private:
    static constexpr ushort kFast = 0x250; // Basic Latin up to Latin Extended-B

    bool simple(const QString &text, bool collect, double *width)
    {
        if (collect) {
            glyphs_.clear();
            positions_.clear();
        }
        if (!raw_.isValid())
            return false;
        double x = 0;
        for (const QChar c : text) {
            const ushort u = c.unicode();
            if (u >= kFast || u < 0x20 || (u >= 0x7f && u < 0xa0))
                return false;
            if (!known_[u]) {
                const QChar one(u);
                quint32 glyph = 0;
                int count = 1;
                if (!raw_.glyphIndexesForChars(&one, 1, &glyph, &count) || count != 1)
                    glyph = 0;
                QPointF advance;
                if (glyph)
                    raw_.advancesForGlyphIndexes(&glyph, &advance, 1);
                glyph_[u] = glyph;
                advance_[u] = advance.x();
                known_[u] = true;
            }
            if (glyph_[u] == 0)
                return false;
            if (collect) {
                glyphs_.append(glyph_[u]);
                positions_.append(QPointF(x, 0));
            }
            x += advance_[u];
        }
        *width = x;
        return true;
    }

    QFont font_;
    QRawFont raw_;
    QFontMetricsF metrics_;
    std::array<bool, kFast> known_;
    std::array<quint32, kFast> glyph_{};
    std::array<double, kFast> advance_{};
    QVector<quint32> glyphs_;
    QVector<QPointF> positions_;
};

namespace {
double widest(const QString &text, GlyphCache &glyphs)
{
    if (!text.contains(u'\n'))
        return glyphs.width(text);
    double width = 0;
    for (const QString &line : text.split(u'\n'))
        width = std::max(width, glyphs.width(line));
    return width;
}

// The longest start of the word that fits the width: at least one character, and
// never half of a surrogate pair.
int fittingPrefix(const QString &word, double width, GlyphCache &glyphs)
{
    double used = 0;
    int n = 0;
    while (n < word.size()) {
        const int step = (word.at(n).isHighSurrogate() && n + 1 < word.size()) ? 2 : 1;
        used += glyphs.width(word.mid(n, step));
        if (used > width && n > 0)
            break;
        n += step;
    }
    while (n > 1 && glyphs.width(word.left(n)) > width) {
        --n;
        if (word.at(n).isLowSurrogate() && n > 1)
            --n;
    }
    return std::max(n, 1);
}

// The text broken into lines no wider than the width: at blanks where it can, inside
// a word only where the word alone is wider than the column.
QStringList wrapText(const QString &text, double width, GlyphCache &glyphs)
{
    QStringList lines;
    for (const QString &paragraph : text.split(u'\n')) {
        if (glyphs.width(paragraph) <= width) {
            lines << paragraph;
            continue;
        }
        QString current;
        bool started = false;
        for (QString word : paragraph.split(u' ')) {
            if (started) {
                const QString candidate = current + u' ' + word;
                if (glyphs.width(candidate) <= width) {
                    current = candidate;
                    continue;
                }
                lines << current;
            }
            while (glyphs.width(word) > width) {
                const int n = fittingPrefix(word, width, glyphs);
                lines << word.left(n);
                word = word.mid(n);
            }
            current = word;
            started = true;
        }
        lines << current;
    }
    return lines;
}

// Column widths within the room: every column that asks for no more than an even
// share gets what it asks; the others share the rest evenly.
QVector<double> shareWidths(const QVector<double> &wanted, double room)
{
    QVector<double> widths(wanted.size(), -1);
    int open = int(wanted.size());
    bool changed = true;
    while (open > 0 && changed) {
        changed = false;
        const double share = room / open;
        for (int i = 0; i < wanted.size(); ++i) {
            if (widths[i] < 0 && wanted[i] <= share) {
                widths[i] = wanted[i];
                room -= wanted[i];
                --open;
                changed = true;
            }
        }
    }
    for (double &w : widths)
        if (w < 0)
            w = std::max(room / std::max(open, 1), 1.0);
    return widths;
}
} // namespace

struct ReportDocument::Data {
    QString caption;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QSizeF page;
    double bodyPoints = kBodyPoints;

    // Lines of their own across the page.
    struct Block {
        QStringList lines;
        QFont font;
        double lineSpacing = 0;
        double ascent = 0;
        double height() const { return lines.isEmpty() ? 0 : lines.size() * lineSpacing + lineSpacing * 0.5; }
    };
    Block reportHeader, pageHeaderLines, pageFooter, reportFooter;

    // The table: one column per slot.
    int slotCount = 0;
    QVector<double> x, width;
    QVector<bool> numeric;
    QVector<QStringList> headings;
    QFont headingFont, bodyFont, noticeFont;
    double headingSpacing = 0, headingAscent = 0, headingHeight = 0;
    double lineSpacing = 0, ascent = 0, rowPad = 0;

    int rows = 0;
    QVector<QString> cells;           // rows * slots, the text of each cell
    QHash<int, QStringList> wrapped;  // cells that take more than one line
    QVector<int> rowLines;            // lines of each row

    struct Fragment {
        int row;
        int firstLine;
        int lineCount;
        double y;
    };
    QVector<Fragment> fragments;

    struct Page {
        bool reportHeader = false;
        double pageHeaderY = 0;
        int firstFragment = 0;
        int fragmentCount = 0;
        double noticeY = -1;
        double reportFooterY = -1;
    };
    QVector<Page> pages;

    // One glyph cache per font, kept for all pages.
    mutable std::map<QString, std::unique_ptr<GlyphCache>> glyphCaches;
    GlyphCache &glyphs(const QFont &font) const;

    Block block(const ReportSection &section, const QFont &font, double textWidth) const;
    void drawBlock(QPainter &painter, const Block &b, double y) const;
    void drawCell(QPainter &painter, int slot, const QString &text, double baseline, GlyphCache &glyphs) const;
};

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

bool ReportDocument::isEmpty() const
{
    return !d || d->pages.isEmpty();
}

int ReportDocument::pageCount() const
{
    return d ? int(d->pages.size()) : 0;
}

int ReportDocument::rowCount() const
{
    return d ? d->rows : 0;
}

QString ReportDocument::caption() const
{
    return d ? d->caption : QString();
}

QPageLayout ReportDocument::pageLayout() const
{
    return QPageLayout(QPageSize(QPageSize::A4), d ? d->orientation : QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                       QPageLayout::Point);
}

QSizeF ReportDocument::pageSize() const
{
    return d ? d->page : QSizeF();
}

double ReportDocument::bodyPointSize() const
{
    return d ? d->bodyPoints : kBodyPoints;
}

void ReportDocument::drawPage(QPainter &painter, int pageNumber) const
{
    if (!d || pageNumber < 0 || pageNumber >= d->pages.size())
        return;
    const Data &data = *d;
    const Data::Page &page = data.pages.at(pageNumber);
    painter.save();
    painter.setPen(Qt::black);
    if (page.reportHeader)
        data.drawBlock(painter, data.reportHeader, kMargin);

    double y = page.pageHeaderY;
    data.drawBlock(painter, data.pageHeaderLines, y);
    y += data.pageHeaderLines.height();
    if (data.slotCount > 0) {
        GlyphCache &heading = data.glyphs(data.headingFont);
        for (int s = 0; s < data.slotCount; ++s)
            for (int i = 0; i < data.headings.at(s).size(); ++i)
                data.drawCell(painter, s, data.headings.at(s).at(i),
                              y + data.rowPad + data.headingAscent + i * data.headingSpacing, heading);
        const double rule = y + data.headingHeight - data.rowPad * 0.5;
        painter.drawLine(QPointF(kMargin, rule), QPointF(data.page.width() - kMargin, rule));
    }

    GlyphCache &body = data.glyphs(data.bodyFont);
    for (int f = page.firstFragment; f < page.firstFragment + page.fragmentCount; ++f) {
        const Data::Fragment &fragment = data.fragments.at(f);
        const double baseline = fragment.y + data.rowPad + data.ascent;
        for (int s = 0; s < data.slotCount; ++s) {
            const int index = fragment.row * data.slotCount + s;
            const auto wrapped = data.wrapped.constFind(index);
            if (wrapped == data.wrapped.constEnd()) {
                if (fragment.firstLine == 0)
                    data.drawCell(painter, s, data.cells.at(index), baseline, body);
                continue;
            }
            const QStringList &lines = wrapped.value();
            for (int i = 0; i < fragment.lineCount && fragment.firstLine + i < lines.size(); ++i)
                data.drawCell(painter, s, lines.at(fragment.firstLine + i), baseline + i * data.lineSpacing, body);
        }
    }
    if (page.noticeY >= 0) {
        data.glyphs(data.noticeFont)
            .draw(painter, QPointF(kMargin, page.noticeY + data.ascent), QString::fromLatin1(kNoDataNotice));
    }
    if (page.reportFooterY >= 0)
        data.drawBlock(painter, data.reportFooter, page.reportFooterY);
    data.drawBlock(painter, data.pageFooter, data.page.height() - kMargin - data.pageFooter.height());
    painter.restore();
}

bool ReportDocument::print(QPagedPaintDevice *device, int first, int last, const Progress &progress) const
{
    if (isEmpty())
        return false;
    first = std::clamp(first, 0, pageCount() - 1);
    last = std::clamp(last, first, pageCount() - 1);
    QPainter painter;
    if (!painter.begin(device))
        return false;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // Each page fills the device's paper, whatever its resolution.
    const double scale = std::min(device->width() / d->page.width(), device->height() / d->page.height());
    for (int page = first; page <= last; ++page) {
        if (page > first && !device->newPage()) {
            painter.end();
            return false;
        }
        painter.save();
        painter.scale(scale, scale);
        drawPage(painter, page);
        painter.restore();
        if (progress)
            progress(page - first + 1, last - first + 1);
    }
    return painter.end();
}

bool ReportDocument::savePdf(const QString &path, QString *error, const Progress &progress) const
{
    const QString shown = QDir::toNativeSeparators(path);
    if (isEmpty()) {
        *error = QStringLiteral("Laporan belum disusun; file %1 tidak dibuat.").arg(shown);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("File %1 tidak bisa ditulis.\n(%2)").arg(shown, file.errorString());
        return false;
    }
    bool painted = false;
    {
        QPdfWriter writer(&file);
        writer.setCreator(QStringLiteral("SIMPARO"));
        writer.setTitle(caption());
        writer.setResolution(1200);
        writer.setPageLayout(pageLayout());
        painted = print(&writer, 0, pageCount() - 1, progress);
    }
    if (!painted || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        *error = QStringLiteral("File %1 tidak bisa ditulis.\n(%2)")
                     .arg(shown, painted ? file.errorString() : QStringLiteral("PDF tidak bisa dibuat"));
        return false;
    }
    if (!file.commit()) {
        *error = QStringLiteral("File %1 tidak bisa disimpan.\n(%2)").arg(shown, file.errorString());
        return false;
    }
    return true;
}

} // namespace reports
