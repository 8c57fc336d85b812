#include "loginscreen.h"

#include "shell/keys.h"
#include "shell/messages.h"
#include "shell/recordsources.h"
#include "shell/screens.h"
#include "data/criteria.h"
#include "data/passwords.h"
#include "data/recordsource.h"
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
    if (!right) {
        msg::perhatian(this, QStringLiteral("PASSWORD SALAH"));
        ui.TXTpasword->clear();
        ui.TXTpasword->setFocus();
        return;
    }
    ui.cmdOK->setVisible(true);
    ui.cmdCANCEL->setVisible(true);
    ui.cmdOK->setFocus();
}
