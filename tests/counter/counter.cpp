// simparo-testcounter: a second counter for the tests. Posts one transaction on the
// database the setting file names, through the same check and record source write
// as "SAVE" on the transaction screen.
//   simparo-testcounter ACCOUNT 01|02 AMOUNT
// or prints the account's passbook, as "Cetak" does, without a printer:
//   simparo-testcounter ACCOUNT buku
// and prints "ok PRINTED LEFT" (the rows it printed, and those still not printed).
// Prints "siap" once its record source is open, then "ok SALDO" after the posting,
// or "ditolak MESSAGE" (exit 1) or "gagal MESSAGE" (exit 2).
#include "data/base/money.h"
#include "data/engine/connectiontext.h"
#include "data/records/recordsource.h"
#include "savings/passbook.h"
#include "savings/posting.h"

#include <QCoreApplication>
#include <QDate>
#include <cstdio>

namespace {
int tell(const char *word, const QString &text, int exitCode)
{
    std::printf("%s %s\n", word, qPrintable(QString(text).replace(u'\n', u' ')));
    std::fflush(stdout);
    return exitCode;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args.at(2) == QLatin1String("buku")) {
        passbook::Layout layout;
        Outcome outcome = passbook::readLayout(db::connectionText(), &layout);
        if (!outcome.isOk())
            return tell("gagal", outcome.message(), 2);
        std::printf("siap\n");
        std::fflush(stdout);
        passbook::PageResult result;
        outcome = passbook::printPage(db::connectionText(), args.at(1), layout, true,
                                      [](const QVector<passbook::Line> &) { return Outcome::ok(); }, &result);
        if (!outcome.isOk())
            return outcome.isRefused() ? tell("ditolak", outcome.message(), 1) : tell("gagal", outcome.message(), 2);
        return tell("ok", QStringLiteral("%1 %2").arg(result.printed).arg(result.left), 0);
    }
    const std::optional<Money> amount = Money::parse(args.value(3), QLocale::c());
    if (args.size() != 4 || !amount || (args.at(2) != QLatin1String("01") && args.at(2) != QLatin1String("02")))
        return tell("gagal", QStringLiteral("usage: simparo-testcounter ACCOUNT 01|02 AMOUNT"), 2);
    const QString account = args.at(1);
    const posting::Code code = args.at(2) == QLatin1String("01") ? posting::Code::Deposit : posting::Code::Withdrawal;
    RecordSource ledger;
    if (!ledger.open(QStringLiteral("nabubg")))
        return tell("gagal", ledger.lastError(), 2);
    std::printf("siap\n");
    std::fflush(stdout);
    if (!ledger.addNew(posting::ledgerRow(account, QString(), QDate::currentDate(), code, *amount),
                       posting::postingCheck(account, code, *amount)))
        return ledger.lastWrite().isRefused() ? tell("ditolak", ledger.lastError(), 1) : tell("gagal", ledger.lastError(), 2);
    return tell("ok", ledger.value(7).toString(), 0);
}
