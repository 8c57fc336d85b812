#include "balancerequest.h"

#include "shell/keys.h"
#include "shell/looks.h"
#include "shell/screens.h"
#include "data/base/outcome.h"
#include "data/records/dataenvironment.h"
#include "data/base/textforms.h"
#include "data/base/wallclock.h"
#include "reports/reportdefinition.h"
#include "reports/reports.h"

BalanceRequestScreen::BalanceRequestScreen(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    looks::indonesianDates(ui.DTPicker1);
    ui.DTPicker1->setDate(wallclock::today());
    onEnter(ui.DTPicker1, [this] { ui.cmdCETAK->setFocus(); });
    connect(ui.cmdCETAK, &QPushButton::clicked, this, &BalanceRequestScreen::print);
    connect(ui.cmdBatal, &QPushButton::clicked, this, [this] {
        close();
        screens::showHome();
    });
    screens::onActivation(this, [this] { ui.DTPicker1->setFocus(); });
}

// The balances at the end of the day: what the last row dated that day or before
// it left, rows dated later not counted (a date stored with a time of day too is
// still that day's).
void BalanceRequestScreen::print()
{
    const QDate day = ui.DTPicker1->date();
    const QString before = textform::storedDateText(day.addDays(1));
    if (dataenv::CommandSource *source = dataenv::DMN()->command(QStringLiteral("SALDO")))
        source->setValues({before, before});
    const auto readTexts = [day](QSqlDatabase &, QHash<QString, QString> *texts) {
        texts->insert(QStringLiteral("tanggal"), textform::shortDate(day));
        return Outcome::ok();
    };
    reports::showReport(reports::lapsaldo(), this, readTexts);
}
