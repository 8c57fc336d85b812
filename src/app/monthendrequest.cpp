#include "monthendrequest.h"

#include "app/monthendscreen.h"
#include "data/engine/connectiontext.h"
#include "data/engine/pool.h"
#include "shell/keys.h"
#include "shell/messages.h"

#include <QApplication>

MonthEndRequestScreen::MonthEndRequestScreen(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    setFixedSize(size());
    onEnter(ui.txtBULAN, [this] { ui.cmdCETAK->setFocus(); });
    connect(ui.cmdCETAK, &QPushButton::clicked, this, &MonthEndRequestScreen::print);
    connect(ui.cmdBatal, &QPushButton::clicked, this, &QWidget::close);
    ui.txtBULAN->setFocus();
}

// The shares as posted: the stored inputs over the rows dated in the month,
// which later postings (dated after it) leave as they were.
void MonthEndRequestScreen::print()
{
    const std::optional<profitshare::Month> month = profitshare::Month::parse(ui.txtBULAN->text().trimmed());
    if (!month) {
        msg::perhatian(this, QStringLiteral("BULAN HARUS DITULIS MM/YYYY, MISALNYA 06/2026"));
        ui.txtBULAN->setFocus();
        return;
    }
    QString error;
    db::Connection connection;
    if (!connection.open(db::connectionText(), &error)) {
        msg::perhatian(this, error);
        return;
    }
    std::optional<monthend::Run> run;
    profitshare::Result result;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Outcome outcome;
    {
        QSqlDatabase database = connection.database();
        outcome = monthend::postedRun(database, *month, &run);
        if (outcome.isOk() && run)
            outcome = monthend::compute(database, run->inputs, *month, &result);
    }
    connection.close();
    QApplication::restoreOverrideCursor();
    if (outcome.isOk() && !run)
        outcome = Outcome::refused(QStringLiteral("BAGI HASIL BULAN %1 BELUM DIPOSTING").arg(month->text()));
    if (!outcome.isOk()) {
        msg::perhatian(this, outcome.message());
        ui.txtBULAN->setFocus();
        return;
    }
    showMonthEndReport(run->inputs, result, run, this);
}
