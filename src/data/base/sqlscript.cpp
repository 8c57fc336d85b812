#include "data/base/sqlscript.h"

#include <QFile>
#include <QRegularExpression>

namespace sqlscript {

QStringList split(const QString &text)
{
    QStringList statements;
    QString current;
    qsizetype i = 0;
    const qsizetype n = text.size();
    const auto flush = [&] {
        const QString statement = current.trimmed();
        if (!statement.isEmpty())
            statements << statement;
        current.clear();
    };
    while (i < n) {
        const QChar c = text.at(i);
        if (c == u'-' && i + 1 < n && text.at(i + 1) == u'-') {
            // A comment to the end of the line: kept inside a statement, dropped between them.
            const qsizetype end = text.indexOf(u'\n', i);
            const qsizetype stop = end < 0 ? n : end;
            if (!current.trimmed().isEmpty())
                current += text.mid(i, stop - i);
            i = stop;
            continue;
        }
        if (c == u'\'' || c == u'"') {
            // A quoted text or name; a doubled quote stands for itself.
            qsizetype j = i + 1;
            while (j < n) {
                if (text.at(j) == c) {
                    if (j + 1 < n && text.at(j + 1) == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            current += text.mid(i, j + 1 - i);
            i = j + 1;
            continue;
        }
        if (c == u'$') {
            // A dollar quote: $$ or $tag$, up to the same again.
            static const QRegularExpression tag(QStringLiteral("\\G\\$([A-Za-z_][A-Za-z0-9_]*)?\\$"));
            const QRegularExpressionMatch match = tag.match(text, i);
            if (match.hasMatch()) {
                const QString delimiter = match.captured(0);
                const qsizetype end = text.indexOf(delimiter, i + delimiter.size());
                const qsizetype stop = end < 0 ? n : end + delimiter.size();
                current += text.mid(i, stop - i);
                i = stop;
                continue;
            }
        }
        if (c == u';') {
            // A file's trigger holds statements of its own between BEGIN and END.
            static const QRegularExpression trigger(QStringLiteral("^\\s*CREATE\\s+TRIGGER\\b.*\\bBEGIN\\b"),
                                                    QRegularExpression::CaseInsensitiveOption
                                                        | QRegularExpression::DotMatchesEverythingOption);
            static const QRegularExpression end(QStringLiteral("\\bEND\\s*$"), QRegularExpression::CaseInsensitiveOption);
            if (trigger.match(current).hasMatch() && !end.match(current).hasMatch()) {
                current += c;
                ++i;
                continue;
            }
            flush();
            ++i;
            continue;
        }
        current += c;
        ++i;
    }
    flush();
    return statements;
}

QStringList statements(const QString &name, const QHash<QString, QString> &values)
{
    QFile file(QStringLiteral(":/sql/%1.sql").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("SQL %s tidak ada di program", qPrintable(name));
    QString text = QString::fromUtf8(file.readAll());
    static const QRegularExpression placeholder(QStringLiteral("\\{\\{([a-z_]+)\\}\\}"));
    QString filled;
    qsizetype at = 0;
    for (QRegularExpressionMatchIterator it = placeholder.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const auto value = values.constFind(match.captured(1));
        if (value == values.constEnd())
            qFatal("SQL %s: nilai {{%s}} tidak diberikan", qPrintable(name), qPrintable(match.captured(1)));
        filled += QStringView(text).mid(at, match.capturedStart() - at);
        filled += *value;
        at = match.capturedEnd();
    }
    filled += QStringView(text).mid(at);
    return split(filled);
}

} // namespace sqlscript
