#pragma once

#include "reportengine.h"
#include "textfit.h"

#include <QFontDatabase>
#include <QHash>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

// What a laid-out report holds, shared by the taking of its rows (reportbuilder.cpp),
// its layout (reportlayout.cpp) and its drawing (reportpages.cpp).
namespace reports {

namespace layout {
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

// What the cells of a column hold, when every value in it is of one kind: amounts,
// dates, or else text.
enum class CellKind : quint8 { Text, Number, Date };

inline QFont reportFont(double points, bool bold, bool italic = false)
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
} // namespace layout

struct ReportDocument::Data {
    QString caption;
    // What a workbook of the report shows besides its cells: the report header's
    // and footer's lines and the column headings, unwrapped.
    QStringList headerTexts, footerTexts;
    QVector<QString> headingTexts;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QSizeF page;
    double bodyPoints = layout::kBodyPoints;

    // A label's text with the texts it names ({name}) filled in.
    static QString filled(const QString &text, const QHash<QString, QString> &texts);

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
    // What the cells of each slot of the detail hold.
    QVector<layout::CellKind> kinds;
    // For each line of totals, the slots that show a sum.
    QVector<QVector<bool>> sumCells;
    QVector<QStringList> headings;
    QFont headingFont, bodyFont, noticeFont;
    double headingSpacing = 0, headingAscent = 0, headingHeight = 0;
    double lineSpacing = 0, ascent = 0, rowPad = 0;

    int rows = 0;                     // rows of the detail
    int totalLines = 0;               // lines of totals, after the rows of the detail
    int lineCount() const { return rows + totalLines; }
    QVector<int> totalsStart;         // the first line of each definition's totals, under a rule
    // The text of each cell, (rows + totalLines) * slots of them, in blocks of lines:
    // a long list grows by blocks, never by copying all it holds.
    static constexpr int kBlockLines = 2048;
    struct CellBlock {
        QString text;          // the texts of the block's cells, one after another
        QVector<quint32> ends; // where each cell's text ends in `text`
    };
    std::vector<CellBlock> cellBlocks;
    QVector<bool> fixed;        // slots of the detail that show a fixed text ...
    QVector<QString> fixedText; // ... this one, on every row
    QStringView cell(int line, int slot) const
    {
        if (line < rows && fixed.at(slot))
            return fixedText.at(slot);
        const CellBlock &block = cellBlocks[size_t(line / kBlockLines)];
        const int index = (line % kBlockLines) * slotCount + slot;
        const quint32 begin = index > 0 ? block.ends.at(index - 1) : 0;
        return QStringView(block.text).mid(begin, block.ends.at(index) - begin);
    }
    // Cells are added line by line, slot by slot.
    void appendCell(QStringView cell)
    {
        if (cellBlocks.empty() || cellBlocks.back().ends.size() == qsizetype(kBlockLines) * slotCount) {
            if (!cellBlocks.empty())
                cellBlocks.back().text.squeeze();
            cellBlocks.emplace_back();
            cellBlocks.back().ends.reserve(qsizetype(kBlockLines) * slotCount);
        }
        CellBlock &block = cellBlocks.back();
        block.text += cell;
        block.ends << quint32(block.text.size());
    }
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

    Block block(const ReportSection &section, const QFont &font, double textWidth,
                const QHash<QString, QString> &texts) const;

    // The steps of the layout once the rows are in, in this order.
    // A4 paper turned as the definition wants.
    void setPaper(QPageLayout::Orientation wanted);
    // The type size and the column widths with which the table fits the page.
    void fitColumns(const Progress &progress);
    // The fonts and line spacings of the table at its type size.
    void setFonts();
    // The lines of the report's and pages' headers and footers.
    void layOutSections(const ReportDefinition &definition, const QHash<QString, QString> &texts);
    // The column headings and the cells wrapped within their columns.
    void wrapHeadings();
    void wrapCells(const Progress &progress);
    // The rows placed onto pages.
    void paginate();

    // The width of the table, between the margins.
    double tableRoom() const { return page.width() - 2 * layout::kMargin; }
    // The whole of the progress the layout tells.
    int progressTotal() const { return std::max(rows, 1); }
    // The widest text of each column, its heading among them, at a type size.
    QVector<double> wantedWidths(double points, const Progress &progress) const;
    void drawBlock(QPainter &painter, const Block &b, double y) const;
    void drawCell(QPainter &painter, int slot, QStringView text, double baseline, GlyphCache &glyphs) const;
};

} // namespace reports
