#pragma once

#include "ui_loginscreen.h"

#include <QWidget>

class RecordSource;

// The login screen frmPASWORD: the operator names himself with Enter in the user
// field and confirms his password with Enter in the password field; only then
// are "OK" and "CANCEL" offered. Every attempt is recorded in the audit trail,
// and "OK" makes the confirmed operator the one the program works for.
class LoginScreen : public QWidget
{
    Q_OBJECT
public:
    explicit LoginScreen(QWidget *parent = nullptr);

    RecordSource *records() const { return Adodc1; }

private:
    void lookUpUser();
    void checkPassword();

    Ui::frmPASWORD ui;
    RecordSource *Adodc1;
    // The operator whose password was confirmed last.
    QString confirmed_;
};
