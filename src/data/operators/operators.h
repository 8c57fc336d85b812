#pragma once

#include "data/engine/connectiontext.h"
#include "data/engine/roles.h"
#include "data/base/outcome.h"
#include "data/operators/supervision.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>

class RecordSource;

// The operators: who may log in, how a password is proved, and how operators are
// added, removed and given a new password.
//
// In a file an operator is a row of tpassword holding his user name and the hash
// of his password. On a server an operator is, besides his row (user name only;
// its password column holds nothing), a LOGIN role of the server of his own,
// <database>_op_<key of his row>, a member of the group role <database>_operator
// that holds exactly the grants the screens need; his password is that role's,
// kept by the server as a SCRAM verifier. Proving a password there means logging
// in as that role, and once an operator has logged in every connection of the
// program logs in as him, so that the server itself knows who works.
namespace operators {

// --- The back-off of failed logins
// Failed logins of one user name within this window count (the trail's "masuk
// gagal" rows, so that restarting the program does not forget them).
inline constexpr int kWindowSeconds = db::kFailedLoginWindowSeconds;
// This many failures are free; each further try waits before its password is
// checked, twice as long as the one before, at most kLongestWait.
inline constexpr int kFreeFailures = 5;
inline constexpr std::chrono::milliseconds kLongestWait{30000};
// The wait before the next try after `failures` recent failures: nothing for the
// free ones, then 1 s, 2 s, 4 s ... at most kLongestWait.
std::chrono::milliseconds waitAfter(int failures);
// Test seam: the first wait (1 s) is this long instead; the others double from it.
void setFirstWaitForTesting(std::chrono::milliseconds first);

// --- Proving who one is: the login screen and the change of password
enum class Verdict { Right, Wrong, Damaged, Failed };

// A new operator name that may not be given, and why; nothing when it may: at
// most 32 characters, letters, digits, ".", "_" and "-", words apart by one blank
// (no control or invisible character that would make two names look alike).
std::optional<QString> nameProblem(const QString &user);

// The operators as a screen that names one of them and proves his password sees
// them. It has a current operator, or none: the first in stored order when it
// opens, then the one the last lookup found (none after a failed lookup).
class Directory
{
public:
    virtual ~Directory() = default;

    // Why the directory could not be opened (told to the operator when the screen
    // opens); empty when it could. A directory that could not be opened finds nobody.
    virtual QString openError() const = 0;

    // Makes the first operator whose user name is exactly this (letter case and
    // blanks count) current; *found false when there is none, and then none is
    // current. A failure of the database is a failed outcome, the current
    // operator as it was.
    virtual Outcome find(const QString &user, bool *found) = 0;
    virtual bool hasCurrent() const = 0;
    // The stored user name of the current operator; empty when none is current.
    virtual QString currentUser() const = 0;
    // False when the current operator's name is not known yet: on a server the
    // first operator is current without his name, which the lookup role is never
    // told; it is known once his password proved right.
    virtual bool knowsCurrentUser() const { return true; }

    // How long a login must wait before the password of the current operator is
    // checked: the back-off of his recent failures (nothing when none is current,
    // or they cannot be counted).
    std::chrono::milliseconds waitBeforeCheck();
    // Checks a password of the current operator (Wrong when none is current).
    // Right: he is the confirmed operator from now on. Damaged and Failed come
    // with the operator's message.
    virtual Verdict check(const QString &password, QString *message) = 0;

    // --- At the login
    enum class Failure { UnknownUser, WrongPassword, DamagedPassword };
    // Records a failed login (masuk gagal): of the current operator's name (an
    // unknown user's name is not recorded: it may be a password typed in the wrong field).
    virtual Outcome recordFailure(Failure failure) = 0;
    // Records the login of the confirmed operator (masuk); in a file a clear-text
    // password of his row (from an older file) is replaced by its hash at the same time.
    // A login that cannot be recorded does not happen: the outcome says why.
    virtual Outcome recordLogin() = 0;
    // "OK": the operator whose login was recorded last is the one the program
    // works for from now on (session::operatorName()), and on a server every
    // later connection logs in as him.
    virtual void adopt() = 0;
    // The same for the operator confirmed last, without a login row (logIn()).
    virtual void adoptConfirmed() = 0;

