// libFuzzer target: criteria texts as the screens build and the record sources parse them.
// Whatever the text, parsing never crashes; a parsed criterion written out again
// parses back to itself; and a value built into criteria parses back to exactly that
// value, so a search never matches a row that the plain comparison rejects.
#include "data/base/criteria.h"
#include "data/base/schema.h"

#include <QString>
#include <QVariant>
#include <cstdint>
#include <cstdlib>

static void require(bool condition)
{
    if (!condition)
        std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    // Any text as criteria.
    if (const auto parsed = criteria::parse(text)) {
        require(!parsed->column.isEmpty() && !parsed->column.contains(u'='));
        const auto again = criteria::parse(criteria::build(parsed->column, parsed->value));
        require(again && again->column == parsed->column && again->value == parsed->value);
    }

    // The text split in two: a value as typed, and a stored cell it is compared with.
    const qsizetype half = text.size() / 2;
    const QString typed = text.left(half);
    const QString cell = text.mid(half);
    const auto built = criteria::parse(criteria::build(QStringLiteral("NOREKENING"), typed));
    require(built && built->column == QLatin1String("NOREKENING") && built->value == typed);
    require(schema::matches(QVariant(cell), built->value) == (cell == typed));
    require(schema::matches(QVariant(typed), built->value));
    return 0;
}
