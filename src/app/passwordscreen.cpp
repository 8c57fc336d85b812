#include "passwordscreen.h"

#include "shell/keys.h"
#include "shell/messages.h"
#include "shell/screens.h"
#include "data/operators/operators.h"
#include "data/records/recordsource.h"

namespace {
const QString kInformasi = QStringLiteral("Informasi");
const QString kWrongOld = QStringLiteral("Maaf password lama tidak sesuai...!!");
} // namespace

PasswordScreen::PasswordScreen(QWidget *owner)
    : QWidget(owner, owner ? Qt::Window : Qt::WindowFlags())
{
    ui.setupUi(this);
    // The covers lie over the fields that hold the stored user name.
    ui.Text1->raise();
    ui.Text2->raise();
    Adodc2 = new RecordSource(this);
    Adodc2->setObjectName(QStringLiteral("Adodc2"));
    directory_ = operators::directory(Adodc2, QStringLiteral("tpassword"));
    if (!directory_->openError().isEmpty())
        msg::perhatian(this, directory_->openError());
    // The user field shows the stored name of the current operator; the
    // new-password field never shows a stored password or its hash: it holds only
    // what the operator types.
    showStoredUser();

    screens::onActivation(this, [this] { ui.txtUserLama->setFocus(); });
    onEnter(ui.txtUserLama, [this] { lookUpUser(); });
    onEnter(ui.txtPassLama, [this] { confirmOldPassword(); });
    onEnter(ui.txtUser, [this] { ui.txtPassBaru->setFocus(); });
    onEnter(ui.txtPassBaru, [this] { ui.cmdGanti->setFocus(); });
    connect(ui.cmdGanti, &QPushButton::clicked, this, &PasswordScreen::change);
    connect(ui.cmdBatal, &QPushButton::clicked, this, &PasswordScreen::cancelChanges);
    ui.txtUserLama->setFocus();
}

PasswordScreen::~PasswordScreen() = default;

void PasswordScreen::inform(const QString &text, bool error)
{
    msg::show(this, text, kInformasi, error ? msg::Icon::Error : msg::Icon::Information);
}

void PasswordScreen::showStoredUser()
{
    ui.txtUser->setText(directory_->currentUser());
    ui.txtPassBaru->clear();
}

void PasswordScreen::lookUpUser()
{
    confirmed_ = false;
    bool found = false;
    const Outcome looked = directory_->find(ui.txtUserLama->text(), &found);
    if (!looked.isOk()) {
        msg::perhatian(this, looked.message());
        return;
    }
    showStoredUser();
    if (!found) {
        msg::perhatian(this, QStringLiteral("MAAF USER TIDAK ADA"));
        ui.txtUserLama->clear();
        ui.txtUserLama->setFocus();
        return;
    }
    ui.txtPassLama->setFocus();
}

std::optional<bool> PasswordScreen::oldPasswordHolds()
{
    if (!directory_->hasCurrent() || !directory_->knowsCurrentUser()
        || ui.txtUserLama->text() != directory_->currentUser())
        return false;
    QString message;
    switch (directory_->check(ui.txtPassLama->text(), &message)) {
    case operators::Verdict::Right:
        return true;
    case operators::Verdict::Wrong:
        return false;
    case operators::Verdict::Damaged:
    case operators::Verdict::Failed:
        msg::perhatian(this, message);
        return std::nullopt;
    }
    return std::nullopt;
}

void PasswordScreen::confirmOldPassword()
{
    // Without a current row, or when the user field no longer shows the user named
    // (after a confirmation it holds the new name), nothing is compared.
    if (!directory_->hasCurrent() || ui.txtUserLama->text() != ui.txtUser->text())
        return;
    const std::optional<bool> holds = oldPasswordHolds();
    if (!holds)
        return;
    if (!*holds) {
        confirmed_ = false;
        inform(kWrongOld, true);
        ui.txtPassLama->setFocus();
        ui.txtPassLama->clear();
        return;
    }
    confirmed_ = true;
    ui.Text2->hide();
    ui.Text1->hide();
    ui.txtPassBaru->clear();
    ui.txtUser->clear();
    ui.txtUser->setFocus();
}

void PasswordScreen::change()
{
    if (ui.txtPassLama->text().isEmpty()) {
        inform(QStringLiteral("Isi dulu password lamanya."), false);
        ui.txtPassLama->setFocus();
        return;
    }
    // A password changes only after the old one was confirmed for the user named. One
    // typed but not confirmed with Enter is checked here as Enter checks it (the user
    // named looked up first when that was not done); the new values come after that.
    if (!confirmed_) {
        if (!directory_->hasCurrent() || ui.txtUserLama->text() != ui.txtUser->text()) {
            lookUpUser();
            if (!directory_->hasCurrent())
                return;
        }
        confirmOldPassword();
        return;
    }
    const std::optional<bool> holds = oldPasswordHolds();
    if (!holds)
        return;
    if (!*holds) {
        inform(kWrongOld, true);
        ui.txtPassLama->setFocus();
        return;
    }
    const QString newUser = ui.txtUser->text();
    const QString newPassword = ui.txtPassBaru->text();
    if (newUser.isEmpty()) {
        inform(QStringLiteral("User baru tidak boleh kosong."), true);
        ui.txtUser->setFocus();
        return;
    }
    if (newUser != directory_->currentUser()) {
        if (const std::optional<QString> problem = operators::nameProblem(newUser)) {
            inform(*problem, true);
            ui.txtUser->setFocus();
            return;
        }
    }
    if (newPassword.isEmpty()) {
        inform(QStringLiteral("Password baru tidak boleh kosong."), true);
        ui.txtPassBaru->setFocus();
        return;
    }
    const Outcome changed = directory_->change(newUser, newPassword);
    if (!changed.isOk()) {
        if (changed.isRefused()) {
            inform(changed.message(), true);
            ui.txtUser->setFocus();
        } else {
            msg::perhatian(this, changed.message());
        }
        // What was typed stays, ready for another try.
        ui.txtUser->setText(newUser);
        ui.txtPassBaru->setText(newPassword);
        return;
    }
    inform(QStringLiteral("Ganti Password Sukses....!!"), false);
    close();
    screens::showHome();
}

void PasswordScreen::cancelChanges()
{
    showStoredUser();
}
