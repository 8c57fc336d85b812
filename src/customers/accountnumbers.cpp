#include "accountnumbers.h"

#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/trail/ledgerchain.h"
#include "shell/messages.h"

#include <QSqlQuery>
#include <memory>

namespace customers {

const char *const kNumberInUse = schema::kNumberInUse;
const char *const kNumberEmpty = "NO REKENING belum diisi.\nKetikkan nomor rekening nasabah, lalu ulangi.";
const char *const kNumberTooLong = "NO REKENING paling banyak 10 karakter.\nPerbaiki nomor rekening, lalu ulangi.";

RecordSource::WriteCheck accountNumberCheck(const std::optional<QString> &storedNumber)
{
    return [storedNumber](QSqlDatabase &database, QVector<QVariant> &row) {
        const QString text = row.value(0).toString();
        if (storedNumber && text == *storedNumber)
            return Outcome::ok();
        if (text.isEmpty())
            return Outcome::refused(QString::fromUtf8(kNumberEmpty));
        if (text.size() > kAccountNumberLength)
            return Outcome::refused(QString::fromUtf8(kNumberTooLong));
        // Two counters registering one number at the same moment: the second waits
        // here until the first has committed, then finds the number taken.
        QSqlError error;
        if (!db::writeLock(database, QStringLiteral("daftar.norekening"), text, &error))
            return Outcome::failed(db::describeError(error, database));
        db::Statement query;
        const bool prepared = db::prepare(&query, database, QStringLiteral("SELECT 1 FROM daftar WHERE norekening = ? LIMIT 1"));
        query->addBindValue(text);
        if (!(prepared && query->exec()))
            return Outcome::failed(db::describeError(query->lastError(), database));
        if (query->next())
            return Outcome::refused(QString::fromUtf8(kNumberInUse));
        return Outcome::ok();
    };
}

Outcome readLedgerRows(QSqlDatabase &database, const QString &number, LedgerRows *rows)
{
    QSqlQuery query(database);
    query.setForwardOnly(true);
    const QString key = db::keyColumn(database);
    query.prepare(QStringLiteral("SELECT count(*), max(%1), (SELECT saldo FROM nabubg WHERE norekening = ? "
                                 "ORDER BY %1 DESC LIMIT 1) FROM nabubg WHERE norekening = ?")
                      .arg(key));
    query.addBindValue(number);
    query.addBindValue(number);
    if (!query.exec() || !query.next())
        return Outcome::failed(db::describeError(query.lastError(), database));
    rows->count = query.value(0).toLongLong();
    rows->latestKey = query.value(1).toLongLong();
    rows->balance = Money();
    if (rows->count > 0) {
        const std::optional<Money> balance = ledger::balanceOf(query.value(2));
        if (!balance)
            return Outcome::failed(ledger::unreadableBalanceText(number, rows->latestKey));
        rows->balance = *balance;
    }
    return Outcome::ok();
}

QString reusedNumberQuestion(const QString &number, const LedgerRows &rows)
{
    return QStringLiteral("NO REKENING %1 tidak dipakai nasabah mana pun, tetapi di buku tabungan masih ada "
                          "%2 transaksi atas nomor ini dengan saldo terakhir Rp %3.\n"
                          "Nasabah yang disimpan dengan nomor ini mendapat transaksi dan saldo itu.\n"
                          "Lanjutkan hanya bila ini nasabah yang sama yang didaftarkan kembali. Lanjutkan?")
        .arg(number)
        .arg(rows.count)
        .arg(rows.balance.toText());
}

Written writeRegisterRow(QWidget *screen, const std::optional<QString> &storedNumber,
                         const std::function<bool(const RecordSource::WriteCheck &)> &write)
{
    const RecordSource::WriteCheck numberCheck = accountNumberCheck(storedNumber);
    std::optional<LedgerRows> agreed; // the rows the operator agreed to take on
    while (true) {
        auto asked = std::make_shared<std::optional<LedgerRows>>();
        auto number = std::make_shared<QString>();
        const RecordSource::WriteCheck check = [=](QSqlDatabase &database, QVector<QVariant> &row) {
            Outcome outcome = numberCheck(database, row);
            if (!outcome.isOk())
                return outcome;
            *number = row.value(0).toString();
            if (storedNumber && *number == *storedNumber)
                return Outcome::ok();
            // No posting on the old or the new number runs until this write ends, so
            // the ledger rows judged here are the rows the register row ends up with.
            // Taken in one order by every write, so two of them never wait for each other.
            QStringList numbers = {*number};
            if (storedNumber)
                numbers << *storedNumber;
            numbers.sort();
            for (const QString &each : std::as_const(numbers)) {
                outcome = ledger::lockAccount(database, each);
                if (!outcome.isOk())
                    return outcome;
            }
            LedgerRows rows;
            if (storedNumber) {
                // His ledger rows are kept by his number: they would have no customer.
                outcome = readLedgerRows(database, *storedNumber, &rows);
                if (!outcome.isOk())
                    return outcome;
                if (rows.count > 0)
                    return Outcome::refused(
                        QStringLiteral("NO REKENING tidak bisa diubah: nasabah ini sudah punya %1 transaksi "
                                       "di buku tabungan atas nomor %2.\n"
                                       "Kembalikan NO REKENING ke %2, lalu simpan lagi.")
                            .arg(rows.count)
                            .arg(*storedNumber));
            }
            outcome = readLedgerRows(database, *number, &rows);
            if (!outcome.isOk())
                return outcome;
            if (rows.count == 0 || (agreed && *agreed == rows))
                return Outcome::ok();
            *asked = rows;
            return Outcome::refused(reusedNumberQuestion(*number, rows));
        };
        if (write(check))
            return Written::Stored;
        if (!asked->has_value())
            return Written::Failed;
        if (!msg::askYesNo(screen, reusedNumberQuestion(*number, **asked), QStringLiteral("PERHATIAN")))
            return Written::Declined;
        agreed = *asked;
    }
}

namespace {
// The least deposit the transaction screen takes.
constexpr Money kLeastDeposit = Money::fromRupiah(1000);

// Why a customer with a balance stays, and how his balance is brought to 0: paid
// out, or (a shortfall brought over from the old program) made good by a deposit.
QString balanceLeftText(const QString &name, const QString &number, Money balance)
{
    const QString who = QStringLiteral("Nasabah %1 (NO REKENING %2) tidak bisa dihapus: ").arg(name, number);
    if (balance.sen() > 0)
        return who + QStringLiteral("saldonya masih Rp %1.\nBayarkan dulu seluruh saldonya (penarikan sebesar saldo "
                                    "di layar transaksi), lalu hapus lagi.")
                         .arg(balance.toText());
    const Money shortfall = Money::fromSen(-balance.sen());
    const QString text = who + QStringLiteral("saldonya Rp %1, kurang dari 0 (terbawa dari program lama).\n")
                                   .arg(balance.toText());
    if (shortfall >= kLeastDeposit)
        return text + QStringLiteral("Setorkan dulu kekurangannya (setoran sebesar Rp %1 di layar transaksi) sampai "
                                     "saldonya 0, lalu hapus lagi.")
                          .arg(shortfall.toText());
    return text + QStringLiteral("Setoran paling sedikit Rp %1: setorkan Rp %1, lalu tarik Rp %2 (penarikan), sampai "
                                 "saldonya 0, lalu hapus lagi.")
                      .arg(kLeastDeposit.toText(), Money::fromSen(kLeastDeposit.sen() - shortfall.sen()).toText());
}
} // namespace

RecordSource::WriteCheck deleteCheck()
{
    return [](QSqlDatabase &database, QVector<QVariant> &row) {
        const QString number = row.value(0).toString();
        // No posting on the account runs until the deletion ends: none can leave
        // money on a number whose customer is gone.
        Outcome outcome = ledger::lockAccount(database, number);
        if (!outcome.isOk())
            return outcome;
        LedgerRows rows;
        outcome = readLedgerRows(database, number, &rows);
        if (!outcome.isOk())
            return outcome;
        if (rows.balance.sen() == 0)
            return Outcome::ok();
        return Outcome::refused(balanceLeftText(row.value(1).toString(), number, rows.balance));
    };
}

} // namespace customers
