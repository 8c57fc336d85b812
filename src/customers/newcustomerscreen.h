#pragma once

#include "ui_newcustomerscreen.h"

#include <QWidget>

class QLineEdit;
class RecordSource;

// The new-customer screen frmTAMBAH: one customer after another is typed in and
// saved. The duplicate check and the save work on the register screen's record
// source, so a saved customer is at once the current record there; the screen's
// own record source only feeds its grid, read once when the screen opens.
class NewCustomerScreen : public QWidget
{
    Q_OBJECT
public:
    explicit NewCustomerScreen(QWidget *parent = nullptr);

private:
    // The education level a save stores, from the option buttons.
    QString education() const;
    QList<QLineEdit *> fields() const;
    RecordSource *registerRecords() const;
    void checkNumber();
    void save();
    void cancel();

    Ui::frmTAMBAH ui;
    RecordSource *Adodc1;
};
