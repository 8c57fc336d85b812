#include "transactionscreen.h"

#include "shell/approvalscreen.h"
#include "shell/messages.h"
#include "shell/recordsources.h"
#include "data/engine/connectiontext.h"
#include "data/records/recordsource.h"
#include "data/operators/supervision.h"
#include "data/base/wallclock.h"

// "SAVE" on the transaction screen: the posting as typed checked, a supervisor's
// approval asked where the limit wants one, and the one write of the ledger.
using posting::Code;

namespace {

// The trail row of a posting stored at `moment`; a withdrawal's names the
// supervisor who approved it.
audit::Entry trailEntry(Code code, const QString &account, const QString &token, const QDateTime &moment,
                        const std::optional<supervision::Approval> &approval)
{
    audit::Entry entry = posting::trailEntry(code, account, token);
    entry.moment = moment;
    if (code == Code::Withdrawal && approval)
        entry.rincian = audit::detail(QStringLiteral("penyelia"), approval->supervisor)
            + (approval->grant ? u'\n' + audit::detail(QStringLiteral("persetujuan"), QString::number(*approval->grant))
                               : QString());
    return entry;
}

// What the write checks inside its transaction: the account's block, the posting
// against the balance as it stands, and a withdrawal's approval (used up by it).
recordwrite::Check writeCheck(Code code, const QString &account, Money amount,
                              const std::shared_ptr<posting::ShownBalance> &shown, const supervision::Request &request,
                              const std::optional<supervision::Approval> &approval)
{
    recordwrite::Check check = [inner = posting::postingCheck(account, code, amount, shown), account,
                                withdrawal = code == Code::Withdrawal](QSqlDatabase &database, QVector<QVariant> &row) {
        const Outcome blocked = supervision::checkBlock(database, account, withdrawal);
        return blocked.isOk() ? inner(database, row) : blocked;
    };
    if (code == Code::Withdrawal)
        check = [check, request, approval](QSqlDatabase &database, QVector<QVariant> &row) {
            const Outcome checked = check(database, row);
            return checked.isOk() ? supervision::useApproval(database, request, approval) : checked;
        };
    return check;
}

} // namespace

void TransactionScreen::save()
{
    const std::optional<Typed> typed = readTyped();
    if (!typed)
        return;
    // Name and balance come from the database as it stands inside the write
    // transaction, so the balance chain of the account cannot break. The write
    // stores only the previous balance the clerk was shown; another one (a posting
    // of another counter since) is shown to him and stored only when he agrees.
    auto shown = std::make_shared<posting::ShownBalance>();
    if (shownAccount_ == typed->account)
        shown->previous = previousBalance_;
    if (shown->previous && !confirmChangedAmount(*typed))
        return;
    // The posting is named in the audit trail by a token of its own, the same for
    // every "SAVE" of the same typing until it is stored.
    const QString typing =
        QStringLiteral("%1\n%2\n%3").arg(typed->account, posting::codeText(typed->code)).arg(typed->amount.sen());
    if (token_.isEmpty() || tokenFor_ != typing) {
        token_ = audit::newToken();
        tokenFor_ = typing;
    }
    const supervision::Request request{QLatin1String(supervision::kWithdrawalAction), typed->account, typed->amount,
                                       {}, {}};
    if (typed->code == Code::Withdrawal && !(approval_ && approvedFor_ == typing)
        && waitsForApproval(*typed, request, typing))
        return;
    const std::optional<supervision::Approval> approval =
        approval_ && approvedFor_ == typing ? approval_ : std::nullopt;
    if (store(*typed, shown, request, approval))
        clearAfterSave();
}

std::optional<TransactionScreen::Typed> TransactionScreen::readTyped()
{
    const QString account = ui.txtREKENING->text();
    if (account.isEmpty()) {
        refuse(QString::fromLatin1(posting::text::kAccountMissing), ui.txtREKENING);
        return std::nullopt;
    }
    // An account found by the preview is not looked up again: the write takes the
    // register's name itself, and refuses an account no longer registered.
    const std::optional<QString> name = !foundAccount_.isNull() && account == foundAccount_
                                            ? std::optional<QString>(foundName_)
                                            : lookUpCustomer(QString::fromLatin1(posting::text::kAccountUnknown));
    if (!name)
        return std::nullopt;
    const std::optional<Code> code = chosenCode();
    if (!code) {
        refuse(QString::fromLatin1(posting::text::kCodeMissing), ui.cbo_TRANSAKSI);
        return std::nullopt;
    }
    const bool deposit = *code == Code::Deposit;
    QLineEdit *amountField = deposit ? ui.txtKREDIT : ui.txtDEBET;
    QLineEdit *otherField = deposit ? ui.txtDEBET : ui.txtKREDIT;
    if (!otherField->text().trimmed().isEmpty()) {
        refuse(QString::fromLatin1(deposit ? posting::text::kDebetNotEmpty : posting::text::kKreditNotEmpty),
               otherField->isEnabled() ? otherField : amountField);
        return std::nullopt;
    }
    Money amount;
    const posting::AmountProblem problem = posting::readAmount(amountField->text(), *code, &amount);
    if (problem != posting::AmountProblem::None) {
        refuseAmount(posting::amountRefusal(problem, *code), amountField);
        return std::nullopt;
    }
    // A block forbids it before any approval is asked; the write checks it again.
    if (!blockAllows(*code, amountField))
        return std::nullopt;
    return Typed{account, *name, *code, amount, amountField};
}

