// libFuzzer target: amounts as the operator types them, read under a few locales.
// Whatever the text, reading never crashes; an amount that is read lies within the
// range the program keeps, and its text as shown (toText) reads back as the same
// amount in every locale.
#include "data/base/money.h"

#include <QLocale>
#include <QString>
#include <cstdint>
#include <cstdlib>

static void require(bool condition)
{
    if (!condition)
        std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QLocale locales[] = {
        QLocale::c(),
        QLocale(QLocale::Indonesian, QLocale::Indonesia),
        QLocale(QLocale::English, QLocale::UnitedStates),
        QLocale(QLocale::German, QLocale::Germany),
        QLocale(QLocale::French, QLocale::France), // groups with a narrow no-break space
        QLocale(QLocale::Arabic, QLocale::Egypt),  // signs with direction marks
    };
    constexpr size_t kLocales = sizeof(locales) / sizeof(locales[0]);
    if (size == 0)
        return 0;
    const QLocale &locale = locales[data[0] % kLocales];
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    Money::Problem problem = Money::Problem::None;
    const std::optional<Money> amount = Money::parse(text, locale, &problem);
    require(amount.has_value() == (problem == Money::Problem::None));
    if (!amount)
        return 0;
    require(amount->sen() <= Money::kLargestSen && amount->sen() >= -Money::kLargestSen);
    const QString shown = amount->toText();
    for (const QLocale &other : locales) {
        const std::optional<Money> back = Money::parse(shown, other);
        require(back && *back == *amount);
    }
    // What the database column stores reads back as the same amount.
    const std::optional<Money> stored = Money::fromStored(amount->toDouble());
    require(stored && *stored == *amount);
    return 0;
}
