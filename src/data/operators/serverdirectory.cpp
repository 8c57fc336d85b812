#include "data/operators/operatordirectories.h"

#include "data/base/session.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/engine/pool.h"
#include "data/trail/audit.h"

#include <QSqlQuery>

// The directory of a database whose operators are roles of its own (a server):
// names looked up through the role the service names, which may do nothing
// else, passwords proved by logging in as the operator's role, and his login
// and changes made on his own connection.
namespace operators {

namespace {

using db::Statement;

class ServerDirectory final : public Directory
{
public:
    ServerDirectory(const QString &connectionText, const db::Roles &roles)
        : roles_(roles), service_(db::connectionValue(connectionText, QStringLiteral("Data Source")))
    {
        // Names are looked up, and failed logins recorded, by the role the service
        // names: at a counter the lookup role, which may do nothing else.
        if (!lookup_.openAsService(connectionText, &openError_))
            return;
        bool found = false;
        const Outcome first = look(nullptr, &found);
        if (!first.isOk())
            openError_ = first.message();
    }
    ~ServerDirectory() override
    {
        // His connection before the lookup connection (a member, closed after).
        db::closeConnection(proof_);
    }

    QString openError() const override { return openError_; }

    Outcome find(const QString &user, bool *found) override
    {
        // A name typed is never NULL, also when nothing was typed.
        const QString name = user.isNull() ? QStringLiteral("") : user;
        return look(&name, found);
    }
    bool hasCurrent() const override { return !role_.isEmpty(); }
    QString currentUser() const override { return user_; }
    bool knowsCurrentUser() const override { return !user_.isNull(); }

    Verdict check(const QString &password, QString *message) override
    {
        if (!hasCurrent() || password.isEmpty())
            return Verdict::Wrong;
        const db::ServerLogin login{role_, password};
        switch (roles_.prove(service_, login, message)) {
        case db::LoginProof::Wrong:
            return Verdict::Wrong;
        case db::LoginProof::Failed:
            return Verdict::Failed;
        case db::LoginProof::Right:
            break;
        }
        // His own connection, on which his login is recorded and his change made.
        db::closeConnection(proof_);
        proof_.clear();
        if (!roles_.openAs(service_, login, &proof_, message)) {
            proof_.clear();
            return Verdict::Failed;
        }
        if (user_.isNull()) {
            // The first operator, current before any name was looked up: his name is
            // read as himself, the lookup role is never told it.
            QSqlDatabase database = db::connection(proof_);
            QSqlQuery query(database);
            if (!query.exec(QStringLiteral("SELECT simparo_nama_sesi()")) || !query.next()) {
                *message = db::describeError(query.lastError(), database);
                return Verdict::Failed;
            }
            user_ = query.value(0).toString();
        }
        confirmed_ = login;
        confirmedUser_ = user_;
        return Verdict::Right;
    }

    Outcome recordFailure(Failure failure) override
    {
        // The first operator's name, not known to the lookup role, is not named either.
        const bool named = failure != Failure::UnknownUser && hasCurrent() && knowsCurrentUser();
        QSqlDatabase database = lookup_.database();
        Statement query;
        const bool prepared = db::prepare(&query, database,
                                          QStringLiteral("SELECT simparo_masuk_gagal(CAST(? AS text), CAST(? AS text), "
                                                         "CAST(? AS text), CAST(? AS text))"));
        query->addBindValue(named ? QVariant(user_) : QVariant(QMetaType::fromType<QString>()));
        query->addBindValue(failure != Failure::UnknownUser && hasCurrent() ? QStringLiteral("password salah")
                                                                             : QStringLiteral("user tidak ada"));
        query->addBindValue(audit::currentZone());
        query->addBindValue(session::counterName());
        if (!(prepared && query->exec()))
            return Outcome::failed(db::describeError(query->lastError(), database));
        query->finish();
        return Outcome::ok();
    }

    Outcome recordLogin() override
    {
        if (proof_.isEmpty())
            return Outcome::failed(QStringLiteral("Belum ada password yang benar."));
        audit::Entry entry;
        entry.tindakan = QLatin1String(audit::action::kLogin);
        entry.rincian = audit::detail(QStringLiteral("user"), confirmedUser_);
        const Outcome recorded = inTransaction([&](QSqlDatabase &database) { return audit::append(database, entry); });
        if (recorded.isOk()) {
            loggedIn_ = confirmed_;
            loggedInUser_ = confirmedUser_;
        }
        return recorded;
    }

    void adopt() override { adoptLogin(loggedIn_, loggedInUser_); }
    void adoptConfirmed() override { adoptLogin(confirmed_, confirmedUser_); }

