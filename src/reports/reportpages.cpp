#include "reportlayout.h"

#include <QDir>
#include <QPagedPaintDevice>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>

namespace reports {

using namespace layout;

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

void ReportDocument::Data::drawBlock(QPainter &painter, const Block &b, double y) const
{
    if (b.lines.isEmpty())
        return;
    GlyphCache &cache = glyphs(b.font);
    const double room = tableRoom();
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
        // A rule sets each set of totals apart from the lines above it.
        if (fragment.row >= data.rows && fragment.firstLine == 0 && data.totalsStart.contains(fragment.row)) {
            const double rule = fragment.y + data.rowPad * 0.5;
            painter.drawLine(QPointF(kMargin, rule), QPointF(data.page.width() - kMargin, rule));
        }
        for (int s = 0; s < data.slotCount; ++s) {
            const int index = fragment.row * data.slotCount + s;
            const auto wrapped = data.wrapped.constFind(index);
            if (wrapped == data.wrapped.constEnd()) {
                if (fragment.firstLine == 0)
                    data.drawCell(painter, s, data.cell(fragment.row, s), baseline, body);
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
