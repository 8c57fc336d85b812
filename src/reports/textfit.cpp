#include "textfit.h"

#include <algorithm>

namespace reports {

namespace {
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
} // namespace

double widest(QStringView text, GlyphCache &glyphs)
{
    if (!text.contains(u'\n'))
        return glyphs.width(text);
    double width = 0;
    for (const QStringView line : text.split(u'\n'))
        width = std::max(width, glyphs.width(line));
    return width;
}

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

} // namespace reports
