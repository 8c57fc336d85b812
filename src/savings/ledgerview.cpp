#include "ledgerview.h"

#include "app/keys.h"
#include "app/messages.h"
#include "app/recordsources.h"
#include "app/screens.h"
#include "data/gridbinding.h"
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

    // Every key in the account field redraws the grid; Enter looks the account up first.
    afterEveryKey(ui.txtREKENING, [this] { refreshGrid(); });
    onEnter(ui.txtREKENING, [this] {
        lookUpAccount();
        refreshGrid();
    });
    connect(ui.DataGrid1, &QAbstractItemView::clicked, this, &LedgerView::refreshGrid);
    screens::onActivation(this, [this] { ui.txtREKENING->setFocus(); });
    ui.txtREKENING->setFocus();
}

void LedgerView::refreshGrid()
{
    ui.DataGrid1->viewport()->update();
}

void LedgerView::lookUpAccount()
{
    const QString account = ui.txtREKENING->text();
    if (!savings::findCustomer(Adodc1, account)) {
        msg::plain(this, QStringLiteral("MAAF DATA TIDAK ADA"));
        return;
    }
    const savings::LedgerLookup found = savings::lookUpLedger(Adodc2, account);
    if (!found.ok) {
        msg::databaseError(this, Adodc2->lastError());
        return;
    }
    saldoLama = found.balanceText;
    if (!found.hasRows) {
        refreshGrid();
        return;
    }
    ui.txtSAL->setText(saldoLama);
    refreshGrid();
    ui.txtSAL->setVisible(true);
    ui.lblSAL->setVisible(true);
    ui.lblRP->setVisible(true);
}
