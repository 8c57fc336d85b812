#include "savingsrequest.h"

#include "app/keys.h"
#include "app/screens.h"
#include "data/criteria.h"
#include "reports/dataenvironment.h"
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
        screens::showMainWindow();
    });
    screens::onActivation(this, [this] { ui.txtREKENING->setFocus(); });
}

// The savings report's rows narrow to the account number exactly as typed; an
// apostrophe in it is searched for literally.
void SavingsRequestScreen::setFilter()
{
    if (reports::CommandSource *source = reports::DMN()->command(QStringLiteral("Command2")))
        source->setFilter(criteria::build(QStringLiteral("NOREKENING"), ui.txtREKENING->text()));
}

void SavingsRequestScreen::print()
{
    setFilter();
    reports::showReport(reports::datar(), this);
}
