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
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/engine/writealone.h"
#include "data/base/schema.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlQuery>
#include <algorithm>

namespace operators {

namespace {
std::chrono::milliseconds g_firstWait{1000};

const QString kTpassword = QStringLiteral("tpassword");
} // namespace

std::chrono::milliseconds waitAfter(int failures)
{
    if (failures < kFreeFailures)
        return std::chrono::milliseconds(0);
    // Doubling from the first wait: past 2^15 times it is long past the longest anyway.
    const int doublings = std::min(failures - kFreeFailures, 15);
    return std::min<std::chrono::milliseconds>(g_firstWait * (qint64(1) << doublings), kLongestWait);
}

void setFirstWaitForTesting(std::chrono::milliseconds first)
{
    g_firstWait = first;
}

std::chrono::milliseconds Directory::waitBeforeCheck()
{
    int failures = 0;
    // Failures that cannot be counted hold no one up: the password is checked all the same.
    if (!hasCurrent() || !recentFailures(&failures).isOk())
        return std::chrono::milliseconds(0);
    return waitAfter(failures);
}

// ---------------------------------------------------------------------------
// A file's directory

namespace {

class FileDirectory final : public Directory
{
public:
    FileDirectory(const QString &connectionText, RecordSource *records, const QString &table)
        : connectionText_(connectionText)
        , records_(records)
    {
        if (!records_->open(table, connectionText))
            openError_ = records_->lastError();
    }

    QString openError() const override { return openError_; }

    Outcome find(const QString &user, bool *found) override
    {
        records_->moveFirst();
        const bool matched = records_->find(criteria::build(QStringLiteral("USER"), user));
        *found = matched && !records_->isEOF();
        if (!matched && !records_->lastError().isEmpty())
            return Outcome::failed(records_->lastError());
        return Outcome::ok();
    }
    bool hasCurrent() const override { return records_->hasCurrent(); }
    QString currentUser() const override
    {
        return records_->hasCurrent() ? records_->value(QStringLiteral("user")).toString() : QString();
    }

    Verdict check(const QString &password, QString *message) override
    {
        if (!records_->hasCurrent())
            return Verdict::Wrong;
        bool userRead = true;
        bool passwordRead = true;
        const QString user = records_->value(QStringLiteral("user"), &userRead).toString();
        const QString stored = records_->value(QStringLiteral("password"), &passwordRead).toString();
        if (!userRead || !passwordRead) {
            *message = records_->lastError();
            return Verdict::Failed;
        }
        switch (passwords::check(password, stored)) {
        case passwords::Verdict::Wrong:
            return Verdict::Wrong;
        case passwords::Verdict::Damaged:
            *message = passwords::damagedText(user);
            return Verdict::Damaged;
        case passwords::Verdict::Right:
            break;
        }
        confirmed_ = Confirmed{user, stored, password};
        return Verdict::Right;
    }

    Outcome recordFailure(Failure failure) override
    {
        const bool named = failure != Failure::UnknownUser && hasCurrent();
        const QString why = !named                                  ? QStringLiteral("user tidak ada")
                            : failure == Failure::DamagedPassword ? QStringLiteral("password rusak")
                                                                    : QStringLiteral("password salah");
        return audit::recordLogin(connectionText_, named ? currentUser() : QString(), false, why);
    }

