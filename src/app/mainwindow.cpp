#include "mainwindow.h"

#include "app/blockscreen.h"
#include "savings/correctionscreen.h"
#include "savings/passbookscreen.h"
#include "app/monthendrequest.h"
#include "app/monthendscreen.h"
#include "app/passwordscreen.h"
#include "app/settingsscreen.h"
#include "data/engine/connectiontext.h"
#include "data/operators/supervision.h"
#include "shell/screens.h"
#include "customers/registerscreen.h"
#include "savings/transactionscreen.h"
#include "reports/balancerequest.h"
#include "reports/dailyrequest.h"
#include "reports/reportdefinition.h"
#include "reports/reports.h"
#include "reports/savingsrequest.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    ui.setupUi(this);
    // The menus answer to their names both as menus and as entries of the menu bar.
    ui.mnuFILE->menuAction()->setObjectName(QStringLiteral("mnuFILE"));
    ui.mnuLAPORAN->menuAction()->setObjectName(QStringLiteral("mnuLAPORAN"));
    ui.mnuPENYELIA->menuAction()->setObjectName(QStringLiteral("mnuPENYELIA"));
    // A clerk sees the supervisor's menu, disabled. A kind that cannot be read is a
    // clerk's: the server refuses a clerk's role what the menu leads to anyway.
    supervision::Kind kind = supervision::Kind::Clerk;
    supervision::sessionKind(db::connectionText(), &kind);
    ui.mnuPENYELIA->menuAction()->setEnabled(kind == supervision::Kind::Supervisor);
    ui.Picture1->setPixmap(welcomePicture());
    setFixedSize(800, 600 + ui.menubar->sizeHint().height());

    connect(ui.MNUNASABAH, &QAction::triggered, this, [] { screens::show<RegisterScreen>(); });
    connect(ui.mnuEXIT, &QAction::triggered, this, &QWidget::close);
    connect(ui.mnuGanti, &QAction::triggered, this, [this] { screens::show<PasswordScreen>(this); });
    connect(ui.mnuTRANSAKSI, &QAction::triggered, this, [] { screens::show<TransactionScreen>(); });
    connect(ui.mnuLNASABAH, &QAction::triggered, this, [this] { reports::showReport(reports::lapnasabah(), this); });
    connect(ui.mnuTNASABAH, &QAction::triggered, this, [] { screens::show<SavingsRequestScreen>(); });
    connect(ui.mnuHARIAN, &QAction::triggered, this, [] { screens::show<DailyRequestScreen>(); });
    connect(ui.mnuLSALDO, &QAction::triggered, this, [] { screens::show<BalanceRequestScreen>(); });
    connect(ui.mnuPENGATURAN, &QAction::triggered, this, [] { screens::show<SettingsScreen>(); });
    connect(ui.mnuBLOKIR, &QAction::triggered, this, [] { screens::show<BlockScreen>(); });
    connect(ui.mnuKOREKSI, &QAction::triggered, this, [] { screens::show<CorrectionScreen>(); });
    connect(ui.mnuBUKU, &QAction::triggered, this, [] { screens::show<PassbookScreen>(); });
    connect(ui.mnuBAGIHASIL, &QAction::triggered, this, [] { screens::show<MonthEndScreen>(); });
    connect(ui.mnuLBAGIHASIL, &QAction::triggered, this, [] { screens::show<MonthEndRequestScreen>(); });
}

QPixmap MainWindow::welcomePicture()
{
    QPixmap picture(800, 600);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 600);
    sky.setColorAt(0.0, QColor(0x0b, 0x5d, 0x3b));
    sky.setColorAt(1.0, QColor(0x06, 0x2e, 0x20));
    painter.fillRect(picture.rect(), sky);

    // A row of books and a coin: savings for school pupils.
    painter.setPen(Qt::NoPen);
    const QColor books[] = {QColor(0xe8, 0xb9, 0x3c), QColor(0xf4, 0xf1, 0xe6), QColor(0x3c, 0x9d, 0x6b),
                            QColor(0xd9, 0x6c, 0x3a), QColor(0xf4, 0xf1, 0xe6)};
    for (int i = 0; i < 5; ++i) {
        painter.setBrush(books[i]);
        painter.drawRoundedRect(QRectF(250 + i * 34, 400 - (i % 2) * 20, 28, 120 + (i % 2) * 20), 4, 4);
    }
    painter.setBrush(QColor(0xe8, 0xb9, 0x3c));
    painter.drawEllipse(QPointF(500, 470), 50, 50);
    painter.setBrush(QColor(0xc9, 0x97, 0x1c));
    painter.drawEllipse(QPointF(500, 470), 38, 38);
    painter.setPen(QColor(0xf4, 0xf1, 0xe6));
    QFont font(QStringLiteral("Sans"), 28, QFont::Bold);
    painter.setFont(font);
    painter.drawText(QRectF(470, 440, 60, 60), Qt::AlignCenter, QStringLiteral("Rp"));

    font.setPointSize(40);
    painter.setFont(font);
    painter.drawText(QRectF(0, 60, 800, 70), Qt::AlignCenter, QStringLiteral("SIMPARO"));
    font.setPointSize(16);
    font.setBold(false);
    painter.setFont(font);
    painter.drawText(QRectF(0, 130, 800, 40), Qt::AlignCenter, QStringLiteral("Tabungan Pelajar dan Mahasiswa"));
    painter.drawText(QRectF(0, 540, 800, 40), Qt::AlignCenter, QStringLiteral("PT.BPRS.MERANTIKA"));
    painter.end();
    return picture;
}
