// The two kinds of operator and keeping them, the supervisor's check in a file,
// and the messages of the supervisors' work.
#include "data/operators/supervision.h"

#include "data/operators/supervision_p.h"
#include "data/engine/dialect.h"
#include "data/engine/pool.h"
#include "data/engine/writealone.h"
#include "data/base/session.h"

#include <QSqlQuery>

namespace supervision {

namespace text {
const char *const kWrongPassword = "PASSWORD PENYELIA SALAH";
const char *const kNotSupervisor = "BUKAN PENYELIA";
const char *const kOwnAction = "PENYELIA TIDAK BOLEH MENYETUJUI TINDAKANNYA SENDIRI";
const char *const kNeedsApproval = "PENARIKAN DI ATAS BATAS PERLU PERSETUJUAN PENYELIA";
const char *const kCorrectionNeedsApproval = "KOREKSI PERLU PERSETUJUAN PENYELIA";
const char *const kApprovalNeeded = "TINDAKAN INI PERLU PERSETUJUAN PENYELIA LAIN";
const char *const kPostedIt = "PENYELIA YANG MEMPOSTING BAGI HASIL INI TIDAK BOLEH MENYETUJUI PEMBATALANNYA";
const char *const kSupervisorsOnly = "HANYA PENYELIA YANG BOLEH";
const char *const kBlocked = "REKENING DIBLOKIR: ";
const char *const kBlockReasonMissing = "ALASAN BLOKIR BELUM DIPILIH";
const char *const kNotBlocked = "REKENING INI TIDAK DIBLOKIR";
const char *const kBlockAccountUnknown = "NO REKENING TIDAK ADA DI DATA NASABAH";
} // namespace text

namespace {

const QString kKinds = QStringLiteral("jenis_operator");

using db::run;

// The last supervisor's rule refused the change (the file's trigger, the server's check).
bool leavesNoSupervisor(const Outcome &outcome)
{
    return outcome.message().contains(QLatin1String("penyelia terakhir"));
}

using db::readAlone;

} // namespace

namespace detail {

Outcome present(QSqlDatabase &database, const QString &table, bool *there)
{
    QStringList tables, views;
    QSqlError failure;
    if (!db::dialect(database).relationNames(database, &tables, &views, &failure))
        return Outcome::failed(db::describeError(failure, database));
    *there = tables.contains(table, Qt::CaseInsensitive);
    return Outcome::ok();
}

} // namespace detail

using detail::present;

QString kindText(Kind kind)
{
    return kind == Kind::Supervisor ? QStringLiteral("penyelia") : QStringLiteral("kasir");
}

std::optional<Kind> kindNamed(const QString &text)
{
    if (text == QLatin1String("penyelia"))
        return Kind::Supervisor;
    if (text == QLatin1String("kasir"))
        return Kind::Clerk;
    return std::nullopt;
}

QString lastSupervisorText(const QString &user)
{
    return QStringLiteral("Operator \"%1\" adalah penyelia terakhir; penyelia terakhir tidak boleh dihapus atau "
                          "dijadikan kasir (tidak ada lagi yang bisa menyetujui atau mengubah pengaturan). "
                          "Jadikan operator lain penyelia dulu.")
        .arg(user);
}

Outcome setKind(QSqlDatabase &database, qint64 key, const QString &user, Kind kind)
{
    QSqlQuery query;
    Outcome outcome = run(database,
                          QStringLiteral("INSERT INTO jenis_operator (nama, jenis) VALUES (?, ?) "
                                         "ON CONFLICT (nama) DO UPDATE SET jenis = excluded.jenis"),
                          {user, kindText(kind)}, &query);
    if (!outcome.isOk())
        return leavesNoSupervisor(outcome) ? Outcome::refused(lastSupervisorText(user)) : outcome;
    query.finish();
    if (!db::dialect(database).hasOperatorRoles())
        return Outcome::ok();
    return run(database, QStringLiteral("SELECT simparo_atur_penyelia(CAST(? AS bigint), CAST(? AS boolean))"),
               {key, kind == Kind::Supervisor}, &query);
}

Outcome forget(QSqlDatabase &database, const QString &user)
{
    QSqlQuery query;
    const Outcome outcome = run(database, QStringLiteral("DELETE FROM jenis_operator WHERE nama = ?"), {user}, &query);
    if (!outcome.isOk() && leavesNoSupervisor(outcome))
        return Outcome::refused(lastSupervisorText(user));
    return outcome;
}

Outcome renamed(QSqlDatabase &database, const QString &from, const QString &to)
{
    QSqlQuery query;
    return run(database, QStringLiteral("UPDATE jenis_operator SET nama = ? WHERE nama = ?"), {to, from}, &query);
}

Outcome storedKinds(QSqlDatabase &database, QHash<QString, Kind> *kinds)
{
    kinds->clear();
    bool there = false;
    if (const Outcome asked = present(database, QStringLiteral("jenis_operator"), &there); !asked.isOk() || !there)
        return asked;
    QSqlQuery query;
    const Outcome outcome = run(database, QStringLiteral("SELECT nama, jenis FROM jenis_operator"), {}, &query);
    if (!outcome.isOk())
        return outcome;
    while (query.next())
        kinds->insert(query.value(0).toString(), kindNamed(query.value(1).toString()).value_or(Kind::Clerk));
    return Outcome::ok();
}

Outcome kindOf(QSqlDatabase &database, const QString &user, Kind *kind)
{
    *kind = Kind::Clerk;
    QSqlQuery query;
    // On a server the session's own role is asked: the table only mirrors it.
    const bool server = db::dialect(database).hasOperatorRoles();
    bool there = true;
    if (const Outcome asked = present(database, server ? QStringLiteral("pengaturan") : kKinds, &there);
        !asked.isOk() || !there)
        return asked;
    const Outcome outcome =
        server ? run(database, QStringLiteral("SELECT simparo_penyelia_sesi()"), {}, &query)
               : run(database, QStringLiteral("SELECT jenis = 'penyelia' FROM jenis_operator WHERE nama = ?"), {user},
                     &query);
    if (!outcome.isOk())
        return outcome;
    if (query.next() && query.value(0).toBool())
        *kind = Kind::Supervisor;
    return Outcome::ok();
}

Outcome sessionKind(const QString &connectionText, Kind *kind)
{
    return readAlone(connectionText,
                     [&](QSqlDatabase &database) { return kindOf(database, session::operatorName(), kind); });
}

// In a file, which has no roles: refused unless the operator who logged in is a supervisor.
Outcome requireSupervisor(QSqlDatabase &database)
{
    Kind kind = Kind::Clerk;
    const Outcome outcome = kindOf(database, session::operatorName(), &kind);
    if (outcome.isOk() && kind != Kind::Supervisor)
        return Outcome::refused(QString::fromLatin1(text::kSupervisorsOnly));
    return outcome;
}

} // namespace supervision
