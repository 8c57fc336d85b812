#include "data/base/criteria.h"

namespace criteria {

std::optional<Criterion> parse(const QString &text)
{
    const int eq = text.indexOf(u'=');
    if (eq <= 0)
        return std::nullopt;
    Criterion result;
    result.column = text.left(eq).trimmed();
    if (result.column.isEmpty())
        return std::nullopt;
    int i = eq + 1;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    if (i >= text.size() || text.at(i) != u'\'')
        return std::nullopt;
    ++i;
    bool closed = false;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c == u'\'') {
            if (i + 1 < text.size() && text.at(i + 1) == u'\'') {
                result.value.append(u'\'');
                i += 2;
                continue;
            }
            closed = true;
            ++i;
            break;
        }
        result.value.append(c);
        ++i;
    }
    if (!closed)
        return std::nullopt;
    while (i < text.size()) {
        if (!text.at(i).isSpace())
            return std::nullopt;
        ++i;
    }
    return result;
}

QString build(const QString &column, const QString &value)
{
    QString escaped = value;
    escaped.replace(QStringLiteral("'"), QStringLiteral("''"));
    return column + QStringLiteral("='") + escaped + u'\'';
}

} // namespace criteria
