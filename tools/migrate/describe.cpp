// What a move found: its checks, and the report it prints.
#include "migrate/transfer.h"

#include "data/trail/audit.h"
#include "data/engine/catalog.h"
#include "common/commandline.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/operators/operators.h"
#include "data/operators/supervision.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/base/textforms.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <charconv>

namespace transfer {

bool Result::chainsAgree() const
{
    if (sourceChains.rows != targetChains.rows || sourceChains.accounts != targetChains.accounts
        || sourceChains.breaks != targetChains.breaks || sourceChains.shown.size() != targetChains.shown.size())
        return false;
    for (qsizetype i = 0; i < sourceChains.shown.size(); ++i)
        if (sourceChains.shown.at(i).row.key != targetChains.shown.at(i).row.key)
            return false;
    return true;
}

bool Result::tablesAgree() const
{
    return !source.isEmpty() && source == target;
}

bool Result::holds() const
{
    return moved && checked && tablesAgree() && chainsAgree() && trail.hasTrail && trail.holds();
}

QStringList describe(const Result &result)
{
    QStringList lines;
    lines << QStringLiteral("Pindah database SIMPARO")
          << QStringLiteral("Dari : %1").arg(result.from)
          << QStringLiteral("       dibaca dalam satu transaksi baca (satu snapshot): yang ditulis loket lain "
                            "selama pindah tidak ikut terbawa")
          << QStringLiteral("Ke   : %1 (database baru, diisi dalam satu transaksi)").arg(result.to)
          << QStringLiteral("Waktu: %1").arg(QDateTime::currentDateTime().toString(Qt::ISODate)) << QString();
    if (!result.moved)
        return lines;
    lines << QStringLiteral("Pemeriksaan tujuan sesudah pindah:");
    for (const TableDigest &source : result.source) {
        TableDigest target;
        for (const TableDigest &candidate : result.target)
            if (candidate.table == source.table)
                target = candidate;
        const QString note = source.table == QLatin1String("jejak")
            ? QStringLiteral(" (tanpa baris pindah yang baru)")
            : source.table == schema::tpassword().name ? QStringLiteral(" (tanpa password)") : QString();
        lines << QStringLiteral("  %1 %2 baris%3: %4")
                     .arg(source.table.leftJustified(16))
                     .arg(source.rows)
                     .arg(note,
                          source == target ? QStringLiteral("jumlah dan digest cocok (%1)").arg(QString::fromLatin1(source.digest.left(16)))
                                           : QStringLiteral("TIDAK COCOK: di tujuan %1 baris, digest %2, di sumber digest %3")
                                                 .arg(target.rows)
                                                 .arg(QString::fromLatin1(target.digest.left(16)),
                                                      QString::fromLatin1(source.digest.left(16))));
    }
    if (result.checked) {
        lines << QStringLiteral("  Kesinambungan saldo: %1 baris, %2 rekening, %3 putus: %4")
                     .arg(result.targetChains.rows)
                     .arg(result.targetChains.accounts)
                     .arg(result.targetChains.breaks)
                     .arg(result.chainsAgree() ? QStringLiteral("sama dengan sumber")
                                               : QStringLiteral("TIDAK SAMA dengan sumber (%1 putus)")
                                                     .arg(result.sourceChains.breaks));
        lines << QStringLiteral("  Pemeriksaan simparo-verify:");
        for (const QString &line : audit::describe(result.trail))
            lines << QStringLiteral("    ") + line;
    }
    if (!result.operators.isEmpty()) {
        lines << QString()
              << QStringLiteral("Password operator tidak ikut pindah (bentuk hash-nya berbeda di file dan di server). "
                                "%1 operator berikut belum bisa login sampai diberi password baru:")
                     .arg(result.operators.size());
        // Each line names the new database: run elsewhere it would reset the operator of another.
        const QString where = result.service.isEmpty()
            ? QStringLiteral("--from %1").arg(cli::shellWord(QDir::toNativeSeparators(result.file)))
            : QStringLiteral("--server %1").arg(cli::shellWord(result.service));
        for (const Operator &op : result.operators)
            lines << QStringLiteral("  simparo-operator %1 reset %2").arg(where, textform::printable(cli::shellWord(op.user)));
    }
    if (result.moved && !result.service.isEmpty())
        lines << QString()
              << QStringLiteral("Peran pencari nama operator (untuk loket) belum punya password. Buat dan cetak baris "
                                "~/.pgpass loket dengan:")
              << QStringLiteral("  simparo-initdb --upgrade --server %1 --new-lookup-password").arg(cli::shellWord(result.service));
    lines << QString()
          << (result.holds() ? QStringLiteral("Hasil: semua cocok.")
                             : QStringLiteral("Hasil: TIDAK COCOK; periksa baris di atas."));
    return lines;
}

} // namespace transfer

namespace db {

bool operatorsArrived(QSqlDatabase &target, const QList<transfer::Operator> &operators, QSqlError *error)
{
    const Dialect &engine = dialect(target);
    std::unique_ptr<RowSink> sink =
        engine.sink(target, schema::tpassword().name,
                    {engine.keyColumn(), QStringLiteral("\"user\""), QStringLiteral("\"password\"")});
    const std::optional<QByteArray> password = engine.unusablePassword();
    for (const transfer::Operator &op : operators) {
        const QByteArray user = op.user.toUtf8();
        Value values[3];
        values[0].type = Value::Type::Integer;
        values[0].integer = op.key;
        values[1].type = Value::Type::Text;
        values[1].text = user;
        if (password) {
            values[2].type = Value::Type::Text;
            values[2].text = *password;
        }
        if (!sink->add(values))
            break;
    }
    if (!sink->finish()) {
        *error = sink->error();
        return false;
    }
    // On a server every operator gets his role (none that can log in: his password
    // is reset), with the rights of the operators' group.
    operators::Access access;
    const Outcome secured = operators::secure(target, &access);
    if (secured.isOk())
        return true;
    *error = QSqlError(QString(), secured.message(), QSqlError::TransactionError);
    return false;
}

} // namespace db