    // --- At the change of password
    // Gives the confirmed operator this user name and password, with its trail
    // row; refused (with the clerk's message) when the name is another operator's.
    virtual Outcome change(const QString &newUser, const QString &newPassword) = 0;

protected:
    // The failed logins of the current operator's name within the window.
    virtual Outcome recentFailures(int *count) = 0;
};

// The directory of the database a connection text names, for a screen whose
// record source (Adodc1 on Qpass, Adodc2 on tpassword) is given: in a file the
// screen reads and writes the operators' rows through it, and it is opened here
// on that table; on a server no operator's connection may read them, and it
// stays closed.
std::unique_ptr<Directory> directory(RecordSource *records, const QString &table,
                                     const QString &connectionText = db::connectionText());

// Logs in as an operator without the login screen and without a login row: the
// name looked up and the password proved as the screen does, then adopted. For
// the tests and the bench, which work the screens as after a login.
bool logIn(const QString &connectionText, const QString &user, const QString &password, QString *error);

// Forgets who logged in (logIn(), or the login screen's "OK"): the program works
// for nobody, and on a server its next connections log in as the role the service names.
void logOut(const QString &connectionText);

// --- Keeping the operators: simparo-operator and the tools
struct Listed {
    QString user;
    qint64 key = 0;
    // On a server: false when the operator has no role with a password yet (an
    // operator brought over from an older database whose password was a hash):
    // he cannot log in until his password is reset.
    bool canLogIn = true;
    supervision::Kind kind = supervision::Kind::Clerk;
};
Outcome list(const QString &connectionText, QList<Listed> *operators);
// Each in one transaction with its trail row (operator tambah, operator hapus,
// operator reset). A name already in use is refused for add; an unknown name for
// remove and reset; the removal of the last operator, or of the last supervisor, is refused. Of two rows of
// one name, the first in stored order is the one that logs in, and the one removed or reset.
Outcome add(const QString &connectionText, const QString &user, const QString &password,
           supervision::Kind kind = supervision::Kind::Clerk);
// Makes an operator a clerk or a supervisor (operator peran); refused for the last supervisor.
Outcome setKind(const QString &connectionText, const QString &user, supervision::Kind kind);
Outcome remove(const QString &connectionText, const QString &user);
Outcome reset(const QString &connectionText, const QString &user, const QString &password);

// The roles of a server database's operators, as simparo-initdb --server and
// --upgrade make them and keep them right (secure()).
using Access = db::RoleAccess;
// Inside the owner's write transaction: the tables, functions and roles of the
// operators and supervisors put right (Dialect::secureOperators()), and a trail
// row for every operator whose row kept a password (it went to his role, or,
// a hash, was dropped: the operator is then reset).
Outcome secure(QSqlDatabase &database, Access *access);
// The line of a counter's ~/.pgpass that gives the lookup role its password
// ("*:*:DATABASE:ROLE:PASSWORD", ':' and '\' escaped).
QString passwordFileLine(const Access &access);
// A new random password for the lookup role (24 letters and digits).
QString newLookupPassword();

// For a tool that writes rows in a transaction of its own (a new database, an
// import): one operator's row, with his password (clear text; an Argon2id hash
// is kept as it is in a file, and on a server leaves the operator without a
// password until a reset), and on a server his role. No trail row. *key (when
// given) is the row's key; *canLogIn (when given) false when he has no usable password.
Outcome insert(QSqlDatabase &database, const QString &user, const QString &password, qint64 *key = nullptr,
               bool *canLogIn = nullptr);

} // namespace operators
