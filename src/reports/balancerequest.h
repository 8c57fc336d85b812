#pragma once

#include "ui_balancerequest.h"

#include <QWidget>

// The request screen frmRSALDO of the list of balances: the operator picks a day
// (today at first); Enter in the date moves on to "Cetak", which shows the report
// LAPSALDO of every account's balance at the end of that day.
class BalanceRequestScreen : public QWidget
{
    Q_OBJECT
public:
    explicit BalanceRequestScreen(QWidget *parent = nullptr);

private:
    void print();

    Ui::frmRSALDO ui;
};
