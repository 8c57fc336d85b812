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
        db::Connection opened;
        QString error;
        if (!opened.open(connectionText_, &error))
            return Outcome::failed(error);
        QSqlDatabase database = opened.database();
        QSqlQuery query(database);
        query.setForwardOnly(true);
        const bool prepared =
            query.prepare(QStringLiteral("SELECT rincian FROM jejak WHERE waktu >= ? AND tindakan = ?"));
        query.addBindValue(since);
        query.addBindValue(QLatin1String(audit::action::kFailedLogin));
        if (!(prepared && query.exec()))
            return Outcome::failed(db::describeError(query.lastError(), database));
        while (query.next())
            *count += query.value(0).toString().section(u'\n', 0, 0) == line;
        return Outcome::ok();
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
    if (const db::Roles *roles = db::dialectFor(connectionText).roles())
        return serverDirectory(connectionText, *roles);
    return fileDirectory(connectionText, records, table);
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
        if (const db::Roles *roles = db::dialectFor(connectionText).roles())
            roles->forget(db::connectionValue(connectionText, QStringLiteral("Data Source")));
}

} // namespace operators
