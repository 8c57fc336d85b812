#include "loginscreen.h"

#include "shell/keys.h"
#include "shell/messages.h"
#include "shell/screens.h"
#include "data/operators/operators.h"
#include "data/records/recordsource.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

LoginScreen::LoginScreen(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    Adodc1 = new RecordSource(this);
    Adodc1->setObjectName(QStringLiteral("Adodc1"));
    // The operators: the first one current, as the screen opens.
    directory_ = operators::directory(Adodc1, QStringLiteral("Qpass"));
    if (!directory_->openError().isEmpty())
        msg::perhatian(this, directory_->openError());
    // The hidden field Text1 never holds a stored password or its hash: the
    // comparison is the directory's, and nothing stored is shown anywhere.

    onEnter(ui.TXTuser, [this] { lookUpUser(); });
    onEnter(ui.TXTpasword, [this] { checkPassword(); });
    connect(ui.cmdOK, &QPushButton::clicked, this, [this] {
        // A deliberate change from the program this one replaces, which forgot the
        // operator with this screen: the program remembers who logged in for as
        // long as it runs, and every row of the audit trail names him.
        directory_->adopt();
        screens::showHome();
        close();
    });
    connect(ui.cmdCANCEL, &QPushButton::clicked, this, [] { screens::endProgram(); });
    ui.TXTuser->setFocus();
}

LoginScreen::~LoginScreen() = default;

void LoginScreen::lookUpUser()
{
    if (checking_)
        return;
    bool found = false;
    const Outcome looked = directory_->find(ui.TXTuser->text(), &found);
    if (!looked.isOk()) {
        // The name stays for another try.
        msg::perhatian(this, looked.message());
        return;
    }
    if (!found) {
        // What was typed is not recorded: it may be a password typed in the wrong field.
        directory_->recordFailure(operators::Directory::Failure::UnknownUser);
        msg::perhatian(this, QStringLiteral("MAAF USER TIDAK ADA"));
        ui.TXTuser->clear();
        ui.TXTuser->setFocus();
        return;
    }
    ui.TXTpasword->setFocus();
}

void LoginScreen::checkPassword()
{
    if (checking_)
        return;
    checking_ = true;
    QPointer<LoginScreen> alive(this);
    // Guessing is slowed down: after a few wrong passwords for this name each try
    // waits, while the screen goes on painting.
    const std::chrono::milliseconds wait = directory_->waitBeforeCheck();
    if (wait.count() > 0) {
        // The clerk sees that the program waits, not that it hangs.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        QEventLoop loop;
        QTimer::singleShot(wait, &loop, &QEventLoop::quit);
        loop.exec();
        QApplication::restoreOverrideCursor();
        if (!alive)
            return;
    }
    QString message;
    const operators::Verdict verdict = directory_->check(ui.TXTpasword->text(), &message);
    checking_ = false;
    switch (verdict) {
    case operators::Verdict::Right:
        break;
    case operators::Verdict::Failed:
        // The server could not tell: the password stays for another try.
        msg::perhatian(this, message);
        ui.TXTpasword->setFocus();
        return;
    case operators::Verdict::Damaged:
        // A failed attempt is refused whether or not it could be recorded.
        directory_->recordFailure(operators::Directory::Failure::DamagedPassword);
        msg::perhatian(this, message);
        ui.TXTpasword->clear();
        ui.TXTpasword->setFocus();
        return;
    case operators::Verdict::Wrong:
        directory_->recordFailure(operators::Directory::Failure::WrongPassword);
        msg::perhatian(this, QStringLiteral("PASSWORD SALAH"));
        ui.TXTpasword->clear();
        ui.TXTpasword->setFocus();
        return;
    }
    // A login that cannot be recorded does not happen: the operator hears why.
    const Outcome recorded = directory_->recordLogin();
    if (!recorded.isOk()) {
        msg::perhatian(this, recorded.message());
        ui.TXTpasword->setFocus();
        return;
    }
    ui.cmdOK->setVisible(true);
    ui.cmdCANCEL->setVisible(true);
    ui.cmdOK->setFocus();
}
