#include "correctionscreen.h"

#include "data/base/wallclock.h"
#include "data/engine/connectiontext.h"
#include "data/records/recordsource.h"
#include "savings/ledgerlookup.h"
#include "savings/posting.h"
#include "shell/approvalscreen.h"
#include "shell/gridbinding.h"
#include "shell/keys.h"
#include "shell/messages.h"
#include "shell/recordsources.h"
#include "shell/screens.h"

CorrectionScreen::CorrectionScreen(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    setFixedSize(size());
    Adodc1 = openRecordSource(this, QStringLiteral("Adodc1"), QStringLiteral("daftar"));
    Adodc2 = openRecordSource(this, QStringLiteral("Adodc2"), QStringLiteral("nabubg"), Adodc1->isOpen());
    // No account's rows until one is looked up.
    Adodc2->setFilter(savings::accountCriteria(QString()), RecordSource::Reading::Current);
    bindGrid(ui.DataGrid1, Adodc2);

    onEnter(ui.txtREKENING, [this] {
        if (lookUp())
            ui.DataGrid1->setFocus();
    });
    onEnter(ui.DataGrid1, [this] { ui.txtALASAN->setFocus(); });
    onEnter(ui.txtALASAN, [this] { ui.cmdKOREKSI->setFocus(); });
    onEnter(ui.cmdKOREKSI, [this] { correct(); });
    onEnter(ui.cmdBatal, [this] { close(); });
    connect(ui.cmdKOREKSI, &QPushButton::clicked, this, &CorrectionScreen::correct);
    connect(ui.cmdBatal, &QPushButton::clicked, this, &QWidget::close);
    ui.txtREKENING->setFocus();
}

void CorrectionScreen::refuse(const QString &text, QWidget *focus)
{
    msg::perhatian(this, text);
    focus->setFocus();
}

// Shows the name and the rows of the account typed, its latest row current;
// false (told) when it is not registered or could not be read.
bool CorrectionScreen::lookUp()
{
    const QString account = ui.txtREKENING->text();
    shownAccount_.clear();
    ui.txtNAMA->clear();
    const savings::CustomerLookup customer = savings::findCustomer(Adodc1, account);
    if (!customer.ok) {
        refuse(Adodc1->lastError(), ui.txtREKENING);
        return false;
    }
    if (!customer.found) {
        Adodc2->setFilter(savings::accountCriteria(account), RecordSource::Reading::Current);
        refuse(QString::fromLatin1(posting::text::kAccountUnknown), ui.txtREKENING);
        return false;
    }
    const savings::LedgerLookup found = savings::lookUpLedger(Adodc2, account);
    if (!found.ok) {
        refuse(found.error, ui.txtREKENING);
        return false;
    }
    ui.txtNAMA->setText(customer.name);
    shownAccount_ = account;
    return true;
}

void CorrectionScreen::correct()
{
    // Another number typed since the rows were shown: its rows first, then the choice.
    if (shownAccount_.isEmpty() || ui.txtREKENING->text() != shownAccount_) {
        if (lookUp())
            refuse(QString::fromLatin1(correction::text::kNoRow), ui.DataGrid1);
        return;
    }
    const std::optional<qint64> key = Adodc2->hasCurrent() ? Adodc2->currentKey() : std::nullopt;
    if (!key)
        return refuse(QString::fromLatin1(correction::text::kNoRow), ui.DataGrid1);
    const QString reason = ui.txtALASAN->text().trimmed();
    if (reason.isEmpty())
        return refuse(QString::fromLatin1(correction::text::kReasonMissing), ui.txtALASAN);
    correction::Original row;
    const Outcome judged = correction::judge(db::connectionText(), *key, &row);
    if (!judged.isOk())
        return refuse(judged.message(), judged.isRefused() ? static_cast<QWidget *>(ui.DataGrid1) : ui.cmdKOREKSI);
    // Nothing is written before the supervisor approves; Batal keeps what was typed.
    ApprovalScreen::ask(this, correction::request(row, reason),
                        [this, row, reason](const supervision::Approval &approval) { write(row, reason, approval); });
}

void CorrectionScreen::write(const correction::Original &row, const QString &reason,
                             const supervision::Approval &approval)
{
    // Dated as it is stored, by the same reading of the clock as its trail row.
    const QDateTime moment = wallclock::now();
    audit::Entry entry = correction::trailEntry(row, reason, approval, audit::newToken());
    entry.moment = moment;
    if (!Adodc2->addNew(correction::ledgerRow(row, moment.date()), correction::check(row, reason, approval), entry)) {
        if (Adodc2->lastWrite().isRefused())
            return refuse(correction::refusalOf(Adodc2->lastWrite().message()), ui.DataGrid1);
        reportWriteFailure(this, Adodc2);
        return;
    }
    // Both rows show, the correction last.
    ui.txtALASAN->clear();
    const savings::LedgerLookup found = savings::lookUpLedger(Adodc2, row.account);
    if (!found.ok)
        msg::perhatian(this, found.error);
    ui.txtREKENING->setFocus();
    const QString notice = Adodc2->lastWrite().notice();
    msg::show(this, notice.isEmpty() ? QStringLiteral("Koreksi tersimpan.") : notice,
              QString::fromLatin1(msg::kAppTitle), msg::Icon::Information);
}
