#include "passwordscreen.h"

#include "shell/keys.h"
#include "shell/messages.h"
#include "shell/recordsources.h"
#include "shell/screens.h"
#include "data/criteria.h"
#include "data/database.h"
#include "data/passwords.h"
#include "data/recordsource.h"
#include "shell/fieldbinding.h"

#include <QSqlQuery>

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
    Adodc2 = openRecordSource(this, QStringLiteral("Adodc2"), QStringLiteral("tpassword"));
    fields_ = new BoundFields(Adodc2);
    fields_->bind(ui.txtUser, QStringLiteral("user"));
    // The new-password field never shows a stored password or its hash: it holds
    // only what the operator types.
    connect(Adodc2, &RecordSource::currentChanged, this, [this] { ui.txtPassBaru->clear(); });

    screens::onActivation(this, [this] { ui.txtUserLama->setFocus(); });
    onEnter(ui.txtUserLama, [this] { lookUpUser(); });
    onEnter(ui.txtPassLama, [this] { confirmOldPassword(); });
    onEnter(ui.txtUser, [this] { ui.txtPassBaru->setFocus(); });
    onEnter(ui.txtPassBaru, [this] { ui.cmdGanti->setFocus(); });
    connect(ui.cmdGanti, &QPushButton::clicked, this, &PasswordScreen::change);
    connect(ui.cmdBatal, &QPushButton::clicked, this, &PasswordScreen::cancelChanges);
    ui.txtUserLama->setFocus();
}

void PasswordScreen::inform(const QString &text, bool error)
{
    msg::show(this, text, kInformasi, error ? msg::Icon::Error : msg::Icon::Information);
}

void PasswordScreen::lookUpUser()
{
    confirmed_ = false;
    Adodc2->moveFirst();
    if (!Adodc2->find(criteria::build(QStringLiteral("USER"), ui.txtUserLama->text()))
        && !Adodc2->lastError().isEmpty()) {
        msg::perhatian(this, Adodc2->lastError());
        return;
    }
    if (Adodc2->isEOF()) {
        msg::perhatian(this, QStringLiteral("MAAF USER TIDAK ADA"));
        ui.txtUserLama->clear();
        ui.txtUserLama->setFocus();
        return;
    }
    ui.txtPassLama->setFocus();
}

std::optional<bool> PasswordScreen::oldPasswordHolds()
{
    if (!Adodc2->hasCurrent())
        return false;
    bool userRead = true;
    bool passwordRead = true;
    const QString user = Adodc2->value(QStringLiteral("user"), &userRead).toString();
    const QString stored = Adodc2->value(QStringLiteral("password"), &passwordRead).toString();
    if (!userRead || !passwordRead) {
        msg::perhatian(this, Adodc2->lastError());
        return std::nullopt;
    }
    return ui.txtUserLama->text() == user && passwords::matches(ui.txtPassLama->text(), stored);
}

void PasswordScreen::confirmOldPassword()
{
    // Without a current row, or when the user field no longer shows the user named
    // (after a confirmation it holds the new name), nothing is compared.
    if (!Adodc2->hasCurrent() || ui.txtUserLama->text() != ui.txtUser->text())
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
        if (!Adodc2->hasCurrent() || ui.txtUserLama->text() != ui.txtUser->text()) {
            lookUpUser();
            if (!Adodc2->hasCurrent())
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
    if (newPassword.isEmpty()) {
        inform(QStringLiteral("Password baru tidak boleh kosong."), true);
        ui.txtPassBaru->setFocus();
        return;
    }
    const QString hash = passwords::hash(newPassword);
    if (hash.isEmpty()) {
        inform(QStringLiteral("Password baru tidak bisa disimpan: memori tidak cukup."), true);
        return;
    }
    bool read = true;
    const QString storedUser = Adodc2->value(QStringLiteral("user"), &read).toString();
    if (!read) {
        msg::perhatian(this, Adodc2->lastError());
        return;
    }
    // Two operators of one name would lock one of them out for good. A name that
    // could not be checked is no name in use: the database's failure is told as such.
    auto nameIsFree = [newUser, storedUser](QSqlDatabase &live, QVector<QVariant> &) {
        if (newUser == storedUser)
            return Outcome::ok();
        // Two counters giving the same new name at the same moment: one waits for the other.
        QSqlError error;
        if (!db::writeLock(live, QStringLiteral("tpassword.user"), newUser, &error))
            return Outcome::failed(db::describeError(error, live));
        QSqlQuery query(live);
        const bool prepared = query.prepare(QStringLiteral("SELECT count(*) FROM tpassword WHERE \"user\" = ?"));
        query.addBindValue(newUser);
        if (!(prepared && query.exec()) || !query.next())
            return Outcome::failed(db::describeError(query.lastError(), live));
        if (query.value(0).toInt() == 0)
            return Outcome::ok();
        return Outcome::refused(
            QStringLiteral("User \"%1\" sudah dipakai operator lain. Pilih nama user yang lain.").arg(newUser));
    };
    const int userColumn = Adodc2->columnIndex(QStringLiteral("user"));
    const int passwordColumn = Adodc2->columnIndex(QStringLiteral("password"));
    if (!Adodc2->update({{userColumn, newUser}, {passwordColumn, hash}}, nameIsFree)) {
        if (Adodc2->lastWrite().isRefused()) {
            inform(Adodc2->lastError(), true);
            ui.txtUser->setFocus();
        } else {
            msg::perhatian(this, Adodc2->lastError());
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
    fields_->cancelUpdate();
    ui.txtPassBaru->clear();
}