    Outcome recordLogin() override
    {
        if (!confirmed_)
            return Outcome::failed(QStringLiteral("Belum ada password yang benar."));
        const Confirmed confirmed = *confirmed_;
        return db::writeAlone(connectionText_, [&](QSqlDatabase &database) {
            // A clear-text password of an older file is kept from now on as its hash.
            if (!passwords::isHash(confirmed.stored)) {
                const QString hash = passwords::hash(confirmed.password);
                if (hash.isEmpty())
                    return Outcome::failed(QStringLiteral("Password tidak bisa di-hash (memori tidak cukup)."));
                QSqlQuery query(database);
                const QString key = db::keyColumn(database);
                const bool prepared = query.prepare(
                    QStringLiteral("UPDATE tpassword SET \"password\" = ? WHERE %1 = (SELECT %1 FROM tpassword "
                                   "WHERE \"user\" = ? AND \"password\" = ? ORDER BY %1 LIMIT 1) RETURNING %1")
                        .arg(key));
                query.addBindValue(hash);
                query.addBindValue(confirmed.user);
                query.addBindValue(confirmed.stored);
                if (!(prepared && query.exec()))
                    return Outcome::failed(db::describeError(query.lastError(), database));
                if (query.next()) {
                    audit::Entry entry;
                    entry.tindakan = QLatin1String(audit::action::kPasswordChange);
                    entry.tabel = kTpassword;
                    entry.kunci = query.value(0).toLongLong();
                    entry.rincian = QStringList{audit::detail(QStringLiteral("user"), confirmed.user),
                                                audit::detail(QStringLiteral("password"),
                                                              QStringLiteral("teks biasa diganti hash saat masuk"))}
                                        .join(u'\n');
                    query.finish();
                    const Outcome recorded = audit::append(database, entry, confirmed.user);
                    if (!recorded.isOk())
                        return recorded;
                }
            }
            audit::Entry login;
            login.tindakan = QLatin1String(audit::action::kLogin);
            login.rincian = audit::detail(QStringLiteral("user"), confirmed.user);
            const Outcome recorded = audit::append(database, login, confirmed.user);
            if (recorded.isOk())
                loggedIn_ = confirmed.user;
            return recorded;
        });
    }

    void adopt() override
    {
        if (loggedIn_)
            session::setOperator(*loggedIn_);
    }
    void adoptConfirmed() override
    {
        if (confirmed_)
            session::setOperator(confirmed_->user);
    }

