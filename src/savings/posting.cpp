#include "posting.h"

#include "data/database.h"
#include "data/textforms.h"

#include <QSqlQuery>
#include <algorithm>
#include <cmath>

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

AmountProblem readAmount(const QString &text, Code code, double *value)
{
    *value = 0;
    if (text.trimmed().isEmpty())
        return AmountProblem::Missing;
    const std::optional<double> amount = textform::amount(text);
    if (!amount)
        return AmountProblem::NotANumber;
    *value = *amount;
    if (*amount > kLargestAmount)
        return AmountProblem::TooLarge;
    if (*amount <= 0)
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
    case AmountProblem::TooLarge:
        return QStringLiteral("JUMLAH %1 TERLALU BESAR").arg(field);
    case AmountProblem::NotPositive:
        return QStringLiteral("JUMLAH %1 HARUS LEBIH DARI 0").arg(field);
    case AmountProblem::BelowMinimum:
        return QString::fromLatin1(text::kBelowMinimum);
    }
    return {};
}

std::optional<double> newBalance(double previous, Code code, double amount)
{
    const double result = code == Code::Deposit ? previous + amount : previous - amount;
    // Amounts with decimals leave a trace of binary rounding: a withdrawal of what
    // shows as the whole balance leaves exactly nothing.
    const double scale = std::max({1.0, std::fabs(previous), std::fabs(amount)});
    if (std::fabs(result) <= scale * 1e-12)
        return 0.0;
    if (code == Code::Withdrawal && result < 0)
        return std::nullopt;
    return result;
}

bool latestBalance(QSqlDatabase &database, const QString &account, double *balance, QString *error)
{
    QSqlQuery query(database);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT saldo FROM nabubg WHERE norekening = ? ORDER BY rowid DESC LIMIT 1"));
    query.addBindValue(account);
    if (!query.exec()) {
        *error = db::describeError(query.lastError(), database.databaseName());
        return false;
    }
    *balance = query.next() ? query.value(0).toDouble() : 0.0;
    return true;
}

bool registeredName(QSqlDatabase &database, const QString &account, bool *found, QString *name, QString *error)
{
    QSqlQuery query(database);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT nama FROM daftar WHERE norekening = ? ORDER BY rowid LIMIT 1"));
    query.addBindValue(account);
    if (!query.exec()) {
        *error = db::describeError(query.lastError(), database.databaseName());
        return false;
    }
    *found = query.next();
    if (*found)
        *name = query.value(0).toString();
    return true;
}

} // namespace posting
