#pragma once

#include "ui_loginscreen.h"

#include <QWidget>
#include <memory>

class RecordSource;
namespace operators {
class Directory;
}

// The login screen frmPASWORD: the operator names himself with Enter in the user
// field and confirms his password with Enter in the password field; only then
// are "OK" and "CANCEL" offered. Every attempt is recorded in the audit trail,
// and "OK" makes the confirmed operator the one the program works for (on a
// server, every later connection logs in as his role). After five wrong
// passwords for one name within a quarter of an hour each further try waits
// before it is checked, longer each time.
class LoginScreen : public QWidget
{
    Q_OBJECT
public:
    explicit LoginScreen(QWidget *parent = nullptr);
    ~LoginScreen() override;

    RecordSource *records() const { return Adodc1; }

private:
    void lookUpUser();
    void checkPassword();

    Ui::frmPASWORD ui;
    // The record source on Qpass. In a file the operators are read through it; on
    // a server no connection before the login may read them, and it stays closed.
    RecordSource *Adodc1;
    std::unique_ptr<operators::Directory> directory_;
    // A password is being checked (or its back-off waited for): another Enter waits its turn.
    bool checking_ = false;
};
