#include "savingsrequest.h"

#include "data/operators/supervision.h"

#include "shell/keys.h"
#include "shell/screens.h"
#include "data/base/criteria.h"
#include "data/records/dataenvironment.h"
#include "reports/reportdefinition.h"
#include "reports/reports.h"

SavingsRequestScreen::SavingsRequestScreen(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    onEnter(ui.txtREKENING, [this] {
        setFilter();
        ui.cmdCETAK->setFocus();
    });
    connect(ui.cmdCETAK, &QPushButton::clicked, this, &SavingsRequestScreen::print);
    connect(ui.cmdBatal, &QPushButton::clicked, this, [this] {
        close();
        screens::showHome();
    });
    screens::onActivation(this, [this] { ui.txtREKENING->setFocus(); });
}

// The savings report's rows narrow to the account number exactly as typed; an
// apostrophe in it is searched for literally.
void SavingsRequestScreen::setFilter()
{
    if (dataenv::CommandSource *source = dataenv::DMN()->command(QStringLiteral("Command2")))
        source->setFilter(criteria::build(QStringLiteral("NOREKENING"), ui.txtREKENING->text()));
}

void SavingsRequestScreen::print()
{
    setFilter();
    const auto readTexts = [account = ui.txtREKENING->text()](QSqlDatabase &database, QHash<QString, QString> *texts) {
        supervision::BlockState state;
        const Outcome read = supervision::currentBlock(database, account, &state);
        if (!read.isOk())
            return read;
        texts->insert(QStringLiteral("blokir"),
                      state.block == supervision::Block::None ? QString()
                      : state.block == supervision::Block::Withdrawals
                          ? QStringLiteral("PENARIKAN DIBLOKIR: %1").arg(state.reason)
                          : QStringLiteral("SEMUA TRANSAKSI DIBLOKIR: %1").arg(state.reason));
        return Outcome::ok();
    };
    reports::showReport(reports::datar(), this, readTexts);
}
