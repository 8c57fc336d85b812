#include "dailyrequest.h"

#include "shell/keys.h"
#include "shell/looks.h"
#include "shell/screens.h"
#include "data/trail/audit.h"
#include "data/base/criteria.h"
#include "data/records/dataenvironment.h"
#include "data/base/textforms.h"
#include "data/base/wallclock.h"
#include "reports/passbookday.h"
#include "reports/reportdefinition.h"
#include "reports/reports.h"

DailyRequestScreen::DailyRequestScreen(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    looks::indonesianDates(ui.DTPicker1);
    ui.DTPicker1->setDate(wallclock::today());
    onEnter(ui.DTPicker1, [this] { ui.cmdCETAK->setFocus(); });
    connect(ui.cmdCETAK, &QPushButton::clicked, this, &DailyRequestScreen::print);
    connect(ui.cmdBatal, &QPushButton::clicked, this, [this] {
        close();
        screens::showHome();
    });
    screens::onActivation(this, [this] { ui.DTPicker1->setFocus(); });
}

// The day's postings, and the seal at the end of the day read from the same
// snapshot, so that the seal printed covers every posting printed. A day not yet
// over is sealed as far as it has gone when the report is made.
void DailyRequestScreen::print()
{
    const QDate day = ui.DTPicker1->date();
    if (dataenv::CommandSource *source = dataenv::DMN()->command(QStringLiteral("HARIAN")))
        source->setFilter(criteria::build(QStringLiteral("TANGGAL"), textform::storedDateText(day)));
    const auto readTexts = [day](QSqlDatabase &database, QHash<QString, QString> *texts) {
        std::optional<audit::DaySeal> seal;
        const Outcome found = audit::sealAtEndOfDay(database, day, &seal);
        if (!found.isOk())
            return found;
        texts->insert(QStringLiteral("tanggal"), textform::shortDate(day));
        // The day's reprints and new books of passbooks, in a section of their own.
        QString passbooks;
        const Outcome listed = reports::passbookEvents(database, day, &passbooks);
        if (!listed.isOk())
            return listed;
        texts->insert(QStringLiteral("buku"), passbooks);
        if (seal) {
            const QDateTime local = audit::localTime(seal->waktu, seal->zona);
            QString row = QStringLiteral("Segel akhir %1 (jejak nomor %2, %3 %4 %5)")
                              .arg(textform::shortDate(day), QString::number(seal->nomor),
                                   textform::shortDate(local.date()), local.toString(QStringLiteral("HH:mm:ss")),
                                   seal->zona);
            if (day >= wallclock::today())
                row += QStringLiteral("; hari itu belum berakhir: segel sampai saat laporan dibuat");
            texts->insert(QStringLiteral("segel"), audit::groupedSeal(seal->segel));
            texts->insert(QStringLiteral("jejak"), row);
        } else {
            texts->insert(QStringLiteral("segel"), QStringLiteral("belum ada"));
            texts->insert(QStringLiteral("jejak"),
                          QStringLiteral("Belum ada baris jejak sampai akhir %1.").arg(textform::shortDate(day)));
        }
        return Outcome::ok();
    };
    reports::showReport(reports::harian(), this, readTexts);
}
