#include "data/base/textforms.h"

#include "data/base/money.h"

namespace textform {

QLocale indonesian()
{
    return QLocale(QLocale::Indonesian, QLocale::Indonesia);
}

QString dateFormat()
{
    return QStringLiteral("dd/MM/yyyy");
}

QString shortDate(const QDate &date)
{
    return indonesian().toString(date, dateFormat());
}

QDate storedDate(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QDate)
        return value.toDate();
    if (value.metaType().id() == QMetaType::QDateTime)
        return value.toDateTime().date();
    const QString text = value.toString();
    return QDate::fromString(text.left(10), Qt::ISODate);
}

QString storedDateText(const QDate &date)
{
    return date.toString(Qt::ISODate);
}

QString display(const QVariant &value)
{
    if (value.isNull())
        return {};
    switch (value.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float: {
        const std::optional<Money> money = Money::fromStored(value);
        return money ? money->toText() : value.toString();
    }
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return shortDate(storedDate(value));
    default:
        return value.toString();
    }
}

QString printable(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Other_Control || category == QChar::Other_Format || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph || category == QChar::Other_Surrogate)
            shown += c < 0x100 ? QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'))
                               : QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
        else
            shown += QString::fromUcs4(&c, 1);
    }
    return shown;
}

QString printableLines(const QString &text)
{
    QStringList lines = text.split(u'\n');
    for (QString &line : lines)
        line = printable(line);
    return lines.join(u'\n');
}

} // namespace textform