    Outcome change(const QString &newUser, const QString &newPassword) override
    {
        if (proof_.isEmpty())
            return Outcome::failed(QStringLiteral("Belum ada password lama yang benar."));
        const Outcome changed = inTransaction([&](QSqlDatabase &database) {
            QString error;
            const QString verifier = roles_.verifier(database, confirmed_.role, newPassword, &error);
            if (verifier.isEmpty())
                return Outcome::failed(error);
            Statement query;
            const bool prepared = db::prepare(&query, database,
                                              QStringLiteral("SELECT simparo_ganti_password(CAST(? AS text), "
                                                             "CAST(? AS text), CAST(? AS text), CAST(? AS text))"));
            for (const QString &value : {newUser, verifier, audit::currentZone(), session::counterName()})
                query->addBindValue(value);
            if (prepared && query->exec()) {
                query->finish();
                return Outcome::ok();
            }
            if (db::isUniqueViolation(query->lastError(), database))
                return Outcome::refused(
                    QStringLiteral("User \"%1\" sudah dipakai operator lain. Pilih nama user yang lain.").arg(newUser));
            return Outcome::failed(db::describeError(query->lastError(), database));
        });
        if (!changed.isOk())
            return changed;
        // The operator who works changed his own password: the program's next
        // connections log in with the new one.
        const std::optional<db::ServerLogin> adopted = roles_.adopted(service_);
        if (adopted && adopted->role == confirmed_.role)
            roles_.adopt(service_, {confirmed_.role, newPassword});
        if (loggedIn_.role == confirmed_.role)
            loggedIn_.password = newPassword;
        confirmed_.password = newPassword;
        user_ = confirmedUser_ = newUser;
        return Outcome::ok();
    }

protected:
    Outcome recentFailures(int *count) override
    {
        *count = 0;
        if (!hasCurrent())
            return Outcome::ok();
        QSqlDatabase database = lookup_.database();
        Statement query;
        const bool prepared =
            db::prepare(&query, database, QStringLiteral("SELECT simparo_masuk_gagal_baru(CAST(? AS text))"));
        query->addBindValue(user_);
        if (!(prepared && query->exec() && query->next()))
            return Outcome::failed(db::describeError(query->lastError(), database));
        *count = query->value(0).toInt();
        query->finish();
        return Outcome::ok();
    }

private:
    void adoptLogin(const db::ServerLogin &login, const QString &user)
    {
        if (login.role.isEmpty())
            return;
        roles_.adopt(service_, login);
        session::setOperator(user);
        // The connections kept before were the lookup role's: the next ones are his.
        db::releaseIdleConnections();
    }

    // The role and name of the first operator of the name; without a name, the
    // role of the first operator of all (his name stays unknown: a null text).
    Outcome look(const QString *name, bool *found)
    {
        *found = false;
        if (!lookup_.isOpen())
            return Outcome::failed(openError_);
        QSqlDatabase database = lookup_.database();
        Statement query;
        const bool prepared =
            name ? db::prepare(&query, database,
                               QStringLiteral("SELECT peran, nama_user FROM simparo_operator_cari(CAST(? AS text))"))
                 : db::prepare(&query, database, QStringLiteral("SELECT simparo_operator_pertama(), CAST(NULL AS text)"));
        if (name)
            query->addBindValue(*name);
        if (!(prepared && query->exec()))
            return failedLookup(query->lastError(), database);
        role_.clear();
        user_ = QString();
        if (query->next() && !query->value(0).isNull()) {
            role_ = query->value(0).toString();
            // A found name is never null, also when it is empty.
            user_ = name ? query->value(1).toString() : QString();
            if (name && user_.isNull())
                user_ = QStringLiteral("");
            *found = true;
        }
        query->finish();
        return Outcome::ok();
    }

    Outcome failedLookup(const QSqlError &error, const QSqlDatabase &database) const
    {
        if (error.nativeErrorCode() == QLatin1String("42883")) // undefined_function: no roles yet
            return Outcome::failed(
                QStringLiteral("Database di %1 belum diatur untuk operator sebagai peran server. Petugas TI "
                               "menjalankan (sebagai pemilik database): simparo-initdb --upgrade --server LAYANAN")
                    .arg(db::location(database)));
        return Outcome::failed(db::describeError(error, database));
    }

    // Runs a write on the confirmed operator's own connection, in one transaction.
    template<typename Write>
    Outcome inTransaction(Write write)
    {
        QSqlDatabase database = db::connection(proof_);
        QSqlError failure;
        if (!db::beginWrite(database, &failure))
            return Outcome::failed(db::describeError(failure, database));
        const Outcome outcome = write(database);
        if (!db::endWrite(database, outcome.isOk(), &failure) && outcome.isOk())
            return Outcome::failed(db::describeError(failure, database));
        return outcome;
    }

    const db::Roles &roles_;
    const QString service_;
    QString openError_;
    db::Connection lookup_; // the lookup connection
    QString proof_;  // the connection of the operator whose password was proved last
    QString role_, user_; // the current operator
    db::ServerLogin confirmed_; // the operator whose password was proved last
    QString confirmedUser_;
    db::ServerLogin loggedIn_;  // the operator whose login was recorded last
    QString loggedInUser_;
};

} // namespace

std::unique_ptr<Directory> serverDirectory(const QString &connectionText, const db::Roles &roles)
{
    return std::make_unique<ServerDirectory>(connectionText, roles);
}

} // namespace operators
