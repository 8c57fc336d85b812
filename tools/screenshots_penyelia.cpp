// The supervisor's screens of simparo-screenshots (menu Penyelia, and the report
// of a month posted), worked by the operator who logged in, a supervisor.
#include "screenshots.h"

#include "app/blockscreen.h"
#include "app/mainwindow.h"
#include "app/monthendrequest.h"
#include "app/monthendscreen.h"
#include "app/settingsscreen.h"
#include "data/base/wallclock.h"
#include "reports/reports.h"
#include "reports/reportwindow.h"
#include "shell/screens.h"
#include "screendriver.h"

#include <QDateTime>

namespace shots {

namespace {

// The report window of this name, resized and shot, then closed.
void shootReport(const char *name, const QSize &size, const QString &folder)
{
    auto *report = reports::reportWindow(QLatin1String(name));
    if (report)
        report->resize(size);
    shoot(report, folder, QLatin1String(name));
    if (report)
        report->close();
}

} // namespace

void takeSupervisorPictures(MainWindow *menu, const QString &folder)
{
    // A block on withdrawals being chosen for an account (not stored).
    trigger(menu, "mnuBLOKIR");
    if (auto *block = screens::find<BlockScreen>(); !block) {
        fail(QStringLiteral("frmBLOKIR did not open"));
    } else {
        ScreenDriver::type(block, "txtREKENING", QStringLiteral("0120240003"));
        enter(block, "txtREKENING");
        ScreenDriver::key(block, "cboALASAN", Qt::Key_Down);
        ScreenDriver::type(block, "txtKETERANGAN", QStringLiteral("Dilaporkan orang tua siswa"));
        ScreenDriver::key(block, "optDEBET", Qt::Key_Space);
        settle();
        shoot(block, folder, QStringLiteral("frmBLOKIR"));
        block->close();
    }

    // The settings as a new database has them.
    trigger(menu, "mnuPENGATURAN");
    if (auto *settings = screens::find<SettingsScreen>(); !settings) {
        fail(QStringLiteral("frmPENGATURAN did not open"));
    } else {
        shoot(settings, folder, QStringLiteral("frmPENGATURAN"));
        settings->close();
    }

    // The month end of July, on the first of August: computed and shown, not
    // posted (a posting is dated by the database's own clock).
    wallclock::setForTesting([] { return QDateTime(QDate(2024, 8, 1), QTime(9, 30)); });
    trigger(menu, "mnuBAGIHASIL");
    if (auto *monthEnd = screens::find<MonthEndScreen>(); !monthEnd) {
        fail(QStringLiteral("frmBAGIHASIL did not open"));
    } else {
        ScreenDriver::type(monthEnd, "txtPENDAPATAN", QStringLiteral("150000"));
        enter(monthEnd, "txtPENDAPATAN");
        ScreenDriver::type(monthEnd, "txtNISBAH", QStringLiteral("40"));
        enter(monthEnd, "txtNISBAH");
        shoot(monthEnd, folder, QStringLiteral("frmBAGIHASIL"));
        press(monthEnd, "cmdHITUNG");
        shootReport("LAPBAGIHASIL", QSize(1000, 560), folder);
        monthEnd->close();
    }

    // The request of the report of a month posted, the month typed.
    trigger(menu, "mnuLBAGIHASIL");
    if (auto *request = screens::find<MonthEndRequestScreen>(); !request) {
        fail(QStringLiteral("frmRBAGIHASIL did not open"));
    } else {
        ScreenDriver::type(request, "txtBULAN", QStringLiteral("07/2024"));
        shoot(request, folder, QStringLiteral("frmRBAGIHASIL"));
        request->close();
    }
    wallclock::setForTesting([] { return QDateTime(kToday, QTime(11, 45)); });
}

} // namespace shots
