// The made-up data of simparo-screenshots: customers, their postings and the
// trail rows of both, written into a new database file.
#include "screenshots.h"

#include "data/base/passwords.h"
#include "data/base/textforms.h"
#include "data/newdb/newdatabase.h"
#include "data/operators/supervision.h"
#include "data/trail/audit.h"
#include "savings/posting.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>
#include <memory>

namespace shots {

namespace {

// Made-up customers: number, name, birth place, birth date, address, city, postcode, education, telephone.
struct Customer {
    const char *number, *name, *place, *born, *address, *city, *postcode, *education, *phone;
};
const Customer kCustomers[] = {
    {"0120240001", "Ahmad Fauzi", "Medan", "12/03/2010", "Jl. Melati No. 4", "Medan", "20111", "SD", "061-4512345"},
    {"0120240002", "Siti Aminah", "Binjai", "05/08/2008", "Jl. Kenanga No. 11", "Binjai", "20712", "SMP",
     "061-8823410"},
    {"0120240003", "Rizky Pratama", "Medan", "21/01/2006", "Jl. Sei Batang Hari 27", "Medan", "20122", "SMU",
     "0812-6012-3344"},
    {"0120240004", "Nur Aisyah Lubis", "Tebing Tinggi", "30/11/2003", "Jl. Gatot Subroto 150", "Medan", "20127",
     "MAHASISWA", "0813-7055-1200"},
    {"0120240005", "Dedi Siregar", "Pematangsiantar", "17/06/2009", "Jl. Merdeka No. 8", "Pematangsiantar", "21118",
     "SMP", "0622-21455"},
    {"0120240006", "Putri Handayani", "Medan", "02/09/2011", "Jl. Setia Budi 63", "Medan", "20132", "SD",
     "061-8212090"},
};

// Postings: account, date, code, amount (rupiah), and the local time, operator and
// counter its trail row names. Those of the day shown as today go to other accounts
// than the one the savings pictures show.
struct Posting {
    const char *number;
    QDate date;
    posting::Code code;
    double amount;
    QTime at;
    const char *who;
    const char *counter;
};
const Posting kPostings[] = {
    {"0120240001", QDate(2024, 7, 1), posting::Code::Deposit, 50000, QTime(8, 12), "admin", "LOKET-1"},
    {"0120240002", QDate(2024, 7, 1), posting::Code::Deposit, 125000, QTime(9, 3), "admin", "LOKET-1"},
    {"0120240001", QDate(2024, 7, 3), posting::Code::Deposit, 25000, QTime(10, 41), "kasir", "LOKET-2"},
    {"0120240003", QDate(2024, 7, 4), posting::Code::Deposit, 200000, QTime(8, 30), "admin", "LOKET-1"},
    {"0120240001", QDate(2024, 7, 8), posting::Code::Withdrawal, 15000, QTime(11, 5), "kasir", "LOKET-2"},
    {"0120240002", QDate(2024, 7, 9), posting::Code::Withdrawal, 30000, QTime(9, 47), "admin", "LOKET-1"},
    {"0120240001", QDate(2024, 7, 12), posting::Code::Deposit, 40000, QTime(8, 20), "admin", "LOKET-1"},
    {"0120240004", QDate(2024, 7, 12), posting::Code::Deposit, 350000, QTime(13, 15), "kasir", "LOKET-2"},
    {"0120240002", kToday, posting::Code::Deposit, 20000, QTime(8, 5, 12), "admin", "LOKET-1"},
    {"0120240003", kToday, posting::Code::Deposit, 50000, QTime(8, 40, 37), "kasir", "LOKET-2"},
    {"0120240004", kToday, posting::Code::Withdrawal, 25000, QTime(9, 15, 3), "admin", "LOKET-1"},
    {"0120240005", kToday, posting::Code::Deposit, 15000, QTime(10, 2, 44), "kasir", "LOKET-2"},
    {"0120240002", kToday, posting::Code::Withdrawal, 10000, QTime(11, 30, 9), "kasir", "LOKET-2"},
};

// The trail of the made-up data as the counters would have written it, one row
// for each write, but at fixed moments (at a counter seven hours east of UTC), so
// that the daily report's times and seal are the same in every run.
class FixedTrail
{
public:
    explicit FixedTrail(QSqlDatabase database) : database_(std::move(database)) {}

