#include "ledgerview.h"

#include "shell/keys.h"
#include "shell/looks.h"
#include "shell/messages.h"
#include "shell/recordsources.h"
#include "shell/screens.h"
#include "shell/gridbinding.h"
#include "data/records/recordsource.h"
#include "savings/ledgerlookup.h"

LedgerView::LedgerView(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    Adodc1 = openRecordSource(this, QStringLiteral("Adodc1"), QStringLiteral("daftar"));
    Adodc2 = openRecordSource(this, QStringLiteral("Adodc2"), QStringLiteral("nabubg"), Adodc1->isOpen());
    bindGrid(ui.DataGrid1, Adodc2);

    ui.txtSAL->setEnabled(false);
    looks::fullContrast(ui.txtSAL);
    ui.lblSAL->setVisible(false);
    ui.lblRP->setVisible(false);
    ui.txtSAL->setVisible(false);

    onEnter(ui.txtREKENING, [this] { lookUpAccount(); });
    screens::onActivation(this, [this] { ui.txtREKENING->setFocus(); });
    ui.txtREKENING->setFocus();
}

void LedgerView::lookUpAccount()
{
    const QString account = ui.txtREKENING->text();
    const savings::CustomerLookup customer = savings::findCustomer(Adodc1, account);
    if (!customer.ok) {
        msg::perhatian(this, Adodc1->lastError());
        return;
    }
    if (!customer.found) {
        // Nothing of the account shown before stays beside a number not found: no
        // total, and in the grid only the rows of the number typed.
        saldoLama.clear();
        showTotal(false);
        const bool narrowed = Adodc2->setFilter(savings::accountCriteria(account), RecordSource::Reading::Current);
        msg::plain(this, QStringLiteral("MAAF DATA TIDAK ADA"));
        if (!narrowed)
            msg::perhatian(this, Adodc2->lastError());
        return;
    }
    const savings::LedgerLookup found = savings::lookUpLedger(Adodc2, account);
    if (!found.ok) {
        msg::perhatian(this, found.error);
        return;
    }
    // An account without rows shows none, and a total of 0.
    saldoLama = found.balanceText;
    ui.txtSAL->setText(saldoLama);
    showTotal(true);
}

void LedgerView::showTotal(bool shown)
{
    if (!shown)
        ui.txtSAL->clear();
    ui.txtSAL->setVisible(shown);
    ui.lblSAL->setVisible(shown);
    ui.lblRP->setVisible(shown);
}
