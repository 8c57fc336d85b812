#include "approvalscreen.h"

#include "data/engine/connectiontext.h"
#include "shell/keys.h"
#include "shell/messages.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

ApprovalScreen::ApprovalScreen(const supervision::Request &request, QWidget *asking)
    : QDialog(asking)
    , request_(request)
    , approver_(std::make_unique<supervision::Approver>(db::connectionText()))
{
    ui.setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(size());
    ui.lblTINDAKAN->setText(describe(request));
    onEnter(ui.txtUSER, [this] { ui.txtPASWORD->setFocus(); });
    onEnter(ui.txtPASWORD, [this] { ui.cmdOK->setFocus(); });
    onEnter(ui.cmdOK, [this] { confirm(); });
    onEnter(ui.cmdBatal, [this] { reject(); });
    connect(ui.cmdOK, &QPushButton::clicked, this, &ApprovalScreen::confirm);
    connect(ui.cmdBatal, &QPushButton::clicked, this, &QDialog::reject);
    ui.txtUSER->setFocus();
}

ApprovalScreen::~ApprovalScreen() = default;

QString ApprovalScreen::describe(const supervision::Request &request)
{
    if (request.action == QLatin1String(supervision::kTakeBackAction))
        return QStringLiteral("Disetujui: batalkan posting bagi hasil bulan %1 (Rp %2)")
            .arg(request.account, request.amount.toText());
    if (request.action == QLatin1String(supervision::kCorrectionAction))
        return QStringLiteral("Disetujui: koreksi Rp %1 di rekening %2, alasan: %3")
            .arg(request.amount.toText(), request.account, request.reason);
    if (request.action == QLatin1String("cetak ulang") || request.action == QLatin1String("atur buku"))
        return QStringLiteral("Disetujui: %1 buku tabungan rekening %2").arg(request.action, request.account);
    return QStringLiteral("Disetujui: %1 Rp %2 dari rekening %3")
        .arg(request.action == QLatin1String(supervision::kWithdrawalAction) ? QStringLiteral("penarikan")
                                                                              : request.action,
             request.amount.toText(), request.account);
}

ApprovalScreen *ApprovalScreen::ask(QWidget *asking, const supervision::Request &request,
                                    std::function<void(const supervision::Approval &)> approved)
{
    auto *screen = new ApprovalScreen(request, asking);
    if (!screen->approver_->openError().isEmpty())
        msg::perhatian(asking, screen->approver_->openError());
    // The asking screen goes on once the window is gone: what it does then (a
    // message, a question) may run an event loop, in which the window is deleted.
    connect(screen, &QDialog::accepted, asking, [screen, asking, approved = std::move(approved)] {
        QTimer::singleShot(0, asking, [approved, approval = screen->approval_] { approved(approval); });
    });
    // Window-modal: the asking screen waits, the rest of the program does not hang on it.
    screen->open();
    return screen;
}

void ApprovalScreen::confirm()
{
    if (checking_)
        return;
    checking_ = true;
    QPointer<ApprovalScreen> alive(this);
    // The login's back-off: guessing a supervisor's password is slowed down here too.
    const std::chrono::milliseconds wait = approver_->waitBefore(ui.txtUSER->text());
    if (wait.count() > 0) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        QEventLoop loop;
        QTimer::singleShot(wait, &loop, &QEventLoop::quit);
        loop.exec();
        QApplication::restoreOverrideCursor();
        if (!alive)
            return;
    }
    QString message;
    const supervision::Approver::Verdict verdict =
        approver_->approve(ui.txtUSER->text(), ui.txtPASWORD->text(), request_, &approval_, &message);
    checking_ = false;
    switch (verdict) {
    case supervision::Approver::Verdict::Approved:
        accept();
        return;
    case supervision::Approver::Verdict::WrongPassword:
        msg::perhatian(this, QString::fromLatin1(supervision::text::kWrongPassword));
        ui.txtPASWORD->clear();
        ui.txtPASWORD->setFocus();
        return;
    case supervision::Approver::Verdict::NotSupervisor:
        msg::perhatian(this, QString::fromLatin1(supervision::text::kNotSupervisor));
        ui.txtPASWORD->clear();
        ui.txtUSER->setFocus();
        return;
    case supervision::Approver::Verdict::OwnAction:
        msg::perhatian(this, QString::fromLatin1(supervision::text::kOwnAction));
        ui.txtPASWORD->clear();
        ui.txtUSER->setFocus();
        return;
    case supervision::Approver::Verdict::Failed:
        // The database could not tell: what was typed stays for another try.
        msg::perhatian(this, message);
        ui.txtPASWORD->setFocus();
        return;
    }
}