    bool append(const QDate &day, const QTime &at, const QString &who, const QString &counter,
                const QString &tindakan, const QString &tabel, qint64 kunci, const QString &norekening,
                const QString &rincian, const QVector<QVariant> &written, QString *error)
    {
        audit::Record record;
        record.nomor = ++last_;
        record.waktu = QDateTime(day, at, QTimeZone(7 * 3600))
                           .toUTC()
                           .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
        record.zona = QStringLiteral("+07:00");
        record.operatorName = who;
        record.loket = counter;
        record.tindakan = tindakan;
        record.tabel = tabel;
        record.kunci = kunci;
        record.norekening = norekening;
        record.rincian = rincian;
        record.isi = audit::rowContent(tabel, written);
        record.segel = QString::fromLatin1(audit::seal(seal_, audit::content(record)));
        seal_ = record.segel.toLatin1();
        QSqlQuery query(database_);
        query.prepare(QStringLiteral("INSERT INTO jejak (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                          .arg(audit::recordColumns()));
        for (const QVariant &value :
             {QVariant(record.nomor), QVariant(record.waktu), QVariant(record.zona), QVariant(record.operatorName),
              QVariant(), QVariant(record.loket), QVariant(), QVariant(record.tindakan), QVariant(record.tabel),
              QVariant(kunci), record.norekening.isNull() ? QVariant() : QVariant(record.norekening),
              record.rincian.isNull() ? QVariant() : QVariant(record.rincian), QVariant(record.isi), QVariant(),
              QVariant(record.segel)})
            query.addBindValue(value);
        if (!query.exec()) {
            *error = query.lastError().text();
            return false;
        }
        return true;
    }

private:
    QSqlDatabase database_;
    qint64 last_ = 0;
    QByteArray seal_;
};

} // namespace

bool fillDatabase(QString *error)
{
    const std::unique_ptr<db::Fill> fill = db::Fill::intoFile(db::databaseFile());
    bool existing = false;
    QStringList present;
    if (!fill->inspect(&existing, &present, error) || !fill->begin(error))
        return false;
    bool ok = true;
    {
        QSqlDatabase database = fill->database();
        FixedTrail trail(database);
        qint64 lastKey = 0;
        // A row written, its key, and its trail row.
        auto write = [&](const QString &table, const QVector<QVariant> &values, const QDate &day, const QTime &at,
                         const char *who, const char *counter, const QString &tindakan, const QString &norekening,
                         const QString &rincian = QString()) {
            if (!ok)
                return;
            QStringList marks;
            for (qsizetype i = 0; i < values.size(); ++i)
                marks << QStringLiteral("?");
            QSqlQuery query(database);
            query.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2) RETURNING rowid").arg(table, marks.join(u',')));
            for (const QVariant &value : values)
                query.addBindValue(value);
            ok = query.exec() && query.next();
            if (!ok) {
                *error = query.lastError().text();
                return;
            }
            const qint64 key = query.value(0).toLongLong();
            lastKey = key;
            query.finish();
            ok = trail.append(day, at, QString::fromLatin1(who), QString::fromLatin1(counter), tindakan, table, key,
                              norekening, rincian, values, error);
        };
        const QDate opened(2024, 6, 28);
        // The operators; admin, who logs in for the pictures, and penyelia (who approves
        // admin's correction) are supervisors.
        auto addOperator = [&](const char *user, bool supervisor) {
            write(QStringLiteral("tpassword"), {QString::fromLatin1(user), passwords::hash(QStringLiteral("admin123"))},
                  opened, QTime(7, 30), "simparo-initdb (it)", "KANTOR", QLatin1String(audit::action::kOperatorAdded),
                  QString(), audit::detail(QStringLiteral("user"), QString::fromLatin1(user)));
            if (!ok || !supervisor)
                return;
            const Outcome made = supervision::setKind(database, lastKey, QString::fromLatin1(user),
                                                      supervision::Kind::Supervisor);
            if (!made.isOk()) {
                ok = false;
                *error = made.message();
            }
        };
        addOperator("admin", true);
        addOperator("kasir", false);
        addOperator("penyelia", true);
        QHash<QString, QString> names;
        int n = 0;
        for (const Customer &c : kCustomers) {
            const QString number = QString::fromUtf8(c.number);
            write(QStringLiteral("daftar"),
                  {number, QString::fromUtf8(c.name), QString::fromUtf8(c.place), QString::fromUtf8(c.born),
                   QString::fromUtf8(c.address), QString::fromUtf8(c.city), QString::fromUtf8(c.postcode),
                   QString::fromUtf8(c.education), QString::fromUtf8(c.phone)},
                  opened, QTime(8, 0).addSecs(600 * n++), "admin", "LOKET-1",
                  QLatin1String(audit::action::kNewCustomer), number);
            names.insert(number, QString::fromUtf8(c.name));
        }
        // Each account's balance chain: saldo = previous saldo + kredit - debet.
        QHash<QString, double> balances;
        for (const Posting &p : kPostings) {
            const QString number = QString::fromUtf8(p.number);
            const bool deposit = p.code == posting::Code::Deposit;
            const double balance = balances.value(number) + (deposit ? p.amount : -p.amount);
            balances.insert(number, balance);
            write(QStringLiteral("nabubg"),
                  {number, names.value(number), textform::storedDateText(p.date), posting::codeText(p.code),
                   posting::kind(p.code), deposit ? 0.0 : p.amount, deposit ? p.amount : 0.0, balance},
                  p.date, p.at, p.who, p.counter,
                  QLatin1String(deposit ? audit::action::kDeposit : audit::action::kWithdrawal), number);
        }
    }
    if (!ok) {
        fill->discard();
        return false;
    }
    return fill->finish(error);
}

} // namespace shots
