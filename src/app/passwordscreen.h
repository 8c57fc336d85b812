#pragma once

#include "ui_passwordscreen.h"

#include <QWidget>
#include <optional>

class BoundFields;
class RecordSource;

// The change-password screen frmUBAHPASSWORD: the operator names a user and
// confirms the old password; only then are the fields for the new user name and
// password uncovered, and "Ganti" stores them.
class PasswordScreen : public QWidget
{
    Q_OBJECT
public:
    explicit PasswordScreen(QWidget *owner = nullptr);

    RecordSource *records() const { return Adodc2; }

private:
    void lookUpUser();
    void confirmOldPassword();
    void change();
    void cancelChanges();
    // True when the old password typed now is the stored one of the user named now;
    // nothing (after telling the operator) when the stored row could not be read.
    std::optional<bool> oldPasswordHolds();
    void inform(const QString &text, bool error);

    Ui::frmUBAHPASSWORD ui;
    RecordSource *Adodc2;
    BoundFields *fields_;
    bool confirmed_ = false;
};
