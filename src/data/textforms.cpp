#include "textforms.h"

#include <cmath>

namespace textform {

QString number(double value)
{
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', 15);
}

QString shortDate(const QDate &date)
{
    return QLocale().toString(date, QLocale::ShortFormat);
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
    case QMetaType::Float:
        return number(value.toDouble());
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return shortDate(storedDate(value));
    default:
        return value.toString();
    }
}

std::optional<double> amount(const QString &text, const QLocale &locale)
{
    bool ok = false;
    const double value = locale.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace textform
