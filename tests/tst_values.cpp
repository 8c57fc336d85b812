// Values as the operator types them and the database stores them, read without
// a database: amounts to the sen and search criteria. (The fuzz targets in fuzz/
// check the same readers on any text.)
#include "data/base/criteria.h"
#include "data/base/money.h"

#include <QTest>

class tst_Values : public QObject
{
    Q_OBJECT

private slots:
    void criteriaAreParsed_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << "NOREKENING='0120100001'" << true << "NOREKENING" << "0120100001";
        QTest::newRow("blanks kept in value") << "NAMA=' Ani '" << true << "NAMA" << " Ani ";
        QTest::newRow("empty value") << "USER=''" << true << "USER" << "";
        QTest::newRow("doubled apostrophe") << "NAMA='Ma''ruf'" << true << "NAMA" << "Ma'ruf";
        QTest::newRow("only apostrophes") << "NAMA=''''''" << true << "NAMA" << "''";
        QTest::newRow("equals inside value") << "NAMA='a=b'" << true << "NAMA" << "a=b";
        QTest::newRow("lone apostrophe ends early") << "NAMA='Ma'ruf'" << false << "" << "";
        QTest::newRow("unclosed") << "NAMA='abc" << false << "" << "";
        QTest::newRow("no quotes") << "NAMA=abc" << false << "" << "";
        QTest::newRow("no column") << "='abc'" << false << "" << "";
        QTest::newRow("empty") << "" << false << "" << "";
    }
    void criteriaAreParsed()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto parsed = criteria::parse(text);
        QCOMPARE(parsed.has_value(), valid);
        if (valid) {
            QFETCH(QString, column);
            QFETCH(QString, value);
            QCOMPARE(parsed->column, column);
            QCOMPARE(parsed->value, value);
            // Building and parsing again gives the same value back.
            QCOMPARE(criteria::parse(criteria::build(column, value))->value, value);
        }
    }

    // Amounts are read to the sen with the locale's signs, and every amount shown
    // reads back as the same amount in the same locale.
    void moneyIsExact_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qint64>("sen"); // -1: refused
        QTest::addColumn<int>("problem");
        const int none = int(Money::Problem::None);
        QTest::newRow("whole") << "C" << "6000" << qint64(600000) << none;
        QTest::newRow("fraction") << "C" << "1500.5" << qint64(150050) << none;
        QTest::newRow("two decimals") << "C" << "0.25" << qint64(25) << none;
        QTest::newRow("blanks around") << "C" << " 1000 " << qint64(100000) << none;
        QTest::newRow("negative") << "C" << "-2000" << qint64(-200000) << none;
        QTest::newRow("three decimals") << "C" << "1000.005" << qint64(-1) << int(Money::Problem::TooManyDecimals);
        QTest::newRow("power of ten") << "C" << "1.5e3" << qint64(150000) << none;
        QTest::newRow("power beyond a trillion") << "C" << "1e308" << qint64(-1) << int(Money::Problem::TooLarge);
        QTest::newRow("currency sign") << "C" << "Rp 100" << qint64(-1) << int(Money::Problem::NotANumber);
        QTest::newRow("empty") << "C" << "" << qint64(-1) << int(Money::Problem::Empty);
        QTest::newRow("beyond a trillion") << "C" << "1000000000000.01" << qint64(-1) << int(Money::Problem::TooLarge);
        QTest::newRow("id grouping") << "id_ID" << "1.500" << qint64(150000) << none;
        QTest::newRow("id decimal comma") << "id_ID" << "1500,5" << qint64(150050) << none;
        QTest::newRow("id comma with three decimals") << "id_ID" << "1,500" << qint64(-1) << int(Money::Problem::TooManyDecimals);
        QTest::newRow("id reads the shown form") << "id_ID" << "1500.5" << qint64(150050) << none;
        QTest::newRow("id grouping and decimals") << "id_ID" << "1.000,25" << qint64(100025) << none;
        QTest::newRow("en grouping") << "en_US" << "1,500" << qint64(150000) << none;
        QTest::newRow("en bad grouping") << "en_US" << "15,00" << qint64(-1) << int(Money::Problem::NotANumber);
    }
    void moneyIsExact()
    {
        QFETCH(QString, locale);
        QFETCH(QString, typed);
        QFETCH(qint64, sen);
        QFETCH(int, problem);
        const QLocale where(locale);
        Money::Problem seen = Money::Problem::None;
        const std::optional<Money> read = Money::parse(typed, where, &seen);
        QCOMPARE(int(seen), problem);
        QCOMPARE(read ? read->sen() : qint64(-1), sen);
        if (read) {
            QCOMPARE(Money::parse(read->toText(), where)->sen(), sen);
            // The column stores the exact amount and gives it back to the sen.
            QCOMPARE(Money::fromStored(read->toDouble())->sen(), sen);
        }
    }
};

QTEST_GUILESS_MAIN(tst_Values)
#include "tst_values.moc"
