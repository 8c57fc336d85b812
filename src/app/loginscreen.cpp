#include "loginscreen.h"

#include "shell/keys.h"
#include "shell/messages.h"
#include "shell/recordsources.h"
#include "shell/screens.h"
#include "data/audit.h"
#include "data/connectiontext.h"
#include "data/criteria.h"
#include "data/passwords.h"
#include "data/recordsource.h"
#include "data/session.h"
#include "shell/fieldbinding.h"

LoginScreen::LoginScreen(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    Adodc1 = openRecordSource(this, QStringLiteral("Adodc1"), QStringLiteral("Qpass"));
    (new BoundFields(Adodc1))->bind(ui.Text1, QStringLiteral("password"));

    onEnter(ui.TXTuser, [this] { lookUpUser(); });
    onEnter(ui.TXTpasword, [this] { checkPassword(); });
    connect(ui.cmdOK, &QPushButton::clicked, this, [this] {
        // A deliberate change from the program this one replaces, which forgot the
        // operator with this screen: the program remembers who logged in for as
        // long as it runs, and every row of the audit trail names him.
        session::setOperator(confirmed_);
        screens::showHome();
        close();
    });
    connect(ui.cmdCANCEL, &QPushButton::clicked, this, [] { screens::endProgram(); });
    ui.TXTuser->setFocus();
}

void LoginScreen::lookUpUser()
{
    Adodc1->moveFirst();
    Adodc1->find(criteria::build(QStringLiteral("USER"), ui.TXTuser->text()));
    if (Adodc1->isEOF()) {
        // What was typed is not recorded: it may be a password typed in the wrong field.
        audit::recordLogin(db::connectionText(), QString(), false, QStringLiteral("user tidak ada"));
        msg::perhatian(this, QStringLiteral("MAAF USER TIDAK ADA"));
        ui.TXTuser->clear();
        ui.TXTuser->setFocus();
        return;
    }
    ui.TXTpasword->setFocus();
}

void LoginScreen::checkPassword()
{
    // After a failed lookup no row is current, and every password is refused.
    const bool right = Adodc1->hasCurrent() && passwords::matches(ui.TXTpasword->text(), ui.Text1->text());
    // The operator whose password was checked: the user of the current row.
    const QString user = Adodc1->hasCurrent() ? Adodc1->value(QStringLiteral("user")).toString() : QString();
    if (!right) {
        // A failed attempt is refused whether or not it could be recorded.
        audit::recordLogin(db::connectionText(), user, false,
                           Adodc1->hasCurrent() ? QStringLiteral("password salah") : QStringLiteral("user tidak ada"));
        msg::perhatian(this, QStringLiteral("PASSWORD SALAH"));
        ui.TXTpasword->clear();
        ui.TXTpasword->setFocus();
        return;
    }
    // A login that cannot be recorded does not happen: the operator hears why.
    const Outcome recorded = audit::recordLogin(db::connectionText(), user, true);
    if (!recorded.isOk()) {
        msg::perhatian(this, recorded.message());
        ui.TXTpasword->setFocus();
        return;
    }
    confirmed_ = user;
    ui.cmdOK->setVisible(true);
    ui.cmdCANCEL->setVisible(true);
    ui.cmdOK->setFocus();
}
