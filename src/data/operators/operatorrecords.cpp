#include "data/operators/operators.h"

#include "data/trail/audit.h"
#include "data/base/criteria.h"
#include "data/operators/operatordirectories.h"
#include "data/base/passwords.h"
#include "data/records/recordsource.h"
#include "data/base/session.h"
#include "data/operators/supervision.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/engine/writealone.h"
#include "data/base/schema.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlQuery>
#include <algorithm>

// Keeping the operators: adding, listing, removing, their kinds and passwords,
// each with its trail row.
namespace operators {


namespace {

const QString kTpassword = QStringLiteral("tpassword");

// The first operator of a name in stored order; nothing when there is none.
Outcome firstOfName(QSqlDatabase &database, const QString &user, std::optional<qint64> *key)
{
    key->reset();
    QSqlQuery query(database);
    query.setForwardOnly(true);
    const bool prepared =
        query.prepare(QStringLiteral("SELECT %1 FROM tpassword WHERE \"user\" = ? ORDER BY %1 LIMIT 1")
                          .arg(db::keyColumn(database)));
    query.addBindValue(user);
    if (!(prepared && query.exec()))
        return Outcome::failed(db::describeError(query.lastError(), database));
    if (query.next())
        *key = query.value(0).toLongLong();
    return Outcome::ok();
}

audit::Entry operatorEntry(const char *action, qint64 key, const QString &user, bool passwordChanged)
{
    audit::Entry entry;
    entry.tindakan = QLatin1String(action);
    entry.tabel = kTpassword;
    entry.kunci = key;
    QStringList lines{audit::detail(QStringLiteral("user"), user)};
    if (passwordChanged)
        lines << audit::detail(QStringLiteral("password"), QStringLiteral("diganti"));
    entry.rincian = lines.join(u'\n');
    return entry;
}

// Runs one change of the operators on the database a tool names, in one write
// transaction that keeps every other change of the operators out.
template<typename Change>
Outcome keep(const QString &connectionText, Change change)
{
    return db::writeAlone(
        connectionText,
        [&](QSqlDatabase &database) {
            QSqlError failure;
            if (!db::dialect(database).lockTables(database, {kTpassword}, &failure))
                return Outcome::failed(db::describeError(failure, database));
            return change(database);
        },
        true);
}

QString unknownText(const QString &user)
{
    return QStringLiteral("Operator \"%1\" tidak ada.").arg(user);
}

// What an operator's row keeps in its password column for a password: in a file
// its hash (an Argon2id hash given is kept as it is; an invalid value when no
// hash could be made); where operators are roles nothing (NULL), the password
// being his role's.
QVariant rowPassword(const QSqlDatabase &database, const QString &password)
{
    if (db::dialect(database).roles())
        return QVariant(QMetaType::fromType<QString>());
    if (passwords::isHash(password))
        return password;
    const QString hash = passwords::hash(password);
    return hash.isEmpty() ? QVariant() : QVariant(hash);
}

// After an operator's row was written with a new password: his role given it
// where operators are roles; in a file the row holds it, and he can log in.
Outcome passwordSet(QSqlDatabase &database, qint64 key, const QString &password, bool *canLogIn)
{
    if (const db::Roles *roles = db::dialect(database).roles())
        return roles->setPassword(database, key, password, canLogIn);
    if (canLogIn)
        *canLogIn = true;
    return Outcome::ok();
}

} // namespace

Outcome insert(QSqlDatabase &database, const QString &user, const QString &password, qint64 *key, bool *canLogIn)
{
    const QVariant stored = rowPassword(database, password);
    if (!stored.isValid())
        return Outcome::failed(QStringLiteral("Password tidak bisa di-hash (memori tidak cukup)."));
    QSqlQuery query(database);
    const bool prepared =
        query.prepare(QStringLiteral("INSERT INTO tpassword (\"user\", \"password\") VALUES (?, ?) RETURNING %1")
                          .arg(db::keyColumn(database)));
    query.addBindValue(user);
    query.addBindValue(stored);
    if (!prepared || !query.exec() || !query.next())
        return Outcome::failed(db::describeError(query.lastError(), database));
    const qint64 made = query.value(0).toLongLong();
    query.finish();
    if (key)
        *key = made;
    return passwordSet(database, made, password, canLogIn);
}

Outcome list(const QString &connectionText, QList<Listed> *operators)
{
    operators->clear();
    db::Connection opened;
    QString error;
    if (!opened.openAsService(connectionText, &error))
        return Outcome::failed(error);
    Outcome outcome;
    {
        QSqlDatabase database = opened.database();
        QHash<qint64, bool> logins;
        QHash<QString, supervision::Kind> kinds;
        // Every row of a file logs in with the password it holds.
        if (const db::Roles *roles = db::dialect(database).roles())
            outcome = roles->logins(database, &logins);
        if (outcome.isOk())
            outcome = supervision::storedKinds(database, &kinds);
        QSqlQuery query(database);
        query.setForwardOnly(true);
        if (outcome.isOk()
            && !query.exec(QStringLiteral("SELECT %1, \"user\" FROM tpassword ORDER BY %1").arg(db::keyColumn(database))))
            outcome = Outcome::failed(db::describeError(query.lastError(), database));
        while (outcome.isOk() && query.next()) {
            const qint64 key = query.value(0).toLongLong();
            const QString user = query.value(1).toString();
            operators->append({user, key, logins.value(key, true), kinds.value(user, supervision::Kind::Clerk)});
        }
        if (outcome.isOk() && query.lastError().isValid())
            outcome = Outcome::failed(db::describeError(query.lastError(), database));
    }
    return outcome;
}

std::optional<QString> nameProblem(const QString &user)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9._-]+( [A-Za-z0-9._-]+)*$"));
    if (user.size() <= 32 && plain.match(user).hasMatch())
        return std::nullopt;
    return QStringLiteral("User hanya boleh berisi huruf, angka, titik, garis bawah dan tanda minus, kata dipisah "
                          "satu spasi, paling banyak 32 karakter.");
}

