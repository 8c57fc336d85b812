#include "data/trail/audit.h"

#include "data/base/schema.h"

// The actions a write stands for, and the details lines of a trail row.
namespace audit {

namespace {

QString escaped(QString value)
{
    value.replace(u'\\', QStringLiteral("\\\\"));
    value.replace(u'\n', QStringLiteral("\\n"));
    value.replace(u'\r', QStringLiteral("\\r"));
    return value;
}

QString unescaped(const QString &value)
{
    QString text;
    text.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value.at(i) != u'\\' || i + 1 == value.size()) {
            text += value.at(i);
            continue;
        }
        const QChar next = value.at(++i);
        text += next == u'n' ? QChar(u'\n') : next == u'r' ? QChar(u'\r') : next;
    }
    return text;
}

} // namespace

QString defaultAction(const QString &table, Write write, const QString &code)
{
    const schema::Table *known = schema::table(table);
    if (known == &schema::nabubg() && write == Write::Insert)
        return QLatin1String(code == QLatin1String("02") ? action::kWithdrawal : action::kDeposit);
    if (known == &schema::daftar())
        return QLatin1String(write == Write::Insert   ? action::kNewCustomer
                             : write == Write::Update ? action::kCustomerChange
                                                      : action::kCustomerDeletion);
    if (known == &schema::tpassword())
        return QLatin1String(write == Write::Insert   ? action::kOperatorAdded
                             : write == Write::Update ? action::kPasswordChange
                                                      : action::kOperatorRemoved);
    return QStringLiteral("%1 %2").arg(table.toLower(), write == Write::Insert   ? QStringLiteral("tambah")
                                                        : write == Write::Update ? QStringLiteral("ubah")
                                                                                 : QStringLiteral("hapus"));
}

QString detail(const QString &key, const QString &value)
{
    return key + u'=' + escaped(value);
}

QString change(const QString &column, const QString &before, const QString &after)
{
    return QStringLiteral("%1: %2 -> %3").arg(column, escaped(before), escaped(after));
}

std::optional<QString> changedFrom(const QString &line, const QString &column, const QString &after)
{
    const QString head = column + QStringLiteral(": ");
    const QString tail = QStringLiteral(" -> ") + escaped(after);
    if (line.size() < head.size() + tail.size() || !line.startsWith(head, Qt::CaseInsensitive) || !line.endsWith(tail))
        return std::nullopt;
    return unescaped(line.mid(head.size(), line.size() - head.size() - tail.size()));
}

QList<QPair<QString, QString>> detailValues(const QString &rincian)
{
    QList<QPair<QString, QString>> lines;
    for (const QString &line : rincian.split(u'\n', Qt::SkipEmptyParts)) {
        const qsizetype at = line.indexOf(u'=');
        if (at > 0)
            lines.append({line.left(at), unescaped(line.mid(at + 1))});
    }
    return lines;
}

} // namespace audit