bool TransactionScreen::confirmChangedAmount(const Typed &typed)
{
    // A new balance on screen that another amount gave (the amount changed after its
    // Enter) is not what would be stored: the clerk sees the right one and is asked.
    if (!ui.txtSALDO->isVisible() || ui.txtSALDO->text().isEmpty())
        return true;
    const std::optional<Money> next = posting::newBalance(previousBalance_, typed.code, typed.amount);
    if (!next || Money::parse(ui.txtSALDO->text()) == next)
        return true;
    showNewBalance(next->toText());
    return msg::askYesNo(this, posting::amountChangedQuestion(typed.amount, *next), QStringLiteral("PERHATIAN"));
}

bool TransactionScreen::waitsForApproval(const Typed &typed, const supervision::Request &request,
                                         const QString &typing)
{
    // A withdrawal above the limit needs a supervisor's approval before anything
    // is written; "SAVE" goes on once he gave it. The write checks the limit again.
    Money limit;
    const Outcome read = supervision::withdrawalLimit(db::connectionText(), &limit);
    if (!read.isOk()) {
        msg::perhatian(this, read.message());
        typed.amountField->setFocus();
        return true;
    }
    if (!(typed.amount > limit))
        return false;
    ApprovalScreen::ask(this, request, [this, typing](const supervision::Approval &approval) {
        approval_ = approval;
        approvedFor_ = typing;
        save();
    });
    return true;
}

bool TransactionScreen::store(const Typed &typed, const std::shared_ptr<posting::ShownBalance> &shown,
                              const supervision::Request &request,
                              const std::optional<supervision::Approval> &approval)
{
    for (;;) {
        // The posting is dated as it is stored, by the same reading of the clock as
        // its trail row's moment: a screen opened before midnight and saved after it
        // posts on the new day, in the ledger and in the trail alike.
        const QDateTime moment = wallclock::now();
        if (Adodc2->addNew(posting::ledgerRow(typed.account, typed.name, moment.date(), typed.code, typed.amount),
                           writeCheck(typed.code, typed.account, typed.amount, shown, request, approval),
                           trailEntry(typed.code, typed.account, token_, moment, approval))) {
            ui.DTPicker1->setDate(moment.date());
            return true;
        }
        if (!shown->differed)
            break;
        if (!confirmChangedBalance(typed.code, typed.amount, typed.amountField))
            return false;
        shown->previous = previousBalance_;
        shown->differed = false;
    }
    // The balance as it stands inside the write may not take the amount: told
    // as Enter tells it.
    const Outcome &write = Adodc2->lastWrite();
    const posting::AmountRefusal balance = posting::balanceProblem(typed.code);
    if (write.isRefused() && write.message() == balance.text) {
        refuseAmount(balance, typed.amountField);
        return false;
    }
    // Blocked since the clerk looked: nothing is stored.
    if (write.isRefused() && write.message().startsWith(QLatin1String(supervision::text::kBlocked))) {
        refuse(write.message(), typed.amountField);
        return false;
    }
    // An approval used, gone stale, or a limit lowered meanwhile: the next "SAVE" asks again.
    if (write.isRefused() && write.message() == QLatin1String(supervision::text::kNeedsApproval)) {
        approval_.reset();
        refuse(QString::fromLatin1(supervision::text::kNeedsApproval), typed.amountField);
        return false;
    }
    reportWriteFailure(this, Adodc2);
    typed.amountField->setFocus();
    return false;
}

bool TransactionScreen::confirmChangedBalance(Code code, Money amount, QLineEdit *amountField)
{
    const std::optional<Money> shownBefore =
        shownAccount_ == ui.txtREKENING->text() ? std::optional<Money>(previousBalance_) : std::nullopt;
    if (!prepareAmount())
        return false;
    const std::optional<Money> balance = posting::newBalance(previousBalance_, code, amount);
    if (!balance) {
        refuseAmount(posting::balanceProblem(code), amountField);
        return false;
    }
    showNewBalance(balance->toText());
    return msg::askYesNo(this, posting::balanceQuestion(ui.txtREKENING->text(), shownBefore, previousBalance_, *balance),
                         QStringLiteral("PERHATIAN"));
}

void TransactionScreen::clearAfterSave()
{
    // The passbook's screen opens on this account ("CETAK BUKU").
    lastSaved_ = ui.txtREKENING->text();
    token_.clear();
    approval_.reset();
    shownAccount_.reset();
    showNewBalancePlace();
    // Fields that are empty already (a deposit's withdrawal field) are left as they are.
    for (QLineEdit *field : {ui.txtREKENING, ui.TXTnama, ui.txtDEBET, ui.txtKREDIT, ui.txtSALDO, ui.txtJENIS})
        if (!field->text().isEmpty())
            field->clear();
    ui.txtREKENING->setFocus();
    // Stored after a lost connection, or by an earlier "SAVE" whose answer was lost: the clerk hears so.
    if (!Adodc2->lastWrite().notice().isEmpty())
        msg::show(this, Adodc2->lastWrite().notice(), QString::fromLatin1(msg::kAppTitle), msg::Icon::Information);
}