Outcome add(const QString &connectionText, const QString &user, const QString &password, supervision::Kind kind)
{
    if (const std::optional<QString> problem = nameProblem(user))
        return Outcome::refused(*problem);
    return keep(connectionText, [&](QSqlDatabase &database) {
        std::optional<qint64> existing;
        Outcome outcome = firstOfName(database, user, &existing);
        if (!outcome.isOk())
            return outcome;
        if (existing)
            return Outcome::refused(QStringLiteral("Operator \"%1\" sudah ada.").arg(user));
        qint64 key = 0;
        outcome = insert(database, user, password, &key);
        if (outcome.isOk() && kind == supervision::Kind::Supervisor)
            outcome = supervision::setKind(database, key, user, kind);
        if (!outcome.isOk())
            return outcome;
        audit::Entry entry = operatorEntry(audit::action::kOperatorAdded, key, user, false);
        if (kind == supervision::Kind::Supervisor)
            entry.rincian += u'\n' + audit::detail(QStringLiteral("jenis"), supervision::kindText(kind));
        return audit::append(database, entry);
    });
}

Outcome remove(const QString &connectionText, const QString &user)
{
    return keep(connectionText, [&](QSqlDatabase &database) {
        std::optional<qint64> key;
        Outcome outcome = firstOfName(database, user, &key);
        if (!outcome.isOk())
            return outcome;
        if (!key)
            return Outcome::refused(unknownText(user));
        QSqlQuery query(database);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT count(*) FROM tpassword")) || !query.next())
            return Outcome::failed(db::describeError(query.lastError(), database));
        if (query.value(0).toLongLong() <= 1)
            return Outcome::refused(QStringLiteral("Operator \"%1\" adalah operator terakhir; operator terakhir tidak "
                                                   "boleh dihapus (tidak ada lagi yang bisa masuk).")
                                        .arg(user));
        query.finish();
        outcome = supervision::forget(database, user);
        if (!outcome.isOk())
            return outcome;
        // The trail's row first, while the row can still be read.
        outcome = audit::append(database, operatorEntry(audit::action::kOperatorRemoved, *key, user, false));
        if (const db::Roles *roles = db::dialect(database).roles(); roles && outcome.isOk())
            outcome = roles->removed(database, *key);
        if (!outcome.isOk())
            return outcome;
        const bool prepared =
            query.prepare(QStringLiteral("DELETE FROM tpassword WHERE %1 = ?").arg(db::keyColumn(database)));
        query.addBindValue(*key);
        if (!(prepared && query.exec()))
            return Outcome::failed(db::describeError(query.lastError(), database));
        return Outcome::ok();
    });
}

