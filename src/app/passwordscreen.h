#pragma once

#include "ui_passwordscreen.h"

#include <QWidget>
#include <memory>
#include <optional>

class RecordSource;
namespace operators {
class Directory;
}

// The change-password screen frmUBAHPASSWORD: the operator names a user and
// confirms the old password; only then are the fields for the new user name and
// password uncovered, and "Ganti" stores them. On a server the old password is
// confirmed by logging in as that operator's role, and the change is made on that
// login: knowing the old password is what proves who one is.
class PasswordScreen : public QWidget
{
    Q_OBJECT
public:
    explicit PasswordScreen(QWidget *owner = nullptr);
    ~PasswordScreen() override;

    RecordSource *records() const { return Adodc2; }

private:
    void lookUpUser();
    void confirmOldPassword();
    void change();
    void cancelChanges();
    // Shows the stored user name of the current operator in the (covered) user field.
    void showStoredUser();
    // True when the old password typed now is the stored one of the user named now;
    // nothing (after telling the operator) when it could not be checked.
    std::optional<bool> oldPasswordHolds();
    void inform(const QString &text, bool error);

    Ui::frmUBAHPASSWORD ui;
    // The record source on tpassword. In a file the operators' rows are read and
    // written through it; on a server no operator may read them, and it stays closed.
    RecordSource *Adodc2;
    std::unique_ptr<operators::Directory> directory_;
    bool confirmed_ = false;
};
