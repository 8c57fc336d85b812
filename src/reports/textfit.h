#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>
#include <QString>
#include <QStringList>
#include <QVector>
#include <array>

// Measuring, breaking and drawing the text of a report.
namespace reports {

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

    double width(QStringView text)
    {
        double width = 0;
        if (simple(text, false, &width))
            return width;
        return metrics_.horizontalAdvance(text.toString());
    }

    void draw(QPainter &painter, const QPointF &baseline, QStringView text)
    {
        double width = 0;
        if (!simple(text, true, &width)) {
            painter.setFont(font_);
            painter.drawText(baseline, text.toString());
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

    bool simple(QStringView text, bool collect, double *width)
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

// The width of the widest line of a text.
double widest(QStringView text, GlyphCache &glyphs);
// The text broken into lines no wider than the width: at blanks where it can, inside
// a word only where the word alone is wider than the column.
QStringList wrapText(const QString &text, double width, GlyphCache &glyphs);
// Column widths within the room: every column that asks for no more than an even
// share gets what it asks; the others share the rest evenly.
QVector<double> shareWidths(const QVector<double> &wanted, double room);

} // namespace reports
