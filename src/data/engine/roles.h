#pragma once

#include "data/base/outcome.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <optional>

// Operators as roles of the database's own: what an engine that has them (a
// server) can do, asked through Dialect::roles(). A file has none: its operators
// are rows that keep the hash of their password, and the program proves them itself.
namespace db {

// Failed logins of one user name within this window count: the program counts
// them in a file, the server's own function where operators are roles.
inline constexpr int kFailedLoginWindowSeconds = 15 * 60;

// A role and its password: an operator's login.
struct ServerLogin {
    QString role;
    QString password;
};

// Whether this is the role's password, asked of the server itself.
enum class LoginProof { Right, Wrong, Failed };

// What the operators' roles are after they were put right (Dialect::secureOperators()).
struct RoleAccess {
    // The lookup role's new password; empty: its password stays as it is (a new
    // lookup role then has none, and cannot log in until it is given one).
    QString lookupPassword;
    // What there is now:
    QString database;            // the database's name
    QString lookupRole;          // <database>_masuk
    QString groupRole;           // <database>_operator
    bool lookupCanLogIn = false; // the lookup role has a password
    QStringList withoutPassword; // operators who cannot log in until their password is reset
    // The operators whose row kept a password, which went to their role (or,
    // a hash, was dropped): each has its trail row written by the caller.
    struct Moved {
        qint64 key = 0;
        QString user;
        bool canLogIn = false;
    };
    QList<Moved> moved;
};

class Roles
{
public:
    virtual ~Roles() = default;

    // --- An operator's row and his role
    // Inside a write transaction, after an operator's row was written with a new
    // password (a new operator, or a reset): his role is made when missing and
    // given the password; *canLogIn (when given) false when it has none that can
    // be used (a hash brought over from a file).
    virtual Outcome setPassword(QSqlDatabase &database, qint64 key, const QString &password, bool *canLogIn) const = 0;
    // Inside a write transaction, before an operator's row is deleted: his role
    // goes (or, when it still owns something elsewhere, can no longer log in and
    // is no operator).
    virtual Outcome removed(QSqlDatabase &database, qint64 key) const = 0;
    // Whether each operator (by his row's key) can log in.
    virtual Outcome logins(QSqlDatabase &database, QHash<qint64, bool> *canLogIn) const = 0;

    // --- Logging in as a role, on the service a connection text names ("Data Source")
    // Whether this is the role's password: the answer of a login as the role,
    // which is left at once. Failed with the operator's message when the server
    // is unreachable or untrusted, or refused for another reason.
    virtual LoginProof prove(const QString &service, const ServerLogin &login, QString *message) const = 0;
    // Opens a pooled connection that logs in as this role with this password.
    virtual bool openAs(const QString &service, const ServerLogin &login, QString *connectionName,
                        QString *error) const = 0;
    // From now on every connection to the service (but those opened as the
    // service's own role) logs in as this role; kept in memory while the program runs.
    virtual void adopt(const QString &service, const ServerLogin &login) const = 0;
    // The login adopted for the service; nothing when none was.
    virtual std::optional<ServerLogin> adopted(const QString &service) const = 0;
    // Forgets the login adopted for the service; the connections kept go.
    virtual void forget(const QString &service) const = 0;
    // The verifier of a password, made here, so that the password itself never
    // reaches the server or its logs; empty, with the message, when it cannot be made.
    virtual QString verifier(const QSqlDatabase &database, const QString &role, const QString &password,
                             QString *error) const = 0;
};

} // namespace db
