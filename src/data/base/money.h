#pragma once

#include <QLocale>
#include <QString>
#include <QVariant>
#include <QtGlobal>
#include <optional>

// An amount of money: an exact count of sen (1/100 rupiah). Every amount and
// balance is one, from the text the operator types to the value stored and the
// text shown; a double appears only at the database column, which stores the
// exact amount and is read back rounded to the nearest sen.
class Money
{
public:
    // The largest amount the program takes or keeps: a trillion rupiah.
    static constexpr qint64 kLargestSen = Q_INT64_C(100000000000000);

    constexpr Money() = default;
    static constexpr Money fromSen(qint64 sen) { return Money(sen); }
    static constexpr Money fromRupiah(qint64 rupiah) { return Money(rupiah * 100); }

    // A value as a number column holds it (a double, an integer or a number text),
    // rounded to the nearest sen; nothing when it is no number or out of range.
    static std::optional<Money> fromStored(const QVariant &value);

    enum class Problem { None, Empty, NotANumber, TooManyDecimals, TooLarge };
    // Reads an amount as the operator typed it: in the form amounts are shown in
    // (digits, a full stop and at most two decimals), or with the locale's decimal
    // sign and digit grouping ("1.500" is 1500 and "1.000,25" is 1000.25 under an
    // Indonesian locale). At most two decimals; blanks around the number are ignored.
    static std::optional<Money> parse(const QString &text, const QLocale &locale = QLocale(),
                                      Problem *problem = nullptr);

    constexpr qint64 sen() const { return sen_; }
    // The exact amount as a number column stores it.
    double toDouble() const { return double(sen_) / 100.0; }
    // The text shown for the amount: no grouping, a full stop before decimals,
    // whole amounts without decimals (6000, -2000, 1500.5), the same in every
    // locale. parse() reads it back as the same amount in every locale.
    QString toText() const;

    // The sum or difference; nothing when it would leave the range.
    std::optional<Money> plus(Money other) const;
    std::optional<Money> minus(Money other) const;

    friend constexpr bool operator==(Money a, Money b) { return a.sen_ == b.sen_; }
    friend constexpr auto operator<=>(Money a, Money b) { return a.sen_ <=> b.sen_; }

private:
    constexpr explicit Money(qint64 sen) : sen_(sen) {}
    qint64 sen_ = 0;
};
