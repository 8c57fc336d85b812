#include "textforms.h"

#include "money.h"

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

} // namespace textform
