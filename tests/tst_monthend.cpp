// The month's profit sharing or bonus, against cases worked by hand.
#include "savings/profitshare.h"

#include <QTest>

using namespace profitshare;

class tst_MonthEnd : public QObject
{
    Q_OBJECT

private slots:
    // Each account: "number|date:saldo,date:saldo,..." in posting order. Each share:
    // "number:gross:tax" in rupiah; accounts that get nothing are not listed.
    void sharesAreExactToTheRupiah_data()
    {
        QTest::addColumn<QString>("month");
        QTest::addColumn<QString>("contract"); // "m REVENUE NISBAH%" or "w BONUS"
        QTest::addColumn<QStringList>("accounts");
        QTest::addColumn<QStringList>("shares");
        QTest::addColumn<qint64>("remainderSen");
        QTest::newRow("two accounts over the month")
            << "06/2026" << "m 1000000 30" << QStringList{"A|2026-05-20:1000000", "B|2026-05-21:2000000"}
            << QStringList{"A:100000:0", "B:200000:0"} << qint64(0);
        QTest::newRow("an account opened on the 20th")
            << "06/2026" << "w 41000" << QStringList{"A|2026-06-20:1000000", "B|2026-01-02:1000000"}
            << QStringList{"A:11000:0", "B:30000:0"} << qint64(0);
        QTest::newRow("an account emptied mid-month")
            << "06/2026" << "w 45000" << QStringList{"A|2026-03-01:1000000,2026-06-16:0", "B|2026-03-01:1000000"}
            << QStringList{"A:15000:0", "B:30000:0"} << qint64(0);
        QTest::newRow("a leap February")
            << "02/2028" << "w 44000" << QStringList{"A|2028-01-31:100000", "B|2028-02-15:100000"}
            << QStringList{"A:29000:0", "B:15000:0"} << qint64(0);
        QTest::newRow("February of 28 days")
            << "02/2027" << "w 43000" << QStringList{"A|2027-01-31:100000", "B|2027-02-14:100000"}
            << QStringList{"A:28000:0", "B:15000:0"} << qint64(0);
        QTest::newRow("a remainder of one rupiah")
            << "06/2026" << "w 100000" << QStringList{"A|2026-01-02:1000000", "B|2026-01-02:1000000", "C|2026-01-02:1000000"}
            << QStringList{"A:33333:0", "B:33333:0", "C:33333:0"} << qint64(100);
        QTest::newRow("a nisbah of two decimals, rounded down to the sen")
            << "06/2026" << "m 1234567.89 33.33" << QStringList{"A|2026-01-02:1000000"} << QStringList{"A:411481:0"}
            << qint64(47);
        QTest::newRow("the tax threshold exactly: no tax")
            << "06/2026" << "w 10000" << QStringList{"A|2026-01-02:7500000"} << QStringList{"A:10000:0"} << qint64(0);
        QTest::newRow("one sen over the threshold: taxed")
            << "06/2026" << "w 10000" << QStringList{"A|2026-01-02:7500000.01"} << QStringList{"A:10000:2000"} << qint64(0);
        QTest::newRow("just under the threshold: no tax")
            << "06/2026" << "w 10000" << QStringList{"A|2026-01-02:7499999"} << QStringList{"A:10000:0"} << qint64(0);
        QTest::newRow("the tax rounded down to the rupiah")
            << "06/2026" << "w 9999" << QStringList{"A|2026-01-02:8000000"} << QStringList{"A:9999:1999"} << qint64(0);
        QTest::newRow("the balance at the month's end decides the tax")
            << "06/2026" << "w 10000" << QStringList{"A|2026-01-02:9000000,2026-06-30:100000"} << QStringList{"A:10000:0"}
            << qint64(0);
        QTest::newRow("rows only after the month: nothing")
            << "06/2026" << "w 10000" << QStringList{"A|2026-07-01:1000000", "B|2026-01-02:1000000"}
            << QStringList{"B:10000:0"} << qint64(0);
        QTest::newRow("a negative balance from the old program: nothing")
            << "06/2026" << "w 10000" << QStringList{"A|2020-01-02:-5000", "B|2026-01-02:1000000"}
            << QStringList{"B:10000:0"} << qint64(0);
        QTest::newRow("a later row dated earlier counts from its date")
            << "06/2026" << "w 82000" << QStringList{"A|2026-06-10:1000000,2026-06-05:2000000", "B|2026-01-02:1000000"}
            << QStringList{"A:52000:0", "B:30000:0"} << qint64(0);
    }
    void sharesAreExactToTheRupiah()
    {
        QFETCH(QString, month);
        QFETCH(QString, contract);
        QFETCH(QStringList, accounts);
        QFETCH(QStringList, shares);
        QFETCH(qint64, remainderSen);
        const std::optional<Month> period = Month::parse(month);
        QVERIFY(period);
        const auto money = [](const QString &text) { return *Money::parse(text, QLocale::c()); };
        Inputs inputs;
        const QStringList terms = contract.split(u' ');
        inputs.contract = terms.at(0) == QLatin1String("m") ? Contract::Mudharabah : Contract::Wadiah;
        if (inputs.contract == Contract::Mudharabah) {
            inputs.revenue = money(terms.at(1));
            inputs.nisbahBasisPoints = int(money(terms.at(2)).sen());
        } else {
            inputs.bonus = money(terms.at(1));
        }
        QList<Account> given;
        qint64 key = 0;
        for (const QString &account : std::as_const(accounts)) {
            DailyBalances balances(*period);
            for (const QString &row : account.section(u'|', 1).split(u','))
                balances.add({++key, QDate::fromString(row.section(u':', 0, 0), Qt::ISODate), money(row.section(u':', 1))});
            given << Account{account.section(u'|', 0, 0), QString(), balances.weight(), balances.endOfMonth()};
        }
        const Result result = compute(inputs, *period, given);
        QStringList got;
        qint64 gross = 0;
        for (const Share &share : result.shares) {
            got << QStringLiteral("%1:%2:%3").arg(share.number, share.gross.toText(), share.tax.toText());
            QCOMPARE(share.net.sen(), share.gross.sen() - share.tax.sen());
            gross += share.gross.sen();
        }
        QCOMPARE(got, shares);
        QCOMPARE(result.remainder.sen(), remainderSen);
        QCOMPARE(result.totalGross.sen(), gross);
        QCOMPARE(result.amount.sen(), gross + remainderSen);
    }

    void monthsAreReadAsTyped_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("days"); // 0: refused
        QTest::newRow("June") << "06/2026" << 30;
        QTest::newRow("a leap February") << "02/2028" << 29;
        QTest::newRow("December") << "12/2026" << 31;
        QTest::newRow("month 13") << "13/2026" << 0;
        QTest::newRow("month 0") << "00/2026" << 0;
        QTest::newRow("one digit") << "6/2026" << 0;
        QTest::newRow("blanks") << " 06/2026" << 0;
    }
    void monthsAreReadAsTyped()
    {
        QFETCH(QString, text);
        QFETCH(int, days);
        const std::optional<Month> month = Month::parse(text);
        QCOMPARE(month ? month->days() : 0, days);
        if (month)
            QCOMPARE(month->text(), text);
    }
};

QTEST_MAIN(tst_MonthEnd)
#include "tst_monthend.moc"
