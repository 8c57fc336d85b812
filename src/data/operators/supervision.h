#pragma once

#include "data/base/money.h"
#include "data/base/outcome.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <chrono>
#include <memory>
#include <optional>

namespace operators {
class Directory;
}
class RecordSource;

// Supervisors: the two kinds of operator, the settings only a supervisor may
// change, and the supervisor's approval of a clerk's action that needs one.
//
// An operator is a clerk (kasir) or a supervisor (penyelia). The table
// jenis_operator keeps each operator's kind by his user name; an operator without
// a row is a clerk. On a server the kind the server trusts is the membership of
// his role in the group role <database>_penyelia, which the table mirrors; what
// only a supervisor may do (change a setting, write an approval) the server
// refuses to any other role. A file has no roles: there the program itself checks
// the supervisor's password and kind.
namespace supervision {

enum class Kind { Clerk, Supervisor };
QString kindText(Kind kind); // "kasir", "penyelia"
std::optional<Kind> kindNamed(const QString &text);

// --- Keeping the kinds (the tools, inside their write transaction, no trail row)
// Gives the operator (his row's key and user name) this kind; on a server his
// role joins or leaves the supervisors' group. Refused when it would leave no
// supervisor.
Outcome setKind(QSqlDatabase &database, qint64 key, const QString &user, Kind kind);
// The operator's row goes with him; refused when he is the last supervisor.
Outcome forget(QSqlDatabase &database, const QString &user);
// In a file, inside the write that renames an operator: his kind goes with his name.
Outcome renamed(QSqlDatabase &database, const QString &from, const QString &to);
// Every operator's kind as the table keeps it, by user name (clerks without a row absent).
Outcome storedKinds(QSqlDatabase &database, QHash<QString, Kind> *kinds);
// The refusal of a change that would leave no supervisor.
QString lastSupervisorText(const QString &user);

// The kind of the operator a connection works for: on a server the kind of the
// session's own role (user is not asked), in a file the kind of the named operator.
Outcome kindOf(QSqlDatabase &database, const QString &user, Kind *kind);
// The same on a connection of its own to what the connection text names, for the
// operator who logged in.
Outcome sessionKind(const QString &connectionText, Kind *kind);

// Inside a write transaction in a file, which has no roles: refused
// (kSupervisorsOnly) unless the operator who logged in is a supervisor.
Outcome requireSupervisor(QSqlDatabase &database);

// --- Settings
inline constexpr char kWithdrawalLimit[] = "batas_penarikan"; // in sen
inline constexpr Money kDefaultWithdrawalLimit = Money::fromRupiah(1000000);
Outcome withdrawalLimit(QSqlDatabase &database, Money *limit);
Outcome withdrawalLimit(const QString &connectionText, Money *limit);
// The operator who logged in sets the limit, with its trail row (old and new
// value). Refused for a clerk: in a file by the program, on a server by the server.
Outcome setWithdrawalLimit(const QString &connectionText, Money limit);
// The withholding tax on the month's share: taken where the account's balance at
// the end of the month exceeds the threshold (in sen), at the rate (in hundredths
// of a percent) of the share.
inline constexpr char kTaxThreshold[] = "pajak_batas"; // in sen
inline constexpr char kTaxRate[] = "pajak_tarif";      // in hundredths of a percent
inline constexpr Money kDefaultTaxThreshold = Money::fromRupiah(7500000);
inline constexpr qint64 kDefaultTaxRate = 2000;
// A setting kept as a whole number (its default when it has no row, or holds no number).
Outcome numberSetting(QSqlDatabase &database, const char *key, qint64 fallback, qint64 *value);
Outcome numberSetting(const QString &connectionText, const char *key, qint64 fallback, qint64 *value);
// The operator who logged in sets one (kTaxThreshold, kTaxRate), with its trail
// row (old and new value); refused for a clerk, as the limit is.
Outcome setNumberSetting(const QString &connectionText, const char *key, qint64 value);

// --- Approvals
// What a clerk asks a supervisor to approve.
struct Request {
    QString action;  // "penarikan", "koreksi", "batal bagi hasil"
    QString account; // a take-back's: the month, as MM/YYYY
    Money amount;
    // A correction's: the key of the ledger row it reverses, and the reason; a
    // take-back's: the number of the month-end run.
    std::optional<qint64> reversed;
    QString reason;
};
inline constexpr char kWithdrawalAction[] = "penarikan";
inline constexpr char kCorrectionAction[] = "koreksi";
// A month-end run taken back whole: approved by another supervisor than the one
// who asks and the one who posted it.
inline constexpr char kTakeBackAction[] = "batal bagi hasil";
// A supervisor's approval: his user name, and on a server the number of the
// one-time grant he wrote as himself, which the clerk's write must use.
struct Approval {
    QString supervisor;
    std::optional<qint64> grant;
};

// --- Blocked accounts
// A block is an event appended to the table blokir, never changed; an account's
// state is its latest event. A block on withdrawals takes no withdrawal, a block
// on everything no posting at all; lifting it ends either.
enum class Block { None, Withdrawals, Everything };
QString blockText(Block block); // "buka", "debet", "semua"
// The reasons a supervisor chooses from.
QStringList blockReasons();
struct BlockState {
    Block block = Block::None;
    QString reason;
    QString note;
    QString supervisor;
};
// The account's block as it stands now.
Outcome currentBlock(QSqlDatabase &database, const QString &account, BlockState *state);
Outcome currentBlock(const QString &connectionText, const QString &account, BlockState *state);
// Whether the block forbids a posting of this kind.
bool forbids(Block block, bool withdrawal);
// The clerk's message for a posting a block forbids: "REKENING DIBLOKIR: " and the reason.
QString blockedText(const BlockState &state);
// Inside a posting's write transaction: refused (blockedText()) when the account's
// block forbids it.
Outcome checkBlock(QSqlDatabase &database, const QString &account, bool withdrawal);
// The operator who logged in blocks the account (block None lifts its block),
// with its trail row. Refused for a clerk (in a file by the program, on a server
// by the server), for an account not registered, a block without one of the
// reasons, and lifting an account that is not blocked.
Outcome setBlock(const QString &connectionText, const QString &account, Block block, const QString &reason,
                 const QString &note);

// The messages of the approval.
namespace text {
extern const char *const kWrongPassword;    // "PASSWORD PENYELIA SALAH"
extern const char *const kNotSupervisor;    // "BUKAN PENYELIA"
extern const char *const kOwnAction;        // the clerk names himself
extern const char *const kNeedsApproval;    // a write that needs an approval and has none
extern const char *const kCorrectionNeedsApproval; // a correction without one
extern const char *const kApprovalNeeded;   // any other action without one
extern const char *const kPostedIt;         // the supervisor who posted a run approves its take-back
extern const char *const kSupervisorsOnly;  // a clerk asked for what only a supervisor does
extern const char *const kBlocked;          // "REKENING DIBLOKIR: ", the reason follows
extern const char *const kBlockReasonMissing;
extern const char *const kNotBlocked;       // lifting an account that is not blocked
extern const char *const kBlockAccountUnknown;
} // namespace text

// Proves a supervisor at the clerk's counter: his name and password, checked as
// the login checks them (with its back-off of failed tries), and his kind. On a
// server the proof is the server's: a connection as the supervisor's own role,
// on which the approval is written as a one-time grant for this clerk's role.
class Approver
{
public:
    explicit Approver(const QString &connectionText);
    ~Approver();

    QString openError() const;

    enum class Verdict { Approved, NotSupervisor, WrongPassword, OwnAction, Failed };
    // How long the check of this name's password must wait (the login's back-off).
    std::chrono::milliseconds waitBefore(const QString &user);
    // Checks the supervisor and writes the approval; *message for Failed.
    Verdict approve(const QString &user, const QString &password, const Request &request, Approval *approval,
                    QString *message);

private:
    Verdict grant(const QString &user, const QString &password, const Request &request, Approval *approval,
                  QString *message);
    const QString connectionText_;
    RecordSource *records_;
    std::unique_ptr<operators::Directory> directory_;
};

// Inside the clerk's write transaction: whether the request needs an approval
// (a withdrawal above the limit as it stands now; every other action always), and if
// so the approval used: on a server
// its grant is used up by this transaction (refused when it is not for exactly
// this, is used, or too old). Refused (kNeedsApproval) without one.
Outcome useApproval(QSqlDatabase &database, const Request &request, const std::optional<Approval> &approval);

} // namespace supervision
