// The settings only a supervisor may change: the withdrawal limit above which a
// supervisor approves, and the withholding tax on the month's share.
#include "data/operators/supervision.h"

#include "data/operators/supervision_p.h"
#include "data/trail/audit.h"
#include "data/engine/dialect.h"
#include "data/engine/writealone.h"
#include "data/base/session.h"

#include <QSqlQuery>

namespace supervision {

namespace {

using db::readAlone;
using db::run;

// The setting's text as stored; nothing where it has no row, or the database no table of settings.
Outcome storedSetting(QSqlDatabase &database, const char *key, std::optional<QString> *text)
{
    text->reset();
    bool there = false;
    if (const Outcome asked = detail::present(database, QStringLiteral("pengaturan"), &there); !asked.isOk() || !there)
        return asked;
    QSqlQuery query;
    const Outcome outcome =
        run(database, QStringLiteral("SELECT nilai FROM pengaturan WHERE kunci = ?"), {QLatin1String(key)}, &query);
    if (!outcome.isOk())
        return outcome;
    if (query.next())
        *text = query.value(0).toString();
    return Outcome::ok();
}

// On a server: the server checks the session's role itself and writes the trail row.
Outcome setOnServer(QSqlDatabase &database, const char *key, const QString &value)
{
    QSqlQuery query;
    Outcome outcome = run(database,
                          QStringLiteral("SELECT simparo_ubah_pengaturan(CAST(? AS text), CAST(? AS text), "
                                         "CAST(? AS text), CAST(? AS text))"),
                          {QLatin1String(key), value, audit::currentZone(), session::counterName()}, &query);
    if (!outcome.isOk() && outcome.message().contains(QLatin1String("hanya penyelia")))
        return Outcome::refused(QString::fromLatin1(text::kSupervisorsOnly));
    return outcome;
}

// In a file: the program checks the operator's kind, and writes the setting and
// its trail row (old and new value).
Outcome setInFile(QSqlDatabase &database, const char *key, const QString &value)
{
    Outcome outcome = requireSupervisor(database);
    if (!outcome.isOk())
        return outcome;
    QSqlQuery query;
    outcome = run(database, QStringLiteral("SELECT nilai FROM pengaturan WHERE kunci = ?"), {QLatin1String(key)},
                  &query);
    if (!outcome.isOk())
        return outcome;
    const QString old = query.next() ? query.value(0).toString() : QString();
    query.finish();
    outcome = run(database,
                  QStringLiteral("INSERT INTO pengaturan (kunci, nilai) VALUES (?, ?) "
                                 "ON CONFLICT (kunci) DO UPDATE SET nilai = excluded.nilai"),
                  {QLatin1String(key), value}, &query);
    if (!outcome.isOk())
        return outcome;
    query.finish();
    audit::Entry entry;
    entry.tindakan = QLatin1String(audit::action::kSettingChange);
    entry.tabel = QStringLiteral("pengaturan");
    entry.rincian = audit::change(QLatin1String(key), old, value);
    return audit::append(database, entry);
}

} // namespace

Outcome withdrawalLimit(QSqlDatabase &database, Money *limit)
{
    *limit = kDefaultWithdrawalLimit;
    std::optional<QString> stored;
    const Outcome outcome = storedSetting(database, kWithdrawalLimit, &stored);
    if (!outcome.isOk() || !stored)
        return outcome;
    bool number = false;
    const qint64 sen = stored->toLongLong(&number);
    // A value that is no amount is not taken as none: nothing above 0 passes unseen.
    *limit = number && sen >= 0 ? Money::fromSen(sen) : Money::fromSen(0);
    return Outcome::ok();
}

Outcome withdrawalLimit(const QString &connectionText, Money *limit)
{
    return readAlone(connectionText, [&](QSqlDatabase &database) { return withdrawalLimit(database, limit); });
}

Outcome setWithdrawalLimit(const QString &connectionText, Money limit)
{
    if (limit.sen() < 0)
        return Outcome::refused(QStringLiteral("Batas penarikan tidak boleh kurang dari 0."));
    return setNumberSetting(connectionText, kWithdrawalLimit, limit.sen());
}

Outcome numberSetting(QSqlDatabase &database, const char *key, qint64 fallback, qint64 *value)
{
    *value = fallback;
    std::optional<QString> stored;
    const Outcome outcome = storedSetting(database, key, &stored);
    if (!outcome.isOk() || !stored)
        return outcome;
    bool number = false;
    const qint64 kept = stored->toLongLong(&number);
    if (number && kept >= 0)
        *value = kept;
    return Outcome::ok();
}

Outcome numberSetting(const QString &connectionText, const char *key, qint64 fallback, qint64 *value)
{
    return readAlone(connectionText,
                     [&](QSqlDatabase &database) { return numberSetting(database, key, fallback, value); });
}

Outcome setNumberSetting(const QString &connectionText, const char *key, qint64 number)
{
    if (number < 0)
        return Outcome::refused(QStringLiteral("Nilai pengaturan tidak boleh kurang dari 0."));
    const QString value = QString::number(number);
    return db::writeAlone(connectionText, [&](QSqlDatabase &database) {
        return db::dialect(database).hasOperatorRoles() ? setOnServer(database, key, value)
                                                        : setInFile(database, key, value);
    });
}

} // namespace supervision
