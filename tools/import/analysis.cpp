// What becomes of each row of an old file: the checks of its columns, and the
// findings the report names.
#include "importer.h"

#include "data/base/money.h"
#include "data/base/schema.h"
#include "mdbstream.h"

#include <QDate>
#include <QRegularExpression>
#include <cmath>
#include <optional>

namespace import {

namespace {

const QStringList kTableNames = {QStringLiteral("daftar"), QStringLiteral("nabubg"), QStringLiteral("tpassword")};

enum NabubgColumn { kRek, kNama, kTanggal, kKode, kJenis, kDebet, kKredit, kSaldo };

QString quoted(const QString &text)
{
    return u'"' + legacy::printable(text) + u'"';
}

// The amount in sen when the double is exactly an amount with at most two decimals.
std::optional<qint64> sen(double value)
{
    if (!(std::fabs(value) < 1e13))
        return std::nullopt;
    const double cents = std::round(value * 100.0);
    if (cents / 100.0 != value)
        return std::nullopt;
    return static_cast<qint64>(cents);
}

// An amount as the report names it: as the program shows it when it is a whole
// number of sen, else to fifteen digits.
QString amountText(double value)
{
    const std::optional<qint64> whole = sen(value);
    return whole ? Money::fromSen(*whole).toText() : QString::number(value, 'g', 15);
}

bool isBirthDate(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d\\d\\d$"));
    return form.match(text).hasMatch() && QDate::fromString(text, QStringLiteral("dd/MM/yyyy")).isValid();
}

constexpr const char *kKeptAsIs = "tetap di nabubg apa adanya";

// Access's own names of its column types.
QString typeName(int type)
{
    static const char *const names[] = {nullptr,    "Yes/No",     "Byte",   "Integer",   "Long Integer",
                                        "Currency", "Single",     "Double", "Date/Time", "Binary",
                                        "Text",     "OLE Object", "Memo"};
    return type > 0 && type < int(std::size(names)) ? QLatin1String(names[type]) : QStringLiteral("nomor %1").arg(type);
}

} // namespace

QString Finding::line() const
{
    QString place = row > 0 ? QStringLiteral("%1 baris %2").arg(table).arg(row) : table;
    if (aboutAccount)
        place += QStringLiteral(", rekening %1, nasabah %2").arg(quoted(account), quoted(name));
    return QStringLiteral("%1 %2: %3 -> %4")
        .arg(anomaly ? QStringLiteral("ANOMALI") : QStringLiteral("CATATAN"), place, what, where);
}

bool shape(int table, const legacy::Table &old, QList<int> *positions, QString *error)
{
    const QStringList wanted = table == kDaftar    ? schema::daftar().columnNames()
                               : table == kNabubg ? schema::nabubg().columnNames()
                                                  : QStringList{QStringLiteral("user"), QStringLiteral("password")};
    positions->clear();
    QStringList problems;
    for (const QString &name : wanted) {
        int found = -1;
        for (int c = 0; c < old.columns.size(); ++c)
            if (old.columns[c].name.compare(name, Qt::CaseInsensitive) == 0)
                found = c;
        if (found < 0) {
            problems << QStringLiteral("kolom %1 tidak ada").arg(name);
            continue;
        }
        int want = mdbstream::kTypeText;
        if (table == kNabubg && name == QLatin1String("TANGGAL"))
            want = mdbstream::kTypeDateTime;
        else if (table == kNabubg
                 && (name == QLatin1String("debet") || name == QLatin1String("kredit") || name == QLatin1String("saldo")))
            want = mdbstream::kTypeDouble;
        const int type = old.columns[found].type;
        const bool fits = type == want || (want == mdbstream::kTypeText && type == mdbstream::kTypeMemo);
        if (!fits)
            problems << QStringLiteral("kolom %1 bertipe %2, bukan %3").arg(name, typeName(type), typeName(want));
        *positions << found;
    }
    for (const legacy::Column &column : old.columns)
        if (!wanted.contains(column.name, Qt::CaseInsensitive))
            problems << QStringLiteral("kolom %1 tidak dikenal").arg(legacy::printable(column.name));
    if (problems.isEmpty())
        return true;
    *error = QStringLiteral("Tabel %1 di file lama tidak seperti yang diharapkan: %2. "
                            "Tidak ada kolom yang boleh hilang atau dibuang diam-diam.")
                 .arg(legacy::printable(old.name), problems.join(QStringLiteral("; ")));
    return false;
}

Analysis::Analysis(Existing existing, bool keepsTimeOfDay)
    : existing_(std::move(existing))
    , keepsTimeOfDay_(keepsTimeOfDay)
    , balance_(existing_.lastBalance)
{ }

void Analysis::note(bool anomaly, const QString &table, qint64 row, const QString &what, const QString &where)
{
    Finding finding;
    finding.anomaly = anomaly;
    finding.table = table;
    finding.row = row;
    finding.what = what;
    finding.where = where;
    note(finding);
}

void Analysis::note(const Finding &finding)
{
    text_ += finding.line().toUtf8() + '\n';
    ++(finding.anomaly ? anomalies_ : notices_);
}

QStringList Analysis::lines() const
{
    return QString::fromUtf8(text_).split(u'\n', Qt::SkipEmptyParts);
}

bool Analysis::customer(const QVariantList &row, QString *reason)
{
    const qint64 n = ++customers_;
    const QString daftar = kTableNames[kDaftar];
    const QString setAside = QStringLiteral("disisihkan ke tabel %1").arg(QLatin1String(kSetAsideTable));
    const QString number = row.at(0).toString();
    reason->clear();
    if (number.isEmpty())
        *reason = QStringLiteral("nomor rekening kosong");
    else if (number.toUcs4().size() > 10)
        *reason = QStringLiteral("nomor rekening %1 lebih dari 10 karakter").arg(quoted(number));
    else if (existing_.accounts.contains(number))
        *reason = QStringLiteral("nomor rekening %1 sudah ada di database tujuan").arg(quoted(number));
    else if (firstRow_.contains(number))
        *reason = QStringLiteral("nomor rekening %1 sudah dipakai oleh daftar baris %2 (%3)")
                      .arg(quoted(number))
                      .arg(firstRow_.value(number).first)
                      .arg(quoted(firstRow_.value(number).second));
    if (!reason->isEmpty()) {
        ++setAside_;
        note(true, daftar, n, QStringLiteral("nasabah %1, %2").arg(quoted(row.at(1).toString()), *reason), setAside);
    } else {
        firstRow_.insert(number, {n, row.at(1).toString()});
    }
    const QString born = row.at(3).toString();
    if (!isBirthDate(born))
        note(false, daftar, n,
              born.isEmpty() ? QStringLiteral("tanggal lahir kosong")
                             : QStringLiteral("tanggal lahir %1 bukan dd/mm/yyyy").arg(quoted(born)),
              reason->isEmpty() ? QStringLiteral("disimpan apa adanya") : setAside);
    return reason->isEmpty();
}

void Analysis::posting(const QVariantList &row)
{
    const qint64 n = ++postings_;
    const QString number = row.at(kRek).toString();
    // The customer's name as the register has it; the row's own for an account that is not there.
    const bool registered = firstRow_.contains(number) || existing_.accounts.contains(number);
    const QString name = firstRow_.contains(number)             ? firstRow_.value(number).second
                         : existing_.accounts.contains(number) ? existing_.accounts.value(number)
                                                                : row.at(kNama).toString();
    auto note = [&](bool anomaly, const QString &what, const QString &where) {
        Finding finding = {anomaly, kTableNames[kNabubg], n, what, where, true, number, name};
        Analysis::note(finding);
    };
    if (!registered)
        note(true, QStringLiteral("tidak ada di daftar nasabah"), QLatin1String(kKeptAsIs));
    const QVariant date = row.at(kTanggal);
    if (date.isNull())
        note(true, QStringLiteral("TANGGAL kosong"), QStringLiteral("tetap di nabubg, TANGGAL NULL"));
    else if (date.toString().size() > 10)
        note(false, QStringLiteral("TANGGAL %1 memuat jam").arg(quoted(date.toString())),
             keepsTimeOfDay_ ? QStringLiteral("disimpan apa adanya") : QStringLiteral("hanya tanggalnya yang disimpan"));

    static const char *const amountNames[] = {"debet", "kredit", "saldo"};
    double amount[3];
    std::optional<qint64> cents[3];
    bool whole = true;
    for (int a = 0; a < 3; ++a) {
        const QVariant value = row.at(kDebet + a);
        amount[a] = value.isNull() ? 0.0 : value.toDouble();
        cents[a] = sen(amount[a]);
        if (value.isNull())
            note(true, QStringLiteral("%1 kosong").arg(QLatin1String(amountNames[a])),
                 QStringLiteral("tetap di nabubg, %1 NULL").arg(QLatin1String(amountNames[a])));
        else if (!cents[a])
            note(true,
                 QStringLiteral("%1 %2 bukan jumlah sen yang utuh (1/100 rupiah)")
                     .arg(QLatin1String(amountNames[a]), QString::number(amount[a], 'g', 17)),
                 QLatin1String(kKeptAsIs));
        whole = whole && cents[a].has_value();
    }
    if (row.at(kSaldo).isNull())
        return; // reported above; the next row goes on from the same balance
    const double previous = balance_.value(number, 0.0);
    const std::optional<qint64> previousSen = sen(previous);
    const bool chained = whole && previousSen ? *previousSen + *cents[1] - *cents[0] == *cents[2]
                                              : previous + amount[1] - amount[0] == amount[2];
    if (!chained)
        note(true,
             QStringLiteral("saldo %1 tidak sama dengan saldo sebelumnya %2 + kredit %3 - debet %4 = %5")
                 .arg(amountText(amount[2]), amountText(previous), amountText(amount[1]), amountText(amount[0]),
                      amountText(previous + amount[1] - amount[0])),
             QLatin1String(kKeptAsIs));
    balance_.insert(number, amount[2]);
}

void Analysis::user(const QVariantList &row)
{
    const qint64 n = ++users_;
    const QString tpassword = kTableNames[kTpassword];
    const QString user = row.at(0).toString();
    userNames_ << quoted(user);
    const QString where = QStringLiteral("tetap di tpassword; login memakai baris yang pertama");
    if (user.isEmpty())
        note(true, tpassword, n, QStringLiteral("nama user kosong"), QStringLiteral("tetap di tpassword"));
    else if (existing_.users.contains(user))
        note(true, tpassword, n, QStringLiteral("user %1 sudah ada di database tujuan").arg(quoted(user)), where);
    else if (firstUser_.contains(user))
        note(true, tpassword, n,
              QStringLiteral("user %1 sudah ada di tpassword baris %2").arg(quoted(user)).arg(firstUser_.value(user)),
              where);
    else
        firstUser_.insert(user, n);
}

void Analysis::finish()
{
    if (users_ == 0 && existing_.users.isEmpty())
        note(true, kTableNames[kTpassword], 0, QStringLiteral("tidak ada operator; tidak seorang pun bisa login"),
              QStringLiteral("buat database baru dengan simparo-initdb, lalu impor dengan --into-existing"));
}

} // namespace import
