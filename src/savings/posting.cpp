#include "posting.h"

#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/trail/ledgerchain.h"

#include <QSqlQuery>

namespace posting {

namespace text {
const char *const kNotFound = "MAAF DATA TIDAK ADA?";
const char *const kBelowMinimum = " Tidak Boleh Kurang Dari 1000";
const char *const kZeroBalance = "SALDO TIDAK BOLEH 0";
const char *const kInsufficient = "SALDO TIDAK CUKUP";
const char *const kAccountMissing = "NO REKENING BELUM DIISI";
const char *const kAccountUnknown = "NO REKENING TIDAK ADA DI DATA NASABAH";
const char *const kCodeMissing = "KODE TRANSAKSI BELUM DIPILIH DARI DAFTAR (01 ATAU 02)";
const char *const kDebetNotEmpty = "PENYETORAN (KODE 01) DIISI DI KREDIT, DEBET HARUS KOSONG";
const char *const kKreditNotEmpty = "PENARIKAN (KODE 02) DIISI DI DEBET, KREDIT HARUS KOSONG";
} // namespace text

QString codeText(Code code)
{
    return code == Code::Deposit ? QStringLiteral("01") : QStringLiteral("02");
}

QString kind(Code code)
{
    return code == Code::Deposit ? QStringLiteral("Penyetoran") : QStringLiteral("Penarikan");
}

AmountProblem readAmount(const QString &text, Code code, Money *value)
{
    *value = Money();
    Money::Problem problem = Money::Problem::None;
    const std::optional<Money> amount = Money::parse(text, QLocale(), &problem);
    switch (problem) {
    case Money::Problem::None: break;
    case Money::Problem::Empty: return AmountProblem::Missing;
    case Money::Problem::NotANumber: return AmountProblem::NotANumber;
    case Money::Problem::TooManyDecimals: return AmountProblem::TooManyDecimals;
    case Money::Problem::TooLarge: return AmountProblem::TooLarge;
    }
    *value = *amount;
    if (amount->sen() <= 0)
        return AmountProblem::NotPositive;
    if (code == Code::Deposit && *amount < kMinimumDeposit)
        return AmountProblem::BelowMinimum;
    return AmountProblem::None;
}

QString refusal(AmountProblem problem, Code code)
{
    const QString field = code == Code::Deposit ? QStringLiteral("KREDIT") : QStringLiteral("DEBET");
    switch (problem) {
    case AmountProblem::None:
        return {};
    case AmountProblem::Missing:
        return QStringLiteral("JUMLAH %1 BELUM DIISI").arg(field);
    case AmountProblem::NotANumber:
        return QStringLiteral("JUMLAH %1 BUKAN ANGKA").arg(field);
    case AmountProblem::TooManyDecimals:
        return QStringLiteral("JUMLAH %1 PALING BANYAK 2 ANGKA DI BELAKANG KOMA (SEN)").arg(field);
    case AmountProblem::TooLarge:
        return QStringLiteral("JUMLAH %1 TERLALU BESAR").arg(field);
    case AmountProblem::NotPositive:
        return QStringLiteral("JUMLAH %1 HARUS LEBIH DARI 0").arg(field);
    case AmountProblem::BelowMinimum:
        return QString::fromLatin1(text::kBelowMinimum);
    }
    return {};
}

AmountRefusal amountRefusal(AmountProblem problem, Code code)
{
    const bool belowMinimum = problem == AmountProblem::Missing || problem == AmountProblem::NotPositive
                              || problem == AmountProblem::BelowMinimum;
    if (code == Code::Deposit && belowMinimum)
        return {QString::fromLatin1(text::kBelowMinimum), true};
    return {refusal(problem, code), false};
}

AmountRefusal balanceProblem(Code code)
{
    // A withdrawal beyond the balance is emptied; a deposit too large to add stays.
    return {balanceRefusal(code), code == Code::Withdrawal};
}

std::optional<Money> newBalance(Money previous, Code code, Money amount)
{
    if (code == Code::Deposit)
        return previous.plus(amount);
    const std::optional<Money> rest = previous.minus(amount);
    // A pupil's savings account cannot go below zero.
    if (!rest || rest->sen() < 0)
        return std::nullopt;
    return rest;
}

QString balanceRefusal(Code code)
{
    return code == Code::Deposit ? QStringLiteral("JUMLAH KREDIT TERLALU BESAR")
                                 : QString::fromLatin1(text::kInsufficient);
}

Outcome latestBalance(QSqlDatabase &database, const QString &account, Money *balance)
{
    db::Statement query;
    const QString key = db::keyColumn(database);
    const bool prepared = db::prepare(
        &query, database,
        QStringLiteral("SELECT %1, saldo FROM nabubg WHERE norekening = ? ORDER BY %1 DESC LIMIT 1").arg(key));
    query->addBindValue(account);
    if (!(prepared && query->exec()))
        return Outcome::failed(db::describeError(query->lastError(), database));
    *balance = Money();
    if (query->next()) {
        const std::optional<Money> latest = ledger::balanceOf(query->value(1));
        if (!latest)
            return Outcome::failed(ledger::unreadableBalanceText(account, query->value(0).toLongLong()));
        *balance = *latest;
    }
    if (query->lastError().isValid())
        return Outcome::failed(db::describeError(query->lastError(), database));
    return Outcome::ok();
}

Outcome registeredName(QSqlDatabase &database, const QString &account, QString *name)
{
    db::Statement query;
    const bool prepared = db::prepare(&query, database, QStringLiteral("SELECT nama FROM daftar WHERE norekening = ? ORDER BY %1 LIMIT 1").arg(db::keyColumn(database)));
    query->addBindValue(account);
    if (!(prepared && query->exec()))
        return Outcome::failed(db::describeError(query->lastError(), database));
    if (!query->next())
        return Outcome::refused(QString::fromLatin1(text::kAccountUnknown));
    *name = query->value(0).toString();
    return Outcome::ok();
}

audit::Entry trailEntry(Code code, const QString &account, const QString &token)
{
    audit::Entry entry;
    entry.tindakan = QLatin1String(code == Code::Deposit ? audit::action::kDeposit : audit::action::kWithdrawal);
    entry.norekening = account;
    entry.token = token;
    return entry;
}

QVector<QVariant> ledgerRow(const QString &account, const QString &name, const QDate &date, Code code,
                            Money amount)
{
    const bool deposit = code == Code::Deposit;
    return {account,
            name,
            date,
            codeText(code),
            kind(code),
            deposit ? 0.0 : amount.toDouble(),
            deposit ? amount.toDouble() : 0.0,
            QVariant()};
}

QString amountChangedQuestion(Money amount, Money next)
{
    return QStringLiteral("Jumlah sudah diubah sesudah saldo barunya dihitung.\n"
                          "Dengan jumlah Rp %1 saldo barunya menjadi Rp %2.\nSimpan dengan saldo baru ini?")
        .arg(amount.toText(), next.toText());
}

QString balanceQuestion(const QString &account, const std::optional<Money> &shown, Money now, Money next)
{
    const QString previous =
        shown ? QStringLiteral("Saldo rekening %1 sudah berubah sejak ditampilkan: saldo lamanya sekarang Rp %2, "
                               "bukan Rp %3.")
                    .arg(account, now.toText(), shown->toText())
              : QStringLiteral("Saldo rekening %1 belum ditampilkan: saldo lamanya Rp %2.").arg(account, now.toText());
    return previous
           + QStringLiteral("\nDengan transaksi ini saldo barunya menjadi Rp %1.\nSimpan dengan saldo baru ini?")
                 .arg(next.toText());
}

recordwrite::Check postingCheck(const QString &account, Code code, Money amount,
                                const std::shared_ptr<ShownBalance> &shown)
{
    return [account, code, amount, shown](QSqlDatabase &database, QVector<QVariant> &row) {
        // Until this write ends no other posting on the account reads its balance,
        // nor is its customer deleted or renumbered: the chain of balances cannot
        // fork and no posting is lost.
        Outcome outcome = ledger::lockAccount(database, account);
        if (!outcome.isOk())
            return outcome;
        QString name;
        outcome = registeredName(database, account, &name);
        if (!outcome.isOk())
            return outcome;
        Money previous;
        outcome = latestBalance(database, account, &previous);
        if (!outcome.isOk())
            return outcome;
        const std::optional<Money> balance = newBalance(previous, code, amount);
        if (!balance)
            return Outcome::refused(balanceRefusal(code));
        if (shown && shown->previous != previous) {
            shown->differed = true;
            return Outcome::refused(balanceQuestion(account, shown->previous, previous, *balance));
        }
        row[1] = name;
        row[7] = balance->toDouble();
        return Outcome::ok();
    };
}

} // namespace posting
