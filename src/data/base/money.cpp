#include "data/base/money.h"

#include <QRegularExpression>
#include <cmath>

namespace {
// Balances stay within what a number column holds exactly: 2^53 sen.
constexpr qint64 kLargestBalanceSen = Q_INT64_C(9007199254740991);

bool inRange(qint64 sen)
{
    return sen >= -kLargestBalanceSen && sen <= kLargestBalanceSen;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The whole-number part: digits, optionally grouped by the locale's separator in
// groups of three after a first group of one to three digits.
bool readWhole(const QString &text, const QString &group, QString *digits)
{
    digits->clear();
    if (text.isEmpty())
        return true;
    QStringList groups;
    if (!group.isEmpty() && text.contains(group)) {
        groups = text.split(group);
    } else if (!group.isEmpty() && (group == QStringLiteral("\u00a0") || group == QStringLiteral("\u202f"))
               && text.contains(u' ')) {
        groups = text.split(u' ');
    } else {
        groups = {text};
    }
    for (int i = 0; i < groups.size(); ++i) {
        const QString &part = groups.at(i);
        if (part.isEmpty() || (groups.size() > 1 && (i == 0 ? part.size() > 3 : part.size() != 3)))
            return false;
        for (QChar c : part)
            if (!isAsciiDigit(c))
                return false;
        *digits += part;
    }
    return true;
}
} // namespace

std::optional<Money> Money::fromStored(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return std::nullopt;
    const double sen = std::round(number * 100.0);
    if (std::fabs(sen) > double(kLargestBalanceSen))
        return std::nullopt;
    return Money(static_cast<qint64>(sen));
}

std::optional<Money> Money::parse(const QString &typed, const QLocale &locale, Problem *problem)
{
    Problem dummy;
    Problem &result = problem ? *problem : dummy;
    result = Problem::None;
    auto refuse = [&result](Problem why) -> std::optional<Money> {
        result = why;
        return std::nullopt;
    };
    QString text = typed.trimmed();
    if (text.isEmpty())
        return refuse(Problem::Empty);
    bool negative = false;
    if (text.startsWith(u'-') || text.startsWith(locale.negativeSign())) {
        negative = true;
        text = text.mid(text.startsWith(u'-') ? 1 : locale.negativeSign().size());
    } else if (text.startsWith(u'+') || text.startsWith(locale.positiveSign())) {
        text = text.mid(text.startsWith(u'+') ? 1 : locale.positiveSign().size());
    }

    QString whole;    // digits before the decimal sign
    QString fraction; // digits after it
    int exponent = 0;
    static const QRegularExpression shown(QStringLiteral("^([0-9]+)(?:\\.([0-9]{1,2}))?$"));
    const QRegularExpressionMatch plain = shown.match(text);
    if (plain.hasMatch()) {
        // The form amounts are shown in reads the same in every locale.
        whole = plain.captured(1);
        fraction = plain.captured(2);
    } else {
        QString mantissa = text;
        const int e = text.indexOf(locale.exponential(), 0, Qt::CaseInsensitive);
        if (e >= 0) {
            static const QRegularExpression power(QStringLiteral("^[+-]?[0-9]{1,4}$"));
            const QString exponentText = text.mid(e + locale.exponential().size());
            if (!power.match(exponentText).hasMatch())
                return refuse(Problem::NotANumber);
            exponent = exponentText.toInt();
            mantissa = text.left(e);
        }
        const QString decimal = locale.decimalPoint();
        const int mark = mantissa.indexOf(decimal);
        const QString wholeText = mark < 0 ? mantissa : mantissa.left(mark);
        fraction = mark < 0 ? QString() : mantissa.mid(mark + decimal.size());
        if (!readWhole(wholeText, locale.groupSeparator(), &whole) || (whole.isEmpty() && fraction.isEmpty())
            || (mark >= 0 && fraction.isEmpty()))
            return refuse(Problem::NotANumber);
        for (QChar c : std::as_const(fraction))
            if (!isAsciiDigit(c))
                return refuse(Problem::NotANumber);
    }
    // The digits and where the decimal sign stands among them.
    QString digits = whole + fraction;
    int decimals = int(fraction.size()) - exponent;
    if (exponent != 0) {
        // A power of ten judges the value: trailing zeros are no decimals.
        while (decimals > 0 && digits.size() > 1 && digits.endsWith(u'0')) {
            digits.chop(1);
            --decimals;
        }
    }
    if (decimals > 2)
        return refuse(Problem::TooManyDecimals);
    digits += QString(2 - decimals, u'0'); // now a count of sen
    while (digits.size() > 1 && digits.startsWith(u'0'))
        digits.remove(0, 1);
    if (digits.size() > 15)
        return refuse(Problem::TooLarge);
    const qint64 sen = digits.toLongLong();
    if (sen > kLargestSen)
        return refuse(Problem::TooLarge);
    return Money(negative ? -sen : sen);
}

QString Money::toText() const
{
    const qint64 magnitude = sen_ < 0 ? -sen_ : sen_;
    QString text = QString::number(magnitude / 100);
    const qint64 cents = magnitude % 100;
    if (cents != 0) {
        text += u'.';
        text += QChar(u'0' + int(cents / 10));
        if (cents % 10 != 0)
            text += QChar(u'0' + int(cents % 10));
    }
    return sen_ < 0 ? u'-' + text : text;
}

std::optional<Money> Money::plus(Money other) const
{
    const qint64 sum = sen_ + other.sen_;
    if (!inRange(sum))
        return std::nullopt;
    return Money(sum);
}

std::optional<Money> Money::minus(Money other) const
{
    const qint64 difference = sen_ - other.sen_;
    if (!inRange(difference))
        return std::nullopt;
    return Money(difference);
}