    Outcome change(const QString &newUser, const QString &newPassword) override
    {
        const QString hash = passwords::hash(newPassword);
        if (hash.isEmpty())
            return Outcome::failed(QStringLiteral("Password baru tidak bisa disimpan: memori tidak cukup."));
        bool read = true;
        const QString storedUser = records_->value(QStringLiteral("user"), &read).toString();
        if (!read)
            return Outcome::failed(records_->lastError());
        // Two operators of one name would lock one of them out for good. A name that
        // could not be checked is no name in use: the database's failure is told as such.
        auto nameIsFree = [newUser, storedUser](QSqlDatabase &live, QVector<QVariant> &) {
            if (newUser == storedUser)
                return Outcome::ok();
            // Two counters giving the same new name at the same moment: one waits for the other.
            QSqlError error;
            if (!db::writeLock(live, QStringLiteral("tpassword.user"), newUser, &error))
                return Outcome::failed(db::describeError(error, live));
            QSqlQuery query(live);
            const bool prepared = query.prepare(QStringLiteral("SELECT count(*) FROM tpassword WHERE \"user\" = ?"));
            query.addBindValue(newUser);
            if (!(prepared && query.exec()) || !query.next())
                return Outcome::failed(db::describeError(query.lastError(), live));
            if (query.value(0).toInt() == 0)
                return supervision::renamed(live, storedUser, newUser);
            return Outcome::refused(
                QStringLiteral("User \"%1\" sudah dipakai operator lain. Pilih nama user yang lain.").arg(newUser));
        };
        const int userColumn = records_->columnIndex(QStringLiteral("user"));
        const int passwordColumn = records_->columnIndex(QStringLiteral("password"));
        if (records_->update({{userColumn, newUser}, {passwordColumn, hash}}, nameIsFree))
            return Outcome::ok();
        return records_->lastWrite().isRefused() ? Outcome::refused(records_->lastError())
                                                 : Outcome::failed(records_->lastError());
    }

protected:
    Outcome recentFailures(int *count) override
    {
        *count = 0;
        const QString line = audit::detail(QStringLiteral("user"), currentUser());
        const QString since = QDateTime::currentDateTimeUtc()
                                  .addSecs(-kWindowSeconds)
                                  .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
        QString name, error;
        if (!db::openConnection(connectionText_, &name, &error))
            return Outcome::failed(error);
        Outcome outcome;
        {
            QSqlDatabase database = db::connection(name);
            QSqlQuery query(database);
            query.setForwardOnly(true);
            const bool prepared = query.prepare(
                QStringLiteral("SELECT rincian FROM jejak WHERE waktu >= ? AND tindakan = ?"));
            query.addBindValue(since);
            query.addBindValue(QLatin1String(audit::action::kFailedLogin));
            if (!(prepared && query.exec())) {
                outcome = Outcome::failed(db::describeError(query.lastError(), database));
            } else {
                while (query.next())
                    *count += query.value(0).toString().section(u'\n', 0, 0) == line;
            }
        }
        db::closeConnection(name);
        return outcome;
    }

private:
    struct Confirmed {
        QString user, stored, password;
    };
    const QString connectionText_;
    RecordSource *records_;
    QString openError_;
    std::optional<Confirmed> confirmed_;
    std::optional<QString> loggedIn_; // the operator whose login was recorded last
};

} // namespace

std::unique_ptr<Directory> fileDirectory(const QString &connectionText, RecordSource *records, const QString &table)
{
    return std::make_unique<FileDirectory>(connectionText, records, table);
}

std::unique_ptr<Directory> directory(RecordSource *records, const QString &table, const QString &connectionText)
{
    return db::dialectFor(connectionText).operatorDirectory(connectionText, records, table);
}

bool logIn(const QString &connectionText, const QString &user, const QString &password, QString *error)
{
    QString problem;
    if (!db::checkConnectionText(connectionText, &problem)) {
        *error = db::connectionProblemText(connectionText, problem);
        return false;
    }
    RecordSource records;
    const std::unique_ptr<Directory> found = directory(&records, QStringLiteral("Qpass"), connectionText);
    if (!found->openError().isEmpty()) {
        *error = found->openError();
        return false;
    }
    bool known = false;
    const Outcome looked = found->find(user, &known);
    if (!looked.isOk() || !known) {
        *error = looked.isOk() ? QStringLiteral("MAAF USER TIDAK ADA") : looked.message();
        return false;
    }
    switch (found->check(password, error)) {
    case Verdict::Right:
        found->adoptConfirmed();
        return true;
    case Verdict::Wrong:
        *error = QStringLiteral("PASSWORD SALAH");
        return false;
    case Verdict::Damaged:
    case Verdict::Failed:
        return false;
    }
    return false;
}

void logOut(const QString &connectionText)
{
    session::setOperator(QString());
    QString problem;
    if (db::checkConnectionText(connectionText, &problem))
        db::dialectFor(connectionText).forgetOperator(connectionText);
}

// ---------------------------------------------------------------------------
// Keeping the operators

namespace {

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

} // namespace

Outcome insert(QSqlDatabase &database, const QString &user, const QString &password, qint64 *key, bool *canLogIn)
{
    const db::Dialect &dialect = db::dialect(database);
    const QVariant stored = dialect.operatorRowPassword(password);
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
    return dialect.operatorPassword(database, made, password, canLogIn);
}

Outcome list(const QString &connectionText, QList<Listed> *operators)
{
    operators->clear();
    QString name, error;
    if (!db::openServiceConnection(connectionText, &name, &error))
        return Outcome::failed(error);
    Outcome outcome;
    {
        QSqlDatabase database = db::connection(name);
        QHash<qint64, bool> logins;
        QHash<QString, supervision::Kind> kinds;
        outcome = db::dialect(database).operatorLogins(database, &logins);
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
    db::closeConnection(name);
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
        if (outcome.isOk())
            outcome = db::dialect(database).operatorRemoved(database, *key);
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
        const db::Dialect &dialect = db::dialect(database);
        const QVariant stored = dialect.operatorRowPassword(password);
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
        outcome = dialect.operatorPassword(database, *key, password, nullptr);
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

} // namespace operators
