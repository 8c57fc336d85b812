#include "ledgerview.h"

#include "shell/keys.h"
#include "shell/messages.h"
#include "shell/recordsources.h"
#include "shell/screens.h"
#include "shell/gridbinding.h"
#include "data/recordsource.h"
#include "savings/ledgerlookup.h"

LedgerView::LedgerView(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    Adodc1 = openRecordSource(this, QStringLiteral("Adodc1"), QStringLiteral("daftar"));
    Adodc2 = openRecordSource(this, QStringLiteral("Adodc2"), QStringLiteral("nabubg"), Adodc1->isOpen());
    bindGrid(ui.DataGrid1, Adodc2);

    ui.txtSAL->setEnabled(false);
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
        msg::plain(this, QStringLiteral("MAAF DATA TIDAK ADA"));
        return;
    }
    const savings::LedgerLookup found = savings::lookUpLedger(Adodc2, account);
    if (!found.ok) {
        msg::perhatian(this, found.error);
        return;
    }
    saldoLama = found.balanceText;
    if (!found.hasRows)
        return;
    ui.txtSAL->setText(saldoLama);
    ui.txtSAL->setVisible(true);
    ui.lblSAL->setVisible(true);
    ui.lblRP->setVisible(true);
}
