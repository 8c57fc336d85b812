#include "data/operators/supervision.h"

#include "data/trail/audit.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/operators/operators.h"
#include "data/engine/pool.h"
#include "data/engine/writealone.h"
#include "data/records/recordsource.h"
#include "data/base/session.h"
#include "data/base/sqlscript.h"

#include <QDateTime>
#include <QSqlQuery>

// A supervisor's approval of what a clerk may not do alone, and its use in the
// clerk's write.
namespace supervision {

using db::readAlone;
using db::run;

Approver::Approver(const QString &connectionText)
    : connectionText_(connectionText)
    , records_(new RecordSource)
    , directory_(operators::directory(records_, QStringLiteral("Qpass"), connectionText))
{ }

Approver::~Approver()
{
    directory_.reset();
    delete records_;
}

QString Approver::openError() const
{
    return directory_->openError();
}

std::chrono::milliseconds Approver::waitBefore(const QString &user)
{
    bool found = false;
    if (!directory_->find(user, &found).isOk() || !found)
        return std::chrono::milliseconds(0);
    return directory_->waitBeforeCheck();
}

Approver::Verdict Approver::approve(const QString &user, const QString &password, const Request &request,
                                    Approval *approval, QString *message)
{
    // Four eyes: the one who asks never approves, whatever his kind.
    if (user == session::operatorName())
        return Verdict::OwnAction;
    bool found = false;
    const Outcome looked = directory_->find(user, &found);
    if (!looked.isOk()) {
        *message = looked.message();
        return Verdict::Failed;
    }
    if (!found) {
        directory_->recordFailure(operators::Directory::Failure::UnknownUser);
        return Verdict::NotSupervisor;
    }
    switch (directory_->check(password, message)) {
    case operators::Verdict::Right:
        break;
    case operators::Verdict::Wrong:
        directory_->recordFailure(operators::Directory::Failure::WrongPassword);
        return Verdict::WrongPassword;
    case operators::Verdict::Damaged:
        directory_->recordFailure(operators::Directory::Failure::DamagedPassword);
        return Verdict::Failed;
    case operators::Verdict::Failed:
        return Verdict::Failed;
    }
    return grant(directory_->currentUser(), password, request, approval, message);
}

Approver::Verdict Approver::grant(const QString &user, const QString &password, const Request &request,
                                  Approval *approval, QString *message)
{
    approval->supervisor = user;
    approval->grant.reset();
    const db::Roles *roles = db::dialectFor(connectionText_).roles();
    if (!roles) {
        // A file has no roles: the program checked the password, and checks the kind.
        Kind kind = Kind::Clerk;
        const Outcome outcome =
            readAlone(connectionText_, [&](QSqlDatabase &database) { return kindOf(database, user, &kind); });
        if (!outcome.isOk()) {
            *message = outcome.message();
            return Verdict::Failed;
        }
        if (kind != Kind::Supervisor)
            return Verdict::NotSupervisor;
        // A run's take-back: not by the supervisor who posted it.
        if (request.action == QLatin1String(kTakeBackAction)) {
            QString poster;
            const Outcome read = readAlone(connectionText_, [&](QSqlDatabase &database) {
                QSqlQuery query;
                const Outcome asked = run(database, QStringLiteral("SELECT penyelia FROM bagi_hasil WHERE id = ?"),
                                          {request.reversed.value_or(0)}, &query);
                if (asked.isOk() && query.next())
                    poster = query.value(0).toString();
                return asked;
            });
            if (!read.isOk()) {
                *message = read.message();
                return Verdict::Failed;
            }
            if (poster == user) {
                *message = QString::fromLatin1(text::kPostedIt);
                return Verdict::Failed;
            }
        }
        return Verdict::Approved;
    }

    // On a server the supervisor proves himself to the server: his own role, his
    // own password, and on that connection the grant for the clerk's role.
    const QString service = db::connectionValue(connectionText_, QStringLiteral("Data Source"));
    const std::optional<db::ServerLogin> clerk = roles->adopted(service);
    if (!clerk) {
        *message = QStringLiteral("Belum ada operator yang masuk.");
        return Verdict::Failed;
    }
    QString role;
    {
        db::Connection lookup;
        if (!lookup.openAsService(connectionText_, message))
            return Verdict::Failed;
        {
            QSqlDatabase database = lookup.database();
            QSqlQuery query;
            const Outcome outcome =
                run(database, QStringLiteral("SELECT peran FROM simparo_operator_cari(CAST(? AS text))"), {user}, &query);
            if (outcome.isOk() && query.next())
                role = query.value(0).toString();
            else if (!outcome.isOk())
                *message = outcome.message();
        }
        lookup.close();
        if (role.isEmpty())
            return message->isEmpty() ? Verdict::NotSupervisor : Verdict::Failed;
    }
    if (role == clerk->role)
        return Verdict::OwnAction;
    QString own;
    if (!roles->openAs(service, {role, password}, &own, message))
        return Verdict::Failed;
    Verdict verdict = Verdict::Failed;
    {
        QSqlDatabase database = db::connection(own);
        QSqlQuery query;
        Outcome outcome = run(database, QStringLiteral("SELECT simparo_penyelia_sesi()"), {}, &query);
        if (!outcome.isOk()) {
            *message = outcome.message();
        } else if (!(query.next() && query.value(0).toBool())) {
            verdict = Verdict::NotSupervisor;
        } else {
            query.finish();
            QSqlError failure;
            if (!db::beginWrite(database, &failure)) {
                *message = db::describeError(failure, database);
            } else {
                // A correction's grant is for the row itself: the server reads its
                // account and amount, and refuses a row that may not be corrected.
                outcome = request.action == QLatin1String(kTakeBackAction)
                              ? run(database,
                                    QStringLiteral("SELECT simparo_setujui_batal_bagi_hasil(CAST(? AS bigint), "
                                                   "CAST(? AS text), CAST(? AS text), CAST(? AS text))"),
                                    {request.reversed.value_or(0), clerk->role, audit::currentZone(),
                                     session::counterName()},
                                    &query)
                          : request.action == QLatin1String(kCorrectionAction)
                              ? run(database,
                                    QStringLiteral("SELECT simparo_setujui_koreksi(CAST(? AS bigint), CAST(? AS text), "
                                                   "CAST(? AS text), CAST(? AS text), CAST(? AS text))"),
                                    {request.reversed.value_or(0), request.reason, clerk->role, audit::currentZone(),
                                     session::counterName()},
                                    &query)
                              : run(database,
                                    QStringLiteral("SELECT simparo_setujui(CAST(? AS text), CAST(? AS text), "
                                                   "CAST(? AS double precision), CAST(? AS text), CAST(? AS text), "
                                                   "CAST(? AS text))"),
                                    {request.action, request.account, request.amount.toDouble(), clerk->role,
                                     audit::currentZone(), session::counterName()},
                                    &query);
                if (outcome.isOk() && query.next())
                    approval->grant = query.value(0).toLongLong();
                query.finish();
                const bool ok = outcome.isOk() && approval->grant.has_value();
                if (!db::endWrite(database, ok, &failure) && ok)
                    outcome = Outcome::failed(db::describeError(failure, database));
                if (ok && outcome.isOk())
                    verdict = Verdict::Approved;
                else if (outcome.message().contains(QLatin1String("yang memposting tidak boleh")))
                    *message = QString::fromLatin1(text::kPostedIt);
                else
                    *message = outcome.message();
            }
        }
    }
    db::closeConnection(own);
    return verdict;
}

Outcome useApproval(QSqlDatabase &database, const Request &request, const std::optional<Approval> &approval)
{
    const bool correction = request.action == QLatin1String(kCorrectionAction);
    const bool withdrawal = request.action == QLatin1String(kWithdrawalAction);
    const QString missing = QString::fromLatin1(correction   ? text::kCorrectionNeedsApproval
                                                : withdrawal ? text::kNeedsApproval
                                                             : text::kApprovalNeeded);
    Outcome outcome;
    // Only a withdrawal up to the limit goes without one: an action this program
    // does not know never does.
    if (withdrawal) {
        Money limit;
        outcome = withdrawalLimit(database, &limit);
        if (!outcome.isOk())
            return outcome;
        if (request.amount <= limit)
            return Outcome::ok();
    }
    if (!approval)
        return Outcome::refused(missing);
    if (!db::dialect(database).hasOperatorRoles())
        return Outcome::ok();
    if (!approval->grant)
        return Outcome::refused(missing);
    QSqlQuery query;
    outcome = run(database,
                  QStringLiteral("SELECT simparo_pakai_persetujuan(CAST(? AS bigint), CAST(? AS text), CAST(? AS text), "
                                 "CAST(? AS double precision))"),
                  {*approval->grant, request.action, request.account, request.amount.toDouble()}, &query);
    if (!outcome.isOk() && outcome.message().contains(QLatin1String("persetujuan penyelia")))
        return Outcome::refused(missing);
    return outcome;
}

} // namespace supervision
