#pragma once

#include "data/trail/audit.h"
#include "data/operators/operators.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <memory>

// Making a new database: the program's tables, the view Qpass, the indexes and
// (unless a tool brings its own) one first operator.
namespace db {

// Runs the statements in turn on the connection; stops at the first failure, with
// the operator's message for it.
bool runAll(QSqlDatabase &database, const QStringList &statements, QString *error);

// The statements a superuser runs once in a server's SIMPARO database (and again
// in a database a backup is restored into): no role but the owner may take the
// server's advisory locks or write large objects. The owner cannot do this
// himself; simparo-initdb refuses a database where it was not done.
QStringList superuserStatements();

// Creates a new database file with the three tables, the view Qpass, the indexes
// and one first operator. Refuses to touch an existing file.
bool createDatabase(const QString &file, const QString &user, const QString &password, QString *error);
// The same on the (empty) database of a PostgreSQL service; refuses a database
// that already holds any of the program's tables. The database gets its roles
// (see operators.h): the group role of the operators, the lookup role (with the
// password *access asks for, if any), the first operator's role, and the grants;
// *access (when given) tells what was made. The service's role must be the
// database's owner, allowed to make roles (CREATEROLE).
bool createServerDatabase(const QString &service, const QString &user, const QString &password, QString *error);
bool createServerDatabase(const QString &service, const QString &user, const QString &password,
                          operators::Access *access, QString *error);

// A database that a tool fills with rows in one transaction, which nobody sees
// half done: a failure, or discard(), leaves the place as it was.
// - A new file is built in a private folder (0700, made with mkdtemp beside it),
//   as a file 0600 that is never reached through a symbolic link, and is renamed
//   to its name only when finished, never over anything there.
// - A new server database gets the program's tables in the same transaction as
//   the rows.
// - An existing database (the program's, with all its tables) only gets rows,
//   while no other program writes to its tables.
// The indexes of a new database are made after its rows, all at once.
class Fill
{
public:
    // A file, or the database of a libpq service.
    static std::unique_ptr<Fill> intoFile(const QString &file);
    static std::unique_ptr<Fill> intoService(const QString &service);
    virtual ~Fill() = default;

    // Where the rows go, as messages name it.
    virtual QString location() const = 0;
    // Looks at the place before anything is written: *existing when it holds a
    // database already (a file at the name; tables on the server), *present then
    // naming the program's tables and view it holds. Fails with the operator's
    // message when the place cannot be used at all.
    virtual bool inspect(bool *existing, QStringList *present, QString *error) = 0;
    // Begins the transaction: an existing database is checked and its tables
    // locked; a new one gets its tables.
    virtual bool begin(QString *error) = 0;
    // The connection the rows go through, inside the transaction.
    virtual QSqlDatabase database() const = 0;
    // The new database's indexes, the commit, and a new file put at its name.
    virtual bool finish(QString *error) = 0;
    // Undoes everything (also done when the Fill goes before finish()).
    virtual void discard() = 0;
    // The files and folders left on disk should the process end before finish()
    // or discard(), in the order to remove them.
    virtual QStringList leftovers() const = 0;

    // A new database on a server gets the roles of its operators when it is begun
    // (see createServerDatabase()): what they are, and what was made.
    operators::Access &access() { return access_; }

protected:
    operators::Access access_;
};

// Gives a database made before the audit trail its trail, in one transaction:
// the table jejak, its indexes, the rule that nabubg and jejak only grow, and
// one first row (pasang jejak) that covers the ledger rows as they stand (their
// key range, count and digest) and names the breaks of their balance chains
// found then, which are known from then on. *covered tells what it covered.
// On a server, in the same transaction, the roles of its operators are made or
// put right (operators::secure(), *access), also when it has the trail
// already (*trailInstalled then false). Refuses a file that has the trail
// already, and a database that lacks the program's tables.
bool upgradeDatabase(const QString &connectionText, audit::Coverage *covered, QString *error);
bool upgradeDatabase(const QString &connectionText, operators::Access *access, audit::Coverage *covered,
                     bool *trailInstalled, QString *error);

} // namespace db