Outcome setKind(const QString &connectionText, const QString &user, supervision::Kind kind)
{
    return keep(connectionText, [&](QSqlDatabase &database) {
        std::optional<qint64> key;
        Outcome outcome = firstOfName(database, user, &key);
        if (!outcome.isOk())
            return outcome;
        if (!key)
            return Outcome::refused(unknownText(user));
        QHash<QString, supervision::Kind> kinds;
        outcome = supervision::storedKinds(database, &kinds);
        if (!outcome.isOk())
            return outcome;
        const supervision::Kind before = kinds.value(user, supervision::Kind::Clerk);
        outcome = supervision::setKind(database, *key, user, kind);
        if (!outcome.isOk())
            return outcome;
        audit::Entry entry = operatorEntry(audit::action::kOperatorKind, *key, user, false);
        entry.rincian += u'\n' + audit::change(QStringLiteral("jenis"), supervision::kindText(before),
                                               supervision::kindText(kind));
        return audit::append(database, entry);
    });
}

Outcome reset(const QString &connectionText, const QString &user, const QString &password)
{
    return keep(connectionText, [&](QSqlDatabase &database) {
        std::optional<qint64> key;
        Outcome outcome = firstOfName(database, user, &key);
        if (!outcome.isOk())
            return outcome;
        if (!key)
            return Outcome::refused(unknownText(user));
        const QVariant stored = rowPassword(database, password);
        if (!stored.isValid())
            return Outcome::failed(QStringLiteral("Password tidak bisa di-hash (memori tidak cukup)."));
        QSqlQuery query(database);
        const bool prepared =
            query.prepare(QStringLiteral("UPDATE tpassword SET \"password\" = ? WHERE %1 = ?").arg(db::keyColumn(database)));
        query.addBindValue(stored);
        query.addBindValue(*key);
        if (!(prepared && query.exec()))
            return Outcome::failed(db::describeError(query.lastError(), database));
        query.finish();
        outcome = passwordSet(database, *key, password, nullptr);
        if (!outcome.isOk())
            return outcome;
        return audit::append(database, operatorEntry(audit::action::kOperatorReset, *key, user, true));
    });
}

QString passwordFileLine(const Access &access)
{
    // In .pgpass a backslash and a colon in a field are escaped with a backslash.
    const auto escaped = [](QString field) {
        field.replace(u'\\', QStringLiteral("\\\\"));
        field.replace(u':', QStringLiteral("\\:"));
        return field;
    };
    return QStringLiteral("*:*:%1:%2:%3").arg(escaped(access.database), escaped(access.lookupRole),
                                              escaped(access.lookupPassword));
}

QString newLookupPassword()
{
    static const char kLetters[] = "abcdefghijkmnopqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    QString password;
    for (int i = 0; i < 24; ++i)
        password += QLatin1Char(kLetters[QRandomGenerator::system()->bounded(int(sizeof kLetters) - 1)]);
    return password;
}

Outcome secure(QSqlDatabase &database, Access *access)
{
    Outcome outcome = db::dialect(database).secureOperators(database, access);
    for (const Access::Moved &moved : std::as_const(access->moved)) {
        if (!outcome.isOk())
            break;
        audit::Entry entry;
        entry.tindakan = QLatin1String(audit::action::kOperatorReset);
        entry.tabel = QStringLiteral("tpassword");
        entry.kunci = moved.key;
        entry.rincian = QStringList{audit::detail(QStringLiteral("user"), moved.user),
                                    audit::detail(QStringLiteral("password"),
                                                  moved.canLogIn ? QStringLiteral("dipindah ke peran server")
                                                                 : QStringLiteral("hash dihapus, perlu reset"))}
                            .join(u'\n');
        outcome = audit::append(database, entry);
    }
    return outcome;
}

} // namespace operators
